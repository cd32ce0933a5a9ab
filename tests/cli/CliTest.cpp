// brindle-cli end to end: the program run on images made by mkfs.fat, mtools and mkfs.exfat,
// its output and exit codes checked.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "CliRun.h"
#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "cli/EntryPath.h"
#include "fs/fat/FatNode.h"
#include "fs/fat/FatPartition.h"
#include "platform/VersionTable.h"
#include "support/ExfatImages.h"
#include "support/ExfatVolumeBytes.h"
#include "support/FatImages.h"
#include "support/FaultyRead.h"
#include "support/TestFiles.h"

namespace {

// The display path the command line gives a node of a FAT test image: "1:/DOCS/A.TXT".
std::string DisplayPath(const ExpectedNode& node) {
  std::string path = "1:";
  const std::string parent = node.folder ? node.path.substr(0, node.path.size() - node.name.size() - 1) : node.path;
  for (char c : parent) path += c == '\\' ? '/' : c;
  return path + node.name;
}

struct CliFixture : ::testing::Test {
  Cli cli;
  TempDir dir;
};

TEST_F(CliFixture, ListsPartitionsOrSaysWhyNot) {
  const FatImage& fat12 = SharedFatImage(12);
  CliResult r = cli.Run({fat12.path});
  EXPECT_EQ(r.code, kExitSuccess);
  EXPECT_EQ(r.out, "1: FAT12 partition \"" + fat12.label + "\"\n");

  WriteFileBytes(dir / "blank.img", Bytes(64 * 1024, 0));
  r = cli.Run({dir / "blank.img"});
  EXPECT_EQ(r.code, kExitSource);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "brindle-cli: The partition tables lead to no FAT or exFAT volume: searching the source for lost volumes.\n"
            "brindle-cli: The search found 0 lost volume(s).\n"
            "brindle-cli: The selected drive does not contain any FAT partitions.\n");

  r = cli.Run({dir / "missing.img"});
  EXPECT_EQ(r.code, kExitSource);
  EXPECT_EQ(r.err, "brindle-cli: Failed to open the file for reading: No such file or directory\n");

  // A FIFO is refused before anything waits for a writer.
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  r = cli.Run({"ls", dir / "fifo"});
  EXPECT_EQ(r.code, kExitSource);
  EXPECT_EQ(r.err, "brindle-cli: Failed to open the file for reading: This is a FIFO (named pipe), not an image file or "
                   "a block device.\n");
}

TEST_F(CliFixture, RecursiveJsonListingShowsEveryNodeOfTheTree) {
  for (int width : {12, 16, 32}) {
    SCOPED_TRACE(width);
    const FatImage& image = SharedFatImage(width);
    const CliResult r = cli.Run({"ls", "-r", "--json", image.path});
    ASSERT_EQ(r.code, kExitSuccess) << r.err;
    std::map<std::string, std::string> listed;  // path -> state,size
    for (const nlohmann::json& line : JsonLines(r.out)) {
      listed[line["path"]] = line["state"].get<std::string>() + "," + std::to_string(line["size"].get<uint32_t>());
    }
    std::map<std::string, std::string> expected;
    for (const ExpectedNode& node : image.nodes) {
      const char* state = node.state == 0 ? "directory" : node.state == 1 ? "file" : "deleted";
      const size_t size = node.state == 0 || !node.checkContent ? 0 : node.content.size();
      expected[DisplayPath(node)] = std::string(state) + "," + std::to_string(size);
    }
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(listed.count("1:/Données été.txt - DONNÉE~1.TXT"), 1u);
  }
}

TEST_F(CliFixture, CatGivesTheBytesOfEveryFileByIndexAndByName) {
  const FatImage& image = SharedFatImage(16);
  const CliResult listing = cli.Run({"ls", "-r", "--json", image.path});
  std::map<std::string, std::string> indexOf;
  for (const nlohmann::json& line : JsonLines(listing.out)) indexOf[line["path"]] = line["index"];
  int checked = 0;
  for (const ExpectedNode& node : image.nodes) {
    if (node.state == kStateDirectory || !node.checkContent) continue;
    const std::string path = DisplayPath(node);
    SCOPED_TRACE(path);
    ASSERT_TRUE(indexOf.count(path));
    const CliResult byIndex = cli.Run({"cat", image.path, indexOf[path]});
    EXPECT_EQ(byIndex.code, kExitSuccess);
    EXPECT_EQ(Bytes(byIndex.out.begin(), byIndex.out.end()), node.content);
    ++checked;
  }
  EXPECT_GT(checked, 10);
  const ExpectedNode& some = *std::find_if(image.nodes.begin(), image.nodes.end(),
                                           [](const ExpectedNode& n) { return n.state == 1 && n.path != "\\"; });
  const CliResult byName = cli.Run({"cat", image.path, DisplayPath(some)});
  EXPECT_EQ(Bytes(byName.out.begin(), byName.out.end()), some.content);
}

TEST_F(CliFixture, EntryNamesThatDoNotResolveSayWhy) {
  const std::string image = dir / "twins.img";
  MtoolsVolume volume(image);
  volume.Format("-F 12 -n TWINS", 1440);
  volume.Write("/ONE.TXT", Bytes{1});
  volume.Write("/BNE.TXT", Bytes{2});
  volume.Write("/KEEP.TXT", Bytes{3});
  volume.Delete("/ONE.TXT");
  volume.Delete("/BNE.TXT");

  CliResult r = cli.Run({"cat", image, "1:/_NE.TXT"});
  EXPECT_EQ(r.code, kExitNoEntry);
  EXPECT_EQ(r.err,
            "brindle-cli: \"_NE.TXT\" in 1:/ names 2 entries; name one by its index:\n"
            "  1#0          deleted   1:/_NE.TXT\n"
            "  1#1          deleted   1:/_NE.TXT\n");
  r = cli.Run({"cat", image, "1#1"});
  EXPECT_EQ(r.code, kExitSuccess);
  EXPECT_EQ(r.out, "\x02");

  struct Case {
    const char* entry;
    const char* error;
  } cases[] = {
      {"1:/NONE.TXT", "no entry named \"NONE.TXT\" in 1:/"},
      {"2:/KEEP.TXT", "there is no partition 2 (the source has partition 1)"},
      {"1#7", "no entry with index 7 in 1# (1:/ has 3 entries)"},
      {"KEEP.TXT", "\"KEEP.TXT\" is not an entry: write N:/path or N#i/j/k"},
  };
  for (const Case& c : cases) {
    r = cli.Run({"info", image, c.entry});
    EXPECT_EQ(r.code, kExitNoEntry) << c.entry;
    EXPECT_EQ(r.err, std::string("brindle-cli: ") + c.error + "\n");
  }
  r = cli.Run({"info", image, "1:/KEEP.TXT"});
  EXPECT_EQ(r.code, kExitSuccess);
  EXPECT_NE(r.out.find("Starting cluster: "), std::string::npos);
  EXPECT_NE(r.out.find("File size: 1\n"), std::string::npos);
}

TEST_F(CliFixture, SaveReplacesOnlyWithForce) {
  const FatImage& image = SharedFatImage(12);
  const ExpectedNode& node = *std::find_if(image.nodes.begin(), image.nodes.end(),
                                           [](const ExpectedNode& n) { return n.state == 1 && !n.content.empty(); });
  const std::string target = dir / node.savedPath.substr(node.savedPath.rfind('/') + 1);
  CliResult r = cli.Run({"save", image.path, DisplayPath(node), dir.path()});
  EXPECT_EQ(r.code, kExitSuccess) << r.err;
  EXPECT_EQ(r.out, target + "\n");
  EXPECT_EQ(ReadFileBytes(target), node.content);

  WriteFileBytes(target, Bytes{42});
  r = cli.Run({"save", image.path, DisplayPath(node), dir.path()});
  EXPECT_EQ(r.code, kExitOutput);
  EXPECT_NE(r.err.find("already exists. Do you want to replace it? Not replaced: use --force"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(target), Bytes{42});

  r = cli.Run({"save", "--force", image.path, DisplayPath(node), dir.path()});
  EXPECT_EQ(r.code, kExitSuccess);
  EXPECT_EQ(ReadFileBytes(target), node.content);

  r = cli.Run({"save", image.path, DisplayPath(node), dir / "no/such/folder"});
  EXPECT_EQ(r.code, kExitOutput);
  EXPECT_NE(r.err.find("could not be saved: No such file or directory"), std::string::npos);
}

TEST_F(CliFixture, RecoverMirrorsTheTreeAndNeverOverwrites) {
  const FatImage& image = SharedFatImage(32);
  const std::string out = dir / "out";
  CliResult r = cli.Run({"recover", image.path, out});
  ASSERT_EQ(r.code, kExitSuccess) << r.err;
  size_t files = 0;
  for (const ExpectedNode& node : image.nodes) {
    if (node.folder) continue;
    ++files;
    const std::string path = out + "/partition-1/" + node.savedPath;
    SCOPED_TRACE(path);
    ASSERT_TRUE(FileExists(path));
    if (node.checkContent) {
      EXPECT_EQ(ReadFileBytes(path), node.content);
    }
  }
  EXPECT_EQ(r.out.rfind("Saved " + std::to_string(files) + " files (", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("; 0 incomplete; 0 failures.\n"), std::string::npos);

  // Again, deleted files only: the clashing names get numbers.
  r = cli.Run({"recover", "--deleted", image.path, out});
  ASSERT_EQ(r.code, kExitSuccess) << r.err;
  size_t deleted = 0;
  for (const ExpectedNode& node : image.nodes) {
    if (node.state != kStateDeleted || node.folder) continue;
    ++deleted;
    const std::string path = out + "/partition-1/" + node.savedPath;
    const size_t dot = path.rfind('.');
    const bool extension = dot != std::string::npos && dot > path.rfind('/') + 1;
    const std::string numbered = extension ? path.substr(0, dot) + " (1)" + path.substr(dot) : path + " (1)";
    EXPECT_TRUE(FileExists(numbered)) << numbered;
  }
  EXPECT_EQ(r.out.rfind("Saved " + std::to_string(deleted) + " files (", 0), 0u) << r.out;
}

time_t ModifiedAt(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mtime;
}

// save and recover name a file as it was named, not by the tree's caption, and give it the
// modification time its entry records: a FAT time as local time (here three hours east of
// UTC), an exFAT time at the UTC offset it records (exfat-fuse records UTC).
TEST_F(CliFixture, SavedFilesTakeTheNamesAndModificationTimesTheyHad) {
  ScopedTimeZone zone("XYZ-3");
  const FatImage& image = SharedFatImage(16);
  CliResult r = cli.Run({"save", image.path, "1:/README.TXT", dir.path()});
  ASSERT_EQ(r.code, kExitSuccess) << r.err;
  EXPECT_EQ(ModifiedAt(dir / "README.TXT"), 1239810778 - 3 * 3600);  // written at 2009-04-15 15:52:58
  const std::string deleted = "Jahresbericht Überweisung März.txt";
  r = cli.Run({"save", image.path, "1:/DOCS/" + deleted + " - _AHRES~1.TXT", dir.path()});
  ASSERT_EQ(r.code, kExitSuccess) << r.err;
  EXPECT_EQ(r.out, dir / deleted + "\n");

  const std::string out = dir / "out";
  r = cli.Run({"recover", "--deleted", TestImagePath("exfat-tree.img"), out});
  ASSERT_EQ(r.code, kExitSuccess) << r.err;
  EXPECT_EQ(ModifiedAt(out + "/partition-1/gone.txt"), 1796684661);  // 2026/12/07, 23:04:21 UTC
}

TEST_F(CliFixture, ExfatVolumesInsideATableAndOtherSectorSizes) {
  const std::string images = BRINDLE_TEST_IMAGES_DIR;
  CliResult r = cli.Run({images + "/exfat-mbr.img"});
  EXPECT_EQ(r.code, kExitSuccess);
  EXPECT_EQ(Lines(r.out).size(), 1u);
  EXPECT_EQ(r.out.rfind("1: exFAT partition", 0), 0u);
  r = cli.Run({"ls", "-r", images + "/exfat-mbr.img"});
  EXPECT_EQ(r.code, kExitSuccess);
  EXPECT_GT(Lines(r.out).size(), 2u);

  // Opened with the sector size it was made with, the 4 KiB-sector volume shows its tree.
  r = cli.Run({"ls", "--sector-size", "4096", images + "/exfat-4k.img"});
  EXPECT_EQ(r.code, kExitSuccess);
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(r.out.empty());
  const std::string tree = r.out;
  r = cli.Run({"--sector-size", "4096", "ls", images + "/exfat-4k.img"});  // options before the command
  EXPECT_EQ(r.code, kExitSuccess);
  EXPECT_EQ(r.out, tree);
}

// An image opened without --sector-size whose boot sectors state 4096-byte sectors is read with
// that size, and the user is told; an explicit size is obeyed, and a partition that cannot be
// read with it says so rather than showing an empty or wrong tree as if it were the volume's.
TEST_F(CliFixture, FourKiBSectorsAreFoundWithoutBeingNamed) {
  const std::string note = "brindle-cli: The volume uses 4096-byte sectors; reading it with that size.\n";
  const std::string fat16 = dir / "fat16-4k.img";
  MtoolsVolume volume(fat16);
  volume.Format("-F 16 -S 4096 -n FOURK", 65536);
  volume.MakeDirectory("/DOCS");
  volume.Write("/DOCS/Letter.txt", PatternBytes(5000, 1));
  volume.Write("/README.TXT", PatternBytes(300, 2));
  CliResult r = cli.Run({"ls", "-r", fat16});
  EXPECT_EQ(r.code, kExitSuccess);
  EXPECT_EQ(r.err, note);
  std::vector<std::string> paths;
  for (const std::string& line : Lines(r.out)) paths.push_back(line.substr(line.rfind("  ") + 2));
  EXPECT_EQ(paths, (std::vector<std::string>{"1:/DOCS", "1:/DOCS/Letter.txt - LETTER.TXT", "1:/README.TXT"}));
  r = cli.Run({"cat", fat16, "1#0/0"});
  EXPECT_EQ(Bytes(r.out.begin(), r.out.end()), PatternBytes(5000, 1));
  r = cli.Run({"ls", "--sector-size", "4096", fat16});
  EXPECT_EQ(r.err, "");
  r = cli.Run({"--sector-size", "512", fat16});
  EXPECT_EQ(r.code, kExitSuccess);
  EXPECT_EQ(r.err, "brindle-cli: Partition 1 states 4096-byte sectors in its boot sector, but the source is read "
                   "with 512-byte sectors: its tree may be wrong; open it with --sector-size 4096.\n");

  // The exFAT volume at 512 bytes would be found with an empty tree.
  const std::string exfat = std::string(BRINDLE_TEST_IMAGES_DIR) + "/exfat-4k.img";
  r = cli.Run({"ls", "-r", exfat});
  EXPECT_EQ(r.code, kExitSuccess);
  EXPECT_EQ(r.err, note);
  EXPECT_EQ(r.out, cli.Run({"ls", "-r", "--sector-size", "4096", exfat}).out);
  EXPECT_EQ(Lines(r.out).size(), 3u);
  r = cli.Run({"ls", "--sector-size", "512", exfat});
  EXPECT_EQ(r.code, kExitSuccess);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "brindle-cli: Partition 1 states 4096-byte sectors in its boot sector, but the source is read "
                   "with 512-byte sectors: its tree cannot be read; open it with --sector-size 4096.\n");

  // A classic table whose entry counts 4096-byte sectors leads nowhere at 512: no boot sector
  // there states a size, and the other sizes are tried all the same. sfdisk writes tables for
  // 512-byte sectors only, so the entry is written by hand.
  const std::string disk = dir / "disk-4k.img";
  MtoolsVolume small(dir / "fat12-4k.img");
  small.Format("-F 12 -S 4096 -n INSIDE", 4096);
  small.Write("/HI.TXT", PatternBytes(70, 3));
  RunCommand("truncate -s 8M " + ShellQuote(disk));
  RunCommand("dd if=" + ShellQuote(dir / "fat12-4k.img") + " of=" + ShellQuote(disk) +
             " bs=4096 seek=256 conv=notrunc status=none");
  PatchFile(disk, 446, Bytes{0, 0, 0, 0, 0x01, 0, 0, 0, 0x00, 0x01, 0, 0, 0x00, 0x04, 0, 0});  // 256, 1024 sectors
  PatchFile(disk, 510, Bytes{0x55, 0xAA});
  r = cli.Run({"cat", disk, "1:/HI.TXT"});
  EXPECT_EQ(r.code, kExitSuccess);
  EXPECT_EQ(r.err, note);
  EXPECT_EQ(Bytes(r.out.begin(), r.out.end()), PatternBytes(70, 3));
  // With 512-byte sectors obeyed, the entry leads nowhere; the search finds the volume at the
  // 1 MiB boundary, and says which sector size it states.
  r = cli.Run({"--sector-size", "512", disk});
  EXPECT_EQ(r.out, "2: FAT12 volume found at sector 2048 \"INSIDE\"\n");  // after the table's entry 1
  EXPECT_NE(r.err.find("Partition 2 states 4096-byte sectors"), std::string::npos) << r.err;
}

// exfat-fuse deletes a folder by marking its set deleted, and the sets inside it first: the
// folder keeps its directory icon, yet is listed, walked and recovered as deleted with all it
// holds.
TEST_F(CliFixture, ADeletedExfatFolderIsListedAndRecoveredWithItsFiles) {
  const std::string image = TestImagePath("exfat-tree.img");
  const ExfatManifest manifest = ReadExfatManifest("exfat-tree");
  std::map<std::string, bool> deleted;  // path -> folder
  for (const auto& [path, entry] : manifest.entries) {
    if (entry.state == "deleted") deleted["1:/" + path] = entry.type == "dir";
  }
  ASSERT_EQ(deleted.count("1:/old dir/sub"), 1u);

  CliResult r = cli.Run({"ls", "-r", "--deleted", "--json", image});
  ASSERT_EQ(r.code, kExitSuccess) << r.err;
  std::map<std::string, bool> listed;
  for (const nlohmann::json& line : JsonLines(r.out)) {
    EXPECT_EQ(line["state"], "deleted") << line["path"];
    listed[line["path"]] = line["folder"];
  }
  EXPECT_EQ(listed, deleted);
  r = cli.Run({"ls", image});
  EXPECT_NE(r.out.find(" deleted            0 -      2026/12/07, 23:04:21    1:/old dir\n"), std::string::npos) << r.out;

  const std::string out = dir / "out";
  r = cli.Run({"recover", "--deleted", image, out});
  ASSERT_EQ(r.code, kExitSuccess) << r.err;
  size_t files = 0;
  for (const auto& [path, entry] : manifest.entries) {
    const std::string saved = out + "/partition-1/" + path;
    if (entry.type == "dir") continue;
    SCOPED_TRACE(path);
    if (entry.state == "live") {
      EXPECT_FALSE(FileExists(saved));
      continue;
    }
    ++files;
    EXPECT_EQ(ReadFileBytes(saved), PatternBytes(entry.delivered, entry.seed));
  }
  EXPECT_EQ(r.out.rfind("Saved " + std::to_string(files) + " files (", 0), 0u) << r.out;
}

// Folders keep no time texts in their nodes; listings take their times from what their
// entries record, written as the information rows write them.
TEST_F(CliFixture, FolderTimesAreListed) {
  const std::string image = TestImagePath("exfat-tree.img");
  const CliResult r = cli.Run({"ls", "--json", image, "1:/Documents"});
  ASSERT_EQ(r.code, kExitSuccess) << r.err;
  const nlohmann::json folder = JsonLines(r.out).at(0);
  ASSERT_EQ(folder["path"], "1:/Documents/Année 2024");
  const std::string info = cli.Run({"info", image, "1:/Documents/Année 2024"}).out;
  EXPECT_NE(info.find("Modified date/time: " + folder["modified"].get<std::string>() + "\n"), std::string::npos);
  EXPECT_NE(info.find("Created date/time: " + folder["created"].get<std::string>() + "\n"), std::string::npos);

  const FatImage& fat = SharedFatImage(16);
  for (const nlohmann::json& line : JsonLines(cli.Run({"ls", "--json", fat.path}).out)) {
    if (!line["folder"]) continue;
    EXPECT_EQ(line["modified"].get<std::string>().size(), 20u) << line;  // "2009/04/15, 15:52:58"
    EXPECT_GE(line["created"].get<std::string>().size(), 20u) << line;
  }
}

TEST_F(CliFixture, PartitionsKeepTheNumbersLinuxGivesThem) {
  // Entry 2 of the classic table and logical drive 5: entries 1 and 4 are empty.
  const std::string disk = dir / "disk.img";
  RunCommand("truncate -s 16M " + ShellQuote(disk));
  RunCommand("printf 'label: dos\\ndisk.img2 : start=2048, size=4096, type=1\\ndisk.img3 : start=8192, size=16384, "
             "type=5\\ndisk.img5 : start=10240, size=4096, type=1\\n' | sfdisk -q " + ShellQuote(disk));
  const MtoolsVolume second(disk, 2048 * 512), fifth(disk, 10240 * 512);
  second.Format("-F 12 -n SECOND", 2048);
  second.Write("/TWO.BIN", PatternBytes(700, 2));
  fifth.Format("-F 12 -n FIFTH", 2048);
  fifth.Write("/FIVE.BIN", PatternBytes(900, 5));

  CliResult r = cli.Run({disk});
  EXPECT_EQ(r.code, kExitSuccess);
  EXPECT_EQ(r.out, "2: FAT12 partition \"SECOND\"\n5: FAT12 partition \"FIFTH\"\n");
  r = cli.Run({"ls", disk});
  EXPECT_NE(r.out.find("5#0 "), std::string::npos) << r.out;
  r = cli.Run({"cat", disk, "5:/FIVE.BIN"});
  EXPECT_EQ(Bytes(r.out.begin(), r.out.end()), PatternBytes(900, 5));
  r = cli.Run({"info", disk, "1:/"});
  EXPECT_EQ(r.code, kExitNoEntry);
  EXPECT_EQ(r.err, "brindle-cli: there is no partition 1 (the source has partitions 2 and 5)\n");

  r = cli.Run({"recover", disk, dir / "out"});
  EXPECT_EQ(r.code, kExitSuccess) << r.err;
  EXPECT_EQ(ReadFileBytes(dir / "out/partition-2/TWO.BIN"), PatternBytes(700, 2));
  EXPECT_EQ(ReadFileBytes(dir / "out/partition-5/FIVE.BIN"), PatternBytes(900, 5));
}

// A file of 4 GiB and more: ls shows all 64 bits of its length, and cat, save and recover give
// every byte the volume holds for it (here the heap ends first), not the low 32 bits' worth,
// and say that it came out short.
TEST_F(CliFixture, LengthsOfFourGiBAndMoreAreShownAndReadWhole) {
  using namespace exfat_test;
  ExfatVolumeBytes v(16);
  const Bytes heap = PatternBytes(14 * 512, 8);  // clusters 4 to 17
  v.Put(2, FileSet(u"video.mp4", 3, 4, 0x100000064)).Put(4, heap);
  const std::string image = v.Write(dir);

  CliResult r = cli.Run({"ls", "--json", image});
  ASSERT_EQ(r.code, kExitSuccess) << r.err;
  ASSERT_EQ(JsonLines(r.out).size(), 1u);
  EXPECT_EQ(JsonLines(r.out)[0]["size"], uint64_t{4294967396});
  r = cli.Run({"ls", image});
  EXPECT_NE(r.out.find(" 4294967396 short  "), std::string::npos) << r.out;
  r = cli.Run({"info", image, "1:/video.mp4"});
  EXPECT_NE(r.out.find("File size: 4294967396\n"), std::string::npos) << r.out;

  const std::string shortText =
      "brindle-cli: 1:/video.mp4: short: 7168 of 4294967396 bytes (the volume ends before its data does)\n";
  r = cli.Run({"cat", image, "1:/video.mp4"});
  EXPECT_EQ(r.code, kExitIncomplete);
  EXPECT_EQ(r.err, shortText);
  EXPECT_TRUE(Bytes(r.out.begin(), r.out.end()) == heap);
  r = cli.Run({"save", image, "1:/video.mp4", dir.path()});
  EXPECT_EQ(r.code, kExitIncomplete) << r.err;
  EXPECT_EQ(r.err, shortText);
  EXPECT_TRUE(ReadFileBytes(dir / "video.mp4") == heap);
  r = cli.Run({"recover", image, dir / "out"});
  EXPECT_EQ(r.code, kExitIncomplete) << r.err;
  EXPECT_EQ(r.err, shortText);
  EXPECT_TRUE(ReadFileBytes(dir / "out/partition-1/video.mp4") == heap);
  EXPECT_EQ(r.out, "Saved 1 files (7168 bytes); 1 incomplete; 0 failures.\n");

  // Output that cannot be written is an output error.
  const std::string command = ShellQuote(BRINDLE_CLI_PATH) + " cat " +
                              ShellQuote(image) + " 1:/video.mp4 >/dev/full 2>" + ShellQuote(dir / "err");
  const int status = std::system(command.c_str());
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, kExitOutput);
  const Bytes err = ReadFileBytes(dir / "err");
  EXPECT_EQ(std::string(err.begin(), err.end()),
            "brindle-cli: cannot write to standard output: No space left on device\n");
}

TEST_F(CliFixture, UsageErrorsAndHelp) {
  const std::string image = SharedFatImage(12).path;
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"--bogus", image},
      {"cat", image},
      {"cat", "--json", image, "1:/"},
      {"save", "--deleted", image, "1:/", "x"},
      {"--on-read-error", "maybe", image},
      {"ls", image, "1:/", "extra"},
  };
  for (const auto& args : bad) {
    const CliResult r = cli.Run(args);
    EXPECT_EQ(r.code, kExitUsage) << (args.empty() ? "" : args[0]);
    EXPECT_NE(r.err.find("Try 'brindle-cli --help'"), std::string::npos);
  }
  const CliResult help = cli.Run({"--help"});
  EXPECT_EQ(help.code, kExitSuccess);
  for (const char* text : {"ls", "recover", "--on-read-error abort|ignore", "default: ignore", "Exit codes", "--version"}) {
    EXPECT_NE(help.out.find(text), std::string::npos) << text;
  }
  const CliResult version = cli.Run({"--version"});
  EXPECT_EQ(version.code, kExitSuccess);
  EXPECT_EQ(Lines(version.out).at(0), "brindle-cli " + VersionTable::Program().Query(kFileVersionPath).value());
}

// A sector size that is not a number of bytes from 512 to 65536 is a usage error that says so,
// before the source is opened; read as 512 it would show the wrong tree without a word.
TEST_F(CliFixture, SectorSizeOutsideTheRangeIsAUsageError) {
  const FatImage& image = SharedFatImage(12);
  for (const std::string size : {"abc", "100", "511", "65537", "4096x", "-512", ""}) {
    const CliResult r = cli.Run({"ls", "--sector-size", size, image.path});
    EXPECT_EQ(r.code, kExitUsage) << size;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "brindle-cli: --sector-size: takes a number of bytes from 512 to 65536, not \"" + size +
                         "\"\nTry 'brindle-cli --help' for more information.\n");
  }
  for (const std::string size : {"512", "65536"}) {
    const CliResult r = cli.Run({"--sector-size=" + size, image.path});
    EXPECT_EQ(r.code, kExitSuccess) << size << r.err;
  }
}

// With --on-read-error, an unreadable sector of a file costs that sector (ignore) or the whole
// read (abort); either way it is counted and said on one line of standard error.
TEST(CliReadErrorTest, TheAnswerDecidesWhatAnUnreadableSectorCosts) {
  const FatImage& image = SharedFatImage(32);
  const ExpectedNode& node =
      *std::find_if(image.nodes.begin(), image.nodes.end(), [](const ExpectedNode& n) { return n.name == "A.BIN"; });
  for (const FaultAnswer answer : {FaultAnswer::kIgnore, FaultAnswer::kAbort}) {
    const bool abort = answer == FaultAnswer::kAbort;
    SCOPED_TRACE(abort ? "abort" : "ignore");
    CliOptions options;
    options.onReadError = answer;
    const auto fault = std::make_shared<FaultyRead>();
    CliSession session(options, ThroughFaultyRead(fault));
    ASSERT_EQ(session.Open(image.path), kExitSuccess);
    const ResolvedEntry resolved = ResolveEntry(session.partitions(), "1:/FILL/A.BIN");
    ASSERT_NE(resolved.entry, nullptr) << resolved.error;

    // A.BIN lies in one run of three 512-byte clusters; its second sector cannot be read.
    const auto& file = static_cast<const FATFileNode&>(*resolved.entry);
    const uint32_t badSector =
        file.partition->dataStartSector + (file.entry->firstCluster - 2) * file.partition->SectorsPerCluster() + 1;
    fault->FailSector(badSector, 512);
    session.reader().ReadSector(0);  // the window elsewhere, so that the file comes from the medium
    ::testing::internal::CaptureStderr();
    uint32_t size = 0;
    const ByteBuffer data = resolved.entry->GetData(size);
    const std::string errors = ::testing::internal::GetCapturedStderr();

    Bytes expected = node.content;
    std::fill(expected.begin() + (abort ? 0 : 512), abort ? expected.end() : expected.begin() + 1024, 0);
    EXPECT_EQ(Bytes(data.begin(), data.end()), expected);
    EXPECT_EQ(session.faults().Count(), 1u);
    EXPECT_EQ(errors, "brindle-cli: Read failed at sector " + std::to_string(badSector) + ": Input/output error" +
                          (abort ? " (aborted)\n" : " (ignored: unreadable sectors read as zeros)\n"));
  }
}

// One object per line, its keys in a fixed order. Names that are not UTF-8 have each bad byte
// replaced by U+FFFD; control characters are escaped, so that no object runs over two lines.
TEST(ListingJsonTest, OneObjectPerLineWithBadBytesReplaced) {
  TDirectoryEntry entry(nullptr);
  entry.state = kStateDeleted;
  entry.size = 0xFFFFFFFF;
  entry.modifiedText = "2009/04/15, 15:52:58";
  entry.attributesText = "A";
  const std::string path = "1:/DIR/x";
  const std::string index = "1#0/3";
  const std::string kReplacement = "\xEF\xBF\xBD";
  const struct {
    std::string name;
    std::string listed;
  } cases[] = {
      {"Données \"q\" \\", "Données \"q\" \\"},
      {"line\nbreak\x01", "line\nbreak\x01"},
      {"DONN\x90" "E~1.TXT", "DONN" + kReplacement + "E~1.TXT"},
      {"\x80X\xC3", kReplacement + "X" + kReplacement},                // a stray and a cut-off sequence
      {"\xED\xA0\x80", kReplacement + kReplacement + kReplacement},    // an encoded surrogate
  };
  for (const auto& c : cases) {
    entry.name = c.name;
    const std::string line = ListingJson(WalkItem{entry, path, index, 0});
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    const nlohmann::ordered_json object = nlohmann::ordered_json::parse(line);
    std::vector<std::string> keys;
    for (const auto& item : object.items()) keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"index", "path", "name", "state", "size", "modified", "created",
                                              "attributes", "folder", "data"}));
    EXPECT_EQ(object["name"], c.listed);
    EXPECT_EQ(object["index"], index);
    EXPECT_EQ(object["path"], path);
    EXPECT_EQ(object["state"], "deleted");
    EXPECT_EQ(object["size"], 0xFFFFFFFFu);
    EXPECT_EQ(object["modified"], entry.modifiedText);
    EXPECT_EQ(object["created"], "");
    EXPECT_EQ(object["folder"], false);
    EXPECT_EQ(object["data"]["kind"], "none");  // nothing of its 4 GiB - 1 bytes can be had
  }
}

}  // namespace
