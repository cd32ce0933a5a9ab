// The "Lost and found" of a quick-formatted card, opened in the window: its scan runs in the
// background on a medium whose every read is slow, the window keeps turning its event loop,
// what the scan finds appears under the node while it runs, Cancel keeps it, and closing the
// window or opening another source meanwhile ends the scan without harm. A picture found by its
// content previews and saves byte-exact.

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "browser/frame/IconSet.h"
#include "browser/frame/QtBackground.h"
#include "browser/frame/TfrmFileSystem.h"
#include "support/FatImages.h"
#include "support/OpenSource.h"
#include "support/ScriptedServices.h"
#include "support/SlowMedium.h"
#include "support/TestFiles.h"
#include "support/qt/Pictures.h"

namespace {

constexpr int kLoosePictures = 40;
// Between two pictures: more than the scan reads at once, so that each picture takes reads of
// its own and the scan finds them one after another.
constexpr size_t kGapBytes = 320 * 1024;

// A FAT32 card that held a folder with a note and loose pictures, quick-formatted (mkfs.fat
// again over the same image) and given one new file: the folder comes back as a lost folder,
// the pictures by their content. Files of bytes no type is told by lie between the pictures.
struct FormattedCard {
  std::string path;
  Bytes notes;
  Bytes photo;                  // the first picture written, the largest
  std::vector<Bytes> pictures;  // the photo, then the others
};

const FormattedCard& SharedFormattedCard() {
  static TempDir dir;
  static const FormattedCard card = [] {
    FormattedCard made{dir / "card.img", PatternBytes(3000, 5), PictureFile("jpg", 320, 240), {}};
    MtoolsVolume volume(made.path);
    volume.Format("-F 32 -s 1", 65536);
    volume.Write("/FILLER.BIN", PatternBytes(2048, 1));  // where the new file goes
    volume.MakeDirectory("/DCIM");
    volume.Write("/DCIM/NOTES.TXT", made.notes, "2021-06-02 08:00:00");
    made.pictures.push_back(made.photo);
    std::vector<std::pair<std::string, Bytes>> loose{{"BEACH.JPG", made.photo}};
    for (int i = 1; i < kLoosePictures; ++i) {
      made.pictures.push_back(PictureFile("jpg", 40 + 8 * i, 30 + 4 * i));
      loose.emplace_back("GAP" + std::to_string(i) + ".BIN", PatternBytes(kGapBytes, i));
      loose.emplace_back("P" + std::to_string(i) + ".JPG", made.pictures.back());
    }
    volume.WriteAll("/", loose);
    RunCommand("mkfs.fat -F 32 -s 1 " + ShellQuote(made.path) + " >/dev/null");
    MtoolsVolume(made.path).Write("/NEW.TXT", PatternBytes(100, 9));
    return made;
  }();
  return card;
}

// A second card, opened while the first one's scan runs.
const std::string& SharedOtherCard() {
  static TempDir dir;
  static const std::string path = [] {
    const std::string made = dir / "other.img";
    MtoolsVolume volume(made);
    volume.Format("-F 12 -n OTHER", 4096);
    volume.Write("/HELLO.TXT", {'h', 'i'});
    return made;
  }();
  return path;
}

struct LostScanWindowTest : ::testing::Test {
  LostScanWindowTest() {
    medium.delayMs = 5;
    frame->ScanPartitions(*source.opened);
    frame->FillTree();
    frame->resize(900, 600);
    frame->show();
    folders.answers = {out.path()};
  }

  static OpenSettings Settings(SlowMedium& medium) {
    OpenSettings settings;
    settings.platformRead = [&medium](int fd, void* b, size_t n, off_t o) { return medium.Read(fd, b, n, o); };
    return settings;
  }

  QTreeWidget* Tree() const { return frame->findChild<QTreeWidget*>(QStringLiteral("treeFat")); }
  QTreeWidgetItem* LostNode() const { return Tree()->topLevelItem(0)->child(1); }
  // The child of item whose caption starts with caption; nothing when there is none.
  static QTreeWidgetItem* Child(QTreeWidgetItem* item, const QString& caption) {
    for (int i = 0; item != nullptr && i < item->childCount(); ++i) {
      if (item->child(i)->text(0).startsWith(caption)) return item->child(i);
    }
    return nullptr;
  }
  QTreeWidgetItem* JpegFolder() const { return Child(LostNode(), "jpg"); }
  QTreeWidgetItem* LostFolder() const { return Child(LostNode(), "Folder at cluster"); }
  void OpenLostAndFound() const { Tree()->setCurrentItem(LostNode()); }

  bool PictureShown() const {
    return !frame->findChild<QScrollArea*>(QStringLiteral("scrollImage"))->isHidden() &&
           !frame->findChild<QWidget*>(QStringLiteral("imgPreview"))->isHidden();
  }

  QProgressDialog* VisibleProgress() const {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* dialog = qobject_cast<QProgressDialog*>(widget); dialog != nullptr && dialog->isVisible()) return dialog;
    }
    return nullptr;
  }

  // Runs the event loop until the background has finished or until returns true, at most
  // for two minutes; meanwhile is called every 50 ms while it runs. Returns the longest the 50 ms
  // timer waited between two of its ticks, in milliseconds.
  qint64 TurnWhileBusy(const std::function<bool()>& meanwhile = nullptr) {
    QTimer ticker;
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    bool stop = false;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      longest = std::max(longest, sinceTick.restart());
      if (meanwhile && Background().Busy() && meanwhile()) stop = true;
    });
    ticker.start(50);
    sinceTick.start();
    QElapsedTimer limit;
    limit.start();
    while (!stop && Background().Busy() && limit.elapsed() < 120'000) {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return longest;
  }

  TempDir out;
  ScriptedFolderDialog folders;
  SlowMedium medium;
  OpenSource source{SharedFormattedCard().path, "512", Settings(medium)};
  IconSet icons;
  std::unique_ptr<TfrmFileSystem> frame = std::make_unique<TfrmFileSystem>(icons);
  QtBackground background{frame.get(), 0};
  ScopedService<BackgroundService> backgroundGuard{BackgroundSlot(), background};
};

// Opening the node starts the scan away from the window's thread; the window stays live, the
// progress is shown, and the lost folder and found pictures are under the node before it ends.
TEST_F(LostScanWindowTest, TheScanRunsInTheBackgroundAndWhatItFindsAppearsAsItGoes) {
  OpenLostAndFound();
  ASSERT_TRUE(Background().Busy()) << "the scan ran on the window's thread";
  EXPECT_EQ(LostNode()->text(0), "丢失和找到的文件（正在扫描…）");
  bool progressShown = false;
  bool statusShown = false;
  bool foundWhileRunning = false;
  QTreeWidgetItem* root = Tree()->topLevelItem(0)->child(0);
  const qint64 longest = TurnWhileBusy([&] {
    progressShown = progressShown || VisibleProgress() != nullptr;
    statusShown = statusShown || frame->findChild<QLabel*>(QStringLiteral("lblStatus"))->text().contains("已扫描");
    foundWhileRunning = foundWhileRunning || (LostFolder() != nullptr && JpegFolder() != nullptr);
    // The volume's folders wait for the scan, which walks them: the root opens once it ends.
    Tree()->setCurrentItem(root);
    EXPECT_EQ(root->childCount(), 0);
    return false;
  });
  EXPECT_FALSE(Background().Busy());
  // Findings go into the tree in small batches, so the loop never stands still for long; the
  // bound leaves room for a loaded machine, on which the window's thread waits for a core.
  EXPECT_LE(longest, 1000) << "the event loop stood still for " << longest << " ms";
  EXPECT_TRUE(progressShown);
  EXPECT_TRUE(statusShown);
  EXPECT_TRUE(foundWhileRunning);
  EXPECT_EQ(LostNode()->text(0), "丢失和找到的文件");
  EXPECT_EQ(VisibleProgress(), nullptr);
  ASSERT_EQ(root->childCount(), 1);
  EXPECT_EQ(root->child(0)->text(0), "NEW.TXT");

  // Everything is there, in the order brindle-cli lists it: the lost folder, then "jpg".
  ASSERT_EQ(LostNode()->childCount(), 2);
  EXPECT_EQ(LostNode()->child(0), LostFolder());
  EXPECT_EQ(LostNode()->child(1), JpegFolder());
  Tree()->setCurrentItem(LostFolder());
  ASSERT_EQ(LostFolder()->childCount(), 1);
  EXPECT_EQ(LostFolder()->child(0)->text(0), "NOTES.TXT");
  Tree()->setCurrentItem(JpegFolder());
  EXPECT_EQ(JpegFolder()->childCount(), kLoosePictures);
}

// A found picture previews while the scan goes on, and saves byte-exact; the folder of found
// pictures, opened while the scan runs, takes the pictures found after.
TEST_F(LostScanWindowTest, AFoundPicturePreviewsAndSavesByteExactWhileTheScanRuns) {
  OpenLostAndFound();
  bool previewed = false;
  TurnWhileBusy([&] {
    if (JpegFolder() == nullptr) return false;
    Tree()->setCurrentItem(JpegFolder());
    if (JpegFolder()->childCount() == 0) return false;
    Tree()->setCurrentItem(JpegFolder()->child(0));
    previewed = PictureShown();
    frame->findChild<QToolButton*>(QStringLiteral("btnSave"))->click();
    return true;
  });
  EXPECT_TRUE(previewed);
  TurnWhileBusy();
  ASSERT_NE(JpegFolder(), nullptr);
  EXPECT_EQ(JpegFolder()->childCount(), kLoosePictures);
  const std::string name = JpegFolder()->child(0)->text(0).toStdString();
  EXPECT_EQ(ReadFileBytes(out / name), SharedFormattedCard().photo) << name;
}

// Cancel ends the scan and keeps what it found, and the node says so; F5 scans again, in full.
TEST_F(LostScanWindowTest, CancelKeepsWhatWasFoundAndTheScanCanRunAgain) {
  // Slow enough that the scan is far from its end when its first picture reaches the tree.
  medium.delayMs = 40;
  OpenLostAndFound();
  TurnWhileBusy([&] {
    if (JpegFolder() == nullptr) return false;
    QProgressDialog* dialog = VisibleProgress();
    EXPECT_NE(dialog, nullptr);
    if (dialog != nullptr) dialog->findChild<QPushButton*>()->click();
    return true;
  });
  TurnWhileBusy();
  ASSERT_FALSE(Background().Busy());
  EXPECT_EQ(LostNode()->text(0), "丢失和找到的文件（扫描已取消，按 F5 重新扫描）");
  ASSERT_NE(LostFolder(), nullptr);
  ASSERT_NE(JpegFolder(), nullptr);
  Tree()->setCurrentItem(JpegFolder());
  const int kept = JpegFolder()->childCount();
  EXPECT_GE(kept, 1);
  EXPECT_LT(kept, kLoosePictures) << "the scan had ended before it was cancelled";
  // The kept ones open and save like any other.
  Tree()->setCurrentItem(JpegFolder()->child(0));
  EXPECT_TRUE(PictureShown());

  Tree()->setCurrentItem(LostNode());
  medium.delayMs = 0;
  frame->findChild<QAction*>(QStringLiteral("mnuReread"))->trigger();
  EXPECT_EQ(LostNode()->text(0), "丢失和找到的文件（正在扫描…）");
  TurnWhileBusy();
  EXPECT_EQ(LostNode()->text(0), "丢失和找到的文件");
  ASSERT_EQ(LostNode()->childCount(), 2);
  Tree()->setCurrentItem(JpegFolder());
  EXPECT_EQ(JpegFolder()->childCount(), kLoosePictures);
}

// Another source opened, or the window closed, while a scan runs: the scan is cancelled and
// waited for, and nothing it found is left pointing at what went.
TEST_F(LostScanWindowTest, OpeningAnotherSourceOrClosingDuringAScanIsSafe) {
  // Slow enough that the scan is still running when its first findings reach the tree.
  medium.delayMs = 40;
  OpenLostAndFound();
  TurnWhileBusy([&] { return LostFolder() != nullptr; });
  ASSERT_TRUE(Background().Busy());
  OpenSource other(SharedOtherCard());
  frame->ScanPartitions(*other.opened);
  EXPECT_FALSE(Background().Busy());
  frame->FillTree();
  ASSERT_EQ(Tree()->topLevelItemCount(), 1);
  EXPECT_EQ(Tree()->topLevelItem(0)->child(1)->childCount(), 0);
  frame->ClearPartitions();

  OpenSource again(SharedFormattedCard().path, "512", Settings(medium));
  frame->ScanPartitions(*again.opened);
  frame->FillTree();
  OpenLostAndFound();
  TurnWhileBusy([&] { return JpegFolder() != nullptr; });
  ASSERT_TRUE(Background().Busy());
  frame.reset();
  EXPECT_FALSE(Background().Busy());
}

}  // namespace
