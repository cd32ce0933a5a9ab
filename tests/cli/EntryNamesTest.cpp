// Names as a user types them and as brindle-cli prints them: each path component by caption,
// long name or short name without regard to case, an ambiguous one refused with its candidates,
// and every name, label and path printed as valid UTF-8 that cannot drive the terminal.

#include <gtest/gtest.h>

#include "CliRun.h"
#include "cli/CliSession.h"
#include "cli/Names.h"
#include "support/ExfatImages.h"
#include "support/FatImages.h"

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

// Beyond ASCII, names fold by Unicode's simple case folding; an 8.3 name's code-page bytes
// fold only where they are ASCII letters, and a caption can be typed back as `ls` printed it.
TEST_F(EntryNames, FoldingBeyondAsciiAndNamesAsPrinted) {
  const FatImage& fat = SharedFatImage(16);
  const auto content = [&](const std::string& name) {
    return std::find_if(fat.nodes.begin(), fat.nodes.end(), [&](const ExpectedNode& n) { return n.name == name; })
        ->content;
  };
  ExpectNamesGive(fat.path, {"1:/docs/ПРИВЕТ МИР.TXT", "1:/Docs/привет мир.txt - ______~1.txt"},
                  content("Привет мир.txt - ______~1.TXT"));
  ExpectNamesGive(fat.path,
                  {"1:/DONNÉES ÉTÉ.TXT", "1:/donn\x90" "e~1.txt", "1:/Données été.txt - DONN" + kReplacement + "E~1.TXT"},
                  content("Données été.txt - DONN\x90" "E~1.TXT"));
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

TEST_F(EntryNames, LabelsAndNamesArePrintedAsValidUtf8) {
  const std::string image = dir / "label.img";
  MtoolsVolume volume(image);
  volume.Format("-F 12", 1440);  // no label slot in the root: the boot sector's label counts
  PatchFile(image, 43, Bytes{'A', 0x1B, 'B', 0x90, ' ', ' ', ' ', ' ', ' ', ' ', ' '});
  CliResult r = cli.Run({image});
  EXPECT_EQ(r.out, "1: FAT12 partition \"A" + kReplacement + "B" + kReplacement + "\"\n");

  r = cli.Run({"ls", SharedFatImage(32).path});
  EXPECT_EQ(r.out.find('\x90'), std::string::npos);
  EXPECT_NE(r.out.find("1:/Données été.txt - DONN" + kReplacement + "E~1.TXT\n"), std::string::npos) << r.out;
}

// Each piece that is not UTF-8 is one U+FFFD, as JSON output has it; control characters are
// replaced too, so that no name breaks a line or sends the terminal an escape sequence.
TEST(PrintableTextTest, BadBytesAndControlCharactersBecomeReplacements) {
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
      {"a\x1B[2Jb\n\x7F", "a" + r + "[2Jb" + r + r},  // ESC, line break, DEL
  };
  for (const auto& c : cases) EXPECT_EQ(PrintableText(c.text), c.printed) << c.text;
  EXPECT_EQ(PrintableText("one\ntwo\x90", true), "one\ntwo" + r);
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
}

}  // namespace
