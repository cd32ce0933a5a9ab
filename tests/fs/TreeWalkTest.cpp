// The tree walk of listings and recoveries: it reads every directory once, recognises a directory it has
// walked by where it starts on the medium, and so ends on volumes whose directories point back
// at their ancestors, while two directories that merely hold the same entries are both walked.

#include "fs/TreeWalk.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "fs/Discovery.h"
#include "fs/fat/FatNode.h"
#include "fs/fat/FatPartition.h"
#include "support/FatImages.h"
#include "support/FaultyRead.h"
#include "support/HandVolume.h"
#include "support/OpenSource.h"

namespace {

// The byte of the source at which a FAT directory's entries begin.
uint64_t FirstByteOf(const FATDirectoryNode& directory) {
  const TFATPartition& partition = *directory.partition;
  const uint64_t sector = partition.IsFixedRoot(*directory.entry)
                              ? partition.RootDirectorySector()
                              : partition.dataStartSector +
                                    uint64_t{directory.entry->firstCluster - 2} * partition.SectorsPerCluster();
  return sector * partition.BytesPerSector();
}

// A read of a directory begins at its first byte, unless the reader's window holds it already.
size_t ReadsStartingAt(const FaultyRead& fault, uint64_t offset) {
  size_t reads = 0;
  for (const FaultyRead::Call& call : fault.calls) reads += call.offset == offset;
  return reads;
}

// The images are walked as `ls -r` and `recover` walk them, from discovery on, counting the
// reads of the medium. Reading a directory's clusters begins with a look at the allocation
// table, which moves the reader's window away, so a directory read twice is read twice from
// the medium.
TEST(TreeWalkTest, TheWholeTreeWalkReadsEachDirectoryOnce) {
  for (int width : {12, 16, 32}) {
    SCOPED_TRACE(width);
    const FatImage& image = SharedFatImage(width);
    const auto fault = std::make_shared<FaultyRead>();
    OpenSettings settings;
    settings.platformRead = ThroughFaultyRead(fault);
    OpenSource source(image.path, "512", settings);
    PartitionList& partitions = source.partitions;
    ASSERT_EQ(partitions.size(), 1u);

    std::map<std::string, uint64_t> directories{
        {"1:/", FirstByteOf(static_cast<FATDirectoryNode&>(*partitions[0]->rootEntry))}};
    size_t visited = 0;
    TreeWalk walk(true, [&](const WalkItem& item) {
      ++visited;
      if (item.entry.state == kStateDirectory) {
        directories[item.displayPath] = FirstByteOf(static_cast<FATDirectoryNode&>(item.entry));
      }
    });
    walk.WalkChildren(*partitions[0], *partitions[0]->rootEntry, "1:/", "1#");

    EXPECT_EQ(visited, image.nodes.size());
    EXPECT_GE(directories.size(), 5u);
    for (const auto& [path, offset] : directories) {
      EXPECT_TRUE(fault->WasRead(offset)) << path;
      // The root was read when the partition was opened, and is read once more on the walk's trail.
      EXPECT_LE(ReadsStartingAt(*fault, offset), path == "1:/" ? 2u : 1u) << path << " was read more than once";
    }
  }
}

struct HandMadeWalk : ::testing::Test {
  // Walks the whole tree of the volume and returns the paths visited; notices go to errors.
  std::set<std::string> Walk(const HandVolume& volume) {
    volume.image.WriteTo(dir / "hand.img");
    OpenSource source(dir / "hand.img");
    TFATPartition partition(&source.ref, PartitionEntry{});
    std::set<std::string> visited;
    TreeWalk walk(
        true, [&](const WalkItem& item) { visited.insert(item.displayPath); },
        [this](const std::string& text) { errors += text + "\n"; });
    walk.WalkChildren(partition, *partition.rootEntry, "1:/", "1#");
    return visited;
  }

  TempDir dir;
  std::string errors;
};

// LOOP names the root's cluster; C holds itself (BACK) and the root (ROOT). A and B are two
// directories whose clusters hold the same bytes: both are walked.
TEST_F(HandMadeWalk, DirectoriesThatPointBackAreNotEnteredAndTwinsAreWalkedBoth) {
  HandVolume v(32, 16);
  constexpr uint8_t kDirectory = 0x10;
  v.Slot(v.RootOffset(), 0, "LOOP       ", kDirectory, v.rootCluster);
  v.Slot(v.RootOffset(), 1, "A          ", kDirectory, 3);
  v.Slot(v.RootOffset(), 2, "B          ", kDirectory, 4);
  v.Slot(v.RootOffset(), 3, "C          ", kDirectory, 5);
  v.Chain({3});
  v.Chain({4});
  v.Chain({5});
  v.Slot(v.ClusterOffset(3), 0, "F       TXT", 0x20);
  v.Slot(v.ClusterOffset(4), 0, "F       TXT", 0x20);
  v.Slot(v.ClusterOffset(5), 0, "BACK       ", kDirectory, 5);
  v.Slot(v.ClusterOffset(5), 1, "ROOT       ", kDirectory, v.rootCluster);

  const std::set<std::string> expected = {"1:/LOOP", "1:/A", "1:/A/F.TXT", "1:/B",       "1:/B/F.TXT",
                                          "1:/C",    "1:/C/BACK",  "1:/C/ROOT"};
  EXPECT_EQ(Walk(v), expected);
  for (const char* path : {"1:/LOOP", "1:/C/BACK", "1:/C/ROOT"}) {
    EXPECT_NE(errors.find(std::string("not entering ") + path + ": it starts where a directory already listed starts"),
              std::string::npos)
        << errors;
  }
}

}  // namespace
