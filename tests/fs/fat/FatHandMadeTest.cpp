// Hand-made FAT volumes: table entries at sector boundaries, damaged and looping chains, the
// tail read of deleted files, odd geometry, long-name runs and labels.

#include <gtest/gtest.h>

#include <memory>

#include "fs/fat/FatNode.h"
#include "fs/fat/FatPartition.h"
#include "support/FaultyRead.h"
#include "support/HandVolume.h"
#include "support/OpenSource.h"

namespace {

constexpr uint32_t kSector = HandVolume::kSector;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Head(const Bytes& bytes, size_t count) { return Bytes(bytes.begin(), bytes.begin() + count); }

struct HandMadeTest : ::testing::Test {
  TFATPartition& Open(const HandVolume& volume, size_t truncateTo = 0) {
    Bytes bytes = volume.image.bytes();
    if (truncateTo != 0) bytes.resize(truncateTo);
    WriteFileBytes(dir / "hand.img", bytes);
    partition.reset();
    source = std::make_unique<OpenSource>(dir / "hand.img");
    partition = std::make_unique<TFATPartition>(&source->ref, PartitionEntry{});
    return *partition;
  }

  TDirectoryEntry& Root() { return *partition->rootEntry; }
  TDirectoryEntry& Child(size_t i) { return *Root().children.at(i); }

  static Bytes Read(TDirectoryEntry& node, uint32_t asked, uint32_t* delivered = nullptr) {
    uint32_t size = asked;
    ByteBuffer data = node.GetData(size);
    EXPECT_EQ(size, data.size());
    if (delivered) *delivered = size;
    return Bytes(data.begin(), data.end());
  }

  TempDir dir;
  std::unique_ptr<OpenSource> source;
  std::unique_ptr<TFATPartition> partition;
};

// Entries at table sector boundaries: one that straddles two sectors is read whole, one at the
// start of a later sector from there.
TEST_F(HandMadeTest, Fat12EntriesAtTableSectorBoundaries) {
  HandVolume v(12, 700);
  v.Chain({2, 341, 683, 5});  // 341's entry spans bytes 511 and 512; 683's starts at byte 1024
  v.Slot(v.RootOffset(), 0, "FILE    BIN", 0x20, 2, 4 * kSector - 20);
  const Bytes a = v.FillCluster(2, 1), b = v.FillCluster(341, 2), c = v.FillCluster(683, 3), d = v.FillCluster(5, 4);
  v.FillCluster(3, 5);
  v.FillCluster(342, 6);
  Open(v);
  EXPECT_EQ(Read(Child(0), 0), Concat({a, b, c, Head(d, kSector - 20)}));
}

// A bad-cluster mark says that its cluster is unusable, not where the chain goes on: the chain
// ends there, even where the volume has a cluster of that number, and the data is short.
TEST_F(HandMadeTest, BadClusterMarksEndTheChainAndTheTopBitsOfFat32Entries) {
  HandVolume v12(12, 4090);
  v12.Chain({2, 0xFF7});
  v12.Slot(v12.RootOffset(), 0, "BAD     BIN", 0x20, 2, 2 * kSector);
  const Bytes first = v12.FillCluster(2, 1);
  v12.FillCluster(0xFF7, 2);
  Open(v12);
  EXPECT_EQ(Read(Child(0), 0), first);
  const DataCompleteness found = Child(0).Completeness();
  EXPECT_EQ(found.shortfall, DataShortfall::kBadClusterMark);
  EXPECT_EQ(found.delivered, kSector);

  HandVolume v32(32, 20);
  v32.SetEntry(3, 0xF0000006);  // cluster 6: the top four bits are not part of the number
  v32.SetEntry(6, 0x0FFFFFF8);
  v32.Slot(v32.RootOffset(), 0, "TOP     BIN", 0x20, 3, 2 * kSector);
  const Bytes three = v32.FillCluster(3, 3), six = v32.FillCluster(6, 4);
  v32.FillCluster(4, 5);
  Open(v32);
  EXPECT_EQ(Read(Child(0), 0), Concat({three, six}));
}

// A chain that comes back to a cluster it passed is read once round; a huge size with a chain
// that ends nowhere stops at the volume's end.
TEST_F(HandMadeTest, LoopingChainsEndWhereTheyComeBackAndHugeSizesAtTheVolumesEnd) {
  const uint32_t clusters = 5000;
  HandVolume v(16, clusters);
  v.SetEntry(3, 4);
  v.SetEntry(4, 3);
  v.Slot(v.RootOffset(), 0, "LOOP       ", 0x10, 3);
  v.Slot(v.RootOffset(), 1, "HUGE    BIN", 0x20, 3, 0xFFFFFFFF);
  v.Slot(v.RootOffset(), 2, "FREE    BIN", 0x20, 5, 0xFFFFFFFF);  // 5 is free: the tail rule
  v.Slot(v.RootOffset(), 3, "FAR     BIN", 0x20, 0xFFF0, 0xFFFFFFFF);
  const Bytes three = v.FillCluster(3, 3), four = v.FillCluster(4, 4);
  Open(v);
  const uint32_t volumeBytes = clusters * kSector;
  uint32_t size = 0;
  EXPECT_EQ(Read(Child(0), 0), Concat({three, four}));
  Child(0).ReadChildren();
  EXPECT_EQ(static_cast<FATDirectoryNode&>(Child(0)).records.size(), 2 * kSector / 32);
  EXPECT_EQ(Read(Child(1), 0), Concat({three, four}));
  Read(Child(2), 0, &size);
  EXPECT_EQ(size, (clusters + 1 - 5 + 1) * kSector);  // clusters 5 up to the last one
  Read(Child(3), 0, &size);
  EXPECT_LE(size, volumeBytes);
}

// Deleting a file frees its chain; its data is read from its first cluster on over the clusters
// the table marks free, never from clusters that belong to other files now.
TEST_F(HandMadeTest, DeletedFilesAreReadFromFreeClustersOnly) {
  HandVolume v(16, 20);
  const uint64_t root = v.RootOffset();
  v.Slot(root, 0, "\xE5" "ELETED TXT", 0x20, 5, 3 * kSector - 100);
  v.Slot(root, 1, "\xE5" "ROUND  BIN", 0x20, 10, 4 * kSector - 1);  // written around LIVE.BIN and OTHER.BIN
  v.Slot(root, 2, "LIVE    BIN", 0x20, 11, 2 * kSector);
  v.Chain({11, 12});
  v.Slot(root, 3, "OTHER   BIN", 0x20, 14, kSector);
  v.Chain({14});
  v.Slot(root, 4, "\xE5" "EUSED  TXT", 0x20, 12, kSector);  // its first cluster is LIVE.BIN's now
  v.Slot(root, 5, "\xE5" "ATEEND BIN", 0x20, 20, 5 * kSector);
  v.Slot(root, 6, "\xE5" "MPTY   TXT", 0x20, 17, 0);
  // A live file whose chain was cut after its first cluster (entry 18 is free): the tail read.
  v.Slot(root, 7, "CUT     BIN", 0x20, 18, 3 * kSector);
  Bytes cluster[22];
  for (uint32_t c = 2; c < 22; ++c) cluster[c] = v.FillCluster(c, c);
  Open(v);

  ASSERT_EQ(Root().children.size(), 8u);
  EXPECT_EQ(Child(0).name, "_ELETED.TXT");
  EXPECT_EQ(Child(0).state, kStateDeleted);
  EXPECT_EQ(Read(Child(0), 0), Concat({cluster[5], cluster[6], Head(cluster[7], kSector - 100)}));
  EXPECT_EQ(Read(Child(1), 0), Concat({cluster[10], cluster[13], cluster[15], Head(cluster[16], kSector - 1)}));
  EXPECT_EQ(Read(Child(1), kSector + 10), Concat({cluster[10], Head(cluster[13], 10)}));
  EXPECT_TRUE(Read(Child(4), 0).empty());
  EXPECT_EQ(Read(Child(5), 0), Concat({cluster[20], cluster[21]}));  // the volume ends
  EXPECT_TRUE(Read(Child(6), 0).empty());
  EXPECT_EQ(Read(Child(7), 0), Concat({cluster[18], cluster[19], cluster[20]}));

  // How complete each is, and why not.
  const struct {
    size_t child;
    DataShortfall shortfall;
    uint64_t delivered, standIns;
  } completeness[] = {
      {0, DataShortfall::kNone, 3 * kSector - 100, 0},
      {4, DataShortfall::kFirstClusterTaken, 0, 0},
      {5, DataShortfall::kVolumeEnds, 2 * kSector, 0},
      {6, DataShortfall::kNone, 0, 0},
      {7, DataShortfall::kFreeInChain, kSector, 2 * kSector},  // the tail is a guess
  };
  for (const auto& c : completeness) {
    SCOPED_TRACE(Child(c.child).name);
    const DataCompleteness found = Child(c.child).Completeness();
    EXPECT_EQ(found.shortfall, c.shortfall);
    EXPECT_EQ(found.delivered, c.delivered);
    EXPECT_EQ(found.standIns, c.standIns);
  }
  EXPECT_EQ(Child(4).Completeness().kind(), DataCompleteness::Kind::kNone);

  // Streamed in pieces, the same bytes.
  MemoryStream streamed;
  ASSERT_TRUE(Child(1).StreamData(streamed, 0));
  EXPECT_EQ(Bytes(streamed.Data(), streamed.Data() + streamed.Length()), Read(Child(1), 0));
}

// A deleted directory opens: its slots are read from its first cluster, which opens with ".",
// over free clusters while they hold directory slots, up to the end marker. Everything in it
// is deleted, and a directory in it opens the same way.
TEST_F(HandMadeTest, DeletedDirectoriesAreReadBackFromFreeClusters) {
  HandVolume v(16, 40);
  const uint64_t root = v.RootOffset();
  v.Slot(root, 0, "\xE5" "LDDIR     ", 0x10, 3);
  v.Slot(root, 1, "\xE5" "EUSED     ", 0x10, 8);  // cluster 8 is a live file's now
  v.Slot(root, 2, "\xE5" "OTADIR    ", 0x10, 9);  // cluster 9 holds file data
  v.Slot(root, 3, "LIVE    BIN", 0x20, 4, kSector);
  v.Chain({4});
  v.Chain({8});
  v.FillCluster(9, 9);

  // OLDDIR: cluster 3, then (4 is in use) cluster 5, which ends with the end marker.
  const uint64_t old = v.ClusterOffset(3);
  v.Slot(old, 0, ".          ", 0x10, 3);
  v.Slot(old, 1, "..         ", 0x10, 0);
  v.LongNameSlot(old, 2, 0xE5, u"mber leaf.txt", "AMBERL~1TXT");
  v.LongNameSlot(old, 3, 0xE5, u"Herbstblatt a", "AMBERL~1TXT");  // whole name: 26 units
  v.Slot(old, 4, "\xE5" "MBERL~1TXT", 0x20, 20, 100);
  for (size_t i = 5; i < 15; ++i) v.Slot(old, i, "\xE5" "ILLER  " + std::to_string(i % 10) + "  ", 0x20, 0, 0);
  v.Slot(old, 15, "KEPT    TXT", 0x20, 21, 30);  // left live-looking inside: deleted all the same
  const uint64_t rest = v.ClusterOffset(5);
  v.Slot(rest, 0, "\xE5" "UB        ", 0x10, 6);
  v.Slot(rest, 2, "STALE   TXT", 0x20, 22, 10);  // after the end marker: not a slot of the directory
  // SUB: cluster 6, full, then cluster 7, which opens another directory: SUB ends with 6.
  const uint64_t sub = v.ClusterOffset(6);
  v.Slot(sub, 0, ".          ", 0x10, 6);
  v.Slot(sub, 1, "..         ", 0x10, 3);
  for (size_t i = 2; i < 16; ++i) v.Slot(sub, i, "\xE5" "EEP" + std::to_string(i / 10) + std::to_string(i % 10) + "  BIN", 0x20, 0, 0);
  v.Slot(v.ClusterOffset(7), 0, ".          ", 0x10, 7);
  v.Slot(v.ClusterOffset(7), 1, "NOTSUB  TXT", 0x20, 0, 0);
  const Bytes amber = v.FillCluster(20, 20);
  Open(v);

  ASSERT_EQ(Root().children.size(), 4u);
  TDirectoryEntry& dir = Child(0);
  EXPECT_EQ(dir.name, "_LDDIR");
  EXPECT_EQ(dir.state, kStateDeleted);
  EXPECT_TRUE(dir.IsFolder());
  EXPECT_EQ(dir.path, "\\_LDDIR\\");
  EnsureChildren(dir);
  std::vector<std::string> names;
  for (auto& child : dir.children) {
    names.push_back(child->name);
    EXPECT_TRUE(child->IsDeleted()) << child->name;
  }
  std::vector<std::string> expected{"Herbstblatt amber leaf.txt - _MBERL~1.TXT"};
  for (size_t i = 5; i < 15; ++i) expected.push_back("_ILLER." + std::to_string(i % 10));
  expected.push_back("KEPT.TXT");
  expected.push_back("_UB");
  EXPECT_EQ(names, expected);
  EXPECT_EQ(Read(*dir.children[0], 0), Head(amber, 100));
  // Its data: the slots of clusters 3 and 5, up to the end marker.
  uint32_t size = 0;
  Read(dir, 0, &size);
  EXPECT_EQ(size, 17u * 32);

  TDirectoryEntry& inner = *dir.children.back();
  EXPECT_TRUE(inner.IsFolder());
  EXPECT_EQ(inner.path, "\\_LDDIR\\_UB\\");
  EnsureChildren(inner);
  EXPECT_EQ(inner.children.size(), 14u);
  EXPECT_EQ(inner.children.back()->name, "_EEP15.BIN");

  // Overwritten: no slots.
  for (size_t i : {size_t{1}, size_t{2}}) {
    EXPECT_TRUE(Child(i).IsFolder());
    EnsureChildren(Child(i));
    EXPECT_TRUE(Child(i).children.empty()) << Child(i).name;
    EXPECT_TRUE(Read(Child(i), 0).empty()) << Child(i).name;
  }
}

TEST_F(HandMadeTest, FirstClustersZeroAndOneDeliverNothing) {
  HandVolume v(16, 20);
  v.Slot(v.RootOffset(), 0, "ZERO    TXT", 0x20, 0, 100);
  v.Slot(v.RootOffset(), 1, "ONE     TXT", 0x20, 1, 100);
  v.Slot(v.RootOffset(), 2, "SUBDIR     ", 0x10, 0);  // not the root region
  Open(v);
  for (size_t i = 0; i < 3; ++i) {
    uint32_t size = 0;
    EXPECT_TRUE(Read(Child(i), 0, &size).empty()) << i;
    EXPECT_EQ(size, 0u);
  }
  Child(2).ReadChildren();
  EXPECT_TRUE(Child(2).children.empty());
}

TEST_F(HandMadeTest, ZeroGeometryGivesAnEmptyRoot) {
  for (int fatType : {12, 16, 32}) {
    for (size_t field : {size_t{11}, size_t{13}}) {  // bytes per sector, sectors per cluster
      HandVolume v(fatType, 20);
      v.Slot(v.RootOffset(), 0, "FILE    TXT", 0x20, 3, 100);
      v.image.fill(field, field == 11 ? 2 : 1, 0);
      TFATPartition& p = Open(v);
      EXPECT_TRUE(Root().children.empty()) << fatType << " " << field;
      Root().ReadChildren();
      EXPECT_TRUE(Root().children.empty());
      uint32_t size = 0;
      EXPECT_TRUE(Read(Root(), 0, &size).empty());
      EXPECT_EQ(p.GetDescription(), "FAT" + std::to_string(fatType) + " partition, no label");
    }
  }
}

// "Random" bytes after a sound boot sector: whatever the slots claim, reading them ends, stays
// within the volume's size and touches no memory it should not.
TEST_F(HandMadeTest, RandomBytesAfterASoundBootSectorAreReadSafely) {
  for (int fatType : {12, 16, 32}) {
    for (uint32_t seed : {1u, 2u, 3u}) {
      HandVolume v(fatType, 300);
      const Bytes noise = PatternBytes(v.image.bytes().size() - kSector, seed * 7 + fatType);
      std::copy(noise.begin(), noise.end(), v.image.at(kSector));
      TFATPartition& p = Open(v);
      const uint64_t volumeBytes = uint64_t{p.DataClusterCount()} * p.ClusterBytes();
      std::vector<TDirectoryEntry*> pending{&Root()};
      for (size_t visited = 0; visited < 40 && !pending.empty(); ++visited) {
        TDirectoryEntry* node = pending.back();
        pending.pop_back();
        uint32_t size = 0;
        Read(*node, 0, &size);
        EXPECT_LE(size, std::max<uint64_t>(volumeBytes, 65535 * 32));
        RecordingInfoList info;
        node->FillInfo(info);
        if (!node->IsFolder()) continue;
        node->ReadChildren();
        for (auto& child : node->children) pending.push_back(child.get());
      }
    }
  }
}

// The bytes before the source's end come back even when a read runs past it.
TEST_F(HandMadeTest, ATruncatedImageGivesBackWhatItHolds) {
  HandVolume v(16, 20, 4);
  v.Chain({19, 20, 21});
  v.Slot(v.RootOffset(), 0, "CUTOFF  BIN", 0x20, 19, 3 * v.ClusterBytes());
  const Bytes a = v.FillCluster(19, 1), b = v.FillCluster(20, 2), c = v.FillCluster(21, 3);
  Open(v, v.ClusterOffset(21) + 2 * kSector);
  Bytes expected = Concat({a, b, Head(c, 2 * kSector)});
  expected.resize(3 * v.ClusterBytes(), 0);
  EXPECT_EQ(Read(Child(0), 0), expected);
}

// A boot sector that claims sectors larger than the source's makes every cluster longer than
// the stretch of source it starts in; what the volume holds is still no more than the source
// holds from the data area on, rounded up to one whole cluster.
TEST_F(HandMadeTest, ClaimedSectorsLargerThanTheSourcesHoldNoMoreThanTheSource) {
  HandVolume v(16, 64);
  v.image.u16(11, 64 * kSector);
  v.SetEntry(5, 0);
  v.Slot(v.RootOffset(), 0, "FREE    BIN", 0x20, 5, 0xFFFFFFFF);  // the tail rule: up to the end
  TFATPartition& p = Open(v);
  const uint64_t sourceBytes = v.image.bytes().size();
  const uint64_t volumeBytes = uint64_t{p.DataClusterCount()} * p.ClusterBytes();
  EXPECT_LT(volumeBytes, sourceBytes + p.ClusterBytes());
  uint32_t size = 0;
  Read(Child(0), 0, &size);
  EXPECT_GT(size, 0u);
  EXPECT_LE(size, volumeBytes);
}

// A damaged boot sector that claims 65,280-byte sectors: each directory read looks up its
// chain in the table, and costs its own cluster and a few KiB of table, not two claimed sectors
// (128 KiB) of it; a walk over thousands of such directories depends on that.
TEST_F(HandMadeTest, ClaimedHugeSectorsDoNotMakeEachChainReadMuchTable) {
  HandVolume v(16, 4000);
  constexpr uint32_t kClaimedSector = 0xFF00;
  v.image.u16(11, kClaimedSector);
  constexpr uint32_t kDirectories = 30;
  for (uint32_t i = 0; i < kDirectories; ++i) {
    v.Slot(v.RootOffset(), i, "DIR" + std::to_string(10 + i) + "      ", 0x10, 3 + i);
    v.Chain({3 + i});
  }
  Open(v);
  ASSERT_EQ(Root().children.size(), kDirectories);
  const std::shared_ptr<FaultyRead> fault = InstallFaultyRead(source->reader);
  for (size_t i = 0; i < kDirectories; ++i) EnsureChildren(Child(i));
  uint64_t bytesRead = 0;
  for (const FaultyRead::Call& call : fault->calls) bytesRead += call.count;
  EXPECT_GT(bytesRead, uint64_t{kDirectories} * kClaimedSector);
  EXPECT_LT(bytesRead, uint64_t{kDirectories} * (kClaimedSector + 32 * 1024));
}

// A directory whose chain runs past the end of a truncated source and comes back: the clusters
// beyond give nothing but end the long name begun before them, and what follows is still read.
TEST_F(HandMadeTest, ADirectoryRunningPastTheSourcesEndKeepsWhatFollows) {
  HandVolume v(16, 64);
  v.Slot(v.RootOffset(), 0, "AWAY       ", 0x10, 3);
  v.Slot(v.RootOffset(), 1, "NEAR       ", 0x10, 5);
  v.Chain({3, 60, 4});  // 60 lies beyond the end of the source
  v.Chain({5, 6});
  for (uint32_t first : {3u, 5u}) {
    v.Slot(v.ClusterOffset(first), 0, "A       TXT", 0x20);
    v.LongNameSlot(v.ClusterOffset(first), 15, 0x41, u"orphan.txt", "ORPHAN  TXT");
    v.Slot(v.ClusterOffset(first == 3 ? 4 : 6), 0, "ORPHAN  TXT", 0x20);
  }
  Open(v, v.ClusterOffset(40));
  const auto names = [&](size_t i) {
    EnsureChildren(Child(i));
    std::vector<std::string> found;
    for (const auto& child : Child(i).children) found.push_back(child->name);
    return found;
  };
  EXPECT_EQ(names(0), (std::vector<std::string>{"A.TXT", "ORPHAN.TXT"}));
  EXPECT_EQ(names(1), (std::vector<std::string>{"A.TXT", "orphan.txt - ORPHAN.TXT"}));
}

TEST_F(HandMadeTest, Fat32RootAboveClusterFFFF) {
  HandVolume v(32, 70010);
  const uint32_t rootCluster = 70000;
  v.image.u32(44, rootCluster);
  v.Chain({rootCluster});
  v.Slot(v.ClusterOffset(rootCluster), 0, "HIGH    TXT", 0x20, 70005, 10);
  v.Chain({70005});
  const Bytes data = v.FillCluster(70005, 9);
  Open(v);
  RecordingInfoList info;
  Root().FillInfo(info);
  EXPECT_EQ(*info.Find("Starting cluster"), "70000");
  ASSERT_EQ(Root().children.size(), 1u);
  EXPECT_EQ(Read(Child(0), 0), Head(data, 10));
}

TEST_F(HandMadeTest, SlotsThatBecomeNodes) {
  HandVolume v(16, 20);
  const uint64_t root = v.RootOffset();
  v.Slot(root, 0, ".          ", 0x10, 2);
  v.Slot(root, 1, "..         ", 0x10);
  v.Slot(root, 2, "LABEL      ", 0x08);
  v.LongNameSlot(root, 3, 0x41, u"Long", "LONG       ");
  v.Slot(root, 4, "LONG       ", 0x10, 3);            // a directory takes the long name alone
  v.Slot(root, 5, "BOTH       ", 0x18, 4);            // directory and label bits: a directory
  v.Slot(root, 6, "\xE5" "ABEL      ", 0x08);         // deleted label: no node
  v.LongNameSlot(root, 7, 0xE5, u"txt", "REMOVE~1TXT");  // deleted long-name slots: no node
  v.LongNameSlot(root, 8, 0xE5, u"Removed file.", "REMOVE~1TXT");
  v.Slot(root, 9, "\xE5" "EMOVE~1TXT", 0x20, 5, 10);
  v.Slot(root, 11, "STALE   TXT", 0x20, 6, 10);        // slot 10 is the end marker
  v.LongNameSlot(root, 12, 0x41, u"stray", "OTHER   TXT");  // not this file's name
  v.Slot(root, 13, "PLAIN   TXT", 0x20, 7, 10);
  v.Slot(root, 14, " AME1   BIN", 0x20, 8, 10);  // a leading blank is the name's own
  v.Slot(root, 15, "           ", 0x20, 9, 10);  // blanks only: no name at all
  Open(v);
  std::vector<std::pair<std::string, int32_t>> shown;
  for (auto& child : Root().children) shown.emplace_back(child->name, child->state);
  const std::vector<std::pair<std::string, int32_t>> expected = {
      {"Long", kStateDirectory},
      {"BOTH", kStateDirectory},
      {"Removed file.txt - _EMOVE~1.TXT", kStateDeleted},
      {"STALE.TXT", kStateFile},
      {"PLAIN.TXT", kStateFile},
      {" AME1.BIN", kStateFile},
      {"", kStateFile},
  };
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(Root().children[0]->path, "\\Long\\");
  EXPECT_EQ(Root().children[2]->path, "\\");
  EXPECT_EQ(Root().children[2]->LongName(), "Removed file.txt");
}

// Long-name pieces belong to the short name that follows them only when their checksum fits
// it; a deleted name, whose sequence bytes are gone, is the run of pieces with one checksum up
// to the piece in which the name ends.
TEST_F(HandMadeTest, LongNamesAreTheirPiecesThatFit) {
  HandVolume v(16, 20, 1, 64);
  const uint64_t root = v.RootOffset();
  // Deleted, three pieces, not ASCII: "Überweisung für März 2024.pdf".
  v.LongNameSlot(root, 0, 0xE5, u"pdf", "UBERWE~1PDF");
  v.LongNameSlot(root, 1, 0xE5, u"\u00FCr M\u00E4rz 2024.", "UBERWE~1PDF");
  v.LongNameSlot(root, 2, 0xE5, u"\u00DCberweisung f", "UBERWE~1PDF");
  v.Slot(root, 3, "\xE5" "BERWE~1PDF", 0x20);
  // Deleted, exactly two whole pieces, after a piece of another name.
  v.LongNameSlot(root, 4, 0xE5, u"xyz", "OTHER~1 TXT");
  v.LongNameSlot(root, 5, 0xE5, u"_2023_\u00DC_A.txt", "JAHRES~1TXT");
  v.LongNameSlot(root, 6, 0xE5, u"Jahresschluss", "JAHRES~1TXT");
  v.Slot(root, 7, "\xE5" "AHRES~1TXT", 0x20);
  // Live: its pieces fit.
  v.LongNameSlot(root, 8, 0x42, u"e.txt", "LIVENA~1TXT");
  v.LongNameSlot(root, 9, 0x01, u"Live long nam", "LIVENA~1TXT");
  v.Slot(root, 10, "LIVENA~1TXT", 0x20);
  Open(v);
  std::vector<std::string> longNames;
  for (auto& child : Root().children) longNames.push_back(child->LongName());
  EXPECT_EQ(longNames, (std::vector<std::string>{"Überweisung für März 2024.pdf", "Jahresschluss_2023_Ü_A.txt",
                                                  "Live long name.txt"}));
  EXPECT_EQ(Child(0).name, "Überweisung für März 2024.pdf - _BERWE~1.PDF");
}

TEST_F(HandMadeTest, LongNameRunsNeverOverrunTheirRoom) {
  HandVolume v(16, 20, 1, 128);
  const uint64_t root = v.RootOffset();
  // A legal 255-character name: 20 pieces, the last flagged, stored last piece first.
  std::u16string full;
  for (int i = 0; i < 255; ++i) full += static_cast<char16_t>(u'a' + i % 26);
  for (int piece = 19; piece >= 0; --piece) {
    v.LongNameSlot(root, static_cast<size_t>(19 - piece), static_cast<uint8_t>((piece + 1) | (piece == 19 ? 0x40 : 0)),
                   full.substr(static_cast<size_t>(piece) * 13, 13), "AAAAAA~1TXT");
  }
  v.Slot(root, 20, "AAAAAA~1TXT", 0x20);
  // 30 pieces without the last-piece flag, and 30 deleted ones without an end.
  for (size_t i = 21; i < 51; ++i) v.LongNameSlot(root, i, 0x01, u"xxxxxxxxxxxxx", "XXXXXX~1TXT");
  v.Slot(root, 51, "XXXXXX~1TXT", 0x20);
  for (size_t i = 52; i < 82; ++i) v.LongNameSlot(root, i, 0xE5, u"yyyyyyyyyyyyy", "YYYYYY~1TXT");
  v.Slot(root, 82, "\xE5" "YYYYY~1TXT", 0x20);
  Open(v);
  ASSERT_EQ(Root().children.size(), 3u);
  std::string ascii(full.begin(), full.end());
  EXPECT_EQ(Child(0).name, ascii + " - AAAAAA~1.TXT");
  EXPECT_EQ(Child(1).name, std::string(255, 'x') + " - XXXXXX~1.TXT");
  EXPECT_EQ(Child(2).name, std::string(255, 'y') + " - _YYYYY~1.TXT");
}

// The root's label slots win over the boot sector's label, the last of them over the others; a
// deleted slot is no label, nor is the boot sector's "NO NAME", which formatters write for none.
TEST_F(HandMadeTest, TheLastLabelSlotOfTheRootWins) {
  struct Case {
    std::vector<std::string> slots;  // label slots in root order, 11 bytes each
    std::string description;
    std::string boot = "BOOT LABEL ";
  } cases[] = {
      {{}, "FAT16 partition \"BOOT LABEL\""},
      {{"FIRST      ", "SECOND     "}, "FAT16 partition \"SECOND\""},
      {{"FIRST      ", "\xE5" "ECOND     "}, "FAT16 partition \"FIRST\""},
      {{"\xE5" "ECOND     "}, "FAT16 partition \"BOOT LABEL\""},
      {{"FIRST      ", "           "}, "FAT16 partition, no label"},
      {{}, "FAT16 partition, no label", "NO NAME    "},
      {{"CARD       "}, "FAT16 partition \"CARD\"", "NO NAME    "},
  };
  for (const Case& c : cases) {
    HandVolume v(16, 20);
    v.image.text(43, c.boot);
    for (size_t i = 0; i < c.slots.size(); ++i) v.Slot(v.RootOffset(), i, c.slots[i], 0x08);
    EXPECT_EQ(Open(v).GetDescription(), c.description);
  }
  HandVolume blank(32, 20);
  EXPECT_EQ(Open(blank).GetDescription(), "FAT32 partition, no label");
}

TEST(FatTypeTest, TheTypeTextDecidesTheWidth) {
  struct Case {
    const char* at54;
    const char* at82;
    const char* oem;
    int32_t fatType;
  } cases[] = {
      {"FAT12", "", "MSDOS5.0", 12}, {"FAT16", "", "MSDOS5.0", 16}, {"", "FAT32", "MSDOS5.0", 32},
      {"FAT16", "FAT32", "MSDOS5.0", 16}, {"", "", "MSWIN4.1", 16}, {"", "", "ABCDEIHC", 12},
      {"FAT1", "", "", 16},
  };
  for (const Case& c : cases) {
    ImageBytes boot(512);
    boot.text(3, c.oem).text(54, c.at54).text(82, c.at82);
    EXPECT_EQ(DecideFatType(boot.bytes().data()), c.fatType) << c.at54 << "|" << c.at82 << "|" << c.oem;
  }
}

}  // namespace
