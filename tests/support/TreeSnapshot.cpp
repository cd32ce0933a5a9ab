#include "support/TreeSnapshot.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Deeper than any test image nests: a guard against a directory that contains itself.
constexpr int kMaxDepth = 32;

void WalkBelow(TDirectoryEntry& directory, const std::string& prefix, int depth,
               const std::function<void(const std::string&, TDirectoryEntry&)>& visit,
               std::map<std::string, int>& seen) {
  for (auto& child : directory.children) {
    std::string key = prefix + (child->IsFolder() ? child->path : child->path + child->name);
    if (const int n = seen[key]++; n > 0) key += " #" + std::to_string(n + 1);
    visit(key, *child);
    if (!child->IsFolder() || depth >= kMaxDepth) continue;
    child->ReadChildren();
    WalkBelow(*child, prefix, depth + 1, visit, seen);
  }
}

std::string Describe(TDirectoryEntry& node, uint32_t dataLimit) {
  RecordingInfoList list;
  node.FillInfo(list);
  std::string text = node.name + "|state " + std::to_string(node.state) + "|size " + std::to_string(node.size);
  for (const auto& row : list.rows) text += "|" + row.caption + "=" + row.value;
  uint32_t size = dataLimit;
  const ByteBuffer data = node.GetData(size);
  return text + "|" + std::to_string(size) + " bytes|" + std::string(data.begin(), data.end());
}

std::string FirstDifference(const std::string& got, const std::string& expected) {
  const auto mismatch = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end());
  return " (from character " + std::to_string(mismatch.first - got.begin()) + " of " + std::to_string(got.size()) +
         ", expected " + std::to_string(expected.size()) + ")";
}

}  // namespace

void WalkTree(PartitionList& partitions, const std::function<void(const std::string& key, TDirectoryEntry&)>& visit) {
  for (size_t i = 0; i < partitions.size(); ++i) {
    TDirectoryEntry* root = partitions[i]->rootEntry.get();
    if (root == nullptr) continue;
    const std::string prefix = std::to_string(i + 1) + ":";
    visit(prefix + root->path, *root);
    if (root->children.empty()) root->ReadChildren();
    std::map<std::string, int> seen;
    WalkBelow(*root, prefix, 1, visit, seen);
  }
}

TreeSnapshot SnapshotOf(PartitionList& partitions, uint32_t dataLimit) {
  TreeSnapshot snapshot;
  for (size_t i = 0; i < partitions.size(); ++i) {
    snapshot[std::to_string(i + 1)] = partitions[i]->GetDescription();
  }
  WalkTree(partitions, [&](const std::string& key, TDirectoryEntry& node) { snapshot[key] = Describe(node, dataLimit); });
  return snapshot;
}

void ExpectSameTree(const TreeSnapshot& got, const TreeSnapshot& expected) {
  if (got == expected) return;
  std::string report;
  int shown = 0;
  auto note = [&](const std::string& line) {
    if (shown++ < 8) report += "  " + line + "\n";
  };
  for (const auto& [key, value] : expected) {
    auto found = got.find(key);
    if (found == got.end()) note("missing: " + key);
    else if (found->second != value) note("differs: " + key + FirstDifference(found->second, value));
  }
  for (const auto& [key, value] : got) {
    if (!expected.count(key)) note("unexpected: " + key);
  }
  ADD_FAILURE() << shown << " difference(s) in the tree, among them:\n" << report;
}
