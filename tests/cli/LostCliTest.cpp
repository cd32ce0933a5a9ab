// brindle-cli's --lost on a card that was quick-formatted and written again: ls lists the
// "Lost and found", its entries are named like any other, and recover saves them byte-exact
// beside the tree's deleted files (with --deleted) or alone.

#include <gtest/gtest.h>

#include "CliRun.h"
#include "support/FatImages.h"
#include "support/TestFiles.h"

namespace {

TEST(LostCli, FormattedCardListsSavesAndNamesWhatWasFound) {
  TempDir dir;
  const std::string image = dir.path() + "/card.img";
  MtoolsVolume card(image);
  card.Format("-F 16 -s 4", 32768);
  const Bytes kept = PatternBytes(5000, 3);
  // What is written after the format goes where this lay.
  card.Write("/FILLER.BIN", PatternBytes(100000, 2));
  card.MakeDirectory("/OLD");
  card.MakeDirectory("/OLD/KEEP");
  card.Write("/OLD/KEEP/A.BIN", kept);
  RunCommand("mkfs.fat -F 16 -s 4 " + ShellQuote(image) + " >/dev/null");
  card.Write("/NEW.TXT", PatternBytes(10, 4));
  card.Write("/GONE.TXT", PatternBytes(10, 5));
  card.Delete("/GONE.TXT");

  Cli cli;
  const CliResult listed = cli.Run({"ls", "-r", "--lost", image});
  ASSERT_EQ(listed.code, 0) << listed.err;
  EXPECT_EQ(listed.out.find("NEW.TXT"), std::string::npos);  // the tree is not listed
  const size_t at = listed.out.find("1:/$LostAndFound/Folder at cluster ");
  ASSERT_NE(at, std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("/KEEP/A.BIN"), std::string::npos) << listed.out;

  // Found entries are named by index as ls printed them.
  const std::string firstIndex = Lines(listed.out)[0].substr(0, Lines(listed.out)[0].find(' '));
  EXPECT_EQ(firstIndex.rfind("1#L/", 0), 0u) << firstIndex;
  EXPECT_EQ(cli.Run({"info", image, firstIndex}).code, 0);

  const std::string out = dir.path() + "/out";
  const CliResult both = cli.Run({"recover", "--lost", "--deleted", image, out});
  ASSERT_EQ(both.code, 0) << both.err;
  EXPECT_TRUE(FileExists(out + "/partition-1/_ONE.TXT"));
  EXPECT_FALSE(FileExists(out + "/partition-1/NEW.TXT"));
  const std::vector<std::string> lost = FolderContents(out + "/partition-1/Lost and found");
  ASSERT_EQ(lost.size(), 1u);
  EXPECT_EQ(ReadFileBytes(out + "/partition-1/Lost and found/" + lost[0] + "/KEEP/A.BIN"), kept);

  const std::string alone = dir.path() + "/alone";
  ASSERT_EQ(cli.Run({"recover", "--lost", image, alone}).code, 0);
  EXPECT_FALSE(FileExists(alone + "/partition-1/_ONE.TXT"));
  EXPECT_TRUE(FileExists(alone + "/partition-1/Lost and found/" + lost[0] + "/KEEP/A.BIN"));
}

}  // namespace
