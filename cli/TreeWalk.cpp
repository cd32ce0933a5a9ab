#include "cli/TreeWalk.h"

#include "cli/CliSession.h"
#include "cli/EntryPath.h"

namespace {

// Deeper than any real volume nests; a guard for the stack, not a rule of the file systems.
constexpr int kMaxDepth = 1024;

uint64_t ContentsKey(const ByteBuffer& data) {
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (uint8_t b : data) hash = (hash ^ b) * 1099511628211ull;
  return hash ^ (uint64_t{data.size()} << 1);
}

}  // namespace

void TreeWalk::WalkChildren(TDirectoryEntry& dir, const std::string& displayPath, const std::string& indexPath) {
  EnsureChildren(dir);
  FirstVisitOf(dir);
  Walk(dir, displayPath, indexPath, 0);
}

bool TreeWalk::FirstVisitOf(TDirectoryEntry& dir) {
  uint32_t size = 0;
  return walkedContents_.insert(ContentsKey(dir.GetData(size))).second;
}

void TreeWalk::Walk(TDirectoryEntry& dir, const std::string& displayPath, const std::string& indexPath,
                    int depth) {
  for (size_t i = 0; i < dir.children.size(); ++i) {
    TDirectoryEntry& child = *dir.children[i];
    const std::string childDisplay = ChildDisplayPath(displayPath, child);
    const std::string childIndex = ChildIndexPath(indexPath, i);
    visit_(WalkItem{child, childDisplay, childIndex, depth});
    if (!recursive_ || child.state != kStateDirectory) continue;
    EnsureChildren(child);
    if (child.children.empty()) continue;
    if (depth + 1 >= kMaxDepth) {
      PrintError("not entering " + childDisplay + ": directories nest deeper than " + std::to_string(kMaxDepth));
    } else if (!FirstVisitOf(child)) {
      PrintError("not entering " + childDisplay + ": it holds the same entries as a directory already listed");
    } else {
      Walk(child, childDisplay, childIndex, depth + 1);
    }
    child.children.clear();  // walked: let go of its subtree
  }
}
