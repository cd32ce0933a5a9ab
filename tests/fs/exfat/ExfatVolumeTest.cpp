// Hand-made volumes: geometry that cannot be used, chains that loop or leave the heap, lengths
// beyond 32 bits, and sources that end early.

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "fs/SpanStream.h"
#include "fs/exfat/ExfatNode.h"
#include "fs/exfat/ExfatPartition.h"
#include "support/ExfatVolumeBytes.h"
#include "support/OpenSource.h"

namespace {

using namespace exfat_test;

struct ExfatVolume : ::testing::Test {
  // Opens the volume (cut to size bytes when size is not 0) and reads its root.
  EXFATPartition& Open(const ExfatVolumeBytes& volume, size_t size = 0) {
    partition.reset();
    source = std::make_unique<OpenSource>(volume.Write(dir, size));
    partition = std::make_unique<EXFATPartition>(&source->ref, PartitionEntry{});
    return *partition;
  }
  TDirectoryEntry& Child(size_t i) { return *partition->rootEntry->children.at(i); }
  Bytes Data(TDirectoryEntry& node) {
    uint32_t size = 0;
    ByteBuffer buffer = node.GetData(size);
    EXPECT_EQ(size, buffer.size());
    return Bytes(buffer.begin(), buffer.end());
  }

  TempDir dir;
  std::unique_ptr<OpenSource> source;
  std::unique_ptr<EXFATPartition> partition;
};

// Every read ends inside the heap, and says why it ended before the set's length.
TEST_F(ExfatVolume, EveryReadEndsInsideTheHeapAndSaysWhy) {
  ExfatVolumeBytes v(16);
  v.Put(2, Join({FileSet(u"loop", 1, 5, 0xFFFFF), FileSet(u"leaves heap", 1, 6, 0xFFFFF),
                 FileSet(u"run past end", 3, 16, 0xFFFFF), FileSet(u"cluster 0", 3, 0, 10),
                 FileSet(u"cluster 1", 1, 1, 10), FileSet(u"beyond heap", 3, 18, 10),
                 FileSet(u"empty", 3, 0, 0), FileSet(u"bad mark", 1, 10, 2048), FileSet(u"free", 1, 11, 2048),
                 FileSet(u"early", 1, 12, 2048)}))
      .Fat(2, 3).Fat(3, 2)  // the root's own chain loops too
      .Fat(5, 7).Fat(7, 5).Fat(6, 9).Fat(9, 0x12345678)
      .Fat(10, 0xFFFFFFF7).Fat(11, 0).Fat(12, 0xFFFFFFFF);
  Open(v);
  const struct {
    size_t bytes;
    DataShortfall shortfall;
  } expected[] = {
      {2 * 512, DataShortfall::kLoop},            // 5 and 7, then back to 5: a loop ends there
      {2 * 512, DataShortfall::kOutsideVolume},   // 6, then 9, whose entry leaves the heap
      {2 * 512, DataShortfall::kVolumeEnds},      // clusters 16 and 17, the last of the heap
      {0, DataShortfall::kOutsideVolume},         // cluster 0 with a length
      {0, DataShortfall::kOutsideVolume},
      {0, DataShortfall::kOutsideVolume},
      {0, DataShortfall::kNone},                  // empty: nothing to miss
      {512, DataShortfall::kBadClusterMark},
      {512, DataShortfall::kFreeInChain},
      {512, DataShortfall::kEarlyEnd},
  };
  ASSERT_EQ(partition->rootEntry->children.size(), std::size(expected));  // the looping root read once round
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(Child(i).name);
    EXPECT_EQ(Data(Child(i)).size(), expected[i].bytes);
    const DataCompleteness found = Child(i).Completeness();
    EXPECT_EQ(found.shortfall, expected[i].shortfall);
    EXPECT_EQ(found.delivered, expected[i].bytes);
  }
}

TEST_F(ExfatVolume, ModifiedTimesCarryTheirUtcOffsetWhenOneIsRecorded) {
  struct Case {
    uint8_t offsetByte;
    std::optional<int> minutes;
  } cases[] = {{0x00, std::nullopt}, {0x7F, std::nullopt}, {0x80, 0}, {0x84, 60}, {0xEC, -300}, {0xC0, -960}};
  Bytes sets;
  for (const Case& c : cases) {
    Bytes set = FileSet(u"f", 3, 0, 0);
    put16(&set[14], 0x3AEE);  // 2009/07/14
    put16(&set[12], 0x40A4);  // 08:05:08
    set[21] = 137;            // + 1.37 s
    set[23] = c.offsetByte;
    put16(&set[10], 0x3AEF);  // created 2009/07/15, 00:00:00.42, with the same offset
    set[20] = 42;
    set[22] = c.offsetByte;
    sets = Join({sets, set});
  }
  ExfatVolumeBytes v;
  v.Put(2, sets);
  Open(v);
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE("offset byte " + std::to_string(cases[i].offsetByte));
    const std::optional<RecordedTime> time = Child(i).ModifiedTime();
    ASSERT_TRUE(time.has_value());
    EXPECT_EQ(time->stamp.year, 2009u);
    EXPECT_EQ(time->stamp.seconds, 8u);
    EXPECT_EQ(time->hundredths, 137u);
    EXPECT_EQ(time->utcOffsetMinutes, cases[i].minutes);
    const std::optional<RecordedTime> created = Child(i).CreatedTime();
    ASSERT_TRUE(created.has_value());
    EXPECT_EQ(created->stamp.day, 15u);
    EXPECT_EQ(created->hundredths, 42u);
    EXPECT_EQ(created->utcOffsetMinutes, cases[i].minutes);
  }
  EXPECT_FALSE(partition->rootEntry->ModifiedTime().has_value());  // the root's made-up set has none
}

// A folder whose set was deleted keeps the directory icon, and what it holds counts as deleted
// even where its own set still reads as live (a driver that drops only the folder's set).
TEST_F(ExfatVolume, EverythingInADeletedFolderIsDeleted) {
  Bytes gone = FileSet(u"gone", 1, 4, 0);
  gone[0] = 0x05;  // deleted
  gone[4] = 0x10;  // a directory
  Bytes sub = FileSet(u"sub", 1, 5, 0);
  sub[4] = 0x10;
  ExfatVolumeBytes v;
  v.Put(2, Join({gone, FileSet(u"live", 3, 6, 10)}))
      .Put(4, Join({FileSet(u"kept", 3, 6, 10), sub}))
      .Put(5, FileSet(u"deep", 3, 6, 10))
      .Fat(4, 0xFFFFFFFF).Fat(5, 0xFFFFFFFF);
  Open(v);
  TDirectoryEntry& folder = Child(0);
  EXPECT_EQ(folder.state, kStateDirectory);
  EXPECT_TRUE(folder.IsDeleted());
  EXPECT_FALSE(Child(1).IsDeleted());
  folder.ReadChildren();
  ASSERT_EQ(folder.children.size(), 2u);
  TDirectoryEntry& kept = *folder.children[0];
  EXPECT_EQ(kept.state, kStateFile);
  EXPECT_TRUE(kept.IsDeleted());
  TDirectoryEntry& inner = *folder.children[1];
  EXPECT_EQ(inner.state, kStateDirectory);
  EXPECT_TRUE(inner.IsDeleted());
  inner.ReadChildren();
  ASSERT_EQ(inner.children.size(), 1u);
  EXPECT_TRUE(inner.children[0]->IsDeleted());
}

TEST_F(ExfatVolume, LengthAboveFourGiBShowsAllBitsAndReadsTheLowHalf) {
  ExfatVolumeBytes v;
  v.Put(2, FileSet(u"huge", 3, 4, 0x100000064)).Put(4, PatternBytes(100, 2));
  Open(v);
  EXPECT_EQ(Child(0).size, 100u);
  EXPECT_EQ(Data(Child(0)), PatternBytes(100, 2));
  RecordingInfoList list;
  Child(0).FillInfo(list);
  ASSERT_NE(list.Find("File size"), nullptr);
  EXPECT_EQ(*list.Find("File size"), "4294967396");
  EXPECT_EQ(*list.Find("Starting cluster"), "4");
}

// GetData keeps to the low half of a length of 4 GiB or more; streaming delivers all of it, up
// to where the heap or the chain ends, whether the data is one run or follows the FAT.
TEST_F(ExfatVolume, StreamingDeliversAllSixtyFourBitsOfTheLength) {
  ExfatVolumeBytes v(16);
  const Bytes heap = PatternBytes(14 * 512, 5);  // clusters 4 to 17
  v.Put(2, Join({FileSet(u"run", 3, 4, 0x100000064), FileSet(u"chain", 1, 4, 0x100000064),
                 FileSet(u"cut", 3, 4, 0x100000000 + 700)}))
      .Put(4, heap)
      .Fat(4, 5).Fat(5, 9).Fat(9, 0xFFFFFFFF);
  Open(v);
  const auto streamed = [](TDirectoryEntry& node, uint64_t limit) {
    MemoryStream stream;
    EXPECT_TRUE(node.StreamData(stream, limit));
    return Bytes(stream.Data(), stream.Data() + stream.Length());
  };
  const auto clusters = [&](std::initializer_list<uint32_t> numbers) {
    Bytes bytes;
    for (uint32_t c : numbers) bytes.insert(bytes.end(), heap.begin() + (c - 4) * 512, heap.begin() + (c - 3) * 512);
    return bytes;
  };
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(Child(i).DataLength(), Child(i).size + 0x100000000) << i;

  EXPECT_EQ(Data(Child(0)), Bytes(heap.begin(), heap.begin() + 100));
  EXPECT_EQ(streamed(Child(0), 0), heap);
  EXPECT_EQ(streamed(Child(0), 1000), Bytes(heap.begin(), heap.begin() + 1000));
  EXPECT_EQ(Data(Child(1)), Bytes(heap.begin(), heap.begin() + 100));
  const Bytes chain = clusters({4, 5, 9});
  EXPECT_EQ(streamed(Child(1), 0), chain);
  EXPECT_EQ(streamed(Child(1), 1100), Bytes(chain.begin(), chain.begin() + 1100));
  EXPECT_EQ(Data(Child(2)), Bytes(heap.begin(), heap.begin() + 700));
  EXPECT_EQ(streamed(Child(2), 0), heap);
}

// A large read reaches the sink in bounded pieces, a fragmented one gathered into as few of
// them as a contiguous one, and a sink that says stop is not written to again.
TEST_F(ExfatVolume, AStreamComesInBoundedPiecesAndStopsWhenTheSinkSaysSo) {
  ExfatVolumeBytes v(1000, 3);  // 4 KiB clusters, 4 MiB
  const Bytes content = PatternBytes(kPieceBytes + 1234, 9);
  const uint32_t clusters = static_cast<uint32_t>((content.size() + 4095) / 4096);
  // "run" lies in clusters 10 onwards; "every other" in clusters 300, 302, 304, ...
  v.Put(2, Join({FileSet(u"run", 3, 10, content.size()), FileSet(u"every other", 1, 300, content.size())}))
      .Put(10, content);
  for (uint32_t i = 0; i < clusters; ++i) {
    const auto at = content.begin() + i * 4096;
    v.Put(300 + 2 * i, Bytes(at, std::min(at + 4096, content.end())));
    v.Fat(300 + 2 * i, i + 1 < clusters ? 300 + 2 * (i + 1) : 0xFFFFFFFF);
  }
  Open(v);
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(Child(i).name);
    std::vector<size_t> pieces;
    Bytes got;
    CallbackSink all([&](const uint8_t* data, size_t n) {
      pieces.push_back(n);
      got.insert(got.end(), data, data + n);
      return true;
    });
    EXPECT_TRUE(Child(i).StreamData(all, 0));
    EXPECT_EQ(got, content);
    EXPECT_LE(*std::max_element(pieces.begin(), pieces.end()), kPieceBytes);
    EXPECT_LE(pieces.size(), 3u);

    size_t writes = 0;
    CallbackSink stopping([&](const uint8_t*, size_t) { return ++writes < 2; });
    EXPECT_FALSE(Child(i).StreamData(stopping, 0));
    EXPECT_EQ(writes, 2u);
  }
}

TEST_F(ExfatVolume, UnusableGeometryGivesAnEmptyRoot) {
  // Shifts outside the format, clusters above 32 MiB, 1024-byte volume sectors on a source
  // opened with 512-byte sectors (read unchecked, the root would be found at the wrong place),
  // and a FAT of no sectors.
  struct Row { size_t offset; uint8_t value; };
  const Row rows[] = {{108, 8}, {108, 13}, {108, 255}, {109, 17}, {109, 255}, {108, 10}, {84, 0}};
  for (const Row& r : rows) {
    ExfatVolumeBytes v;
    v.Put(2, Join({Entry(0x83, 5, u"LABEL"), FileSet(u"f", 3, 3, 10)})).image().u8(r.offset, r.value);
    Open(v);
    EXPECT_TRUE(partition->rootEntry->children.empty()) << r.offset << "=" << int{r.value};
    EXPECT_EQ(partition->GetDescription(), "exFAT partition, no label");
    EXPECT_TRUE(Data(*partition->rootEntry).empty());
  }
}

TEST_F(ExfatVolume, SourceEndingInsideAClusterGivesItsReadableBytes) {
  // ClusterCount claims far more than the image holds; the source ends two sectors before
  // the end of cluster 8, and a run from cluster 6 stops there.
  ExfatVolumeBytes v(8, 3);
  const Bytes content = PatternBytes(4 * 4096, 3);
  v.Put(2, FileSet(u"tail", 3, 6, 4 * 4096)).Put(6, content).image().u32(92, 0xFFFFFFFF);
  Open(v, v.ClusterOffset(9) - 1024);
  EXPECT_EQ(partition->heapClusterCount, 7u);
  Bytes expected(content.begin(), content.begin() + 3 * 4096 - 1024);
  expected.resize(3 * 4096, 0);
  EXPECT_EQ(Data(Child(0)), expected);
  // The FAT of 8 sectors addresses 1,022 clusters; the source ends after 7 of them.
  EXPECT_EQ(partition->notes, std::vector<std::string>{"The source ends inside the volume: 1015 of its 1022 clusters "
                                                      "lie beyond its end, and what they hold is missing."});
  const DataCompleteness found = Child(0).Completeness();
  EXPECT_EQ(found.shortfall, DataShortfall::kBeyondSource);
  EXPECT_EQ(found.delivered, 3 * 4096 - 1024u);
  EXPECT_EQ(found.standIns, 1024u);
}

// A deleted file read through the FAT follows its chain while that chain runs over clusters
// the allocation bitmap marks free; otherwise its data is the free clusters from its first on.
// A contiguous one is read as one run, as a live one is. Without a bitmap, as a live one.
TEST_F(ExfatVolume, DeletedFilesAreReadAlongFreeClusters) {
  constexpr uint32_t kCluster = 1024;  // room for every set in the root's one cluster
  const auto deleted = [](const std::u16string& name, uint8_t flags, uint32_t first, uint64_t length) {
    Bytes set = FileSet(name, flags, first, length);
    set[0] = 0x05;
    return set;
  };
  ImageBytes bitmapEntry(32);
  bitmapEntry.u8(0, 0x81).u32(20, 3).u64(24, 4);  // 4 bytes in cluster 3: clusters 2 to 33
  const Bytes sets = Join({deleted(u"chain kept", 1, 10, 3 * kCluster - 5),
                           deleted(u"chain gone", 1, 12, 3 * kCluster),
                           deleted(u"chain into a used one", 1, 16, 2 * kCluster),
                           deleted(u"start reused", 1, 13, kCluster),
                           deleted(u"contiguous", 3, 13, 2 * kCluster),
                           deleted(u"no length", 1, 18, 0),
                           FileSet(u"live", 3, 13, kCluster)});
  for (const bool withBitmap : {true, false}) {
    SCOPED_TRACE(withBitmap ? "with a bitmap" : "without a bitmap");
    ExfatVolumeBytes v(32, 1);
    Bytes cluster[34];
    for (uint32_t c = 4; c < 34; ++c) v.Put(c, cluster[c] = PatternBytes(kCluster, c));
    v.Put(2, withBitmap ? Join({bitmapEntry.bytes(), sets}) : sets).Fat(3, 0xFFFFFFFF);
    v.Put(3, Bytes{0x03, 0x08, 0x00, 0x00});  // in use: 2 (the root), 3 (the bitmap), 13 ("live")
    v.Fat(10, 20).Fat(20, 21).Fat(21, 0xFFFFFFFF).Fat(16, 13).Fat(13, 0xFFFFFFFF);
    Open(v);
    ASSERT_EQ(partition->rootEntry->children.size(), 7u);
    const auto join = [&](std::initializer_list<uint32_t> clusters, size_t cut = 0) {
      Bytes all;
      for (uint32_t c : clusters) all.insert(all.end(), cluster[c].begin(), cluster[c].end());
      all.resize(all.size() - cut);
      return all;
    };
    EXPECT_EQ(Data(Child(0)), join({10, 20, 21}, 5));
    if (withBitmap) {
      EXPECT_EQ(Data(Child(1)), join({12, 14, 15}));
      EXPECT_EQ(Data(Child(2)), join({16, 17}));
      EXPECT_TRUE(Data(Child(3)).empty());
      EXPECT_EQ(Child(3).Completeness().shortfall, DataShortfall::kFirstClusterTaken);
    } else {
      EXPECT_EQ(Data(Child(1)), join({12}));
      EXPECT_EQ(Data(Child(2)), join({16, 13}));
      EXPECT_EQ(Data(Child(3)), join({13}));
    }
    EXPECT_EQ(Data(Child(4)), join({13, 14}));
    EXPECT_TRUE(Data(Child(5)).empty());
    EXPECT_EQ(Data(Child(6)), join({13}));
    MemoryStream streamed;
    ASSERT_TRUE(Child(1).StreamData(streamed, 0));
    EXPECT_EQ(Bytes(streamed.Data(), streamed.Data() + streamed.Length()), Data(Child(1)));
  }
}

// The walk over free clusters ends with the heap, although the bitmap's last byte has bits for
// clusters past it, which are clear; a byte of eight clusters in use is passed in one step.
TEST_F(ExfatVolume, AWalkOverFreeClustersEndsWithTheHeap) {
  constexpr uint32_t kCluster = 1024;
  struct Case {
    uint32_t first, clusters;
    std::vector<uint32_t> read;
  } cases[] = {
      {31, 3, {31}},          // the heap's last cluster
      {29, 4, {29, 31}},      // 30 is in use
      {17, 3, {17, 26, 27}},  // 18 to 25 are in use
  };
  Bytes sets;
  for (const Case& c : cases) {
    Bytes set = FileSet(u"gone", 1, c.first, uint64_t{c.clusters} * kCluster);
    set[0] = 0x05;  // deleted; the FAT entries of its clusters are 0, its chain gone
    sets = Join({sets, set});
  }
  ImageBytes bitmapEntry(32);
  bitmapEntry.u8(0, 0x81).u32(20, 3).u64(24, 4);  // 4 bytes in cluster 3: bits for clusters 2 to 33
  ExfatVolumeBytes v(30, 1);                      // the heap: clusters 2 to 31
  Bytes cluster[32];
  for (uint32_t c = 4; c < 32; ++c) v.Put(c, cluster[c] = PatternBytes(kCluster, c));
  v.Put(2, Join({bitmapEntry.bytes(), sets})).Fat(3, 0xFFFFFFFF);
  v.Put(3, Bytes{0x03, 0x00, 0xFF, 0x10});  // in use: 2, 3, 18 to 25 and 30
  Open(v);
  ASSERT_EQ(partition->rootEntry->children.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "from cluster " << cases[i].first);
    Bytes expected;
    for (uint32_t c : cases[i].read) expected = Join({expected, cluster[c]});
    EXPECT_EQ(Data(Child(i)), expected);
  }
}

}  // namespace
