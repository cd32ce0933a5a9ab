// Next's opening sequence without a window: what the first page chooses, and what opening it
// does — partitions found, none found, a source that refuses — with the busy cursor restored
// on every path.

#include "app/SourceWizard.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/EvidenceFiles.h"
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
  page.codePage = "850";
  choice = ChosenSource(page);
  ASSERT_TRUE(choice);
  EXPECT_TRUE(choice->isLogicalDrive);
  EXPECT_EQ(choice->codePage, "850");  // the code page is the volumes', drives' as well as images'

  page.driveListShown = false;
  page.imageFile = "/images/card.img";
  page.bytesPerSector = "4096";
  choice = ChosenSource(page);
  ASSERT_TRUE(choice);
  EXPECT_EQ(choice->path, "/images/card.img");
  EXPECT_FALSE(choice->isDevice);
  EXPECT_EQ(choice->sectorSizeText, "4096");
  EXPECT_EQ(choice->codePage, "850");
}

struct OpenSequenceTest : ::testing::Test {
  OpenResult Open(const std::string& image, const std::string& codePage = "437", const std::string& sectorSize = "512") {
    SourcePage page;
    page.driveListShown = false;
    page.imageFile = image;
    page.bytesPerSector = sectorSize;
    page.codePage = codePage;
    opened = OpenChosenSource(page, OpenSettings{}, [this](OpenedSource& source) {
      scans++;
      scannedWith = source.codePage().Decode("\x9D");
      partitions = source.TakePartitions();
    });
    return opened.result;
  }

  TempDir dir;
  ScriptedMessageBox boxes;
  CountingWaitCursor cursor;
  OpenedChoice opened;
  PartitionList partitions;  // last: they read through opened.source
  int scans = 0;
  std::string scannedWith;  // what byte 0x9D is in the code page discovery ran with
};

TEST_F(OpenSequenceTest, AFatImageOpensWithItsPartitionsAndNoMessage) {
  EXPECT_EQ(Open(SharedFatImage(12).path), OpenResult::kPartitionsFound);
  EXPECT_EQ(partitions.size(), 1u);
  ASSERT_NE(opened.source, nullptr);
  EXPECT_TRUE(opened.source->reader().IsOpen());
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(cursor.shown, 1);
  EXPECT_EQ(cursor.depth, 0);
}

// The message offers the search for lost volumes; No leaves the source open without volumes,
// Yes asks for the search, which finds nothing in zeros.
TEST_F(OpenSequenceTest, ASourceWithoutPartitionsIsReportedWithTheSearchOfferedAndStaysOpen) {
  WriteFileBytes(dir / "zeros.img", Bytes(1 << 20, 0));
  EXPECT_EQ(Open(dir / "zeros.img"), OpenResult::kNoPartitions);
  EXPECT_EQ(scans, 0);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, std::string(kNoPartitionsMessage) + "\n\n" + kSearchOffer);
  EXPECT_EQ(boxes.shown[0].caption, "Brindle");
  EXPECT_EQ(boxes.shown[0].flags, kMbYesNoQuestion);
  boxes.answers = {kIdYes};
  EXPECT_EQ(Open(dir / "zeros.img"), OpenResult::kSearchAccepted);
  ASSERT_NE(opened.source, nullptr);
  std::optional<SearchOutcome> outcome;
  SearchSource(*opened.source, SearchDepth::kEverySector, [&](SearchOutcome ended) { outcome = ended; });
  ASSERT_TRUE(outcome);
  EXPECT_EQ(outcome->found, 0u);
  EXPECT_FALSE(outcome->cancelled);
  EXPECT_EQ(scans, 0);
  ASSERT_NE(opened.source, nullptr);
  EXPECT_TRUE(opened.source->reader().IsOpen());

  // Next on the list page with nothing selected opens nothing.
  EXPECT_EQ(OpenChosenSource(SourcePage{}, OpenSettings{}, [](OpenedSource&) {}).result, OpenResult::kNothingChosen);
  EXPECT_EQ(cursor.depth, 0);
}

// The search shows its progress in bytes under its label; Cancel ends it, keeping what it found
// before (here nothing: the volume lies past where it stopped), and a search to the end finds it.
TEST_F(OpenSequenceTest, TheSearchShowsItsProgressAndCancelKeepsWhatItFound) {
  const std::string disk = dir / "disk.img";
  WriteFileBytes(disk, Bytes(8 << 20, 0));
  const MtoolsVolume volume(disk, 12001 * 512);
  volume.Format("-F 12 -n LATE", 1024);
  boxes.answers = {kIdYes};
  ASSERT_EQ(Open(disk), OpenResult::kSearchAccepted);
  RecordingProgress progress;
  progress.cancelAfter = 2;
  std::optional<SearchOutcome> outcome;
  SearchSource(*opened.source, SearchDepth::kEverySector, [&](SearchOutcome ended) { outcome = ended; });
  ASSERT_TRUE(outcome);
  EXPECT_TRUE(outcome->cancelled);
  EXPECT_EQ(outcome->found, 0u);
  EXPECT_EQ(progress.labels, std::vector<std::string>{kSearchLabel});
  ASSERT_EQ(progress.steps.size(), 2u);
  EXPECT_EQ(progress.steps[0].total, uint64_t{8} << 20);
  EXPECT_LT(progress.steps[1].done, uint64_t{12001} * 512);

  progress.cancelAfter = -1;
  SearchSource(*opened.source, SearchDepth::kEverySector, [&](SearchOutcome ended) { outcome = ended; });
  EXPECT_FALSE(outcome->cancelled);
  EXPECT_EQ(outcome->found, 1u);
  ASSERT_EQ(opened.source->partitions().size(), 1u);
  EXPECT_EQ(opened.source->partitions()[0]->firstSector, 12001u);
}

TEST_F(OpenSequenceTest, DiscoveryRunsWithTheCodePageThePageNames) {
  EXPECT_EQ(Open(SharedFatImage(12).path, "cp850"), OpenResult::kPartitionsFound);
  EXPECT_EQ(scannedWith, "Ø");
  EXPECT_EQ(Open(SharedFatImage(12).path), OpenResult::kPartitionsFound);
  EXPECT_EQ(scannedWith, "¥");
  EXPECT_TRUE(boxes.shown.empty());
}

// A code page that cannot be used is a warning; the source is not even opened.
TEST_F(OpenSequenceTest, ACodePageThatCannotBeUsedOpensNothing) {
  struct Case {
    std::string codePage;
    std::string reason;
  } cases[] = {
      {"utf-8", "The code page \"utf-8\" (UTF-8) stores characters in more than one byte"},
      {"klingon", "The code page \"klingon\" is not known"},
      {"", "No code page was named"},
  };
  for (const Case& c : cases) {
    boxes.shown.clear();
    EXPECT_EQ(Open(SharedFatImage(12).path, c.codePage), OpenResult::kNotOpened) << c.codePage;
    ASSERT_EQ(boxes.shown.size(), 1u) << c.codePage;
    EXPECT_EQ(boxes.shown[0].text.rfind(c.reason, 0), 0u) << boxes.shown[0].text;
    EXPECT_EQ(boxes.shown[0].flags, kMbOkWarning);
    EXPECT_EQ(opened.source, nullptr);
  }
  EXPECT_EQ(scans, 0);
  EXPECT_EQ(cursor.depth, 0);
}

TEST_F(OpenSequenceTest, ASourceThatRefusesIsNotScannedAndTheCursorComesBack) {
  EXPECT_EQ(Open(dir / "missing.img"), OpenResult::kNotOpened);
  EXPECT_EQ(scans, 0);
  EXPECT_EQ(opened.source, nullptr);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "Failed to open the file for reading:\nNo such file or directory");
  EXPECT_EQ(boxes.shown[0].caption, "Error");
  EXPECT_EQ(cursor.shown, 1);
  EXPECT_EQ(cursor.depth, 0);

  EXPECT_EQ(Open(SharedFatImage(12).path, "437", "100"), OpenResult::kNotOpened);
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[1].text, "The sector size \"100\" cannot be used.\nEnter a number of bytes from 512 to 65536.");
  EXPECT_EQ(boxes.shown[1].caption, "Brindle");
}

}  // namespace

namespace {

// An EnCase image opens on the image page like any image; one with a segment file missing
// says which in a box before the tree is shown, and its volumes are still found.
TEST_F(OpenSequenceTest, AnEvidenceFileOpensAndSaysWhatIsWrongWithIt) {
  if (!HaveTool("ewfacquire")) GTEST_SKIP() << "needs ewfacquire (ewf-tools)";
  const std::string first = MakeEwf(SharedFatImage(16).path, dir.path(), "card", 4 << 20, false);
  EXPECT_EQ(Open(first), OpenResult::kPartitionsFound);
  EXPECT_TRUE(boxes.shown.empty());
  ASSERT_TRUE(FileExists(dir / "card.E03"));
  partitions.clear();
  opened = {};

  std::filesystem::remove(dir / "card.E02");
  EXPECT_EQ(Open(first), OpenResult::kPartitionsFound);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_NE(boxes.shown[0].text.find("its segment file \"card.E02\" is missing (\"card.E03\" is there)"),
            std::string::npos)
      << boxes.shown[0].text;
  EXPECT_EQ(boxes.shown[0].caption, "Brindle");
  EXPECT_EQ(boxes.shown[0].flags, kMbOkWarning);
  EXPECT_EQ(MediumNotes(*opened.source).size(), 1u);
}

}  // namespace
