// brindle-cli end to end: the program run on images made by mkfs.fat, mtools and mkfs.exfat,
// its output and exit codes checked.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "cli/EntryPath.h"
#include "fs/fat/FatNode.h"
#include "fs/fat/FatPartition.h"
#include "platform/VersionTable.h"
#include "support/FatImages.h"
#include "support/FaultyRead.h"
#include "support/TestFiles.h"

namespace {

struct CliResult {
  int code = -1;
  std::string out;
  std::string err;
};

class Cli {
 public:
  CliResult Run(const std::vector<std::string>& args) const {
    std::string command = ShellQuote(BRINDLE_CLI_PATH);
    for (const std::string& a : args) command += " " + ShellQuote(a);
    command += " >" + ShellQuote(scratch_ / "out") + " 2>" + ShellQuote(scratch_ / "err");
    const int status = std::system(command.c_str());
    CliResult result;
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const Bytes out = ReadFileBytes(scratch_ / "out");
    const Bytes err = ReadFileBytes(scratch_ / "err");
    result.out.assign(out.begin(), out.end());
    result.err.assign(err.begin(), err.end());
    return result;
  }

 private:
  TempDir scratch_;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) lines.push_back(text.substr(start, nl - start));
  return lines;
}

// The display path the command line gives a node of a FAT test image: "1:/DOCS/A.TXT".
std::string DisplayPath(const ExpectedNode& node) {
  std::string path = "1:";
  const std::string parent = node.state == kStateDirectory ? node.path.substr(0, node.path.size() - node.name.size() - 1)
                                                           : node.path;
  for (char c : parent) path += c == '\\' ? '/' : c;
  return path + node.name;
}

// The lines of ls --json, each an object.
std::vector<nlohmann::json> JsonLines(const std::string& text) {
  std::vector<nlohmann::json> objects;
  for (const std::string& line : Lines(text)) objects.push_back(nlohmann::json::parse(line));
  return objects;
}

// A path as ls --json shows it: the only bytes in the test images' names that are not UTF-8
// are the code page 850 "É" (0x90) of an 8.3 name, which comes out as U+FFFD.
std::string AsListed(std::string path) {
  for (size_t at; (at = path.find('\x90')) != std::string::npos;) path.replace(at, 1, "\xEF\xBF\xBD");
  return path;
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
  EXPECT_EQ(r.err, "brindle-cli: The selected drive does not contain any FAT partitions.\n");

  r = cli.Run({dir / "missing.img"});
  EXPECT_EQ(r.code, kExitSource);
  EXPECT_EQ(r.err, "brindle-cli: Failed to open the file for reading: No such file or directory\n");
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
      expected[AsListed(DisplayPath(node))] = std::string(state) + "," + std::to_string(size);
    }
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(listed.count("1:/Données été.txt - DONN\xEF\xBF\xBD" "E~1.TXT"), 1u);
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
    const std::string path = AsListed(DisplayPath(node));
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
  EXPECT_EQ(r.err, "brindle-cli: \"_NE.TXT\" in 1:/ names 2 entries; name one by its index: 1#0 1#1\n");
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
  const std::string target = dir / node.name;
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
    if (node.state == kStateDirectory) continue;
    ++files;
    std::string path = out + "/partition-1";
    for (char c : node.path) path += c == '\\' ? '/' : c;
    path += node.name;
    SCOPED_TRACE(path);
    ASSERT_TRUE(FileExists(path));
    if (node.checkContent) {
      EXPECT_EQ(ReadFileBytes(path), node.content);
    }
  }
  EXPECT_EQ(r.out.rfind("Saved " + std::to_string(files) + " files (", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("; 0 failures.\n"), std::string::npos);

  // Again, deleted files only: the clashing names get numbers.
  r = cli.Run({"recover", "--deleted", image.path, out});
  ASSERT_EQ(r.code, kExitSuccess) << r.err;
  size_t deleted = 0;
  for (const ExpectedNode& node : image.nodes) {
    if (node.state != kStateDeleted) continue;
    ++deleted;
    std::string stem = out + "/partition-1";
    for (char c : node.path) stem += c == '\\' ? '/' : c;
    const std::string name = node.name;
    const size_t dot = name.rfind('.');
    const std::string numbered = dot == std::string::npos || dot == 0 ? name + " (1)"
                                                                      : name.substr(0, dot) + " (1)" + name.substr(dot);
    EXPECT_TRUE(FileExists(stem + numbered)) << stem + numbered;
  }
  EXPECT_EQ(r.out.rfind("Saved " + std::to_string(deleted) + " files (", 0), 0u) << r.out;
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

  // Opened with the sector size it was made with, the 4 KiB-sector volume shows its tree; with
  // the default 512 it is found but shows nothing rather than a tree read from the wrong bytes.
  r = cli.Run({"ls", "--sector-size", "4096", images + "/exfat-4k.img"});
  EXPECT_EQ(r.code, kExitSuccess);
  EXPECT_FALSE(r.out.empty());
  const std::string tree = r.out;
  r = cli.Run({"--sector-size", "4096", "ls", images + "/exfat-4k.img"});  // options before the command
  EXPECT_EQ(r.code, kExitSuccess);
  EXPECT_EQ(r.out, tree);
  r = cli.Run({"ls", images + "/exfat-4k.img"});
  EXPECT_EQ(r.code, kExitSuccess);
  EXPECT_EQ(r.out, "");
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
  for (const ReadErrorAnswer answer : {ReadErrorAnswer::kIgnore, ReadErrorAnswer::kAbort}) {
    const bool abort = answer == ReadErrorAnswer::kAbort;
    SCOPED_TRACE(abort ? "abort" : "ignore");
    CliOptions options;
    options.onReadError = answer;
    CliSession session(options);
    const std::shared_ptr<FaultyRead> fault = InstallFaultyRead(session.reader());
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
    EXPECT_EQ(session.messages().readErrors, 1);
    EXPECT_EQ(errors, "brindle-cli: Read failed at sector " + std::to_string(badSector) + ": Input/output error" +
                          (abort ? " (aborted)\n" : " (ignored: unreadable sectors read as zeros)\n"));
  }
}

// One object per line, its keys in a fixed order. Names that are not UTF-8 (8.3 names keep
// their code page's bytes) have each bad byte replaced by U+FFFD; control characters are
// escaped, so that no object runs over two lines.
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
                                              "attributes"}));
    EXPECT_EQ(object["name"], c.listed);
    EXPECT_EQ(object["index"], index);
    EXPECT_EQ(object["path"], path);
    EXPECT_EQ(object["state"], "deleted");
    EXPECT_EQ(object["size"], 0xFFFFFFFFu);
    EXPECT_EQ(object["modified"], entry.modifiedText);
    EXPECT_EQ(object["created"], "");
  }
}

}  // namespace
