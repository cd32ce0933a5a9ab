#pragma once
// Walking a partition's tree: depth-first, in directory order, reading each directory as it
// is reached and letting go of it once walked, so memory stays bounded by one path of
// directories. A damaged volume can make a directory point back at one of its ancestors or at
// another directory, or make directory chains loop and cross. A directory that starts where one
// already walked starts is not entered again; and every directory read of the walk shares one
// trail of the clusters read, so a chain that comes to a cluster read before ends there. So
// every walk ends, and reads each cluster as a directory once.
//
// The walk reads and lets go of the children of the directories it passes: it is for trees
// that nothing else shows at the same time.

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "fs/Partition.h"

struct WalkItem {
  TDirectoryEntry& entry;
  const std::string& displayPath;  // "N:/a/b"
  const std::string& indexPath;    // "N#i/j"
  int depth;                       // 0 for the children of the directory the walk began at
};

// A child's paths, from its parent's: "N:/a" + "/" + the child's caption, "N#i" + "/" + its
// index. Where the parent is a root ("N:/", "N#") no separator is added.
std::string ChildDisplayPath(const std::string& parentDisplayPath, const std::string& childCaption);
std::string ChildIndexPath(const std::string& parentIndexPath, size_t index);

class TreeWalk {
 public:
  using Visitor = std::function<void(const WalkItem&)>;
  // What the walk has to say about a directory it could not read whole or did not enter, in
  // words that begin with the directory's display path.
  using Notice = std::function<void(const std::string& text)>;
  // How a child's caption appears in its display path; the caption itself by default.
  using Caption = std::function<std::string(const TDirectoryEntry& child)>;

  TreeWalk(bool recursive, Visitor visit, Notice notice = nullptr, Caption caption = nullptr);

  // Visits the children of dir, a directory of partition, and with recursion those of every
  // directory below it. dir is read again, on the walk's trail.
  void WalkChildren(TPartition& partition, TDirectoryEntry& dir, const std::string& displayPath,
                    const std::string& indexPath);

  // Directories that a bound cut short (see TDirectoryEntry::cutNotice); each was noticed.
  int CutDirectories() const { return cutDirectories_; }

  // For a tree that a window shows while it is walked: the children a directory had before the
  // walk stay as they are (the window's nodes point at them), and only those the walk read
  // itself are let go of once walked.
  void KeepChildrenRead() { keepChildrenRead_ = true; }

 private:
  void Walk(TDirectoryEntry& dir, const std::string& displayPath, const std::string& indexPath, int depth);
  // Reads dir's children and notices what its read left out.
  void Read(TDirectoryEntry& dir, const std::string& displayPath, const ClusterTrail* trail);
  // Whether a directory walked before starts where dir starts. One that cannot say where it
  // starts is walked; the depth limit still ends the walk.
  bool WalkedBefore(const TDirectoryEntry& dir) const;
  void NoteWalked(const TDirectoryEntry& dir);
  void Say(const std::string& text) const;

  bool recursive_;
  Visitor visit_;
  Notice notice_;
  Caption caption_;
  std::map<const TPartition*, std::set<uint32_t>> walkedStarts_;  // first clusters by partition
  int cutDirectories_ = 0;
  bool keepChildrenRead_ = false;
};
