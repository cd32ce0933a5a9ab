// Next's opening sequence without a window: what the first page chooses, and what opening it
// does — partitions found, none found, a source that refuses — with the busy cursor restored
// on every path.

#include "app/SourceWizard.h"

#include <gtest/gtest.h>

#include "fs/Discovery.h"
#include "support/FatImages.h"
#include "support/ScriptedMessageBox.h"
#include "support/ScriptedServices.h"

namespace {

DriveEntry Drive(const std::string& path, int group) {
  DriveEntry entry;
  entry.devicePath = path;
  entry.group = group;
  return entry;
}

TEST(ChosenSourceTest, TheListPageTakesTheSelectedDriveTheAdvancedPageTheImageWhateverIsSelected) {
  SourcePage page;
  EXPECT_EQ(ChosenSource(page), std::nullopt);

  page.selectedDrive = Drive("/dev/sdb", kGroupPhysicalMedia);
  std::optional<SourceChoice> choice = ChosenSource(page);
  ASSERT_TRUE(choice);
  EXPECT_EQ(choice->path, "/dev/sdb");
  EXPECT_TRUE(choice->isDevice);
  EXPECT_FALSE(choice->isLogicalDrive);

  page.selectedDrive = Drive("/dev/sdb1", kGroupLogicalDrives);
  choice = ChosenSource(page);
  ASSERT_TRUE(choice);
  EXPECT_TRUE(choice->isLogicalDrive);

  page.driveListShown = false;
  page.imageFile = "/images/card.img";
  page.bytesPerSector = "4096";
  choice = ChosenSource(page);
  ASSERT_TRUE(choice);
  EXPECT_EQ(choice->path, "/images/card.img");
  EXPECT_FALSE(choice->isDevice);
  EXPECT_EQ(choice->sectorSizeText, "4096");
}

struct OpenSequenceTest : ::testing::Test {
  OpenResult Open(const std::string& image) {
    SourcePage page;
    page.driveListShown = false;
    page.imageFile = image;
    return OpenChosenSource(reader, &ref, page, [this] {
      scans++;
      partitions.clear();
      DiscoverPartitions(&ref, partitions);
      return !partitions.empty();
    });
  }

  TempDir dir;
  ScriptedMessageBox boxes;
  CountingWaitCursor cursor;
  TSectorReader reader;
  ReaderRef ref{&reader};
  PartitionList partitions;
  int scans = 0;
};

TEST_F(OpenSequenceTest, AFatImageOpensWithItsPartitionsAndNoMessage) {
  EXPECT_EQ(Open(SharedFatImage(12).path), OpenResult::kPartitionsFound);
  EXPECT_EQ(partitions.size(), 1u);
  EXPECT_TRUE(reader.IsOpen());
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(cursor.shown, 1);
  EXPECT_EQ(cursor.depth, 0);
}

TEST_F(OpenSequenceTest, ASourceWithoutPartitionsIsReportedAndStaysOpenUntilTheNextNext) {
  WriteFileBytes(dir / "zeros.img", Bytes(1 << 20, 0));
  EXPECT_EQ(Open(dir / "zeros.img"), OpenResult::kNoPartitions);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, kNoPartitionsMessage);
  EXPECT_EQ(boxes.shown[0].caption, "Brindle");
  EXPECT_EQ(boxes.shown[0].flags, kMbOkWarning);
  EXPECT_TRUE(reader.IsOpen());

  // Next on the list page with nothing selected opens nothing, but lets the source go.
  EXPECT_EQ(OpenChosenSource(reader, &ref, SourcePage{}, [] { return true; }), OpenResult::kNothingChosen);
  EXPECT_FALSE(reader.IsOpen());
  EXPECT_EQ(cursor.depth, 0);
}

TEST_F(OpenSequenceTest, ASourceThatRefusesIsNotScannedAndTheCursorComesBack) {
  EXPECT_EQ(Open(dir / "missing.img"), OpenResult::kNotOpened);
  EXPECT_EQ(scans, 0);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "Failed to open the file for reading:\nNo such file or directory");
  EXPECT_FALSE(reader.IsOpen());
  EXPECT_EQ(cursor.shown, 1);
  EXPECT_EQ(cursor.depth, 0);
}

}  // namespace
