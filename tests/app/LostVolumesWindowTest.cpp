// The window's search for lost volumes, on disks made with sfdisk, mkfs.fat and mtools and
// then damaged: the offer that follows the message for a source without volumes, the search in
// the background with the every-sector search offered after it, and the browser's commands that
// search the space outside the volumes it shows. Boxes are answered by a script.

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "app/TForm1.h"
#include "browser/Background.h"
#include "browser/frame/TfrmFileSystem.h"
#include "support/FakeSysfs.h"
#include "support/FatImages.h"
#include "support/ScriptedMessageBox.h"

namespace {

struct LostVolumesWindowTest : ::testing::Test {
  // A 64 MiB disk whose table holds the entries of table (sfdisk's script), a FAT16 volume with
  // a file formatted at each of sectors.
  std::string MakeDisk(const std::string& table, const std::vector<uint64_t>& sectors) {
    const std::string disk = dir / ("disk" + std::to_string(++disks) + ".img");
    RunCommand("truncate -s 64M " + ShellQuote(disk));
    RunCommand("printf '" + table + "' | sfdisk --quiet " + ShellQuote(disk) + " >/dev/null");
    for (const uint64_t sector : sectors) {
      const MtoolsVolume volume(disk, sector * 512);
      volume.Format("-F 16 -s 1 -n AT" + std::to_string(sector), 8192);
      volume.Write("/FOUND.TXT", {'f', 'o', 'u', 'n', 'd'});
    }
    return disk;
  }
  void ZeroSectorZero(const std::string& disk) { PatchFile(disk, 0, Bytes(512, 0)); }

  void Open(const std::string& image) {
    form = std::make_unique<TForm1>(sysfs.root, sysfs.devices);
    form->show();
    form->findChild<QTabWidget*>("pageControlDrives")->setCurrentWidget(form->findChild<QWidget*>("tsDriveAdvanced"));
    form->findChild<QLineEdit*>("txtImageFile")->setText(QString::fromStdString(image));
    form->findChild<QPushButton*>("btnNext")->click();
  }
  // Lets the window's event loop run until its background operations have ended.
  static void WaitForBackground() {
    QElapsedTimer limit;
    limit.start();
    while (Background().Busy() && limit.elapsed() < 60'000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_FALSE(Background().Busy());
  }
  bool Browsing() const {
    return form->findChild<QStackedWidget*>("pageControlMain")->currentWidget() == form->findChild<QWidget*>("tsFileSystem");
  }
  TfrmFileSystem* Frame() const {
    return dynamic_cast<TfrmFileSystem*>(form->findChild<QWidget*>(QStringLiteral("frmFileSystem")));
  }
  std::vector<std::string> VolumeCaptions() const {
    std::vector<std::string> captions;
    auto* tree = Frame()->findChild<QTreeWidget*>("treeFat");
    for (int i = 0; i < tree->topLevelItemCount(); ++i) captions.push_back(tree->topLevelItem(i)->text(0).toStdString());
    return captions;
  }
  std::string Offer() const { return std::string(kNoPartitionsMessage) + "\n\n" + kSearchOffer; }

  TempDir dir;
  int disks = 0;
  FakeSysfs sysfs{dir};
  ScriptedMessageBox boxes;
  std::unique_ptr<TForm1> form;
};

// Yes searches the boundaries in the background, Next waiting meanwhile; a volume found there
// is browsed. A volume at no boundary is found by the every-sector search offered next.
TEST_F(LostVolumesWindowTest, YesSearchesTheSourceAndTheEverySectorSearchFollowsWhenTheBoundariesHoldNone) {
  std::string disk = MakeDisk("start=2048, size=16384, type=6\\n", {2048});
  ZeroSectorZero(disk);
  boxes.answers = {kIdYes};
  Open(disk);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, Offer());
  EXPECT_EQ(boxes.shown[0].flags, kMbYesNoQuestion);
  WaitForBackground();
  ASSERT_TRUE(Browsing());
  EXPECT_EQ(VolumeCaptions(), std::vector<std::string>{"FAT16 volume found at sector 2048 \"AT2048\""});
  EXPECT_EQ(boxes.shown.size(), 1u);
  form.reset();

  // Yes to the every-sector search finds it; No leaves the message alone, and the window on its
  // first page with Next usable.
  disk = MakeDisk("start=3001, size=16384, type=6\\n", {3001});
  ZeroSectorZero(disk);
  for (const int deep : {kIdYes, kIdNo}) {
    boxes.shown.clear();
    boxes.answers = {kIdYes, deep};
    Open(disk);
    WaitForBackground();
    ASSERT_GE(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].text, kDeepSearchOffer);
    EXPECT_EQ(Browsing(), deep == kIdYes);
    if (deep == kIdYes) {
      EXPECT_EQ(VolumeCaptions(), std::vector<std::string>{"FAT16 volume found at sector 3001 \"AT3001\""});
    } else {
      ASSERT_EQ(boxes.shown.size(), 3u);
      EXPECT_EQ(boxes.shown[2].text, kNoPartitionsMessage);
      EXPECT_TRUE(form->findChild<QPushButton*>("btnNext")->isEnabled());
    }
    form.reset();
  }
}

// A partition deleted from the table beside a live one: the browser's command finds it in the
// space outside the volume shown and adds it after that volume; the every-sector search finds
// nothing more, and a volume found is not found twice.
TEST_F(LostVolumesWindowTest, TheBrowserSearchesTheSpaceOutsideItsVolumesOnRequest) {
  const std::string disk = MakeDisk("start=2048, size=16384, type=6\\nstart=20480, size=16384, type=6\\n", {2048, 20480});
  RunCommand("sfdisk --quiet --delete " + ShellQuote(disk) + " 2 >/dev/null");
  Open(disk);
  ASSERT_TRUE(Browsing());
  EXPECT_TRUE(boxes.shown.empty());
  ASSERT_EQ(VolumeCaptions().size(), 1u);

  auto* search = Frame()->findChild<QAction*>("mnuSearchVolumes");
  ASSERT_NE(search, nullptr);
  search->trigger();
  WaitForBackground();
  ASSERT_EQ(VolumeCaptions().size(), 2u);
  EXPECT_EQ(VolumeCaptions()[1], "FAT16 volume found at sector 20480 \"AT20480\"");
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "The search found 1 lost volume(s).");
  ASSERT_EQ(Frame()->partitions().size(), 2u);
  EXPECT_EQ(Frame()->partitions()[1]->number, 2);

  Frame()->findChild<QAction*>("mnuSearchEverySector")->trigger();
  WaitForBackground();
  EXPECT_EQ(VolumeCaptions().size(), 2u);
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[1].text, "The search found 0 lost volume(s).");
}

}  // namespace
