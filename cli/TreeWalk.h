#pragma once
// Walking a partition's tree for the command line: depth-first, in directory order, reading
// each directory as it is reached and letting go of it once walked, so memory stays bounded
// by one path of directories. A damaged volume can make a directory point back at one of its
// ancestors or at another directory; such a directory, whose contents were walked already,
// is not entered again, so every walk ends.

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>

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
  bool FirstVisitOf(TDirectoryEntry& dir);

  bool recursive_;
  Visitor visit_;
  std::unordered_set<uint64_t> walkedContents_;
};
