// Lost volumes through brindle-cli: the search that runs by itself when the tables lead to no
// volume, and --search and --search=deep, which also search the space no table entry covers.

#include <gtest/gtest.h>

#include "CliRun.h"
#include "support/FatImages.h"

namespace {

struct LostVolumes : ::testing::Test {
  // A disk with a live FAT16 partition and a FAT32 one whose table entry was deleted.
  void SetUp() override {
    RunCommand("truncate -s 64M " + ShellQuote(disk));
    RunCommand("printf 'label: dos\\nstart=2048, size=32768, type=6\\nstart=36864, size=81920, type=c\\n' | sfdisk -q " +
               ShellQuote(disk));
    const MtoolsVolume live(disk, 2048 * 512);
    live.Format("-F 16 -n LIVE", 16384);
    const MtoolsVolume lost(disk, 36864ull * 512);
    lost.Format("-F 32 -n LOST", 40960);
    lost.Write("/PHOTO.JPG", PatternBytes(12345, 9));
    RunCommand("sfdisk -q --delete " + ShellQuote(disk) + " 2");
  }

  TempDir dir;
  const std::string disk = dir / "disk.img";
  Cli cli;
};

TEST_F(LostVolumes, TheDeletedPartitionIsFoundOnlyWhenAskedFor) {
  CliResult plain = cli.Run({disk});
  EXPECT_EQ(plain.code, 0) << plain.err;
  EXPECT_EQ(plain.out, "1: FAT16 partition \"LIVE\"\n");
  EXPECT_EQ(plain.err, "");

  for (const std::string option : {"--search", "--search=deep"}) {
    CliResult searched = cli.Run({option, disk});
    EXPECT_EQ(searched.code, 0) << searched.err;
    EXPECT_EQ(searched.out, "1: FAT16 partition \"LIVE\"\n2: FAT32 volume found at sector 36864 \"LOST\"\n") << option;
    EXPECT_EQ(searched.err, "brindle-cli: The search found 1 lost volume(s).\n") << option;
  }
  CliResult cat = cli.Run({"cat", "--search", disk, "2:/PHOTO.JPG"});
  EXPECT_EQ(cat.code, 0) << cat.err;
  EXPECT_EQ(Bytes(cat.out.begin(), cat.out.end()), PatternBytes(12345, 9));
  EXPECT_EQ(cli.Run({"--search=sideways", disk}).code, 2);
}

TEST_F(LostVolumes, ATableThatLeadsNowhereStartsTheSearchByItself) {
  PatchFile(disk, 0, Bytes(512, 0));
  CliResult listed = cli.Run({disk});
  EXPECT_EQ(listed.code, 0) << listed.err;
  EXPECT_EQ(listed.out, "1: FAT16 volume found at sector 2048 \"LIVE\"\n2: FAT32 volume found at sector 36864 \"LOST\"\n");
  EXPECT_EQ(listed.err,
            "brindle-cli: The partition tables lead to no FAT or exFAT volume: searching the source for lost volumes.\n"
            "brindle-cli: The search found 2 lost volume(s).\n");
  // The FAT32 boot sector zeroed too: its backup stands in, and standard error says so.
  PatchFile(disk, 36864ull * 512, Bytes(512, 0));
  CliResult cat = cli.Run({"cat", disk, "2:/PHOTO.JPG"});
  EXPECT_EQ(cat.code, 0) << cat.err;
  EXPECT_EQ(Bytes(cat.out.begin(), cat.out.end()), PatternBytes(12345, 9));
  EXPECT_NE(cat.err.find("brindle-cli: Partition 2: Boot sector damaged; read from its backup at sector 6 of the volume.\n"),
            std::string::npos)
      << cat.err;
  // Nothing anywhere: the search says it found nothing, and the source holds no partition.
  const std::string empty = dir / "empty.img";
  RunCommand("truncate -s 8M " + ShellQuote(empty));
  CliResult none = cli.Run({empty});
  EXPECT_EQ(none.code, 3);
  EXPECT_NE(none.err.find("The search found 0 lost volume(s).\nbrindle-cli: The selected drive does not contain any FAT partitions."),
            std::string::npos)
      << none.err;
}

}  // namespace
