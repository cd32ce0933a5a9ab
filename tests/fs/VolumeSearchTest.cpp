// Volumes found where the partition table or the boot sector is lost: the backup boot sectors
// of FAT32 and exFAT, and the search of the source for boot sectors. Disks are made with
// sfdisk, mkfs.fat, mkfs.exfat and mtools and then damaged; every volume found is compared,
// file by file and byte by byte, with the same volume opened on its own.

#include <gtest/gtest.h>

#include <map>

#include "fs/BootSectorCheck.h"
#include "fs/FatGeometry.h"
#include "fs/VolumeSearch.h"
#include "support/DiskImages.h"
#include "support/ExfatImages.h"
#include "support/FatImages.h"
#include "support/TreeSnapshot.h"

namespace {

// "2@2048 FAT32 volume found at sector 2048 "DATA"": number, first sector and caption.
std::vector<std::string> Found(const PartitionList& partitions) {
  std::vector<std::string> found;
  for (const auto& p : partitions) {
    found.push_back(std::to_string(p->number) + "@" + std::to_string(p->firstSector) + " " + p->GetDescription());
  }
  return found;
}

// Every node of partition number (from 1 in list order), by its path inside the volume: name,
// state, size and all of its bytes.
std::map<std::string, std::string> FilesOf(PartitionList& partitions, size_t number) {
  std::map<std::string, std::string> files;
  const std::string prefix = std::to_string(number) + ":";
  WalkTree(partitions, [&](const std::string& key, TDirectoryEntry& entry) {
    if (key.rfind(prefix, 0) != 0) return;
    uint32_t size = 0;
    const ByteBuffer data = entry.GetData(size);
    files[key.substr(prefix.size())] = entry.name + "|" + std::to_string(entry.state) + "|" +
                                       std::to_string(entry.size) + "|" +
                                       std::string(reinterpret_cast<const char*>(data.data()), size);
  });
  return files;
}

// The value of the first information row of the partition's root with caption, or "".
std::string RootRow(TPartition& partition, const std::string& caption) {
  RecordingInfoList list;
  partition.rootEntry->FillInfo(list);
  const std::string* value = list.Find(caption);
  return value != nullptr ? *value : "";
}

struct VolumeSearchTest : DiscoveryFixture {
  // Opens the image as the front ends do, the sector size free to follow the volumes found.
  void OpenFree(const std::string& image, const std::string& sectorSize = "512") {
    SourceChoice choice = SourceFromPath(image, sectorSize);
    OpenFailure failure;
    opened = OpenedSource::Open(choice, OpenSettings{}, failure);
    ASSERT_TRUE(opened) << failure.text;
  }

  // The files of the volume lying at byte offset of image, copied out and opened on its own.
  std::map<std::string, std::string> FilesAlone(const std::string& image, uint64_t offset, uint64_t bytes,
                                                const std::string& sectorSize = "512") {
    const std::string alone = dir / ("alone-" + std::to_string(offset) + ".img");
    RunCommand("dd if=" + ShellQuote(image) + " of=" + ShellQuote(alone) + " bs=4096 skip=" + std::to_string(offset) +
               " count=" + std::to_string(bytes) + " iflag=skip_bytes,count_bytes status=none");
    OpenSource source(alone, sectorSize);
    EXPECT_EQ(source.partitions.size(), 1u);
    return FilesOf(source.partitions, 1);
  }

  void Zero(const std::string& image, uint64_t offset, uint64_t count) {
    PatchFile(image, offset, Bytes(count, 0));
  }

  // A disk of three volumes and some files: FAT16 at a track boundary that is no 1 MiB
  // boundary, FAT32 and the committed exFAT tree at 1 MiB boundaries.
  std::string MakeThreeVolumeDisk() {
    const std::string disk = MakeDisk("disk.img", "96M",
                                      "label: dos\n"
                                      "start=63, size=32705, type=6\n"
                                      "start=34816, size=81920, type=c\n"
                                      "start=118784, size=8192, type=7\n");
    const MtoolsVolume fat16(disk, 63 * 512);
    fat16.Format("-F 16 -n SIXTEEN", 32705 / 2);
    fat16.MakeDirectory("/DOCS");
    fat16.Write("/DOCS/Letter to a friend.txt", PatternBytes(70000, 16));
    fat16.Write("/SMALL.BIN", PatternBytes(100, 17));
    const MtoolsVolume fat32(disk, 34816ull * 512);
    fat32.Format("-F 32 -n THIRTYTWO", 81920 / 2);
    fat32.MakeDirectory("/Photos");
    fat32.Write("/Photos/Beach.jpg", PatternBytes(300000, 32));
    fat32.Write("/README", PatternBytes(5, 33));
    Place(TestImagePath("exfat-tree.img"), disk, 118784);
    return disk;
  }

  std::unique_ptr<OpenedSource> opened;
};

TEST_F(VolumeSearchTest, ASourceWithItsTableZeroedGivesEveryVolumeBackWhole) {
  const std::string disk = MakeThreeVolumeDisk();
  const auto fat16 = FilesAlone(disk, 63 * 512, 32705 * 512ull);
  const auto fat32 = FilesAlone(disk, 34816 * 512ull, 81920 * 512ull);
  const auto exfat = FilesAlone(disk, 118784 * 512ull, 8192 * 512ull);
  ASSERT_GT(fat16.size(), 2u);
  ASSERT_GT(exfat.size(), 10u);
  Zero(disk, 0, 512);

  for (const SearchDepth depth : {SearchDepth::kBoundaries, SearchDepth::kEverySector}) {
    OpenFree(disk);
    ASSERT_TRUE(opened->partitions().empty());
    EXPECT_EQ(opened->SearchLostVolumes(depth), 3u);
    PartitionList& partitions = opened->partitions();
    // The backup boot sectors at sectors 6 and 12 of the volumes are no second volumes.
    EXPECT_EQ(Found(partitions), (std::vector<std::string>{
                                     "1@63 FAT16 volume found at sector 63 \"SIXTEEN\"",
                                     "2@34816 FAT32 volume found at sector 34816 \"THIRTYTWO\"",
                                     "3@118784 exFAT volume found at sector 118784 \"Données\"",
                                 }));
    ASSERT_EQ(partitions.size(), 3u);
    EXPECT_EQ(FilesOf(partitions, 1), fat16);
    EXPECT_EQ(FilesOf(partitions, 2), fat32);
    EXPECT_EQ(FilesOf(partitions, 3), exfat);
    EXPECT_EQ(RootRow(*partitions[1], "Found"), "by the search for lost volumes, at sector 34816");
    EXPECT_TRUE(opened->volumeNotes().empty());
  }
}

TEST_F(VolumeSearchTest, ABootSectorThatFailsItsChecksGivesWayToItsBackup) {
  const std::string disk = MakeThreeVolumeDisk();
  const auto fat32 = FilesAlone(disk, 34816 * 512ull, 81920 * 512ull);
  const auto exfat = FilesAlone(disk, 118784 * 512ull, 8192 * 512ull);
  Zero(disk, 34816 * 512ull, 512);
  Zero(disk, 118784 * 512ull, 512);
  {
    OpenFree(disk);
    PartitionList& partitions = opened->partitions();
    ASSERT_EQ(Found(partitions), (std::vector<std::string>{
                                     "1@63 FAT16 partition \"SIXTEEN\"",
                                     "2@34816 FAT32 partition \"THIRTYTWO\"",
                                     "3@118784 exFAT partition \"Données\"",
                                 }));
    EXPECT_EQ(FilesOf(partitions, 2), fat32);
    EXPECT_EQ(FilesOf(partitions, 3), exfat);
    EXPECT_EQ(RootRow(*partitions[1], "Boot sector"), "damaged; read from its backup at sector 6 of the volume");
    EXPECT_EQ(RootRow(*partitions[2], "Boot sector"),
              "damaged; read from its backup boot region at sector 12 of the volume");
    EXPECT_EQ(RootRow(*partitions[0], "Boot sector"), "");
  }
  // A FAT32 boot sector that is not zeroed but claims a sector size no volume has, and an exFAT
  // one whose checksum no longer fits after a byte changed: the backups are read all the same.
  // With the table zeroed too, the search finds both through their backups.
  PatchFile(disk, 34816 * 512ull, ReadFileRange(disk, (34816 + 6) * 512ull, 512));
  PatchFile(disk, 34816 * 512ull + 11, Bytes{0x00, 0x03});
  PatchFile(disk, 118784 * 512ull, ReadFileRange(disk, (118784 + 12) * 512ull, 512));
  PatchFile(disk, 118784 * 512ull + 100, Bytes{0x55});
  Zero(disk, 0, 512);
  OpenFree(disk);
  EXPECT_EQ(opened->SearchLostVolumes(SearchDepth::kBoundaries), 3u);
  PartitionList& partitions = opened->partitions();
  ASSERT_EQ(partitions.size(), 3u);
  EXPECT_EQ(FilesOf(partitions, 2), fat32);
  EXPECT_EQ(FilesOf(partitions, 3), exfat);
  EXPECT_EQ(RootRow(*partitions[1], "Boot sector"), "damaged; read from its backup at sector 6 of the volume");

  // Without its backup a damaged boot sector leads to nothing, and the search finds no volume there.
  Zero(disk, (34816 + 6) * 512ull, 512);
  OpenFree(disk);
  opened->SearchLostVolumes(SearchDepth::kEverySector);
  EXPECT_EQ(Found(opened->partitions()), (std::vector<std::string>{
                                             "1@63 FAT16 volume found at sector 63 \"SIXTEEN\"",
                                             "2@118784 exFAT volume found at sector 118784 \"Données\"",
                                         }));
}

TEST_F(VolumeSearchTest, TheSpaceNoTableEntryCoversIsSearchedOnRequest) {
  const std::string disk = MakeDisk("disk.img", "64M",
                                    "label: dos\n"
                                    "start=2048, size=32768, type=6\n"
                                    "start=36864, size=81920, type=c\n");
  const MtoolsVolume live(disk, 2048 * 512);
  live.Format("-F 16 -n LIVE", 16384);
  const MtoolsVolume deleted(disk, 36864ull * 512);
  deleted.Format("-F 32 -n DELETED", 40960);
  deleted.Write("/KEPT.BIN", PatternBytes(20000, 3));
  const auto deletedFiles = FilesAlone(disk, 36864ull * 512, 81920ull * 512);
  RunCommand("sfdisk -q --delete " + ShellQuote(disk) + " 2");

  OpenFree(disk);
  EXPECT_EQ(Found(opened->partitions()), (std::vector<std::string>{"1@2048 FAT16 partition \"LIVE\""}));
  EXPECT_EQ(opened->SearchLostVolumes(SearchDepth::kBoundaries), 1u);
  EXPECT_EQ(Found(opened->partitions()), (std::vector<std::string>{
                                             "1@2048 FAT16 partition \"LIVE\"",
                                             "2@36864 FAT32 volume found at sector 36864 \"DELETED\"",
                                         }));
  EXPECT_EQ(FilesOf(opened->partitions(), 2), deletedFiles);
  // A second search finds nothing new: what was found covers its own sectors.
  EXPECT_EQ(opened->SearchLostVolumes(SearchDepth::kEverySector), 0u);
}

TEST_F(VolumeSearchTest, ADiskOfFourKibSectorsWithItsTableZeroedIsReadInThem) {
  const std::string disk = MakeDisk("disk.img", "64M", "label: dos\n");
  const std::string volume = MakeFat("fat16.img", "-F 16 -S 4096 -s 1 -n BIGSECTORS", 40960);
  MtoolsVolume(volume).Write("/DATA.BIN", PatternBytes(50000, 4));
  Place(volume, disk, 256, 4096);
  const auto files = FilesAlone(disk, 1 << 20, 40960 * 1024ull, "4096");
  ASSERT_FALSE(files.empty());
  Zero(disk, 0, 512);

  OpenFree(disk);
  ASSERT_TRUE(opened->partitions().empty());
  EXPECT_EQ(opened->SearchLostVolumes(SearchDepth::kBoundaries), 1u);
  EXPECT_EQ(opened->sectorSize(), 4096u);
  EXPECT_EQ(opened->detectedSectorSize(), std::optional<uint32_t>(4096));
  EXPECT_EQ(Found(opened->partitions()),
            (std::vector<std::string>{"1@256 FAT16 volume found at sector 256 \"BIGSECTORS\""}));
  EXPECT_EQ(FilesOf(opened->partitions(), 1), files);
}

// The search passes over the holes of a sparse image, but not over a volume whose boot sector
// lies in one: an exFAT volume whose first 4 KiB were punched out (its main boot region gone,
// its backup at sector 12 kept) after a long hole, and a FAT16 volume at a track boundary past
// another hole.
TEST_F(VolumeSearchTest, TheHolesOfASparseImageHoldNoVolumeButTheDataAfterThemDoes) {
  const uint64_t exfatSector = 512 * 2048;
  const uint64_t fatSector = 63 * 16000;
  const std::string disk = MakeDisk("sparse.img", "1024M", "label: dos\n");
  Place(TestImagePath("exfat-tree.img"), disk, exfatSector);
  const MtoolsVolume fat16(disk, fatSector * 512);
  fat16.Format("-F 16 -n PASTHOLE", 16384);
  fat16.Write("/AFTER.BIN", PatternBytes(40000, 21));
  const auto exfat = FilesAlone(disk, exfatSector * 512, 8192 * 512ull);
  const auto fat = FilesAlone(disk, fatSector * 512, 32768 * 512ull);
  ASSERT_GT(exfat.size(), 10u);
  RunCommand("fallocate --punch-hole --offset " + std::to_string(exfatSector * 512) + " --length 4096 " +
             ShellQuote(disk));
  Zero(disk, 0, 512);

  for (const SearchDepth depth : {SearchDepth::kBoundaries, SearchDepth::kEverySector}) {
    OpenFree(disk);
    ASSERT_TRUE(opened->partitions().empty());
    EXPECT_EQ(opened->SearchLostVolumes(depth), 2u);
    EXPECT_EQ(Found(opened->partitions()), (std::vector<std::string>{
                                               "1@1008000 FAT16 volume found at sector 1008000 \"PASTHOLE\"",
                                               "2@1048576 exFAT volume found at sector 1048576 \"Données\"",
                                           }));
    EXPECT_EQ(FilesOf(opened->partitions(), 1), fat);
    EXPECT_EQ(FilesOf(opened->partitions(), 2), exfat);
  }
}

TEST_F(VolumeSearchTest, AVolumeImageStoredAsAFileIsNoVolumeOfTheSource) {
  const std::string stick = MakeDisk("stick.img", "48M", "label: dos\nstart=2048, type=c\n");
  const MtoolsVolume outer(stick, 2048 * 512);
  outer.Format("-F 32 -s 1 -n STICK", 40960);
  const std::string inner = MakeFat("floppy.img", "-F 12 -n FLOPPY", 1440);
  MtoolsVolume(inner).Write("/INSIDE.TXT", PatternBytes(1000, 12));
  outer.Write("/floppy.img", ReadFileBytes(inner));
  Zero(stick, 0, 512);

  for (const SearchDepth depth : {SearchDepth::kBoundaries, SearchDepth::kEverySector}) {
    OpenFree(stick);
    EXPECT_EQ(opened->SearchLostVolumes(depth), 1u);
    EXPECT_EQ(Found(opened->partitions()), (std::vector<std::string>{"1@2048 FAT32 volume found at sector 2048 \"STICK\""}));
  }
}

// A FAT16 volume whose boot sector was zeroed keeps no backup: its geometry is inferred from
// its two tables and its root folder, through the table entry that leads to it and, with the
// table zeroed too, by the search. A FAT12 floppy likewise, found by the search at sector 0.
TEST_F(VolumeSearchTest, AFatVolumeWithoutItsBootSectorIsReadWithTheGeometryItsTablesShow) {
  const std::string disk = MakeDisk("disk.img", "64M", "label: dos\nstart=2048, size=65536, type=6\n");
  const MtoolsVolume fat16(disk, 2048 * 512);
  fat16.Format("-F 16 -s 4 -n INFERME", 32768);
  fat16.MakeDirectory("/DOCS");
  fat16.MakeDirectory("/DOCS/DEEPER");
  fat16.Write("/DOCS/Letter to a friend.txt", PatternBytes(70000, 41));
  fat16.Write("/DOCS/DEEPER/NOTE.TXT", PatternBytes(3000, 42));
  fat16.Write("/PHOTO.JPG", PatternBytes(300000, 43));
  fat16.Write("/TINY", PatternBytes(7, 44));
  const auto files = FilesAlone(disk, 2048 * 512, 65536 * 512ull);
  ASSERT_GE(files.size(), 6u);
  Zero(disk, 2048 * 512, 512);

  OpenFree(disk);
  ASSERT_EQ(Found(opened->partitions()), (std::vector<std::string>{"1@2048 FAT16 partition \"INFERME\""}));
  EXPECT_EQ(FilesOf(opened->partitions(), 1), files);
  EXPECT_EQ(RootRow(*opened->partitions()[0], "Boot sector"), kInferredBootText);

  Zero(disk, 0, 512);
  for (const SearchDepth depth : {SearchDepth::kBoundaries, SearchDepth::kEverySector}) {
    OpenFree(disk);
    ASSERT_TRUE(opened->partitions().empty());
    EXPECT_EQ(opened->SearchLostVolumes(depth), 1u);
    ASSERT_EQ(Found(opened->partitions()),
              (std::vector<std::string>{"1@2048 FAT16 volume found at sector 2048 \"INFERME\""}));
    EXPECT_EQ(FilesOf(opened->partitions(), 1), files);
    EXPECT_EQ(RootRow(*opened->partitions()[0], "Boot sector"), kInferredBootText);
  }

  const std::string floppy = MakeFat("floppy.img", "-F 12 -n FLOPPY", 1440);
  const MtoolsVolume fat12(floppy);
  fat12.MakeDirectory("/GAMES");
  fat12.Write("/GAMES/SAVE.DAT", PatternBytes(5000, 45));
  fat12.Write("/README.TXT", PatternBytes(1500, 46));
  OpenSource intact(floppy, "512");
  const auto floppyFiles = FilesOf(intact.partitions, 1);
  ASSERT_GE(floppyFiles.size(), 3u);
  Zero(floppy, 0, 512);
  OpenFree(floppy);
  ASSERT_TRUE(opened->partitions().empty());
  EXPECT_EQ(opened->SearchLostVolumes(SearchDepth::kBoundaries), 1u);
  ASSERT_EQ(Found(opened->partitions()), (std::vector<std::string>{"1@0 FAT12 volume found at sector 0 \"FLOPPY\""}));
  EXPECT_EQ(FilesOf(opened->partitions(), 1), floppyFiles);
}

// Volumes shorter than the largest tables and root a FAT16 volume may have: a small FAT12 volume
// whose reads for its second table reach past the end of the source, and a FAT16 volume cut
// short by the end of its image, which holds too few clusters for FAT16 and reaches as far as
// its tables address.
TEST_F(VolumeSearchTest, SmallAndCutFatVolumesWithoutBootSectorsAreInferredToo) {
  struct Case {
    const char* options;
    uint64_t kib;
    const char* cutTo;  // truncate's size, or nullptr
    const char* found;
  };
  const Case cases[] = {
      {"-F 12 -s 1 -n SMALL", 96, nullptr, "1@0 FAT12 volume found at sector 0 \"SMALL\""},
      {"-F 16 -s 1 -n CUT16", 4096, "200K", "1@0 FAT16 volume found at sector 0 \"CUT16\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    const std::string image = MakeFat(std::to_string(c.kib) + ".img", c.options, c.kib);
    const MtoolsVolume volume(image);
    volume.MakeDirectory("/SUB");
    volume.Write("/SUB/NESTED.BIN", PatternBytes(1300, 51));
    volume.Write("/Found again.txt", PatternBytes(900, 52));
    if (c.cutTo != nullptr) RunCommand("truncate -s " + std::string(c.cutTo) + " " + ShellQuote(image));
    OpenSource intact(image, "512");
    const auto files = FilesOf(intact.partitions, 1);
    ASSERT_GE(files.size(), 3u);
    Zero(image, 0, 512);
    OpenFree(image);
    EXPECT_EQ(opened->SearchLostVolumes(SearchDepth::kBoundaries), 1u);
    ASSERT_EQ(Found(opened->partitions()), std::vector<std::string>{c.found});
    EXPECT_EQ(FilesOf(opened->partitions(), 1), files);
    EXPECT_EQ(RootRow(*opened->partitions()[0], "Boot sector"), kInferredBootText);
  }
}

// Hand-made boot sectors that pass the first look but not the full check: each field the check
// rests on, spoiled in turn, makes the candidate no volume.
TEST_F(VolumeSearchTest, TheFullCheckRefusesBootSectorsThatCannotDescribeAVolume) {
  const std::string volume = MakeFat("fat16.img", "-F 16 -n CHECKED", 16384);
  const Bytes boot = ReadFileRange(volume, 0, 512);
  struct Spoil {
    const char* what;
    size_t offset;
    Bytes bytes;
  };
  const std::vector<Spoil> spoils = {
      {"no jump instruction", 0, {0x00}},       {"sector size 768", 11, {0x00, 0x03}},
      {"three sectors a cluster", 13, {3}},     {"no reserved sector", 14, {0, 0}},
      {"three tables", 16, {3}},                {"no media byte", 21, {0x12}},
      {"no root directory", 17, {0, 0}},        {"tables larger than the volume", 22, {0xFF, 0x7F}},
      {"no signature", 510, {0x55, 0x00}},
  };
  OpenSource source(volume);
  ASSERT_TRUE(CheckFatBootSector(source.reader, boot.data(), 0));
  for (const Spoil& spoil : spoils) {
    Bytes spoilt = boot;
    std::copy(spoil.bytes.begin(), spoil.bytes.end(), spoilt.begin() + static_cast<std::ptrdiff_t>(spoil.offset));
    EXPECT_FALSE(CheckFatBootSector(source.reader, spoilt.data(), 0)) << spoil.what;
  }
  // The first table must begin with the media byte: a boot sector one sector off is refused.
  EXPECT_FALSE(CheckFatBootSector(source.reader, boot.data(), 512));
}

}  // namespace
