// Hostile images through brindle-cli: memory and time stay bounded whatever the image holds,
// and no bound cuts anything off without saying so. The images are made with mkfs.fat and
// mkfs.exfat and then damaged field by field, or written by hand where no tool writes them.

#include <gtest/gtest.h>

#include <string>

#include "cli/CliRun.h"
#include "fs/Bytes.h"
#include "support/HandVolume.h"

namespace {

// Peak memory and outputs of one brindle-cli run, as GNU time measures it: the child's own
// accounting (ru_maxrss), whatever the machine does meanwhile.
struct MeasuredRun {
  CliResult result;
  long peakKiB = -1;
};

MeasuredRun RunMeasured(const TempDir& dir, const std::string& args) {
  const std::string rss = dir / "rss.txt";
  const std::string command = "/usr/bin/time -f %M -o " + ShellQuote(rss) + " " + ShellQuote(BRINDLE_CLI_PATH) +
                              " " + args + " >" + ShellQuote(dir / "out") + " 2>" + ShellQuote(dir / "err");
  const int status = std::system(command.c_str());
  MeasuredRun run;
  run.result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const Bytes out = ReadFileBytes(dir / "out"), err = ReadFileBytes(dir / "err");
  run.result.out.assign(out.begin(), out.end());
  run.result.err.assign(err.begin(), err.end());
  const Bytes text = ReadFileBytes(rss);
  const std::vector<std::string> lines = Lines(std::string(text.begin(), text.end()));
  if (!lines.empty()) run.peakKiB = std::stol(lines.back());  // after "Command exited with ..."
  return run;
}

// The fields of a boot sector that mkfs.fat wrote, and table entries set in every copy.
struct MadeFat {
  explicit MadeFat(Bytes& image) : image(image) {
    const uint8_t* boot = image.data();
    bytesPerSector = le16(boot + 11);
    clusterBytes = bytesPerSector * boot[13];
    const uint32_t reserved = le16(boot + 14), tables = boot[16], rootEntries = le16(boot + 17);
    sectorsPerTable = le16(boot + 22) != 0 ? le16(boot + 22) : le32(boot + 36);
    fatType = le16(boot + 22) == 0 ? 32 : 16;
    tableCount = tables;
    tableStart = uint64_t{reserved} * bytesPerSector;
    rootRegion = tableStart + uint64_t{tables} * sectorsPerTable * bytesPerSector;
    dataStart = rootRegion + uint64_t{rootEntries} * 32;
    rootCluster = fatType == 32 ? le32(boot + 44) : 0;
    const uint32_t totalSectors = le16(boot + 19) != 0 ? le16(boot + 19) : le32(boot + 32);
    lastCluster = static_cast<uint32_t>((uint64_t{totalSectors} * bytesPerSector - dataStart) / clusterBytes + 1);
  }

  void SetEntry(uint32_t cluster, uint32_t value) {
    for (uint32_t t = 0; t < tableCount; ++t) {
      uint8_t* table = image.data() + tableStart + uint64_t{t} * sectorsPerTable * bytesPerSector;
      if (fatType == 32) put32(table + 4 * uint64_t{cluster}, value);
      else put16(table + 2 * uint64_t{cluster}, static_cast<uint16_t>(value));
    }
  }
  uint64_t ClusterOffset(uint32_t cluster) const { return dataStart + uint64_t{cluster - 2} * clusterBytes; }
  uint32_t EndOfChain() const { return fatType == 32 ? 0x0FFFFFFF : 0xFFFF; }

  Bytes& image;
  uint32_t bytesPerSector, clusterBytes, sectorsPerTable, tableCount;
  int fatType;
  uint64_t tableStart, rootRegion, dataStart;
  uint32_t rootCluster, lastCluster;
};

// A directory slot of the given name (11 bytes), attributes and first cluster.
void PutSlot(uint8_t* slot, const std::string& name83, uint8_t attributes, uint32_t cluster) {
  std::copy(name83.begin(), name83.end(), slot);
  slot[11] = attributes;
  put16(slot + 20, static_cast<uint16_t>(cluster >> 16));
  put16(slot + 26, static_cast<uint16_t>(cluster));
}

// 4,096 directory slots, each pointing at its own cluster of one long chain of zeroed clusters
// that runs to the volume's end: every directory reads as nearly the whole volume.
std::string MakeWideImage(const TempDir& dir, int fatType) {
  const std::string path = dir / "wide.img";
  const std::string options = fatType == 32 ? "-F 32 -s 1" : "-F 16 -s 1 -r 4096";
  RunCommand("mkfs.fat " + options + " -C " + ShellQuote(path) + (fatType == 32 ? " 34816" : " 30720") + " >/dev/null");
  Bytes image = ReadFileBytes(path);
  MadeFat fat(image);
  constexpr uint32_t kSlots = 4096;
  uint32_t first = 2;
  uint8_t* root = image.data() + fat.rootRegion;
  if (fatType == 32) {  // the root gets a chain long enough for the slots
    const uint32_t rootClusters = kSlots * 32 / fat.clusterBytes;
    for (uint32_t i = 0; i < rootClusters; ++i) {
      fat.SetEntry(fat.rootCluster + i, i + 1 < rootClusters ? fat.rootCluster + i + 1 : fat.EndOfChain());
    }
    first = fat.rootCluster + rootClusters;
    root = image.data() + fat.ClusterOffset(fat.rootCluster);
  }
  for (uint32_t c = first; c < fat.lastCluster; ++c) fat.SetEntry(c, c + 1);
  fat.SetEntry(fat.lastCluster, fat.EndOfChain());
  for (uint32_t i = 0; i < kSlots; ++i) {
    char name[12];
    std::snprintf(name, sizeof name, "D%07u   ", i);
    PutSlot(root + 32 * uint64_t{i}, name, 0x10, first + i);
  }
  WriteFileBytes(path, image);
  return path;
}

// A wide image took 10 GiB and minutes: every walked directory kept its slots, and each read
// nearly the whole chain. Now a walk keeps one path of directories, and a chain that comes to
// clusters read before as a directory ends there.
TEST(HostileImages, ListingAWideImageTakesLittleMemory) {
  for (int fatType : {16, 32}) {
    SCOPED_TRACE(fatType);
    TempDir dir;
    const std::string image = MakeWideImage(dir, fatType);
    const MeasuredRun run = RunMeasured(dir, "ls -r " + ShellQuote(image));
    EXPECT_EQ(run.result.code, 0) << run.result.err.substr(0, 2000);
    EXPECT_EQ(Lines(run.result.out).size(), 4096u);
    EXPECT_NE(run.result.err.find("1:/D0000001: its clusters run into clusters already read as a directory"),
              std::string::npos);
    EXPECT_GT(run.peakKiB, 0);
    EXPECT_LT(run.peakKiB, 128 * 1024) << "peak memory of ls -r in KiB";
  }
}

// A root whose chain points at itself, on a sparse 8 GiB volume: it was read up to 4 GiB.
TEST(HostileImages, ARootThatLoopsOntoItselfIsReadOnce) {
  TempDir dir;
  const std::string fat32 = dir / "loop32.img", exfat = dir / "loopex.img";
  RunCommand("truncate -s 8G " + ShellQuote(fat32) + " " + ShellQuote(exfat));
  RunCommand("mkfs.fat -F 32 " + ShellQuote(fat32) + " >/dev/null");
  RunCommand("mkfs.exfat " + ShellQuote(exfat) + " >/dev/null");

  const Bytes fatBoot = ReadFileRange(fat32, 0, 512);
  const uint32_t rootCluster = le32(&fatBoot[44]);
  const uint64_t fatTable = uint64_t{le16(&fatBoot[14])} * le16(&fatBoot[11]);
  Bytes self(4);
  put32(self.data(), rootCluster);
  PatchFile(fat32, fatTable + 4 * uint64_t{rootCluster}, self);

  const Bytes exBoot = ReadFileRange(exfat, 0, 512);
  const uint32_t exRoot = le32(&exBoot[96]);
  const uint64_t exTable = uint64_t{le32(&exBoot[80])} << exBoot[108];
  put32(self.data(), exRoot);
  PatchFile(exfat, exTable + 4 * uint64_t{exRoot}, self);

  for (const std::string& image : {fat32, exfat}) {
    SCOPED_TRACE(image);
    const MeasuredRun run = RunMeasured(dir, "ls -r " + ShellQuote(image));
    EXPECT_EQ(run.result.code, 0) << run.result.err;
    EXPECT_NE(run.result.err.find("1:/: its clusters run into clusters already read as a directory"),
              std::string::npos)
        << run.result.err;
    EXPECT_LT(run.peakKiB, 64 * 1024) << "peak memory of ls in KiB";
  }
}

// mtools writes such a folder (20,000 thirty-character names take 80,002 slots); the Sleuth Kit
// lists all of them. A cap of 65,536 slots listed 16,383 and said nothing.
TEST(HostileImages, AFolderOf80002SlotsIsListedWhole) {
  constexpr uint32_t kFiles = 20000;
  constexpr uint32_t kSlots = 2 + 4 * kFiles;
  const uint32_t folderClusters = (kSlots * 32 + HandVolume::kSector - 1) / HandVolume::kSector;
  HandVolume v(32, folderClusters + 16);
  v.Slot(v.RootOffset(), 0, "BIG        ", 0x10, 3);
  for (uint32_t c = 3; c < 3 + folderClusters; ++c) v.SetEntry(c, c + 1 < 3 + folderClusters ? c + 1 : 0x0FFFFFFF);
  const uint64_t folder = v.ClusterOffset(3);
  v.Slot(folder, 0, ".          ", 0x10, 3);
  v.Slot(folder, 1, "..         ", 0x10, 0);
  for (uint32_t i = 0; i < kFiles; ++i) {
    char longName[32], shortName[12];
    std::snprintf(longName, sizeof longName, "file-with-a-long-name-%08u", i);
    std::snprintf(shortName, sizeof shortName, "F%07uTXT", i);
    const std::u16string units(longName, longName + 30);
    const size_t at = 2 + 4 * size_t{i};
    v.LongNameSlot(folder, at, 0x43, units.substr(26), shortName);
    v.LongNameSlot(folder, at + 1, 0x02, units.substr(13, 13), shortName);
    v.LongNameSlot(folder, at + 2, 0x01, units.substr(0, 13), shortName);
    v.Slot(folder, at + 3, shortName, 0x20);
  }
  TempDir dir;
  v.image.WriteTo(dir / "big.img");

  const CliResult listed = Cli().Run({"ls", dir / "big.img", "1:/BIG"});
  EXPECT_EQ(listed.code, 0);
  EXPECT_EQ(listed.err, "");
  const std::vector<std::string> lines = Lines(listed.out);
  ASSERT_EQ(lines.size(), kFiles);
  EXPECT_NE(lines.back().find("1:/BIG/file-with-a-long-name-00019999 - F0019999.TXT"), std::string::npos)
      << lines.back();
}

// A directory that goes on past the 256 MiB an exFAT directory may hold: what lies beyond is
// left unread, and the command says so and fails.
TEST(HostileImages, AnExfatFolderLongerThanTheFormatAllowsIsReportedCut) {
  TempDir dir;
  const std::string image = dir / "long.img";
  RunCommand("truncate -s 600M " + ShellQuote(image));
  RunCommand("mkfs.exfat -c 1M " + ShellQuote(image) + " >/dev/null");
  const Bytes boot = ReadFileRange(image, 0, 512);
  const unsigned sectorShift = boot[108];
  const uint64_t heap = uint64_t{le32(&boot[88])} << sectorShift;
  const uint64_t clusterBytes = uint64_t{1} << (sectorShift + boot[109]);
  const uint32_t root = le32(&boot[96]);
  const uint64_t rootOffset = heap + (root - 2) * clusterBytes;
  const Bytes entries = ReadFileRange(image, rootOffset, 32 * 64);
  size_t freeSlot = 0;
  while (entries[32 * freeSlot] != 0) ++freeSlot;

  // A directory set "Big": a contiguous run from cluster 100 on, 300 MiB long by its length.
  Bytes set(96, 0);
  set[0] = 0x85;
  set[1] = 2;
  set[4] = 0x10;
  set[32] = 0xC0;
  set[33] = 0x03;  // allocation possible, no FAT chain
  set[35] = 3;
  put32(&set[32 + 20], 100);
  const uint64_t length = uint64_t{300} << 20;
  put32(&set[32 + 8], static_cast<uint32_t>(length));
  put32(&set[32 + 24], static_cast<uint32_t>(length));
  set[64] = 0xC1;
  put16(&set[64 + 2], u'B');
  put16(&set[64 + 4], u'i');
  put16(&set[64 + 6], u'g');
  uint16_t checksum = 0;  // the set's checksum, over every byte but its own two
  for (size_t i = 0; i < set.size(); ++i) {
    if (i != 2 && i != 3) checksum = static_cast<uint16_t>(((checksum & 1) ? 0x8000 : 0) + (checksum >> 1) + set[i]);
  }
  put16(&set[2], checksum);
  PatchFile(image, rootOffset + 32 * freeSlot, set);

  const CliResult listed = Cli().Run({"ls", "-r", image});
  EXPECT_EQ(listed.code, 3);
  EXPECT_NE(listed.err.find("1:/Big: it goes on past the 256 MiB an exFAT directory may hold; the rest was not read"),
            std::string::npos)
      << listed.err;
  EXPECT_NE(listed.err.find("1 directory(ies) not read whole"), std::string::npos) << listed.err;

  const CliResult recovered = Cli().Run({"recover", image, dir / "out"});
  EXPECT_EQ(recovered.code, 5);
  EXPECT_NE(recovered.err.find("1:/Big: it goes on past"), std::string::npos) << recovered.err;
}

}  // namespace
