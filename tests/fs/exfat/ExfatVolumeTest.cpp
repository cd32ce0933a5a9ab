// Hand-made volumes: geometry that cannot be used, chains that loop or leave the heap, lengths
// beyond 32 bits, and sources that end early.

#include <gtest/gtest.h>

#include "fs/exfat/ExfatNode.h"
#include "fs/exfat/ExfatPartition.h"
#include "fs/exfat/ExfatTestVolume.h"
#include "support/OpenSource.h"

namespace {

using namespace exfat_test;

struct ExfatVolume : ::testing::Test {
  // Opens the volume and reads its root; the source stays open for the test.
  EXFATPartition& Open(const Volume& volume, size_t size = 0, uint32_t firstSector = 0) {
    source = std::make_unique<OpenSource>(volume.Write(dir, size));
    PartitionEntry entry;
    entry.startLba = firstSector;
    partition = std::make_unique<EXFATPartition>(&source->ref, entry);
    return *partition;
  }
  TDirectoryEntry& Child(size_t i) { return *partition->rootEntry->children.at(i); }
  Bytes Data(TDirectoryEntry& node, uint32_t size = 0) {
    ByteBuffer buffer = node.GetData(size);
    EXPECT_EQ(size, buffer.size());
    return Bytes(buffer.begin(), buffer.end());
  }

  TempDir dir;
  std::unique_ptr<OpenSource> source;
  std::unique_ptr<EXFATPartition> partition;
};

Bytes Slice(const Bytes& bytes, size_t from, size_t count) {
  return Bytes(bytes.begin() + from, bytes.begin() + from + count);
}

TEST_F(ExfatVolume, ReadsContiguousRunsAndChainsByCluster) {
  const Bytes content = PatternBytes(1300, 1);
  Volume v;
  v.Root(ChunkBytes({FileSet(u"run", 3, 7, 1300), FileSet(u"chain", 1, 7, 1300)}))
      .Chain({7, 12, 13})
      .Put(7, Slice(content, 0, 512)).Put(8, Slice(content, 512, 512)).Put(9, Slice(content, 1024, 276))
      .Put(12, Slice(content, 512, 512)).Put(13, Slice(content, 1024, 276));
  Open(v);
  EXPECT_EQ(partition->GetDescription(), "exFAT partition, no label");
  EXPECT_EQ(Data(Child(0)), content);
  EXPECT_EQ(Data(Child(1)), content);
  EXPECT_EQ(Data(Child(1), 600), Slice(content, 0, 600));
}

TEST_F(ExfatVolume, EveryReadEndsInsideTheHeap) {
  Volume v(16);
  v.Root(ChunkBytes({FileSet(u"loop", 1, 5, 0xFFFFF), FileSet(u"leaves heap", 1, 6, 0xFFFFF),
                     FileSet(u"run past end", 3, 16, 0xFFFFF), FileSet(u"cluster 0", 3, 0, 10),
                     FileSet(u"cluster 1", 1, 1, 10), FileSet(u"beyond heap", 3, 18, 10),
                     FileSet(u"empty", 3, 0, 0)}))
      .Chain({2, 3}).Fat(5, 6).Fat(6, 5).Fat(9, 0x12345678);
  Open(v);
  ASSERT_EQ(partition->rootEntry->children.size(), 7u);
  EXPECT_EQ(Data(Child(0)).size(), 16u * 512);  // as many clusters as the heap holds
  v.Fat(6, 9);
  Open(v);
  EXPECT_EQ(Data(Child(1)).size(), 2u * 512);   // 6, then 9, whose entry leaves the heap
  EXPECT_EQ(Data(Child(2)).size(), 2u * 512);   // clusters 16 and 17, the last of the heap
  for (size_t i = 3; i < 7; ++i) EXPECT_TRUE(Data(Child(i)).empty()) << Child(i).name;
}

TEST_F(ExfatVolume, LoopingRootDirectoryEnds) {
  Volume v(8);
  v.Root(ChunkBytes({FileSet(u"a", 3, 0, 0)})).Fat(2, 2);
  Open(v);
  EXPECT_EQ(partition->rootEntry->children.size(), 8u);  // the one cluster, read eight times
}

TEST_F(ExfatVolume, LengthAboveFourGiBShowsAllBitsAndReadsTheLowHalf) {
  Volume v;
  v.Root(ChunkBytes({FileSet(u"huge", 3, 4, 0x100000064)})).Put(4, PatternBytes(100, 2));
  Open(v);
  EXPECT_EQ(Child(0).size, 100u);
  EXPECT_EQ(Data(Child(0)), PatternBytes(100, 2));
  RecordingInfoList list;
  Child(0).FillInfo(list);
  ASSERT_NE(list.Find("File size"), nullptr);
  EXPECT_EQ(*list.Find("File size"), "4294967396");
  EXPECT_EQ(*list.Find("Starting cluster"), "4");
  EXPECT_EQ(*list.Find("Attributes"), "A");
}

TEST_F(ExfatVolume, UnusableGeometryGivesAnEmptyRoot) {
  // Shifts outside the format, clusters above 32 MiB, and 1024-byte volume sectors on a source
  // opened with 512-byte sectors (read unchecked, the root would be found at the wrong place).
  struct Row { size_t offset; uint8_t value; };
  const Row rows[] = {{108, 8}, {108, 13}, {108, 255}, {109, 17}, {109, 255}, {108, 10}};
  for (const Row& r : rows) {
    Volume v;
    v.Root(ChunkBytes({{UnitsChunk(u"LABEL", 0x83, 5)}, FileSet(u"f", 3, 3, 10)})).BootByte(r.offset, r.value);
    Open(v);
    ASSERT_NE(partition->rootEntry, nullptr);
    EXPECT_TRUE(partition->rootEntry->children.empty()) << r.offset << "=" << int{r.value};
    EXPECT_EQ(partition->GetDescription(), "exFAT partition, no label");
    EXPECT_TRUE(Data(*partition->rootEntry).empty());
  }
}

TEST_F(ExfatVolume, HeapIsBoundedByTheFatAndTheSource) {
  // ClusterCount claims far more than the FAT addresses or the image holds.
  Volume v(8, 3);
  const Bytes content = PatternBytes(4 * 4096, 3);
  v.Root(ChunkBytes({FileSet(u"tail", 3, 6, 4 * 4096)})).Boot(92, 0xFFFFFFFF).Put(6, content);
  Open(v, v.ClusterOffset(9) - 1024);  // the source ends two sectors before cluster 8 ends
  EXPECT_EQ(partition->heapClusterCount, 7u);
  Bytes expected = Slice(content, 0, 3 * 4096 - 1024);
  expected.resize(3 * 4096, 0);  // what lies past the source reads as zeros
  EXPECT_EQ(Data(Child(0)), expected);

  v.Boot(84, 0);  // a FAT of no sectors addresses no cluster
  Open(v);
  EXPECT_TRUE(partition->rootEntry->children.empty());
}

TEST_F(ExfatVolume, BootSectorBeyondTheSourceGivesAnEmptyRoot) {
  Open(Volume(), 0, 1u << 30);
  EXPECT_TRUE(partition->rootEntry->children.empty());
  EXPECT_EQ(partition->rootEntry->name, "Root (\\)");
}

}  // namespace
