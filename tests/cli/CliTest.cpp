// brindle-cli end to end: the program run on images made by mkfs.fat, mtools and mkfs.exfat,
// its output and exit codes checked.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <map>
#include <set>

#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "support/FatImages.h"
#include "support/ScriptedMessageBox.h"
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
    std::string command = ShellQuote(std::string(BRINDLE_BINARY_DIR) + "/cli/brindle-cli");
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

// The value of "key":"..." or "key":number in one JSON line written by ls --json.
std::string JsonField(const std::string& line, const std::string& key) {
  const std::string tag = "\"" + key + "\":";
  const size_t at = line.find(tag);
  if (at == std::string::npos) return "";
  size_t start = at + tag.size();
  if (line[start] == '"') {
    std::string value;
    for (size_t i = start + 1; i < line.size() && line[i] != '"'; ++i) {
      if (line[i] == '\\') ++i;
      value += line[i];
    }
    return value;
  }
  return line.substr(start, line.find_first_of(",}", start) - start);
}

// A path as ls --json shows it: bytes that are not UTF-8 (8.3 names keep their code page's
// bytes) come out as U+FFFD.
std::string AsListed(const std::string& path) { return JsonField("{\"p\":" + JsonString(path) + "}", "p"); }

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

  r = cli.Run({"--sector-size", "100", fat12.path});
  EXPECT_EQ(r.code, kExitSource);
  EXPECT_NE(r.err.find("512 to 65536"), std::string::npos);
}

TEST_F(CliFixture, RecursiveJsonListingShowsEveryNodeOfTheTree) {
  for (int width : {12, 16, 32}) {
    SCOPED_TRACE(width);
    const FatImage& image = SharedFatImage(width);
    const CliResult r = cli.Run({"ls", "-r", "--json", image.path});
    ASSERT_EQ(r.code, kExitSuccess) << r.err;
    std::map<std::string, std::string> listed;  // path -> state,size
    for (const std::string& line : Lines(r.out)) {
      listed[JsonField(line, "path")] = JsonField(line, "state") + "," + JsonField(line, "size");
    }
    std::map<std::string, std::string> expected;
    for (const ExpectedNode& node : image.nodes) {
      const char* state = node.state == 0 ? "directory" : node.state == 1 ? "file" : "deleted";
      const size_t size = node.state == 0 || !node.checkContent ? 0 : node.content.size();
      expected[AsListed(DisplayPath(node))] = std::string(state) + "," + std::to_string(size);
    }
    EXPECT_EQ(listed, expected);
  }
}

TEST_F(CliFixture, CatGivesTheBytesOfEveryFileByIndexAndByName) {
  const FatImage& image = SharedFatImage(16);
  const CliResult listing = cli.Run({"ls", "-r", "--json", image.path});
  std::map<std::string, std::string> indexOf;
  for (const std::string& line : Lines(listing.out)) indexOf[JsonField(line, "path")] = JsonField(line, "index");
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
  for (const char* text : {"ls", "recover", "--on-read-error abort|ignore", "default: ignore", "Exit codes"}) {
    EXPECT_NE(help.out.find(text), std::string::npos) << text;
  }
}

TEST(CliMessageBoxTest, AnswersFromTheOptions) {
  CliOptions options;
  CliMessageBox box(options);
  EXPECT_EQ(box.Show("Read failed at sector 9:\nInput/output error", "Error", kMbAbortRetryIgnoreWarning), kIdIgnore);
  options.onReadError = ReadErrorAnswer::kAbort;
  EXPECT_EQ(box.Show("Read failed at sector 9:\nInput/output error", "Error", kMbAbortRetryIgnoreWarning), kIdAbort);
  EXPECT_EQ(box.readErrors, 2);
  EXPECT_EQ(box.Show("The file \"x\" already exists.\nDo you want to replace it?", "Brindle", kMbYesNoQuestion), kIdNo);
  options.force = true;
  EXPECT_EQ(box.Show("The file \"x\" already exists.\nDo you want to replace it?", "Brindle", kMbYesNoQuestion), kIdYes);
  EXPECT_EQ(box.declinedReplacements, 1);
}

TEST(JsonStringTest, EscapesAndRepairs) {
  EXPECT_EQ(JsonString("a\"b\\c\n"), "\"a\\\"b\\\\c\\u000a\"");
  EXPECT_EQ(JsonString("Données"), "\"Données\"");
  EXPECT_EQ(JsonString("\x80X\xC3"), "\"\xEF\xBF\xBDX\xEF\xBF\xBD\"");
  EXPECT_EQ(JsonString("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");  // an encoded surrogate
}

}  // namespace
