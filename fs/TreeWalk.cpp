#include "fs/TreeWalk.h"

namespace {

// Deeper than any real volume nests; a guard for the stack, not a rule of the file systems.
constexpr int kMaxDepth = 1024;

}  // namespace

std::string ChildDisplayPath(const std::string& parentDisplayPath, const std::string& childCaption) {
  const bool atRoot = !parentDisplayPath.empty() && parentDisplayPath.back() == '/';
  return parentDisplayPath + (atRoot ? "" : "/") + childCaption;
}

std::string ChildIndexPath(const std::string& parentIndexPath, size_t index) {
  const bool atRoot = !parentIndexPath.empty() && parentIndexPath.back() == '#';
  return parentIndexPath + (atRoot ? "" : "/") + std::to_string(index);
}

TreeWalk::TreeWalk(bool recursive, Visitor visit, Notice notice, Caption caption)
    : recursive_(recursive), visit_(std::move(visit)), notice_(std::move(notice)), caption_(std::move(caption)) {}

void TreeWalk::Say(const std::string& text) const {
  if (notice_) notice_(text);
}

void TreeWalk::WalkChildren(TPartition& partition, TDirectoryEntry& dir, const std::string& displayPath,
                            const std::string& indexPath) {
  const DirectoryTrailScope trailScope(partition);
  const bool kept = keepChildrenRead_ && !dir.children.empty();
  if (!kept) dir.ReleaseChildren();
  Read(dir, displayPath, partition.TrailFor(dir));
  NoteWalked(dir);
  Walk(dir, displayPath, indexPath, 0);
  if (keepChildrenRead_ && !kept) dir.ReleaseChildren();
}

void TreeWalk::Read(TDirectoryEntry& dir, const std::string& displayPath, const ClusterTrail* trail) {
  const uint64_t refusedBefore = trail != nullptr ? trail->Refused() : 0;
  EnsureChildren(dir);
  if (trail != nullptr && trail->Refused() != refusedBefore) {
    Say(displayPath + ": its clusters run into clusters already read as a directory (a loop or a " +
               "cross-link); read up to there");
  }
  if (!dir.cutNotice.empty()) {
    ++cutDirectories_;
    Say(displayPath + ": " + dir.cutNotice);
  }
}

bool TreeWalk::WalkedBefore(const TDirectoryEntry& dir) const {
  const std::optional<DirectoryStart> start = dir.StartsAt();
  if (!start) return false;
  const auto walked = walkedStarts_.find(start->partition);
  return walked != walkedStarts_.end() && walked->second.count(start->firstCluster) != 0;
}

void TreeWalk::NoteWalked(const TDirectoryEntry& dir) {
  if (const std::optional<DirectoryStart> start = dir.StartsAt()) walkedStarts_[start->partition].insert(start->firstCluster);
}

void TreeWalk::Walk(TDirectoryEntry& dir, const std::string& displayPath, const std::string& indexPath,
                    int depth) {
  for (size_t i = 0; i < dir.children.size(); ++i) {
    TDirectoryEntry& child = *dir.children[i];
    const std::string childDisplay = ChildDisplayPath(displayPath, caption_ ? caption_(child) : child.name);
    const std::string childIndex = ChildIndexPath(indexPath, i);
    visit_(WalkItem{child, childDisplay, childIndex, depth});
    if (!recursive_ || !child.IsFolder()) continue;
    // Checked before reading: a directory met again is not read again.
    if (WalkedBefore(child)) {
      Say("not entering " + childDisplay + ": it starts where a directory already listed starts");
      continue;
    }
    const bool kept = keepChildrenRead_ && !child.children.empty();
    const std::optional<DirectoryStart> start = child.StartsAt();
    Read(child, childDisplay, start ? start->partition->TrailFor(child) : nullptr);
    if (!child.children.empty()) {
      if (depth + 1 >= kMaxDepth) {
        Say("not entering " + childDisplay + ": directories nest deeper than " + std::to_string(kMaxDepth));
      } else {
        NoteWalked(child);
        Walk(child, childDisplay, childIndex, depth + 1);
      }
    }
    // Walked: let go of its subtree and of the slots it was read from, empty or not.
    if (!kept) child.ReleaseChildren();
  }
}
