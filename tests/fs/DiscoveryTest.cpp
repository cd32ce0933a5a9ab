#include "fs/Discovery.h"

#include <gtest/gtest.h>

#include "fs/exfat/ExfatPartition.h"
#include "fs/fat/FatPartition.h"
#include "support/DiskImages.h"
#include "support/ImageBytes.h"

namespace {

constexpr uint64_t kSector = 512;

TEST_F(DiscoveryFixture, ABareVolumeIsTheWholeSource) {
  struct Case {
    std::string image;
    std::string description;
  } cases[] = {
      {MakeFat("fat12.img", "-F 12 -n FLOPPY", 1440), "FAT12 partition \"FLOPPY\""},
      {MakeFat("fat16.img", "-F 16 -n SIXTEEN", 32768), "FAT16 partition \"SIXTEEN\""},
      {MakeFat("fat32.img", "-F 32 -n THIRTYTWO", 40960), "FAT32 partition \"THIRTYTWO\""},
      {MakeExfat("exfat.img", "Données", 8), "exFAT partition \"Données\""},
  };
  for (const Case& c : cases) {
    PartitionList partitions = Discover(c.image);
    ASSERT_EQ(partitions.size(), 1u) << c.image;
    EXPECT_EQ(partitions[0]->GetDescription(), c.description);
    EXPECT_EQ(partitions[0]->firstSector, 0u);
    EXPECT_EQ(partitions[0]->number, 1);
    EXPECT_EQ(partitions[0]->partitionEntry.typeCode, 0);
    EXPECT_EQ(partitions[0]->partitionEntry.bootIndicator, 0);
    ASSERT_NE(partitions[0]->rootEntry, nullptr);
  }
  EXPECT_EQ(source->reader.faultLog().Count(), 0u);  // nothing failed to read
}

TEST_F(DiscoveryFixture, ATableGivesItsRecognisedEntriesInOrder) {
  const std::string disk = dir / "disk.img";
  RunCommand("truncate -s 64M " + ShellQuote(disk));
  RunCommand("printf 'label: dos\\nstart=2048, size=2048, type=7\\nstart=4096, size=81920, type=c\\n"
             "start=86016, size=1, type=5\\nstart=90112, size=16384, type=7\\n' | sfdisk -q " + ShellQuote(disk));
  // Entry 1: an NTFS-typed partition holding garbage with an NTFS name and a boot signature.
  ImageBytes ntfs(512);
  std::copy_n(PatternBytes(512, 1).begin(), 512, ntfs.at(0));
  ntfs.text(3, "NTFS    ").signature(0);
  PatchFile(disk, 2048 * kSector, ntfs.bytes());
  // Entry 2: FAT32, formatted in place. Entry 4: exFAT, made apart and copied in.
  RunCommand("mkfs.fat -F 32 -n PART2 --offset=4096 " + ShellQuote(disk) + " 40960 >/dev/null");
  Place(MakeExfat("p4.img", "PART4", 8), disk, 90112);

  PartitionList partitions = Discover(disk);
  ASSERT_EQ(partitions.size(), 2u);
  EXPECT_EQ(partitions[0]->GetDescription(), "FAT32 partition \"PART2\"");
  EXPECT_EQ(partitions[0]->firstSector, 4096u);
  EXPECT_EQ(partitions[0]->partitionEntry.typeCode, 0x0C);
  EXPECT_EQ(partitions[0]->number, 2);
  EXPECT_EQ(partitions[1]->GetDescription(), "exFAT partition \"PART4\"");
  EXPECT_EQ(partitions[1]->firstSector, 90112u);
  EXPECT_EQ(partitions[1]->number, 4);
  EXPECT_EQ(source->reader.faultLog().Count(), 0u);  // nothing failed to read
}

TEST_F(DiscoveryFixture, MarkersDecideWhatIsRecognised) {
  // A FAT32 boot sector without a root cluster is not a volume, even with an "IHC" name (its
  // backup is spoilt the same way, or it would stand in).
  const std::string fat32 = MakeFat("fat32.img", "-F 32", 40960);
  for (const uint64_t at : {0, 6 * 512}) {
    PatchFile(fat32, at + 44, Bytes(4, 0));
    PatchFile(fat32, at + 8, Bytes{'I', 'H', 'C'});
  }
  EXPECT_TRUE(Discover(fat32).empty());

  // "EXFAT" without the boot signature is not a volume.
  const std::string exfat = MakeExfat("exfat.img", "X", 8);
  PatchFile(exfat, 510, Bytes{0, 0});
  PatchFile(exfat, 12 * 512 + 510, Bytes{0, 0});
  EXPECT_TRUE(Discover(exfat).empty());

  // No type text but an OEM name ending in "IHC": FAT.
  const std::string fat16 = MakeFat("fat16.img", "-F 16", 32768);
  PatchFile(fat16, 54, Bytes(5, ' '));
  PatchFile(fat16, 3, Bytes{'M', 'S', 'W', 'I', 'N', 'I', 'H', 'C'});
  EXPECT_EQ(Discover(fat16).size(), 1u);

  ImageBytes sector(512);
  sector.signature(0);
  struct Case {
    uint8_t bytes[8];
    BootSectorKind kind;
  } cases[] = {
      {{'N', 'T', 'F', 'S', ' ', ' ', ' ', ' '}, BootSectorKind::kUnrecognised},
      {{'E', 'X', 'F', 'A', 'T', ' ', ' ', ' '}, BootSectorKind::kExfat},
      {{'M', 'S', 'D', 'O', 'S', 'I', 'H', 'C'}, BootSectorKind::kFat},
      {{'m', 's', 'd', 'o', 's', 'i', 'h', 'c'}, BootSectorKind::kUnrecognised},
  };
  for (const Case& c : cases) {
    std::copy_n(c.bytes, 8, sector.at(3));
    EXPECT_EQ(ClassifyBootSector(sector.bytes().data()), c.kind) << c.bytes[0];
  }
}

TEST_F(DiscoveryFixture, TwoEntriesWithOneStartGiveTwoPartitions) {
  const std::string disk = dir / "disk.img";
  RunCommand("truncate -s 48M " + ShellQuote(disk));
  RunCommand("mkfs.fat -F 32 -n TWICE --offset=2048 " + ShellQuote(disk) + " 40960 >/dev/null");
  ImageBytes table(512);
  for (int i : {0, 2}) table.u8(446 + 16 * i + 4, 0x0C).u32(446 + 16 * i + 8, 2048).u32(446 + 16 * i + 12, 81920);
  table.signature(0);
  PatchFile(disk, 0, table.bytes());
  PartitionList partitions = Discover(disk);
  ASSERT_EQ(partitions.size(), 2u);
  EXPECT_EQ(partitions[0]->firstSector, 2048u);
  EXPECT_EQ(partitions[1]->firstSector, 2048u);
}

TEST_F(DiscoveryFixture, AVolumeInSectorZeroHidesTheTableBytes) {
  // FAT12 boot code occupies the table's place; a table entry there pointing at a real volume
  // must not be followed once sector 0 is itself recognised.
  const std::string image = MakeFat("fat12.img", "-F 12", 1440);
  ImageBytes entry(16);
  entry.u8(4, 1).u32(8, 0).u32(12, 2880);
  PatchFile(image, 446, entry.bytes());
  EXPECT_EQ(Discover(image).size(), 1u);
}

}  // namespace
