#pragma once
// Walking a partition's tree for the command line: depth-first, in directory order, reading
// each directory as it is reached and letting go of it once walked, so memory stays bounded
// by one path of directories. A damaged volume can make a directory point back at one of its
// ancestors or at another directory, or make directory chains loop and cross. A directory
// that starts where one already walked starts is not entered again; and every directory read
// of the walk shares one trail of the clusters read, so a chain that comes to a cluster read
// before ends there. So every walk ends, and reads each cluster as a directory once.

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

class TreeWalk {
 public:
  using Visitor = std::function<void(const WalkItem&)>;
  TreeWalk(bool recursive, Visitor visit) : recursive_(recursive), visit_(std::move(visit)) {}

  // Visits the children of dir, a directory of partition, and with recursion those of every
  // directory below it. dir is read again, on the walk's trail.
  void WalkChildren(TPartition& partition, TDirectoryEntry& dir, const std::string& displayPath,
                    const std::string& indexPath);

  // Directories that a bound cut short (see TDirectoryEntry::cutNotice); each was named on
  // standard error.
  int CutDirectories() const { return cutDirectories_; }

 private:
  void Walk(TDirectoryEntry& dir, const std::string& displayPath, const std::string& indexPath, int depth);
  // Reads dir's children and says on standard error what its read left out.
  void Read(TDirectoryEntry& dir, const std::string& displayPath, const ClusterTrail* trail);
  // Whether a directory walked before starts where dir starts. One that cannot say where it
  // starts is walked; the depth limit still ends the walk.
  bool WalkedBefore(const TDirectoryEntry& dir) const;
  void NoteWalked(const TDirectoryEntry& dir);

  bool recursive_;
  Visitor visit_;
  std::map<const TPartition*, std::set<uint32_t>> walkedStarts_;  // first clusters by partition
  int cutDirectories_ = 0;
};
