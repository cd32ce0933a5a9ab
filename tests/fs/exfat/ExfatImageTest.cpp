// The images made by tests/images/make-exfat-images.sh: every tree is walked whole and checked
// against the manifest the script wrote (names, states, sizes, paths and content bytes).

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "fs/exfat/ExfatNode.h"
#include "fs/exfat/ExfatPartition.h"
#include "support/ExfatImages.h"
#include "support/OpenSource.h"
#include "support/TestFiles.h"

namespace {

// The node's path as the browser sees it, for a node found at manifest path `path`.
std::string BackslashPath(const std::string& path, bool directory) {
  std::string dir = directory ? path : path.substr(0, path.rfind('/') + 1);
  std::string result = "\\";
  for (char c : dir) result += c == '/' ? '\\' : c;
  if (directory) result += "\\";
  return result;
}

struct ExfatImage : ::testing::TestWithParam<std::string> {
  // Checks every child of node against the manifest, reading every directory, deleted ones too.
  void Walk(TDirectoryEntry& node, const std::string& prefix) {
    node.ReadChildren();
    for (const auto& child : node.children) {
      const std::string path = prefix + child->name;
      seen.push_back(path);
      SCOPED_TRACE(path);
      auto found = manifest.entries.find(path);
      if (found == manifest.entries.end()) {
        ADD_FAILURE() << "not in the manifest";
        continue;
      }
      const ExfatManifest::Entry& e = found->second;
      const bool deleted = e.state == "deleted";
      EXPECT_EQ(child->IsDeleted(), deleted);
      if (e.type == "dir") {
        ASSERT_EQ(child->state, kStateDirectory);
        EXPECT_EQ(static_cast<EXFATDirectoryNode&>(*child).entrySet->deleted, deleted);
        EXPECT_EQ(child->path, BackslashPath(path, true));
        Walk(*child, path + "/");
        continue;
      }
      EXPECT_EQ(child->state, deleted ? kStateDeleted : kStateFile);
      EXPECT_EQ(child->path, BackslashPath(path, false));
      EXPECT_EQ(child->size, e.size);
      uint32_t size = 0;
      ByteBuffer data = child->GetData(size);
      const Bytes pattern = PatternBytes(e.delivered, e.seed);
      EXPECT_EQ(size, e.delivered);
      EXPECT_TRUE(Bytes(data.begin(), data.end()) == pattern) << "content differs";
    }
  }

  ExfatManifest manifest;
  std::vector<std::string> seen;
};

TEST_P(ExfatImage, TreeMatchesTheManifest) {
  const std::string image = GetParam();
  manifest = ReadExfatManifest(image);
  OpenSource source(TestImagePath(image + ".img"), manifest.sectorSize);
  PartitionEntry entry;
  entry.startLba = manifest.firstSector;
  EXFATPartition partition(&source.ref, entry);

  EXPECT_EQ(partition.label, manifest.label);
  EXPECT_EQ(partition.rootEntry->name, "Root (\\)");
  EXPECT_EQ(partition.rootEntry->path, "\\");
  EXPECT_FALSE(partition.rootEntry->children.empty());  // read by the constructor
  Walk(*partition.rootEntry, "");
  EXPECT_EQ(seen.size(), manifest.entries.size());
}

INSTANTIATE_TEST_SUITE_P(Images, ExfatImage, ::testing::ValuesIn(kExfatImageNames));

TEST(ExfatTreeImage, DescriptionInformationAndLimitedReads) {
  OpenSource source(TestImagePath("exfat-tree.img"));
  EXFATPartition partition(&source.ref, PartitionEntry{});
  EXPECT_EQ(partition.GetDescription(), "exFAT partition \"Données\"");
  auto captions = [](TDirectoryEntry& node) {
    RecordingInfoList list;
    node.FillInfo(list);
    std::string text = list.groups.at(0).title;
    for (const auto& row : list.rows) text += "|" + row.caption + "=" + row.value;
    return text;
  };
  TDirectoryEntry& root = *partition.rootEntry;
  EXPECT_EQ(captions(root), "Basic information|Starting cluster=5|File size=0|Data=whole");
  auto& children = root.children;
  auto child = [&](const std::string& name) -> TDirectoryEntry& {
    return **std::find_if(children.begin(), children.end(), [&](auto& c) { return c->name == name; });
  };
  TDirectoryEntry& file = child("contiguous.bin");
  const std::string rows = captions(file);
  EXPECT_EQ(rows.substr(0, rows.find("|Created")), "Basic information|Attributes=A");
  EXPECT_NE(rows.find("|Modified date/time=" + file.modifiedText + "|Last access date="), std::string::npos);
  EXPECT_NE(rows.find("|File size=50000|Data=whole"), std::string::npos);

  uint32_t size = kDumpSize;
  ByteBuffer head = file.GetData(size);
  EXPECT_EQ(size, kDumpSize);
  EXPECT_TRUE(Bytes(head.begin(), head.end()) == PatternBytes(kDumpSize, 5));

  // A directory delivers its raw entries: three chained clusters of them.
  size = 0;
  ByteBuffer entries = child("Many entries").GetData(size);
  EXPECT_EQ(size, 3u * 4096);
  EXPECT_EQ(entries[0], 0x85);
}

// frag-c.bin was written in turns with frag-a.bin and frag-b.bin, which are live, and then
// deleted; exfat-fuse zeroed its chain. Its clusters are the free ones from its first on.
TEST(ExfatRecovery, ADeletedFileWrittenAroundLiveOnesComesBackWhole) {
  OpenSource source(TestImagePath("exfat-tree.img"));
  EXFATPartition partition(&source.ref, PartitionEntry{});
  auto& children = partition.rootEntry->children;
  auto found = std::find_if(children.begin(), children.end(), [](auto& c) { return c->name == "frag-c.bin"; });
  ASSERT_NE(found, children.end());
  const EXFATDirectoryEntry& set = *static_cast<EXFATFileNode&>(**found).entrySet;
  EXPECT_EQ(FindStreamChunk(set)->Byte(exfat::kStreamFlags) & exfat::kFlagNoFatChain, 0);  // read through the FAT
  MemoryStream data;
  ASSERT_TRUE((*found)->StreamData(data, 0));
  EXPECT_TRUE(Bytes(data.Data(), data.Data() + data.Length()) == PatternBytes(20000, 8));
}

}  // namespace
