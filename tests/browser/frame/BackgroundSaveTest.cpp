// Saves run away from the window's thread: on a medium whose every read is slow, the window
// keeps turning its event loop, opens other folders, shows the save's progress and can cancel
// it; a read fault of the save is put to the user on the window's thread, in the same box as
// one of the window's own reads.

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include "browser/ReadFaultQuestion.h"
#include "browser/frame/IconSet.h"
#include "browser/frame/QtBackground.h"
#include "browser/frame/TfrmFileSystem.h"
#include "fs/fat/FatNode.h"
#include "fs/fat/FatPartition.h"
#include "platform/MessageBox.h"
#include "support/FatImages.h"
#include "support/OpenSource.h"
#include "support/ScriptedServices.h"
#include "support/SlowMedium.h"
#include "support/TestFiles.h"

namespace {

constexpr size_t kBigBytes = 40 << 20;

// A FAT32 volume with a large file and a folder, made once.
struct SlowDisk {
  std::string path;
  Bytes big;
};

const SlowDisk& SharedSlowDisk() {
  static TempDir dir;
  static const SlowDisk disk = [] {
    SlowDisk made{dir / "slow.img", PatternBytes(kBigBytes, 9)};
    MtoolsVolume volume(made.path);
    volume.Format("-F 32 -n SLOW", 96 * 1024);
    volume.Write("/BIG.BIN", made.big);
    volume.MakeDirectory("/DOCS");
    volume.Write("/DOCS/A.TXT", {'a'});
    volume.Write("/DOCS/B.TXT", {'b'});
    return made;
  }();
  return disk;
}

// Answers every box as scripted and notes on which thread it was asked.
class ThreadNotingBoxes final : public MessageBoxService {
 public:
  ThreadNotingBoxes() : guard_(*this) {}
  struct Shown {
    std::string text;
    std::string caption;
    unsigned flags;
    bool onWindowThread;
  };
  std::vector<Shown> shown;
  int answer = kIdIgnore;

  int Show(const std::string& text, const std::string& caption, unsigned flags) override {
    shown.push_back({text, caption, flags, QThread::currentThread() == qApp->thread()});
    return answer;
  }

 private:
  ScopedMessageBoxService guard_;
};

struct BackgroundSaveTest : ::testing::Test {
  BackgroundSaveTest() {
    frame.ScanPartitions(*source.opened);
    frame.FillTree();
    frame.resize(900, 600);
    frame.show();
    folders.answers = {out.path()};
  }

  static OpenSettings Settings(SlowMedium& medium, AskingFaultPolicy& ask) {
    OpenSettings settings;
    settings.faultPolicy = &ask;
    settings.platformRead = [&medium](int fd, void* b, size_t n, off_t o) { return medium.Read(fd, b, n, o); };
    return settings;
  }

  QTreeWidgetItem* Item(std::initializer_list<const char*> captions) {
    QTreeWidgetItem* item = tree->topLevelItem(0)->child(0);
    for (const char* caption : captions) {
      QTreeWidgetItem* next = nullptr;
      for (int i = 0; i < item->childCount() && next == nullptr; ++i) {
        if (item->child(i)->text(0).startsWith(QString::fromUtf8(caption))) next = item->child(i);
      }
      EXPECT_NE(next, nullptr) << caption;
      if (next == nullptr) return item;
      item = next;
    }
    return item;
  }

  void Select(std::initializer_list<const char*> captions) {
    tree->setCurrentItem(tree->topLevelItem(0)->child(0));
    tree->setCurrentItem(Item(captions));
  }

  void StartSavingBig() {
    Select({"BIG.BIN"});
    frame.findChild<QToolButton*>(QStringLiteral("btnSave"))->click();
  }

  QProgressDialog* VisibleProgress() const {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* dialog = qobject_cast<QProgressDialog*>(widget); dialog != nullptr && dialog->isVisible()) {
        return dialog;
      }
    }
    return nullptr;
  }

  // Runs the event loop until the background has finished, at most for a minute; returns the
  // longest the 50 ms timer waited between two of its ticks meanwhile, in milliseconds.
  qint64 TurnUntilDone(const std::function<void()>& meanwhile = nullptr) {
    QTimer ticker;
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    int ticks = 0;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      longest = std::max(longest, sinceTick.restart());
      if (++ticks == 3 && meanwhile) meanwhile();
    });
    ticker.start(50);
    sinceTick.start();
    QElapsedTimer limit;
    limit.start();
    while (Background().Busy() && limit.elapsed() < 60'000) {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_FALSE(Background().Busy());
    return longest;
  }

  TempDir out;
  ThreadNotingBoxes boxes;
  ScriptedFolderDialog folders;
  SlowMedium medium;
  AskingFaultPolicy ask;
  OpenSource source{SharedSlowDisk().path, "512", Settings(medium, ask)};
  IconSet icons;
  TfrmFileSystem frame{icons};
  QtBackground background{&frame, 0};
  ScopedService<BackgroundService> backgroundGuard{BackgroundSlot(), background};
  QTreeWidget* tree = frame.findChild<QTreeWidget*>(QStringLiteral("treeFat"));
};

TEST_F(BackgroundSaveTest, TheWindowGoesOnWhileASaveRuns) {
  StartSavingBig();
  EXPECT_TRUE(Background().Busy()) << "the save ran on the window's thread";
  bool progressShown = false;
  const qint64 longest = TurnUntilDone([&] {
    progressShown = VisibleProgress() != nullptr;
    Select({"DOCS"});  // read from the medium on the window's thread meanwhile
  });
  EXPECT_LE(longest, 150) << "the event loop stood still for " << longest << " ms";
  EXPECT_TRUE(progressShown);
  EXPECT_EQ(VisibleProgress(), nullptr);
  QTreeWidgetItem* docs = Item({"DOCS"});
  ASSERT_EQ(docs->childCount(), 2);
  EXPECT_EQ(docs->child(0)->text(0), "A.TXT");
  EXPECT_EQ(ReadFileBytes(out / "BIG.BIN"), SharedSlowDisk().big);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(BackgroundSaveTest, CancelLeavesNothingBehind) {
  StartSavingBig();
  bool cancelled = false;
  TurnUntilDone([&] {
    QProgressDialog* dialog = VisibleProgress();
    ASSERT_NE(dialog, nullptr);
    auto* button = dialog->findChild<QPushButton*>();
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "取消");  // "Cancel" in English
    button->click();
    cancelled = true;
  });
  EXPECT_TRUE(cancelled);
  EXPECT_TRUE(FolderContents(out.path()).empty());
  EXPECT_TRUE(boxes.shown.empty());  // a cancelled save says nothing
}

// The save's fault and the window's own are asked on the window's thread with the same box;
// Ignore leaves that sector as zeros in the saved file, and the save ends saying that the file
// came out short.
TEST_F(BackgroundSaveTest, ReadFaultsAreAskedOnTheWindowsThread) {
  const TPartition& partition = *frame.partitions()[0];
  const TDirectoryEntry& big = *partition.rootEntry->children[0];
  ASSERT_EQ(big.name, "BIG.BIN");
  // A sector well inside the file, so that selecting it (its first 16 KiB) does not read it.
  const auto& fat = static_cast<const TFATPartition&>(partition);
  const uint64_t firstSector =
      fat.dataStartSector + uint64_t{static_cast<const FATFileNode&>(big).entry->firstCluster - 2} * fat.SectorsPerCluster();
  medium.delayMs = 0;
  medium.badSector = firstSector + 4096;  // 2 MiB in
  StartSavingBig();
  TurnUntilDone();
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[0].text, "Read failed at sector " + std::to_string(firstSector + 4096) + ":\nInput/output error");
  EXPECT_EQ(boxes.shown[0].caption, "Error");
  EXPECT_EQ(boxes.shown[0].flags, kMbAbortRetryIgnoreWarning);
  EXPECT_TRUE(boxes.shown[0].onWindowThread);
  Bytes expected = SharedSlowDisk().big;
  std::fill_n(expected.begin() + 4096 * 512, 512, 0);
  EXPECT_EQ(ReadFileBytes(out / "BIG.BIN"), expected);
  const std::string size = std::to_string(expected.size());
  EXPECT_EQ(boxes.shown[1].text, "The file \"" + out / "BIG.BIN" + "\" was saved, but it is incomplete:\nshort: " +
                                     std::to_string(expected.size() - 512) + " of " + size +
                                     " bytes (sectors of it could not be read; 512 bytes of zeros stand in for what "
                                     "is missing).");
  EXPECT_EQ(boxes.shown[1].caption, "Brindle");
  EXPECT_EQ(boxes.shown[1].flags, kMbOkWarning);

  // The window's own read of the same sector asks the same question.
  medium.badSector = firstSector + 1;
  Select({"DOCS"});
  Select({"BIG.BIN"});
  ASSERT_EQ(boxes.shown.size(), 3u);
  EXPECT_EQ(boxes.shown[2].text, "Read failed at sector " + std::to_string(firstSector + 1) + ":\nInput/output error");
  EXPECT_TRUE(boxes.shown[2].onWindowThread);
}

}  // namespace
