// The search field above the tree: pieces of names and patterns, case as brindle-cli compares
// names, deleted entries only and kinds of files (a JPEG without a telling name included),
// folders never opened searched too; clearing gives the tree back as it was, and what was found
// is previewed and saved as any entry is.

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "browser/frame/IconSet.h"
#include "browser/frame/QtBackground.h"
#include "browser/frame/TfrmFileSystem.h"
#include "support/FatImages.h"
#include "support/OpenSource.h"
#include "support/ScriptedMessageBox.h"
#include "support/ScriptedServices.h"
#include "support/ScriptedShellServices.h"
#include "support/TestFiles.h"
#include "support/qt/Pictures.h"

namespace {

struct SearchDisk {
  std::string path;
  Bytes photo = PictureFile("jpg", 64, 48);
  Bytes deep = {'d', 'e', 'e', 'p'};
};

const SearchDisk& SharedSearchDisk() {
  static TempDir dir;
  static const SearchDisk disk = [] {
    SearchDisk made;
    made.path = dir / "search.img";
    MtoolsVolume volume(made.path);
    volume.Format("-F 16 -n SEARCH", 16384);
    for (const char* folder : {"/DCIM", "/DCIM/100CANON", "/DATA", "/MUSIC", "/A", "/A/B", "/A/B/C", "/DOCS", "/OLD"}) {
      volume.MakeDirectory(folder);
    }
    volume.Write("/DCIM/100CANON/IMG_0001.JPG", PictureFile("jpg", 32, 24));
    volume.Write("/DCIM/100CANON/Holiday Photo.jpg", made.photo);
    volume.Write("/DATA/BLOB.DAT", PictureFile("jpg", 40, 30));  // a picture whose name tells nothing
    volume.Write("/DATA/NOTES.DAT", {'n', 'o', 't', 'e', 's'});
    volume.Write("/MUSIC/SONG.MP3", PatternBytes(3000, 4));
    volume.Write("/A/B/C/deep holiday.txt", made.deep);
    volume.Write("/DOCS/Rapport année.txt", {'r'});
    volume.Write("/DOCS/REMOVED.TXT", {'x'});
    volume.Write("/OLD/GONE.JPG", PictureFile("jpg", 16, 16));
    volume.Delete("/DOCS/REMOVED.TXT");
    volume.DeleteTree("/OLD");
    return made;
  }();
  return disk;
}

struct SearchFixture : ::testing::Test {
  SearchFixture() {
    frame.ScanPartitions(*source.opened);
    frame.FillTree();
    frame.resize(900, 600);
    folders.answers = {out.path()};
  }

  template <class T>
  T* Find(const char* name) {
    T* widget = frame.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }

  // Runs the event loop until the pause after the last key is over and no search runs.
  void Settle() {
    QElapsedTimer limit;
    limit.start();
    do {
      QApplication::processEvents(QEventLoop::AllEvents, 10);
    } while ((timerSearch->isActive() || Background().Busy()) && limit.elapsed() < 30'000);
  }

  void Type(const char* text) {
    edit->setText(QString::fromUtf8(text));
    Settle();
  }

  void Toggle(const char* name, bool on) {
    Find<QToolButton>(name)->setChecked(on);
    Settle();
  }

  QTreeWidgetItem* Root() const { return tree->topLevelItem(0)->child(0); }

  // A caption as its first name: "Holiday Photo.jpg" of "Holiday Photo.jpg - HOLIDA~1.JPG".
  static std::string Name(const QTreeWidgetItem* item) {
    const QString caption = item->text(0);
    const int dash = caption.indexOf(QStringLiteral(" - "));
    return (dash < 0 ? caption : caption.left(dash)).toStdString();
  }

  // Every node below the root, as a path from it.
  std::set<std::string> Shown() const {
    std::set<std::string> paths;
    const std::function<void(const QTreeWidgetItem*, const std::string&)> add = [&](const QTreeWidgetItem* item,
                                                                                     const std::string& above) {
      for (int i = 0; i < item->childCount(); ++i) {
        const std::string path = above + Name(item->child(i));
        paths.insert(path);
        add(item->child(i), path + "/");
      }
    };
    add(Root(), "");
    return paths;
  }

  // Every node below the root, counted: a folder made twice shows its path twice.
  static int Count(const QTreeWidgetItem* item) {
    int count = item->childCount();
    for (int i = 0; i < item->childCount(); ++i) count += Count(item->child(i));
    return count;
  }

  QTreeWidgetItem* Node(const std::string& path) const {
    QTreeWidgetItem* item = Root();
    size_t start = 0;
    while (item != nullptr && start < path.size()) {
      const size_t slash = path.find('/', start);
      const std::string name = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
      QTreeWidgetItem* next = nullptr;
      for (int i = 0; i < item->childCount() && next == nullptr; ++i) {
        if (Name(item->child(i)) == name) next = item->child(i);
      }
      item = next;
      start = slash == std::string::npos ? path.size() : slash + 1;
    }
    EXPECT_NE(item, nullptr) << path;
    return item;
  }

  TempDir out;
  ScriptedMessageBox boxes;
  ScriptedFolderDialog folders;
  RecordingSummaryBox summaries;
  OpenSource source{SharedSearchDisk().path};
  IconSet icons;
  TfrmFileSystem frame{icons};
  QTreeWidget* tree = Find<QTreeWidget>("treeFat");
  QLineEdit* edit = Find<QLineEdit>("edtSearch");
  QTimer* timerSearch = Find<QTimer>("timerSearch");
};

using Paths = std::set<std::string>;

TEST_F(SearchFixture, PiecesAndPatternsAreFoundWithoutRegardToCaseInFoldersNeverOpened) {
  ASSERT_EQ(Root()->childCount(), 0);  // nothing below the root has been read
  Type("HOLIDAY");
  EXPECT_EQ(Shown(), (Paths{"A", "A/B", "A/B/C", "A/B/C/deep holiday.txt", "DCIM", "DCIM/100CANON",
                            "DCIM/100CANON/Holiday Photo.jpg"}));
  EXPECT_TRUE(Node("A/B/C")->isExpanded());
  EXPECT_TRUE(Find<QLabel>("lblStatus")->text().startsWith("找到 2 项")) << Find<QLabel>("lblStatus")->text().toStdString();

  // A pattern fits the whole name: by the long name, the short name or the caption; the deleted
  // folder ("_LD", as FAT keeps it) and its picture are found too.
  Type("*.jpg");
  EXPECT_EQ(Shown(), (Paths{"DCIM", "DCIM/100CANON", "DCIM/100CANON/IMG_0001.JPG", "DCIM/100CANON/Holiday Photo.jpg",
                            "_LD", "_LD/_ONE.JPG"}));
  Type("img_00?1.*");
  EXPECT_EQ(Shown(), (Paths{"DCIM", "DCIM/100CANON", "DCIM/100CANON/IMG_0001.JPG"}));
  Type("ANNÉE");
  EXPECT_EQ(Shown(), (Paths{"DOCS", "DOCS/Rapport année.txt"}));
  Type("no such name");
  EXPECT_EQ(Shown(), Paths{});

  // Folders that fit, with entries below them that fit too, and folders that only lead there:
  // each shown once.
  Type("c");
  EXPECT_EQ(Shown(), (Paths{"A", "A/B", "A/B/C", "DCIM", "DCIM/100CANON", "DOCS", "MUSIC"}));
  EXPECT_EQ(Count(Root()), 7);
  Type("o");
  const Paths withO = Shown();
  EXPECT_EQ(Count(Root()), static_cast<int>(withO.size()));
  EXPECT_EQ(withO.count("A/B/C/deep holiday.txt") + withO.count("DOCS/Rapport année.txt"), 2u);
}

TEST_F(SearchFixture, DeletedOnlyAndKindsOfFilesFilterByStateAndContent) {
  Toggle("btnDeletedOnly", true);
  EXPECT_EQ(Shown(), (Paths{"DOCS", "DOCS/_EMOVED.TXT", "_LD", "_LD/_ONE.JPG"}));
  Toggle("btnDeletedOnly", false);

  // BLOB.DAT is a JPEG: its name tells nothing, its first bytes do. NOTES.DAT is not one.
  Toggle("btnPictures", true);
  EXPECT_EQ(Shown(), (Paths{"DCIM", "DCIM/100CANON", "DCIM/100CANON/IMG_0001.JPG", "DCIM/100CANON/Holiday Photo.jpg",
                            "DATA", "DATA/BLOB.DAT", "_LD", "_LD/_ONE.JPG"}));
  Type("blob");
  EXPECT_EQ(Shown(), (Paths{"DATA", "DATA/BLOB.DAT"}));
  Type("");
  Toggle("btnPictures", false);
  Toggle("btnSounds", true);
  EXPECT_EQ(Shown(), (Paths{"MUSIC", "MUSIC/SONG.MP3"}));
}

TEST_F(SearchFixture, ClearingGivesTheTreeBackAsItWas) {
  tree->setCurrentItem(Root());
  tree->setCurrentItem(Node("DCIM"));
  const Paths before = Shown();
  ASSERT_TRUE(before.count("DCIM/100CANON") != 0 && before.count("DATA") != 0);

  auto* find = Find<QAction>("actFind");
  EXPECT_EQ(find->shortcut(), QKeySequence(QKeySequence::Find));
  EXPECT_TRUE(frame.actions().contains(find));
  Type("holiday");
  ASSERT_NE(Shown(), before);
  // Escape in the field.
  QAction* escape = nullptr;
  for (QAction* action : edit->actions()) {
    if (action->shortcut() == QKeySequence(Qt::Key_Escape)) escape = action;
  }
  ASSERT_NE(escape, nullptr);
  escape->trigger();
  Settle();
  EXPECT_TRUE(edit->text().isEmpty());
  EXPECT_EQ(Shown(), before);
  EXPECT_FALSE(Find<QLabel>("lblStatus")->text().contains("找到"));

  // A toggle left on keeps the tree filtered; turned off, the tree is whole again.
  Toggle("btnDocuments", true);
  EXPECT_EQ(Shown(), (Paths{"A", "A/B", "A/B/C", "A/B/C/deep holiday.txt", "DOCS", "DOCS/Rapport année.txt",
                            "DOCS/_EMOVED.TXT"}));
  Toggle("btnDocuments", false);
  EXPECT_EQ(Shown(), before);
}

TEST_F(SearchFixture, WhatWasFoundIsPreviewedAndSaved) {
  Type("holiday");
  tree->setCurrentItem(Node("DCIM/100CANON/Holiday Photo.jpg"));
  EXPECT_TRUE(Find<QPlainTextEdit>("txtHex")->toPlainText().startsWith("0000    FF D8 FF"))
      << Find<QPlainTextEdit>("txtHex")->toPlainText().left(40).toStdString();
  Node("A/B/C/deep holiday.txt")->setSelected(true);
  Find<QToolButton>("btnSave")->click();
  Settle();
  EXPECT_EQ(ReadFileBytes(out / "Holiday Photo.jpg"), SharedSearchDisk().photo);
  EXPECT_EQ(ReadFileBytes(out / "deep holiday.txt"), SharedSearchDisk().deep);
  ASSERT_EQ(summaries.shown.size(), 1u);
  EXPECT_NE(summaries.shown[0].text.find("Saved 2 files"), std::string::npos) << summaries.shown[0].text;
}

// Under the window's background: a query typed while one runs replaces it, and only the last
// one's results are shown.
TEST_F(SearchFixture, ANewQueryReplacesTheRunningOne) {
  QtBackground background{&frame, 0};
  ScopedService<BackgroundService> guard{BackgroundSlot(), background};
  edit->setText("*.jpg");
  QApplication::processEvents(QEventLoop::AllEvents, 100);
  while (timerSearch->isActive()) QApplication::processEvents(QEventLoop::AllEvents, 5);
  edit->setText("ANNÉE");
  Settle();
  EXPECT_EQ(Shown(), (Paths{"DOCS", "DOCS/Rapport année.txt"}));
  Type("");
  EXPECT_EQ(Root()->childCount(), 0);  // the root was never opened: it is as it was
}

}  // namespace
