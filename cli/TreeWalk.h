#pragma once
// Walking a partition's tree for the command line: depth-first, in directory order, reading
// each directory as it is reached and letting go of it once walked, so memory stays bounded
// by one path of directories. A damaged volume can make a directory point back at one of its
// ancestors or at another directory; such a directory, which starts where one already walked
// starts, is not entered again, so every walk ends.

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

  // Visits the children of dir, and with recursion those of every directory below it.
  void WalkChildren(TDirectoryEntry& dir, const std::string& displayPath, const std::string& indexPath);

 private:
  void Walk(TDirectoryEntry& dir, const std::string& displayPath, const std::string& indexPath, int depth);
  // Whether a directory walked before starts where dir starts. One that cannot say where it
  // starts is walked; the depth limit still ends the walk.
  bool WalkedBefore(const TDirectoryEntry& dir) const;
  void NoteWalked(const TDirectoryEntry& dir);

  bool recursive_;
  Visitor visit_;
  std::map<const TPartition*, std::set<uint32_t>> walkedStarts_;  // first clusters by partition
};
