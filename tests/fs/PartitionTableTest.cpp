// Discovery behind partition tables: logical drives of extended partitions and GUID partition
// tables made by sfdisk and fdisk, the numbers Linux gives them (sfdisk's own listing is the
// oracle), and tables damaged by hand.

#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <map>
#include <regex>

#include "fs/Bytes.h"
#include "support/DiskImages.h"
#include "support/ExfatImages.h"
#include "support/FatImages.h"
#include "support/ImageBytes.h"

namespace {

constexpr const char* kBasicData = "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7";
constexpr const char* kLinuxData = "0FC63DAF-8483-4772-8E79-3D69D8477DE4";

// "5@10240 FAT16 partition "LOGICAL5"": number, first sector and caption of each partition.
std::vector<std::string> Found(const PartitionList& partitions) {
  std::vector<std::string> found;
  for (const auto& p : partitions) {
    found.push_back(std::to_string(p->number) + "@" + std::to_string(p->firstSector) + " " + p->GetDescription());
  }
  return found;
}

// The partitions Linux sees on the disk, number -> first sector, as `sfdisk --dump` lists them.
std::map<int, uint32_t> LinuxNumbers(const std::string& disk) {
  std::map<int, uint32_t> numbers;
  const std::string dump = RunCommand("sfdisk --dump " + ShellQuote(disk));
  const std::regex line(R"(\.img(\d+) : start= *(\d+))");
  for (std::sregex_iterator it(dump.begin(), dump.end(), line), end; it != end; ++it) {
    numbers[std::stoi((*it)[1])] = static_cast<uint32_t>(std::stoul((*it)[2]));
  }
  return numbers;
}

// Every partition found has the number Linux gives the partition at its first sector.
void ExpectLinuxNumbers(const PartitionList& partitions, const std::string& disk) {
  const std::map<int, uint32_t> linux = LinuxNumbers(disk);
  for (const auto& p : partitions) {
    ASSERT_TRUE(linux.count(p->number)) << p->number;
    EXPECT_EQ(linux.at(p->number), p->firstSector) << p->number;
  }
}

// The bytes of the file in the partition's root directory.
Bytes RootFile(TPartition& partition, const std::string& name) {
  for (const auto& child : partition.rootEntry->children) {
    if (child->name != name) continue;
    uint32_t size = 0;
    ByteBuffer data = child->GetData(size);
    return Bytes(data.data(), data.data() + size);
  }
  ADD_FAILURE() << "no " << name << " in " << partition.GetDescription();
  return {};
}

uint32_t Crc32(const uint8_t* bytes, size_t count) {
  return static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), bytes, static_cast<uInt>(count)));
}

// A GUID partition table on a disk image of 512-byte sectors, changed field by field; Seal
// makes a copy's CRCs fit its bytes again, so that a test damages only what it means to.
class GuidDisk {
 public:
  explicit GuidDisk(std::string path) : path_(std::move(path)) {}

  const std::string& path() const { return path_; }
  uint64_t BackupLba() const { return le64(Header(1).data() + 32); }
  void PutHeader32(uint64_t lba, size_t offset, uint32_t value) const { Put32(lba * 512 + offset, value); }
  // Puts a 64-bit value into field offset of entry index (from 0) of the copy at lba.
  void PutEntry64(uint64_t lba, uint32_t index, size_t offset, uint64_t value) const {
    const uint64_t at = le64(Header(lba).data() + 72) * 512 + index * 128 + offset;
    Put32(at, static_cast<uint32_t>(value));
    Put32(at + 4, static_cast<uint32_t>(value >> 32));
  }
  void Seal(uint64_t lba) const {
    Bytes header = Header(lba);
    const uint64_t arrayBytes = uint64_t{le32(header.data() + 80)} * le32(header.data() + 84);
    const Bytes array = ReadFileRange(path_, le64(header.data() + 72) * 512, std::min<uint64_t>(arrayBytes, 1 << 20));
    if (array.size() == arrayBytes) put32(header.data() + 88, Crc32(array.data(), array.size()));
    put32(header.data() + 16, 0);
    put32(header.data() + 16, Crc32(header.data(), le32(header.data() + 12)));
    PatchFile(path_, lba * 512, header);
  }

 private:
  Bytes Header(uint64_t lba) const { return ReadFileRange(path_, lba * 512, 512); }
  void Put32(uint64_t at, uint32_t value) const {
    Bytes bytes(4);
    put32(bytes.data(), value);
    PatchFile(path_, at, bytes);
  }

  std::string path_;
};

TEST_F(DiscoveryFixture, AnExtendedPartitionGivesItsLogicalDrivesNumberedFromFive) {
  const std::string disk = MakeDisk("disk.img", "128M",
                                    "label: dos\n"
                                    "start=2048, size=4096, type=1\n"
                                    "start=8192, size=253952, type=f\n"
                                    "start=10240, size=32768, type=6\n"
                                    "start=45056, size=2048, type=83\n"
                                    "start=49152, size=81920, type=c\n"
                                    "start=133120, size=16384, type=7\n");
  MtoolsVolume(disk, 2048 * 512).Format("-F 12 -n PRIMARY", 2048);
  const MtoolsVolume fat16(disk, 10240 * 512);
  fat16.Format("-F 16 -n LOGICAL5", 16384);
  fat16.Write("/FIVE.BIN", PatternBytes(3000, 5));
  const MtoolsVolume fat32(disk, 49152 * 512);
  fat32.Format("-F 32 -n LOGICAL7", 40960);
  fat32.Write("/SEVEN.BIN", PatternBytes(5000, 7));
  Place(MakeExfat("exfat.img", "Logical8", 8), disk, 133120);

  PartitionList partitions = Discover(disk);
  EXPECT_EQ(Found(partitions), (std::vector<std::string>{
                                   "1@2048 FAT12 partition \"PRIMARY\"",
                                   "5@10240 FAT16 partition \"LOGICAL5\"",
                                   "7@49152 FAT32 partition \"LOGICAL7\"",
                                   "8@133120 exFAT partition \"Logical8\"",
                               }));
  ExpectLinuxNumbers(partitions, disk);
  ASSERT_EQ(partitions.size(), 4u);
  EXPECT_EQ(RootFile(*partitions[1], "FIVE.BIN"), PatternBytes(3000, 5));
  EXPECT_EQ(RootFile(*partitions[2], "SEVEN.BIN"), PatternBytes(5000, 7));
  EXPECT_EQ(source->reader.faultLog().Count(), 0u);  // nothing failed to read
}

TEST_F(DiscoveryFixture, AGuidTableGivesItsEntriesByIndex) {
  const std::string disk = MakeDisk("gpt.img", "64M",
                                    std::string("label: gpt\n") +
                                        "start=2048, size=81920, type=" + kBasicData + "\n" +
                                        "start=86016, size=2048, type=" + kLinuxData + "\n" +
                                        "start=90112, size=16384, type=" + kBasicData + "\n");
  const MtoolsVolume fat32(disk, 2048 * 512);
  fat32.Format("-F 32 -n GPTFAT32", 40960);
  fat32.Write("/ONE.BIN", PatternBytes(4000, 1));
  Place(MakeExfat("exfat.img", "GPT exFAT", 8), disk, 90112);

  PartitionList partitions = Discover(disk);
  EXPECT_EQ(Found(partitions), (std::vector<std::string>{
                                   "1@2048 FAT32 partition \"GPTFAT32\"",
                                   "3@90112 exFAT partition \"GPT exFAT\"",
                               }));
  ExpectLinuxNumbers(partitions, disk);
  ASSERT_FALSE(partitions.empty());
  EXPECT_EQ(RootFile(*partitions[0], "ONE.BIN"), PatternBytes(4000, 1));
  EXPECT_EQ(DescribeUnreadTable(&source->ref), "");
  EXPECT_EQ(source->reader.faultLog().Count(), 0u);  // nothing failed to read
}

TEST_F(DiscoveryFixture, AGuidTableOfFourKibSectorsIsReadInThem) {
  const std::string disk = dir / "gpt4k.img";
  RunCommand("truncate -s 64M " + ShellQuote(disk));
  // fdisk's dialogue: a new GUID table, entry 1 at 256 with 9000 sectors, entry 2 at 9472.
  RunCommand("printf 'g\\nn\\n1\\n256\\n+8999\\nn\\n2\\n9472\\n+1023\\nw\\n' | fdisk -b 4096 " + ShellQuote(disk) +
             " >/dev/null");
  RunCommand("mkfs.fat -F 16 -S 4096 -s 1 -n GPT4K --offset=256 " + ShellQuote(disk) + " 36000 >/dev/null 2>&1");
  Place(TestImagePath("exfat-4k.img"), disk, 9472, 4096);

  PartitionList partitions = Discover(disk, "4096");
  EXPECT_EQ(Found(partitions), (std::vector<std::string>{
                                   "1@256 FAT16 partition \"GPT4K\"",
                                   "2@9472 exFAT partition \"4K Sectors\"",
                               }));
  ASSERT_EQ(partitions.size(), 2u);
  EXPECT_EQ(RootFile(*partitions[1], "hello.txt").size(), ReadExfatManifest("exfat-4k").entries.at("hello.txt").size);

  // Opened with 512-byte sectors the table is not where it should be; the user is told why.
  EXPECT_TRUE(Discover(disk).empty());
  EXPECT_EQ(DescribeUnreadTable(&source->ref),
            "It has a GUID partition table (GPT) made for 4096-byte sectors: open it with a sector size of 4096.");
}

TEST_F(DiscoveryFixture, DamagedGuidTablesGiveWhatACopyStillHolds) {
  const std::string disk = MakeDisk("gpt.img", "64M",
                                    std::string("label: gpt\n") +
                                        "start=2048, size=81920, type=" + kBasicData + "\n" +
                                        "start=90112, size=16384, type=" + kBasicData + "\n");
  RunCommand("mkfs.fat -F 32 -n GPTFAT32 --offset=2048 " + ShellQuote(disk) + " 40960 >/dev/null");
  Place(MakeExfat("exfat.img", "GPT exFAT", 8), disk, 90112);
  const std::vector<std::string> both = {"1@2048 FAT32 partition \"GPTFAT32\"", "2@90112 exFAT partition \"GPT exFAT\""};
  const std::string bothDamaged = "It has a GUID partition table (GPT) whose headers are both damaged.";

  struct Case {
    const char* what;
    std::function<void(const GuidDisk&, uint64_t backup)> damage;
    std::vector<std::string> found;
    std::string hint;
  } cases[] = {
      {"primary header", [](const GuidDisk& d, uint64_t) { d.PutHeader32(1, 56, 0xBAD); }, both, ""},
      // The disk grew after partitioning: the backup is found where the sound primary header
      // says, no longer in the last sector.
      {"primary entries on a grown disk", [](const GuidDisk& d, uint64_t) {
         d.PutEntry64(1, 0, 32, 2049);
         RunCommand("truncate -s 80M " + ShellQuote(d.path()));
       }, both, ""},
      {"both headers", [](const GuidDisk& d, uint64_t backup) {
         d.PutHeader32(1, 56, 0xBAD);
         d.PutHeader32(backup, 56, 0xBAD);
       }, {}, bothDamaged},
      {"primary entry count 2^32 - 1", [](const GuidDisk& d, uint64_t) {
         d.PutHeader32(1, 80, 0xFFFFFFFF);
         d.Seal(1);
       }, both, ""},
      // On a (sparse) disk large enough to hold such an array, only its bound keeps the claim
      // from sizing a read of 512 GiB.
      {"entry count 2^32 - 1 in both", [](const GuidDisk& d, uint64_t backup) {
         for (uint64_t lba : {uint64_t{1}, backup}) {
           d.PutHeader32(lba, 80, 0xFFFFFFFF);
           d.Seal(lba);
         }
         RunCommand("truncate -s 1T " + ShellQuote(d.path()));
       }, {}, bothDamaged},
      {"entry size 2^32 - 1 and 0", [](const GuidDisk& d, uint64_t backup) {
         d.PutHeader32(1, 84, 0xFFFFFFFF);
         d.PutHeader32(backup, 84, 0);
         d.Seal(1);
         d.Seal(backup);
       }, {}, bothDamaged},
      {"entry array past the source", [](const GuidDisk& d, uint64_t backup) {
         for (uint64_t lba : {uint64_t{1}, backup}) {
           d.PutHeader32(lba, 72, 0xFFFFFFF0);
           d.Seal(lba);
         }
       }, {}, bothDamaged},
      // Wrapped to 32 bits, the first entry's start would be the FAT32 volume's.
      {"an entry beyond 32-bit sectors", [](const GuidDisk& d, uint64_t) {
         d.PutEntry64(1, 0, 32, (uint64_t{1} << 32) + 2048);
         d.Seal(1);
       }, {"2@90112 exFAT partition \"GPT exFAT\""}, ""},
      // A hybrid table: the classic entry 2 describes the GUID table's entry 1 as well.
      {"a mirroring classic entry", [](const GuidDisk& d, uint64_t) {
         ImageBytes entry(16);
         entry.u8(4, 0x0C).u32(8, 2048).u32(12, 81920);
         PatchFile(d.path(), 446 + 16, entry.bytes());
       }, both, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string copy = dir / "copy.img";
    RunCommand("cp --sparse=always " + ShellQuote(disk) + " " + ShellQuote(copy));
    const GuidDisk guid(copy);
    c.damage(guid, guid.BackupLba());
    EXPECT_EQ(Found(Discover(copy)), c.found);
    EXPECT_EQ(DescribeUnreadTable(&source->ref), c.hint);
  }
  EXPECT_EQ(source->reader.faultLog().Count(), 0u);  // nothing failed to read
}

TEST_F(DiscoveryFixture, DamagedExtendedChainsEndAndKeepTheirDrives) {
  // Logical drives 5 at 4096 and 6 at 10240; a third volume at 1024, before the partitions,
  // that no table names.
  const std::string disk = MakeDisk("disk.img", "16M",
                                    "label: dos\n"
                                    "start=2048, size=28672, type=5\n"
                                    "start=4096, size=4096, type=1\n"
                                    "start=10240, size=4096, type=1\n");
  for (const auto& [sector, label, kib] : {std::tuple{4096, "LOGICAL5", 2048}, {10240, "LOGICAL6", 2048},
                                            {1024, "HIDDEN", 512}}) {
    MtoolsVolume(disk, sector * uint64_t{512}).Format("-F 12 -n " + std::string(label), kib);
  }
  const Bytes first = ReadFileBytes(disk);
  const uint64_t secondRecord = 2048 + le32(first.data() + 2048 * 512 + 446 + 16 + 8);
  const std::string five = "5@4096 FAT12 partition \"LOGICAL5\"";
  const std::string six = "6@10240 FAT12 partition \"LOGICAL6\"";

  // link(start): a link entry to the record at start, counted from the extended partition.
  const auto link = [](uint32_t start) {
    ImageBytes entry(16);
    entry.u8(4, 0x05).u32(8, start).u32(12, 1);
    return entry.bytes();
  };
  struct Case {
    const char* what;
    uint64_t at;  // byte offset of the patch
    Bytes bytes;
    std::vector<std::string> found;
  } cases[] = {
      {"as made", 0, {}, {five, six}},
      {"the second record links back to the first", secondRecord * 512 + 446 + 16, link(0), {five, six}},
      {"the first record links to itself", 2048 * 512 + 446 + 16, link(0), {five}},
      {"a link past the source", 2048 * 512 + 446 + 16, link(0xFFFFFFF0), {five}},
      {"a record without a signature", secondRecord * 512 + 510, Bytes{0, 0}, {five}},
      // Wrapped to 32 bits, the second drive would start at the hidden volume.
      {"a drive beyond 32-bit sectors", secondRecord * 512 + 446 + 8,
       [&] {
         Bytes start(4);
         put32(start.data(), static_cast<uint32_t>((uint64_t{1} << 32) + 1024 - secondRecord));
         return start;
       }(),
       {five}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string copy = dir / "copy.img";
    WriteFileBytes(copy, first);
    PatchFile(copy, c.at, c.bytes);
    EXPECT_EQ(Found(Discover(copy)), c.found);
  }
}

}  // namespace
