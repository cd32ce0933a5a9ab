// Names as a user types them and as brindle-cli prints them: each path component by caption,
// long name or short name without regard to case, an ambiguous one refused with its candidates,
// and every name, label and path printed as valid UTF-8 that cannot drive the terminal.

#include <gtest/gtest.h>

#include <algorithm>

#include "CliRun.h"
#include "cli/CliSession.h"
#include "cli/Names.h"
#include "support/ExfatImages.h"
#include "support/FatImages.h"
#include "support/HandVolume.h"

namespace {

const std::string kReplacement = "\xEF\xBF\xBD";

struct EntryNames : ::testing::Test {
  // Asserts that every name gives the bytes expected.
  void ExpectNamesGive(const std::string& image, const std::vector<std::string>& names, const Bytes& expected) {
    for (const std::string& name : names) {
      const CliResult r = cli.Run({"cat", image, name});
      EXPECT_EQ(r.code, kExitSuccess) << name << ": " << r.err;
      EXPECT_TRUE(Bytes(r.out.begin(), r.out.end()) == expected) << name;
    }
  }

  Cli cli;
  TempDir dir;
};

TEST_F(EntryNames, CaptionLongNameAndShortNameWithoutRegardToCase) {
  const std::string image = dir / "names.img";
  MtoolsVolume volume(image);
  volume.Format("-F 12 -n NAMES", 1440);
  volume.MakeDirectory("/DOCS");
  volume.Write("/DOCS/Letter.txt", PatternBytes(900, 1));  // a long name and LETTER.TXT
  volume.Write("/readme.txt", PatternBytes(80, 2));        // README.TXT shown in lower case
  ExpectNamesGive(image,
                  {"1:/DOCS/Letter.txt - LETTER.TXT", "1:/DOCS/letter.txt", "1:/docs/LETTER.TXT",
                   "1:/Docs/letter.TXT - LETTER.txt", "1#0/0"},
                  PatternBytes(900, 1));
  ExpectNamesGive(image, {"1:/readme.txt", "1:/README.TXT"}, PatternBytes(80, 2));
  const CliResult r = cli.Run({"cat", image, "1:/DOCS/Letter"});
  EXPECT_EQ(r.code, kExitNoEntry);
  EXPECT_EQ(r.err, "brindle-cli: no entry named \"Letter\" in 1:/DOCS\n");
}

// Beyond ASCII, names fold by Unicode's simple case folding, 8.3 names decoded from their code
// page as well as long names, and a caption can be typed back as `ls` printed it.
TEST_F(EntryNames, FoldingBeyondAsciiAndNamesAsPrinted) {
  const FatImage& fat = SharedFatImage(16);
  const auto content = [&](const std::string& name) {
    return std::find_if(fat.nodes.begin(), fat.nodes.end(), [&](const ExpectedNode& n) { return n.name == name; })
        ->content;
  };
  ExpectNamesGive(fat.path, {"1:/docs/ПРИВЕТ МИР.TXT", "1:/Docs/привет мир.txt - ______~1.txt"},
                  content("Привет мир.txt - ______~1.TXT"));
  ExpectNamesGive(fat.path,
                  {"1:/DONNÉES ÉTÉ.TXT", "1:/donnée~1.txt", "1:/Données été.txt - DONNÉE~1.TXT"},
                  content("Données été.txt - DONNÉE~1.TXT"));
  ExpectNamesGive(TestImagePath("exfat-tree.img"), {"1:/DOCUMENTS/ANNÉE 2024/RÉSUMÉ.TXT"}, PatternBytes(3000, 1));
}

// A component that names several entries without regard to case is refused with each of them;
// one that is some entry's caption exactly names that one, as `ls` showed it.
TEST_F(EntryNames, AnAmbiguousNameListsItsCandidates) {
  const std::string image = dir / "clash.img";
  MtoolsVolume volume(image);
  volume.Format("-F 12 -n CLASH", 1440);
  volume.Write("/ONE.TXT", PatternBytes(10, 1));
  volume.Write("/_ne.txt", PatternBytes(20, 2));
  volume.Delete("/ONE.TXT");  // shown as _NE.TXT
  CliResult r = cli.Run({"cat", image, "1:/_Ne.TXT"});
  EXPECT_EQ(r.code, kExitNoEntry);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "brindle-cli: \"_Ne.TXT\" in 1:/ names 2 entries; name one by its index:\n"
            "  1#0          deleted   1:/_NE.TXT\n"
            "  1#1          file      1:/_ne.txt\n");
  ExpectNamesGive(image, {"1:/_NE.TXT"}, PatternBytes(10, 1));
  ExpectNamesGive(image, {"1:/_ne.txt"}, PatternBytes(20, 2));
}

// Labels and 8.3 names come decoded from the code page --codepage names, 437 unless it names
// one; control bytes in them are printed escaped.
TEST_F(EntryNames, LabelsAndShortNamesAreReadInTheCodePageNamed) {
  const std::string image = dir / "label.img";
  MtoolsVolume volume(image);
  volume.Format("-F 12", 1440);  // no label slot in the root: the boot sector's label counts
  PatchFile(image, 43, Bytes{'A', 0x1B, 'B', 0x9D, ' ', ' ', ' ', ' ', ' ', ' ', ' '});
  EXPECT_EQ(cli.Run({image}).out, "1: FAT12 partition \"A\\033B¥\"\n");
  EXPECT_EQ(cli.Run({"--codepage", "850", image}).out, "1: FAT12 partition \"A\\033BØ\"\n");

  const CliResult r = cli.Run({"ls", SharedFatImage(32).path});
  EXPECT_NE(r.out.find("1:/Données été.txt - DONNÉE~1.TXT\n"), std::string::npos) << r.out;
}

// A volume that mtools wrote in code page 850 is listed and saved under the names the code page
// named gives it: the same bytes are other letters in 437.
TEST_F(EntryNames, ListedAndSavedNamesFollowTheCodePage) {
  const std::string image = dir / "cafe.img";
  const MtoolsVolume volume(image, 0, 850);
  volume.Format("-F 12", 1440);
  volume.Label("CAFÉ NOËL");
  volume.Write("/café.txt", PatternBytes(10, 1));  // no long name: CAFÉ.TXT with both case flags
  volume.Write("/ØL.TXT", PatternBytes(20, 2));
  volume.Write("/ÕL.TXT", PatternBytes(30, 3));    // first byte 0xE5, stored as 0x05
  const struct {
    std::vector<std::string> codePage;  // the option, or nothing
    std::string partition;
    std::vector<std::string> listed;
    std::string typed;  // a name of ØL.TXT's entry, in lower case
  } cases[] = {
      {{"--codepage", "ibm-850"}, "1: FAT12 partition \"CAFÉ NOËL\"\n", {"1:/café.txt", "1:/ØL.TXT", "1:/ÕL.TXT"},
       "1:/øl.txt"},
      {{}, "1: FAT12 partition \"CAFÉ NO╙L\"\n", {"1:/café.txt", "1:/¥L.TXT", "1:/σL.TXT"}, "1:/¥l.txt"},
  };
  for (const auto& c : cases) {
    const auto run = [&](std::vector<std::string> args) {
      args.insert(args.end(), c.codePage.begin(), c.codePage.end());
      return cli.Run(args);
    };
    EXPECT_EQ(run({image}).out, c.partition);
    const CliResult listing = run({"ls", image});
    for (const std::string& name : c.listed) {
      EXPECT_NE(listing.out.find(name + "\n"), std::string::npos) << name << " in\n" << listing.out;
    }
    const TempDir saved;
    for (const std::string& entry : {c.typed, c.listed[0], c.listed[2]}) {
      const CliResult r = run({"save", image, entry, saved.path()});
      EXPECT_EQ(r.code, kExitSuccess) << entry << ": " << r.err;
    }
    std::vector<std::string> names;  // as listed, less "1:/"
    for (const std::string& listed : c.listed) names.push_back(listed.substr(3));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(FolderContents(saved.path()), names);
    EXPECT_EQ(ReadFileBytes(saved / c.listed[1].substr(3)), PatternBytes(20, 2));
  }
}

TEST_F(EntryNames, ACodePageThatCannotBeUsedIsAUsageError) {
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--codepage", "utf-8", "x.img"},
       "--codepage: the code page \"utf-8\" (UTF-8) stores characters in more than one byte; 8.3 names and FAT "
       "labels are read with single-byte code pages only, such as 437, 850 or 1252."},
      {{"ls", "x.img", "--codepage=klingon"},
       "--codepage: the code page \"klingon\" is not known: name one such as 437, 850 or 1252."},
      {{"save", "--codepage", "cp037", "x.img", "1:/A", "out"},
       "--codepage: the code page \"cp037\" (ibm-37_P100-1995) is not an OEM code page: its bytes below 0x80 are not "
       "ASCII."},
  };
  for (const auto& c : cases) {
    const CliResult r = cli.Run(c.args);
    EXPECT_EQ(r.code, kExitUsage);
    EXPECT_EQ(r.err, "brindle-cli: " + c.message + "\nTry 'brindle-cli --help' for more information.\n");
    EXPECT_EQ(r.out, "");
  }
}

// A name holding ESC, BEL, CR and LF is listed on one line with them escaped, in plain and
// recursive listings and in messages; it can be typed back as listed, and --json gives it as it
// is.
TEST_F(EntryNames, ControlCharactersInANameAreListedEscapedOnOneLine) {
  HandVolume v(16, 20);
  const uint64_t root = v.RootOffset();
  const std::u16string longName = u"a\x1B[31mred\a\r\nb.txt";  // 17 units: two long-name slots
  v.LongNameSlot(root, 0, 0x42, longName.substr(13), "ARED~1  TXT");
  v.LongNameSlot(root, 1, 0x01, longName.substr(0, 13), "ARED~1  TXT");
  v.Slot(root, 2, "ARED~1  TXT", 0x20, 3, 100);
  v.Slot(root, 3, "B\x07" "C     TXT", 0x20, 4, 10);  // an 8.3 name with a BEL in it
  const Bytes content = v.FillCluster(3, 9);
  const Bytes shortContent = v.FillCluster(4, 10);
  const std::string image = dir / "control.img";
  v.image.WriteTo(image);

  const std::string shown = "a\\033[31mred\\a\\r\\nb.txt";
  for (const std::vector<std::string>& args : {std::vector<std::string>{"ls", image}, {"ls", "-r", image}}) {
    const CliResult r = cli.Run(args);
    ASSERT_EQ(r.code, kExitSuccess) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    EXPECT_TRUE(lines[0].ends_with("  1:/" + shown + " - ARED~1.TXT")) << lines[0];
    EXPECT_TRUE(lines[1].ends_with("  1:/B\\aC.TXT")) << lines[1];
    EXPECT_EQ(r.out.find_first_of("\x1B\x07\r"), std::string::npos);
  }
  const CliResult json = cli.Run({"ls", "--json", image});
  ASSERT_EQ(Lines(json.out).size(), 2u);
  EXPECT_EQ(JsonLines(json.out)[0]["name"], "a\x1B[31mred\a\r\nb.txt - ARED~1.TXT");

  ExpectNamesGive(image, {"1:/" + shown, "1:/" + shown + " - ARED~1.TXT"}, Bytes(content.begin(), content.begin() + 100));
  ExpectNamesGive(image, {"1:/B\\aC.TXT"}, Bytes(shortContent.begin(), shortContent.begin() + 10));
  const CliResult missing = cli.Run({"cat", image, "1:/x\ny\x1B"});
  EXPECT_EQ(missing.err, "brindle-cli: no entry named \"x\\ny\\033\" in 1:/\n");
}

// Each piece that is not UTF-8 is one U+FFFD, as JSON output has it; control characters are
// escaped as `ls -b` escapes them, so that no name breaks a line or sends the terminal an
// escape sequence, and a backslash is doubled, so that an escape cannot be faked.
TEST(PrintableTextTest, BadBytesBecomeReplacementsAndControlCharactersEscapes) {
  const std::string r = kReplacement;
  const struct {
    std::string text, printed;
  } cases[] = {
      {"Données 😀", "Données 😀"},
      {"\x80X\xC3", r + "X" + r},                       // a stray continuation, a cut-off sequence
      {"\xED\xA0\x80", r + r + r},                      // an encoded surrogate
      {"\xC0\xAF", r + r},                              // an overlong "/"
      {"\xE0\x80\xAF", r + r + r},                      // another
      {"\xF4\x90\x80\x80", r + r + r + r},              // beyond U+10FFFF
      {"\xE2\x82", r},                                  // cut off at the end
      {"\xE2\x82\xAC\xF0\x9F\x98", "€" + r},            // a whole one, then a cut-off one
      {"a\x1B[2Jb\n\x7F", "a\\033[2Jb\\n\\177"},          // ESC, line break, DEL
      {"\a\b\t\n\v\f\r", "\\a\\b\\t\\n\\v\\f\\r"},  // the C escapes
      {std::string("\0\x01\x1F", 3), "\\000\\001\\037"},
      {"\xC2\x9B" "31m", "\\302\\23331m"},                // U+009B, the one-character CSI
      {"C:\\new", "C:\\\\new"},                          // a backslash, not an escape
  };
  for (const auto& c : cases) EXPECT_EQ(PrintableText(c.text), c.printed) << c.text;
  // Messages keep their line breaks where asked, and the backslashes of the names in them.
  EXPECT_EQ(PrintableMessage("one\ntwo\x90 \\033\x07", true), "one\ntwo" + r + " \\033\\a");
  EXPECT_EQ(PrintableMessage("one\ntwo", false), "one\\ntwo");
}

TEST(FoldCaseTest, NamesThatDifferOnlyInCaseFoldAlike) {
  const struct {
    std::string a, b;
  } same[] = {
      {"README.TXT", "readme.txt"}, {"ANNÉE", "année"}, {"ПРИВЕТ", "привет"},
      {"ΣΟΦΟΣ", "σοφος"},           {"ΣΟΦΟΣ", "σοφοσ"}, {"ẞ", "ß"},           // final sigma, capital sharp s
      {"Ǆ", "ǆ"},                   {"DONN\x90", "donn\x90"},                  // title case; a code-page byte kept
  };
  for (const auto& c : same) EXPECT_EQ(FoldCase(c.a), FoldCase(c.b)) << c.a << " / " << c.b;
  EXPECT_NE(FoldCase("straße"), FoldCase("STRASSE"));  // simple folding: one character for one
  EXPECT_NE(FoldCase("\x90"), FoldCase("\xB0"));
  EXPECT_EQ(FoldCase("é"), "é");
  // ASCII, which takes a way of its own: A to Z become a to z, every other byte stays, in a name
  // with other characters too.
  std::string ascii;
  std::string folded;
  for (int c = 0; c < 0x80; ++c) {
    ascii += static_cast<char>(c);
    folded += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  EXPECT_EQ(FoldCase(ascii + "É" + ascii), folded + "é" + folded);
}

}  // namespace
