// Read faults on volumes made by the real tools (FAT by mkfs.fat and mtools, exFAT from the
// committed images), put in place of the platform read: a sector that cannot be read, a read
// that fails for a while, a source that ends early. Whatever the answer to the reader's
// question, the tree comes up without a crash, and every byte delivered is the medium's own or
// zero: zero only where nothing could be read.

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "fs/Discovery.h"
#include "fs/exfat/ExfatNode.h"
#include "fs/exfat/ExfatPartition.h"
#include "fs/fat/FatNode.h"
#include "fs/fat/FatPartition.h"
#include "support/ExfatImages.h"
#include "support/FatImages.h"
#include "support/FaultyRead.h"
#include "support/OpenSource.h"
#include "support/ScriptedFaults.h"
#include "support/TestFiles.h"
#include "support/TreeSnapshot.h"

namespace {

// A volume and the entries the faults are aimed at, by "/"-separated names from the root.
struct Volume {
  std::string name;
  int fatType;            // 12, 16 or 32 for a shared FAT image; 0 for a committed exFAT image
  std::string file;       // a file of more than one sector, stored in one run
  std::string directory;  // a directory whose entries fill several sectors
  std::string chained;    // a file whose clusters are found through the allocation table, if any
};

void PrintTo(const Volume& volume, std::ostream* out) { *out << volume.name; }

const Volume kVolumes[] = {
    {"FAT12", 12, "FILL/A.BIN", "MANY", "FILL/D.BIN"},
    {"FAT16", 16, "FILL/A.BIN", "MANY", "FILL/D.BIN"},
    {"FAT32", 32, "FILL/A.BIN", "MANY", "FILL/D.BIN"},
    {"exfat_tree", 0, "contiguous.bin", "Many entries", "frag-a.bin"},
    {"exfat_mbr", 0, "dir with many/file 01.txt", "dir with many", "big chain.bin"},
    {"exfat_4k", 0, "hello.txt", "sub", ""},
};

// The tree walks read at most this much of each entry: all of every test file but the fillers.
constexpr uint32_t kDataLimit = 0x10000;

struct VolumeSource {
  std::string path;
  std::string sectorSize;
};

VolumeSource SourceOf(const Volume& volume) {
  if (volume.fatType != 0) return {SharedFatImage(volume.fatType).path, "512"};
  std::string image = volume.name;
  std::replace(image.begin(), image.end(), '_', '-');
  return {TestImagePath(image + ".img"), ReadExfatManifest(image).sectorSize};
}

// A reader on the volume with the stand-in in place from the first read on, and what
// discovery found there.
struct Source {
  explicit Source(const VolumeSource& volume, const std::function<void(FaultyRead&)>& prepare = nullptr,
                  ScriptedFaults* faults = nullptr)
      : fault(std::make_shared<FaultyRead>()),
        opened(Open(volume, prepare, faults)),
        reader(opened->reader()),
        ref(*opened->readerRef()),
        partitions(opened->partitions()) {}

  // The stand-in is in place from the first read on, steered by prepare.
  std::unique_ptr<OpenedSource> Open(const VolumeSource& volume, const std::function<void(FaultyRead&)>& prepare,
                                     ScriptedFaults* faults) {
    if (prepare) prepare(*fault);
    OpenSettings settings;
    settings.platformRead = ThroughFaultyRead(fault);
    if (faults != nullptr) {
      settings.faultPolicy = faults;
      settings.faultLog = &faults->log;
    }
    return OpenImageSource(volume.path, volume.sectorSize, settings);
  }

  std::shared_ptr<FaultyRead> fault;
  std::unique_ptr<OpenedSource> opened;
  TSectorReader& reader;
  ReaderRef& ref;
  PartitionList& partitions;
};

TDirectoryEntry& Find(Source& source, const std::string& path) {
  if (source.partitions.empty()) throw std::runtime_error("no partition found");
  TDirectoryEntry* node = source.partitions[0]->rootEntry.get();
  for (size_t start = 0; start < path.size();) {
    const size_t slash = std::min(path.find('/', start), path.size());
    const std::string name = path.substr(start, slash - start);
    if (node->children.empty()) node->ReadChildren();
    auto found = std::find_if(node->children.begin(), node->children.end(),
                              [&](const auto& child) { return child->name == name; });
    if (found == node->children.end()) throw std::runtime_error("no entry " + path);
    node = found->get();
    start = slash + 1;
  }
  return *node;
}

uint32_t FirstClusterOf(const TDirectoryEntry& node) {
  if (const auto* file = dynamic_cast<const FATFileNode*>(&node)) return file->entry->firstCluster;
  if (const auto* dir = dynamic_cast<const FATDirectoryNode*>(&node)) return dir->entry->firstCluster;
  const EXFATDirectoryEntry* set = nullptr;
  if (const auto* file = dynamic_cast<const EXFATFileNode*>(&node)) set = file->entrySet;
  if (const auto* dir = dynamic_cast<const EXFATDirectoryNode*>(&node)) set = dir->entrySet;
  return FindStreamChunk(*set)->Dword(exfat::kStreamFirstCluster);
}

// Where the volume keeps a cluster and the allocation-table entry of a cluster, in sectors of
// the source.
uint32_t ClusterSector(const TPartition& partition, uint32_t cluster) {
  if (const auto* fat = dynamic_cast<const TFATPartition*>(&partition)) {
    return fat->dataStartSector + (cluster - 2) * fat->SectorsPerCluster();
  }
  const auto& ex = dynamic_cast<const EXFATPartition&>(partition);
  return static_cast<uint32_t>(ex.clusterHeapStart + uint64_t{cluster - 2} * ex.sectorsPerCluster);
}

uint32_t TableSector(const TPartition& partition, uint32_t cluster) {
  if (const auto* fat = dynamic_cast<const TFATPartition*>(&partition)) {
    const uint64_t offset = fat->fatType == 12 ? cluster + cluster / 2 : uint64_t{cluster} * (fat->fatType / 8);
    return static_cast<uint32_t>(fat->fatStartSector + offset / fat->BytesPerSector());
  }
  const auto& ex = dynamic_cast<const EXFATPartition&>(partition);
  return static_cast<uint32_t>(ex.fatStart + uint64_t{cluster} * exfat::kFatEntrySize / ex.sectorSize);
}

uint32_t RootSector(const TPartition& partition) {
  const auto* fat = dynamic_cast<const TFATPartition*>(&partition);
  if (fat != nullptr && fat->fatType != 32) return fat->RootDirectorySector();
  return ClusterSector(partition, FirstClusterOf(*partition.rootEntry));
}

Bytes DataOf(TDirectoryEntry& node) {
  uint32_t size = node.size;
  const ByteBuffer data = node.GetData(size);
  return Bytes(data.begin(), data.end());
}

std::vector<std::string> NamesOf(const TDirectoryEntry& directory) {
  std::vector<std::string> names;
  for (const auto& child : directory.children) names.push_back(child->name);
  return names;
}

void ExpectSameBytes(const Bytes& got, const Bytes& expected) {
  ASSERT_EQ(got.size(), expected.size());
  const auto diff = std::mismatch(got.begin(), got.end(), expected.begin());
  EXPECT_TRUE(diff.first == got.end()) << "the bytes differ from offset " << diff.first - got.begin() << " on";
}

// Moves the read-ahead window to the end of the source, so that the next read of the sectors
// before `below` goes to the platform read.
void MoveWindowAway(TSectorReader& reader, uint32_t below) {
  ASSERT_LT(below, reader.totalSectors() - reader.bufferSectors());
  ASSERT_TRUE(reader.ReadSector(reader.totalSectors() - 1));
}

std::string ReadFailedText(uint64_t sector) {
  return "Read failed at sector " + std::to_string(sector) + ":\nInput/output error";
}

// Every box shown asks about a read that the stand-in failed, naming the sector the failed
// read began at: the bad sector, read alone.
void ExpectReadErrorQuestions(const ScriptedFaults& boxes, const FaultyRead& fault, uint32_t bytesPerSector) {
  for (const std::string& text : boxes.shown) {
    EXPECT_TRUE(std::any_of(fault.failedAt.begin(), fault.failedAt.end(),
                            [&](uint64_t at) { return text == ReadFailedText(at / bytesPerSector); }))
        << text;
  }
  EXPECT_EQ(boxes.log.Count(), boxes.shown.size());
}

struct ReadFaults : ::testing::TestWithParam<Volume> {
  ReadFaults() : volume(SourceOf(GetParam())) {}
  VolumeSource volume;
};

// Ignore makes the sector read as zeros, and nothing else changes: the tree, the information
// and the data are those of the same medium with that one sector zeroed, whether the platform
// read delivers the bytes in front of the bad sector or fails whole. Abort gives up the read,
// and the next discovery finds the medium whole again.
TEST_P(ReadFaults, AnUnreadableSectorCostsItsOwnBytesOnly) {
  Source clean(volume);
  ASSERT_EQ(clean.partitions.size(), 1u);
  const TreeSnapshot cleanTree = SnapshotOf(clean.partitions, kDataLimit);
  const TPartition& partition = *clean.partitions[0];
  const uint32_t bps = clean.reader.bytesPerSector();
  std::vector<std::pair<std::string, uint32_t>> targets = {
      {"the boot sector", partition.firstSector},
      {"the first sector of the root directory", RootSector(partition)},
      {"the first sector of " + GetParam().directory,
       ClusterSector(partition, FirstClusterOf(Find(clean, GetParam().directory)))},
      {"the second sector of " + GetParam().file,
       ClusterSector(partition, FirstClusterOf(Find(clean, GetParam().file))) + 1},
  };
  if (!GetParam().chained.empty()) {
    targets.emplace_back("the table sector of " + GetParam().chained,
                         TableSector(partition, FirstClusterOf(Find(clean, GetParam().chained))));
  }
  for (const auto& [what, sector] : targets) {
    SCOPED_TRACE(what + " (sector " + std::to_string(sector) + ")");
    Source zeroed(volume, [&, sector = sector](FaultyRead& f) { f.ZeroSector(sector, bps); });
    const TreeSnapshot expected = SnapshotOf(zeroed.partitions, kDataLimit);
    EXPECT_TRUE(expected != cleanTree) << "the tree does not show that sector";

    for (const bool deliverFirst : {true, false}) {
      SCOPED_TRACE(deliverFirst ? "the read delivers the bytes in front of it" : "the read fails whole");
      ScriptedFaults boxes;
      boxes.readErrorAnswer = FaultAnswer::kIgnore;
      Source faulty(
          volume,
          [&, sector = sector](FaultyRead& f) {
            f.FailSector(sector, bps);
            f.deliverFirst = deliverFirst;
          },
          &boxes);
      ExpectSameTree(SnapshotOf(faulty.partitions, kDataLimit), expected);
      EXPECT_FALSE(boxes.shown.empty());
      ExpectReadErrorQuestions(boxes, *faulty.fault, bps);
      if (!boxes.shown.empty()) {
        EXPECT_EQ(boxes.shown[0], ReadFailedText(sector));
      }
    }

    ScriptedFaults boxes;  // answers Abort
    // Twice: in the read of a run, and alone. A sector that reads alone was a passing fault.
    Source aborted(volume, [&, sector = sector](FaultyRead& f) { f.FailSector(sector, bps, 2); }, &boxes);
    SnapshotOf(aborted.partitions, kDataLimit);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0], ReadFailedText(sector));
    PartitionList again;
    DiscoverPartitions(&aborted.ref, again);
    ExpectSameTree(SnapshotOf(again, kDataLimit), cleanTree);
  }
}

// A file stored in one run and read in one piece, its second sector failing: Ignore zeroes that
// sector alone, Retry gets it all when the next try works, Abort gives zeros for the whole
// read and leaves nothing behind, so asking again goes to the medium and gets it all. The
// sector fails twice where it is to fail once: in the read of the run, and read alone.
TEST_P(ReadFaults, EachAnswerToAFailedFileRead) {
  Source clean(volume);
  TDirectoryEntry& cleanFile = Find(clean, GetParam().file);
  const Bytes reference = DataOf(cleanFile);
  const uint32_t bps = clean.reader.bytesPerSector();
  const uint32_t first = ClusterSector(*clean.partitions[0], FirstClusterOf(cleanFile));
  ASSERT_GT(reference.size(), bps);
  const Bytes image = ReadFileBytes(volume.path);
  ASSERT_TRUE(std::equal(reference.begin(), reference.end(), image.begin() + uint64_t{first} * bps))
      << GetParam().file << " is not stored in one run";

  const struct Case {
    FaultAnswer answer;
    int failures;
    bool deliverFirst;
  } cases[] = {{FaultAnswer::kIgnore, -1, true}, {FaultAnswer::kIgnore, -1, false}, {FaultAnswer::kRetry, 2, true},
               {FaultAnswer::kRetry, 2, false},  {FaultAnswer::kAbort, 2, true},    {FaultAnswer::kAbort, 2, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE("answer " + std::to_string(static_cast<int>(c.answer)) + (c.deliverFirst ? ", partial read" : ", whole read fails"));
    ScriptedFaults boxes;
    boxes.answers = {c.answer};
    Source source(volume, nullptr, &boxes);
    TDirectoryEntry& file = Find(source, GetParam().file);
    MoveWindowAway(source.reader, first + 1);
    source.fault->FailSector(first + 1, bps, c.failures);
    source.fault->deliverFirst = c.deliverFirst;

    const Bytes got = DataOf(file);
    ASSERT_EQ(boxes.shown.size(), 1u);
    ASSERT_FALSE(source.fault->failedAt.empty());
    ExpectReadErrorQuestions(boxes, *source.fault, bps);
    EXPECT_EQ(boxes.shown[0], ReadFailedText(first + 1));

    Bytes expected = reference;
    if (c.answer == FaultAnswer::kIgnore) {
      std::fill(expected.begin() + bps, expected.begin() + std::min<size_t>(2 * bps, expected.size()), 0);
    }
    if (c.answer == FaultAnswer::kAbort) std::fill(expected.begin(), expected.end(), 0);
    ExpectSameBytes(got, expected);

    if (c.answer == FaultAnswer::kAbort) {
      source.fault->calls.clear();
      ExpectSameBytes(DataOf(file), reference);
      EXPECT_TRUE(source.fault->WasRead(uint64_t{first + 1} * bps));
      EXPECT_EQ(boxes.shown.size(), 1u);
    }
  }
}

// A platform read that delivers fewer bytes and then reports the end of the source leaves
// zeros from there on, never bytes that the window held from another place; reads that deliver
// a little at a time are followed up, not taken for the end.
TEST_P(ReadFaults, AShortReadLeavesZerosNeverOtherBytes) {
  Source clean(volume);
  TDirectoryEntry& cleanFile = Find(clean, GetParam().file);
  const Bytes reference = DataOf(cleanFile);
  const uint32_t bps = clean.reader.bytesPerSector();
  const uint32_t first = ClusterSector(*clean.partitions[0], FirstClusterOf(cleanFile));

  for (const uint32_t cut : {bps / 2 + 3, bps}) {
    SCOPED_TRACE("the source ends " + std::to_string(cut) + " bytes into the file");
    ScriptedFaults boxes;
    Source source(volume, nullptr, &boxes);
    TDirectoryEntry& file = Find(source, GetParam().file);
    MoveWindowAway(source.reader, first + 1);
    source.fault->sourceEnd = uint64_t{first} * bps + cut;
    Bytes expected = reference;
    std::fill(expected.begin() + cut, expected.end(), 0);
    ExpectSameBytes(DataOf(file), expected);
    EXPECT_TRUE(boxes.shown.empty());
  }

  ScriptedFaults boxes;
  Source trickle(volume, [](FaultyRead& f) { f.mostPerCall = 1000; }, &boxes);
  ExpectSameTree(SnapshotOf(trickle.partitions, kDataLimit), SnapshotOf(clean.partitions, kDataLimit));
  EXPECT_TRUE(boxes.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Volumes, ReadFaults, ::testing::ValuesIn(kVolumes),
                         [](const auto& info) { return info.param.name; });

// Slots are read whatever comes before them, so a directory sector that cannot be read costs
// its own slots only, although its zeros read as end markers.
struct FatReadFaults : ::testing::TestWithParam<int> {};

TEST_P(FatReadFaults, AnUnreadableDirectorySectorCostsItsOwnEntriesOnly) {
  const FatImage& image = SharedFatImage(GetParam());
  const VolumeSource volume{image.path, "512"};
  constexpr uint32_t kSlotsPerSector = 512 / 32;
  // The first sector holds "." and ".." and the first entries.
  const std::vector<std::string> rest(image.manyEntries.begin() + kSlotsPerSector - 2, image.manyEntries.end());

  ScriptedFaults boxes;
  boxes.answers = {FaultAnswer::kIgnore};
  Source source(volume, nullptr, &boxes);
  TDirectoryEntry& many = Find(source, "MANY");
  const uint32_t first = ClusterSector(*source.partitions[0], FirstClusterOf(many));
  MoveWindowAway(source.reader, first);
  source.fault->FailSector(first, 512);
  many.ReadChildren();
  EXPECT_EQ(NamesOf(many), rest);
  EXPECT_EQ(boxes.shown.size(), 1u);

  // Abort loses the whole read, and the next one reads the medium again.
  ScriptedFaults aborting;
  Source again(volume, nullptr, &aborting);
  TDirectoryEntry& manyAgain = Find(again, "MANY");
  MoveWindowAway(again.reader, first);
  again.fault->FailSector(first, 512, 2);  // in the run, and alone
  manyAgain.ReadChildren();
  const std::vector<std::string> left = NamesOf(manyAgain);
  EXPECT_LE(left.size(), rest.size());
  EXPECT_TRUE(std::equal(left.rbegin(), left.rend(), image.manyEntries.rbegin())) << "not the last entries";
  manyAgain.ReadChildren();
  EXPECT_EQ(NamesOf(manyAgain), image.manyEntries);
  EXPECT_EQ(aborting.shown.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Widths, FatReadFaults, ::testing::Values(12, 16, 32),
                         [](const auto& info) { return "FAT" + std::to_string(info.param); });

}  // namespace
