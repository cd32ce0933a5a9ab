#include "browser/frame/TfrmFileSystem.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <ctime>
#include <thread>

#include "browser/HexView.h"
#include "browser/ImageIndex.h"
#include "browser/frame/IconSet.h"
#include "browser/frame/PreviewImage.h"
#include "support/ExfatImages.h"
#include "support/FatImages.h"
#include "support/OpenSource.h"
#include "support/ScriptedMessageBox.h"
#include "support/ScriptedServices.h"
#include "support/ScriptedShellServices.h"
#include "support/qt/Pictures.h"
#include "support/qt/QtPrinters.h"

namespace {

constexpr uint64_t kSector = 512;
constexpr uint64_t kFat16Start = 2048, kFat32Start = 34816, kExfatStart = 104448;

// A disk with a FAT16, a FAT32 and an exFAT partition, in this order; the FAT16 one holds the
// files the panes are tried on, the exFAT one is the committed exfat-tree image.
struct FrameDisk {
  std::string path;
  Bytes seventeen = PatternBytes(17, 1);
  Bytes large = PatternBytes(20000, 2);
  Bytes gone = {'g', 'o', 'n', 'e', ' ', 'b', 'u', 't', ' ', 'k', 'e', 'p', 't'};
  std::string letter = "A letter kept in a deleted folder.";
};

const FrameDisk& SharedDisk() {
  static TempDir dir;
  static FrameDisk disk = [] {
    FrameDisk made;
    made.path = dir / "disk.img";
    RunCommand("truncate -s 56M " + ShellQuote(made.path));
    RunCommand("printf 'label: dos\\nstart=2048, size=32768, type=6\\nstart=34816, size=69632, type=c\\n"
               "start=104448, size=8192, type=7\\n' | sfdisk -q " + ShellQuote(made.path));
    MtoolsVolume fat16(made.path, kFat16Start * kSector);
    fat16.Format("-F 16 -n FIRST", 16384);
    MtoolsVolume(made.path, kFat32Start * kSector).Format("-F 32 -s 1 -n SECOND", 34816);
    RunCommand("dd if=" + ShellQuote(TestImagePath("exfat-tree.img")) + " of=" + ShellQuote(made.path) +
               " bs=512 seek=" + std::to_string(kExfatStart) + " conv=notrunc status=none");

    fat16.MakeDirectory("/PICTURES");
    fat16.MakeDirectory("/EMPTYDIR");
    fat16.Write("/PICTURES/PHOTO.JPG", PictureFile("jpg", 120, 90));
    fat16.Write("/PICTURES/ANIM.GIF", PictureFile("gif", 64, 48));
    fat16.Write("/PICTURES/CHART.PNG", PictureFile("png", 80, 60));
    fat16.Write("/PICTURES/SKETCH.BMP", PictureFile("bmp", 50, 40));
    const Bytes png = PictureFile("png", 80, 60);
    fat16.Write("/PICTURES/BROKEN.PNG", Bytes(png.begin(), png.begin() + png.size() / 3));
    fat16.Write("/ONE.TXT", {'A'});
    fat16.Write("/TEN.TXT", {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}, "2009-04-15 15:52:58");
    fat16.Write("/SEVENTEE.BIN", made.seventeen);
    fat16.Write("/LARGE.BIN", made.large);
    fat16.Write("/EMPTY.TXT", {});
    fat16.MakeDirectory("/OLDDIR");
    fat16.Write("/OLDDIR/Kept letter.txt", Bytes(made.letter.begin(), made.letter.end()), "2009-04-15 15:52:58");
    fat16.Write("/GONE.TXT", made.gone);
    // Deleted last: mtools gives a deleted slot to the next new entry.
    fat16.Delete("/GONE.TXT");
    fat16.DeleteTree("/OLDDIR");
    return made;
  }();
  return disk;
}

struct FrameWidgetFixture : ::testing::Test {
  FrameWidgetFixture() {
    frame.ScanPartitions(*source.opened);
    frame.FillTree();
    frame.resize(900, 600);
  }

  template <class T>
  T* Find(const char* name) {
    T* widget = frame.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }

  static QTreeWidgetItem* ChildNamed(QTreeWidgetItem* parent, const std::string& caption) {
    for (int i = 0; i < parent->childCount(); ++i) {
      if (parent->child(i)->text(0).toStdString() == caption) return parent->child(i);
    }
    ADD_FAILURE() << "no node " << caption << " below " << parent->text(0).toStdString();
    return parent;
  }

  // Selects the root of the partition, then each name below it in turn, as a user would.
  QTreeWidgetItem* Select(int partition, std::initializer_list<std::string> names = {}) {
    QTreeWidgetItem* item = tree->topLevelItem(partition)->child(0);
    tree->setCurrentItem(item);
    for (const std::string& name : names) {
      item = ChildNamed(item, name);
      tree->setCurrentItem(item);
    }
    return item;
  }

  // The rows of lstFileInfo as group title, then caption and value per row.
  std::vector<std::string> InfoRows() {
    std::vector<std::string> rows;
    for (int g = 0; g < info->topLevelItemCount(); ++g) {
      const QTreeWidgetItem* group = info->topLevelItem(g);
      rows.push_back("[" + group->text(0).toStdString() + "]");
      for (int r = 0; r < group->childCount(); ++r) {
        rows.push_back(group->child(r)->text(0).toStdString() + ": " + group->child(r)->text(1).toStdString());
      }
    }
    return rows;
  }

  // The rows the entry describes itself with, as InfoRows shows them.
  static std::vector<std::string> ExpectedRows(TDirectoryEntry& entry) {
    RecordingInfoList list;
    entry.FillInfo(list);
    std::vector<std::string> rows{"[Basic information]"};
    for (const auto& row : list.rows) rows.push_back(row.caption + ": " + row.value);
    return rows;
  }

  TDirectoryEntry& Entry(int partition, std::initializer_list<std::string> names = {}) {
    TDirectoryEntry* entry = frame.partitions()[partition]->rootEntry.get();
    for (const std::string& name : names) {
      auto found = std::find_if(entry->children.begin(), entry->children.end(),
                                [&](const auto& child) { return child->name == name; });
      EXPECT_NE(found, entry->children.end()) << name;
      entry = found->get();
    }
    return *entry;
  }

  bool PictureShown() { return !scrollImage->isHidden() && !image->isHidden() && txtPreview->isHidden(); }

  ScriptedMessageBox boxes;
  OpenSource source{SharedDisk().path};
  IconSet icons;
  TfrmFileSystem frame{icons};
  QTreeWidget* tree = Find<QTreeWidget>("treeFat");
  QTreeWidget* info = Find<QTreeWidget>("lstFileInfo");
  QPlainTextEdit* txtHex = Find<QPlainTextEdit>("txtHex");
  QPlainTextEdit* txtPreview = Find<QPlainTextEdit>("txtPreview");
  QScrollArea* scrollImage = Find<QScrollArea>("scrollImage");
  PreviewImage* image = Find<PreviewImage>("imgPreview");
};

TEST_F(FrameWidgetFixture, BeforeAnySelectionThePreviewIsNotAvailable) {
  auto* pages = Find<QTabWidget>("PageControl1");
  ASSERT_EQ(pages->count(), 4);
  const char* order[] = {"tsFileInfo", "tsPreview", "tsGallery", "TabSheet1"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(pages->widget(i)->objectName().toStdString(), order[i]);
  EXPECT_EQ(pages->currentWidget(), Find<QWidget>("tsFileInfo"));
  EXPECT_EQ(Find<QLabel>("Label2")->text(), "预览不可用");
  EXPECT_TRUE(scrollImage->isHidden());
  EXPECT_TRUE(txtPreview->isHidden());
}

TEST_F(FrameWidgetFixture, EveryPartitionIsATopLevelNodeInDiscoveryOrder) {
  ASSERT_EQ(tree->topLevelItemCount(), 3);
  const char* captions[] = {"FAT16 partition \"FIRST\"", "FAT32 partition \"SECOND\"", "exFAT partition \"Données\""};
  for (int i = 0; i < 3; ++i) {
    QTreeWidgetItem* partition = tree->topLevelItem(i);
    EXPECT_EQ(partition->text(0).toStdString(), captions[i]);
    EXPECT_EQ(partition->icon(0).cacheKey(), icons.Format(kImgPartition).cacheKey());
    EXPECT_TRUE(partition->isExpanded());
    // The root, then the "Lost and found", which is scanned only when it is opened.
    ASSERT_EQ(partition->childCount(), 2);
    EXPECT_EQ(partition->child(0)->text(0).toStdString(), Entry(i).name);
    EXPECT_EQ(partition->child(0)->icon(0).cacheKey(), icons.Format(kImgDirectory).cacheKey());
    EXPECT_EQ(partition->child(0)->childCount(), 0);
    EXPECT_EQ(partition->child(1)->text(0).toStdString(), "丢失和找到的文件");
    EXPECT_EQ(partition->child(1)->childCount(), 0);
  }
}

TEST_F(FrameWidgetFixture, ChildNodesAppearOnceWithTheIconOfTheirState) {
  QTreeWidgetItem* root = Select(0);
  ASSERT_TRUE(root->isExpanded());
  const std::pair<const char*, int> expected[] = {
      {"PICTURES", kImgDirectory}, {"EMPTYDIR", kImgDirectory}, {"ONE.TXT", kImgFile}, {"_ONE.TXT", kImgDeleted}};
  for (const auto& [caption, image] : expected) {
    EXPECT_EQ(ChildNamed(root, caption)->icon(0).cacheKey(), icons.Format(image).cacheKey()) << caption;
  }
  const int children = root->childCount();

  // An empty directory never gets child nodes; a read one keeps the nodes it has.
  for (int i = 0; i < 2; ++i) {
    Select(0, {"EMPTYDIR"});
    Select(0, {"PICTURES"});
  }
  EXPECT_EQ(ChildNamed(root, "EMPTYDIR")->childCount(), 0);
  EXPECT_EQ(ChildNamed(root, "PICTURES")->childCount(), 5);
  EXPECT_EQ(root->childCount(), children);
}

TEST_F(FrameWidgetFixture, TheIconsOfEachStateAreToldApart) {
  const int kinds[] = {kImgFile, kImgPartition, kImgDirectory, kImgDeleted, kImgSave};
  std::vector<QImage> pictures;
  for (const int kind : kinds) {
    pictures.push_back(icons.Format(kind).pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32));
    EXPECT_FALSE(pictures.back().isNull()) << kind;
  }
  for (size_t a = 0; a < pictures.size(); ++a) {
    for (size_t b = a + 1; b < pictures.size(); ++b) EXPECT_NE(pictures[a], pictures[b]) << kinds[a] << " " << kinds[b];
  }
  // A deleted entry differs from a file by more than a shade: a good part of its pixels is red.
  int red = 0;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const QRgb pixel = pictures[3].pixel(x, y);
      if (qAlpha(pixel) > 200 && qRed(pixel) > 150 && qGreen(pixel) < 80 && qBlue(pixel) < 80) ++red;
    }
  }
  EXPECT_GE(red, 16);
  EXPECT_FALSE(icons.Toolbar(kImgZoomIn).isNull());
  EXPECT_FALSE(icons.Toolbar(kImgZoomOut).isNull());
  EXPECT_TRUE(icons.Format(0).isNull());
}

TEST_F(FrameWidgetFixture, TheInformationListShowsTheRowsOfTheEntry) {
  Select(0);
  EXPECT_EQ(InfoRows(), ExpectedRows(Entry(0)));
  Select(0, {"TEN.TXT"});
  const std::vector<std::string> fatFile = InfoRows();
  EXPECT_EQ(fatFile, ExpectedRows(Entry(0, {"TEN.TXT"})));
  ASSERT_EQ(fatFile.size(), 8u);
  EXPECT_EQ(fatFile[3], "Modified date/time: 2009/04/15, 15:52:58");
  EXPECT_EQ(fatFile[6], "File size: 10");
  EXPECT_EQ(fatFile[7], "Data: whole");

  Select(2);
  EXPECT_EQ(InfoRows(), ExpectedRows(Entry(2)));
  Select(2, {"emoji 😀 note.txt"});
  const std::vector<std::string> exfatFile = InfoRows();
  EXPECT_EQ(exfatFile, ExpectedRows(Entry(2, {"emoji 😀 note.txt"})));
  EXPECT_EQ(exfatFile.back(), "Data: whole");
  EXPECT_EQ(info->topLevelItemCount(), 1);
}

TEST_F(FrameWidgetFixture, SelectingAPartitionNodeLeavesThePanesAsTheyWere) {
  Select(0, {"TEN.TXT"});
  const std::vector<std::string> rows = InfoRows();
  const QString hex = txtHex->toPlainText();
  const QString text = txtPreview->toPlainText();
  tree->setCurrentItem(tree->topLevelItem(1));
  EXPECT_EQ(InfoRows(), rows);
  EXPECT_EQ(txtHex->toPlainText(), hex);
  EXPECT_EQ(txtPreview->toPlainText(), text);
  EXPECT_FALSE(txtPreview->isHidden());
}

TEST_F(FrameWidgetFixture, TheHexPageDumpsTheFirstBytes) {
  // The dump as the page gives it back: lines split at "\n", a no-break space as a space.
  const auto shown = [](const Bytes& bytes, size_t count) {
    return QString::fromStdString(FormatHexDump(bytes.data(), count)).replace("\r\n", "\n").replace(QChar(0xA0), ' ');
  };
  const FrameDisk& disk = SharedDisk();
  Select(0, {"SEVENTEE.BIN"});
  EXPECT_EQ(txtHex->toPlainText().count('\n'), 2);
  EXPECT_EQ(txtHex->toPlainText(), shown(disk.seventeen, 17));

  Select(0, {"LARGE.BIN"});
  const QStringList large = txtHex->toPlainText().split('\n');
  ASSERT_EQ(large.size(), 1025);
  EXPECT_TRUE(large[1023].startsWith("3FF0    ")) << large[1023].toStdString();
  EXPECT_EQ(txtHex->toPlainText(), shown(disk.large, kDumpSize));
}

TEST_F(FrameWidgetFixture, PicturesOfEveryTypeArePreviewed) {
  const std::pair<const char*, QSize> pictures[] = {{"PHOTO.JPG", {120, 90}},
                                                    {"ANIM.GIF", {64, 48}},
                                                    {"CHART.PNG", {80, 60}},
                                                    {"SKETCH.BMP", {50, 40}}};
  for (const auto& [name, size] : pictures) {
    Select(0, {"PICTURES", name});
    EXPECT_TRUE(PictureShown()) << name;
    EXPECT_EQ(image->size(), size) << name;
    ASSERT_EQ(image->picture().size(), size) << name;
    EXPECT_GT(qRed(image->picture().pixel(0, size.height() / 2)), 200) << name;
  }

  Select(0, {"PICTURES", "BROKEN.PNG"});
  EXPECT_FALSE(txtPreview->isHidden());
  EXPECT_TRUE(scrollImage->isHidden());
  EXPECT_EQ(txtPreview->toPlainText(), kCannotPreviewText);
}

TEST_F(FrameWidgetFixture, TextIsPreviewedWholeAndAnEmptyFileNotAtAll) {
  Select(0, {"ONE.TXT"});
  EXPECT_EQ(txtPreview->toPlainText(), "A");
  EXPECT_FALSE(txtPreview->isHidden());
  EXPECT_TRUE(scrollImage->isHidden());
  Select(0, {"TEN.TXT"});
  EXPECT_EQ(txtPreview->toPlainText(), "0123456789");

  Select(0, {"EMPTY.TXT"});
  EXPECT_TRUE(txtPreview->isHidden());
  EXPECT_TRUE(scrollImage->isHidden());
  EXPECT_EQ(txtHex->toPlainText(), "");
}

TEST_F(FrameWidgetFixture, ZoomScalesThePictureUntilTheNextOne) {
  Select(0, {"PICTURES", "PHOTO.JPG"});
  Find<QToolButton>("btnZoomIn")->click();
  EXPECT_EQ(image->size(), QSize(180, 135));
  Find<QToolButton>("btnZoomOut")->click();
  EXPECT_EQ(image->size(), QSize(119, 89));
  Select(0, {"PICTURES", "CHART.PNG"});
  EXPECT_EQ(image->size(), QSize(80, 60));

  // Zoomed far beyond the screen, only the part on screen is drawn.
  for (int i = 0; i < 30; ++i) Find<QToolButton>("btnZoomIn")->click();
  frame.show();
  EXPECT_FALSE(frame.grab().isNull());
  frame.hide();
}

TEST_F(FrameWidgetFixture, SavingWritesTheSelectedEntryIntoTheChosenFolder) {
  ScriptedFolderDialog dialog;
  TempDir out;
  dialog.answers = {out.path(), out.path(), out.path()};
  Select(0, {"TEN.TXT"});
  Find<QToolButton>("btnSave")->click();
  EXPECT_EQ(ReadFileBytes(out / "TEN.TXT"), (Bytes{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}));

  Select(0, {"_ONE.TXT"});
  Find<QAction>("mnuRestoreFiles")->trigger();
  EXPECT_EQ(ReadFileBytes(out / "_ONE.TXT"), SharedDisk().gone);
  EXPECT_EQ(dialog.prompts, std::vector<std::string>(2, kSaveFolderPrompt));
  EXPECT_TRUE(boxes.shown.empty());

  // Saving again asks before replacing; No leaves the file as it is.
  WriteFileBytes(out / "_ONE.TXT", {'x'});
  Find<QToolButton>("btnSave")->click();
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].flags, kMbYesNoQuestion);
  EXPECT_EQ(ReadFileBytes(out / "_ONE.TXT"), Bytes{'x'});
}

// A deleted folder opens as a live one does when it is selected: its children appear, deleted,
// and show what they held. The window saves under the caption and leaves the time of saving.
TEST_F(FrameWidgetFixture, ADeletedFolderOpensWithWhatItHeld) {
  const std::string caption = "Kept letter.txt - _EPTLE~1.TXT";
  QTreeWidgetItem* folder = Select(0, {"_LDDIR"});
  EXPECT_EQ(folder->icon(0).cacheKey(), icons.Format(kImgDeleted).cacheKey());
  ASSERT_EQ(folder->childCount(), 1);
  EXPECT_EQ(ChildNamed(folder, caption)->icon(0).cacheKey(), icons.Format(kImgDeleted).cacheKey());
  Select(0, {"_LDDIR", caption});
  EXPECT_EQ(txtPreview->toPlainText().toStdString(), SharedDisk().letter);

  ScriptedFolderDialog dialog;
  TempDir out;
  dialog.answers = {out.path()};
  const time_t before = ::time(nullptr);
  Find<QToolButton>("btnSave")->click();
  const std::string saved = out / caption;
  const Bytes bytes = ReadFileBytes(saved);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), SharedDisk().letter);
  struct stat info {};
  ASSERT_EQ(::stat(saved.c_str(), &info), 0);
  EXPECT_GE(info.st_mtime, before);
}

TEST_F(FrameWidgetFixture, TheListIsSetUpOnceTheEventLoopRuns) {
  auto* timer = Find<QTimer>("timerUpdateScan");
  EXPECT_TRUE(timer->isActive());
  for (int i = 0; i < 50 && timer->isActive(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    QApplication::processEvents();
  }
  EXPECT_FALSE(timer->isActive());
}

// Every file below folder, as paths relative to it.
std::set<std::string> FilesBelow(const std::string& folder) {
  std::set<std::string> files;
  for (const auto& file : std::filesystem::recursive_directory_iterator(folder)) {
    if (file.is_regular_file()) files.insert(std::filesystem::relative(file.path(), folder).string());
  }
  return files;
}

TEST_F(FrameWidgetFixture, SeveralSelectedEntriesAreSavedTogetherWithFoldersWhole) {
  ScriptedFolderDialog dialog;
  RecordingSummaryBox summary;
  RecordingUrlOpener opener;
  summary.openFolder = true;
  TempDir out;
  dialog.answers = {out.path()};
  QTreeWidgetItem* root = Select(0);
  ChildNamed(root, "TEN.TXT")->setSelected(true);
  ChildNamed(root, "PICTURES")->setSelected(true);
  ChildNamed(root, "_LDDIR")->setSelected(true);
  root->setSelected(false);
  Find<QToolButton>("btnSave")->click();

  // Named and timed as brindle-cli's recover names and times them; the deleted folder with
  // what it held.
  EXPECT_EQ(FilesBelow(out.path()),
            (std::set<std::string>{"TEN.TXT", "PICTURES/PHOTO.JPG", "PICTURES/ANIM.GIF", "PICTURES/CHART.PNG",
                                   "PICTURES/SKETCH.BMP", "PICTURES/BROKEN.PNG", "_LDDIR/Kept letter.txt"}));
  EXPECT_EQ(ReadFileBytes(out / "PICTURES/CHART.PNG"), PictureFile("png", 80, 60));
  const Bytes letter = ReadFileBytes(out / "_LDDIR/Kept letter.txt");
  EXPECT_EQ(std::string(letter.begin(), letter.end()), SharedDisk().letter);
  struct stat info {};
  ASSERT_EQ(::stat((out / "TEN.TXT").c_str(), &info), 0);
  EXPECT_LT(info.st_mtime, ::time(nullptr) - 86400 * 365);
  EXPECT_TRUE(boxes.shown.empty());

  ASSERT_EQ(summary.shown.size(), 1u);
  EXPECT_EQ(summary.shown[0].text.rfind("Saved 7 files (", 0), 0u) << summary.shown[0].text;
  EXPECT_EQ(opener.opened, std::vector<std::string>{"file://" + out.path()});
  // The raw records of a folder stay on the hex page.
  Select(0, {"PICTURES"});
  EXPECT_FALSE(txtHex->toPlainText().isEmpty());

  // Saved again into the same folder, nothing is replaced: the second copies are numbered, in
  // the folder the first save made.
  dialog.answers = {out.path()};
  summary.openFolder = false;
  root->setSelected(false);
  ChildNamed(root, "TEN.TXT")->setSelected(true);
  Find<QToolButton>("btnSave")->click();
  EXPECT_EQ(FilesBelow(out.path()).count("PICTURES/PHOTO (1).JPG"), 1u);
  EXPECT_EQ(FilesBelow(out.path()).count("TEN (1).TXT"), 1u);
  EXPECT_EQ(opener.opened.size(), 1u);
}

TEST_F(FrameWidgetFixture, EverythingDeletedInAVolumeOrFolderIsSavedWithTheWayToIt) {
  ScriptedFolderDialog dialog;
  RecordingSummaryBox summary;
  TempDir out;
  dialog.answers = {out.path(), out.path()};
  Select(0);
  tree->setCurrentItem(tree->topLevelItem(0));
  auto* saveDeleted = Find<QAction>("mnuSaveDeleted");
  saveDeleted->trigger();
  EXPECT_EQ(FilesBelow(out.path()), (std::set<std::string>{"partition-1/_ONE.TXT", "partition-1/_LDDIR/Kept letter.txt"}));
  ASSERT_EQ(summary.shown.size(), 1u);
  EXPECT_EQ(summary.shown[0].text.rfind("Saved 2 files (", 0), 0u) << summary.shown[0].text;
  // The walk left the entries the tree shows in place; the nodes still show them.
  ASSERT_EQ(Entry(0).children.size(), static_cast<size_t>(tree->topLevelItem(0)->child(0)->childCount()));
  Select(0, {"TEN.TXT"});
  EXPECT_EQ(InfoRows(), ExpectedRows(Entry(0, {"TEN.TXT"})));

  // A folder without deleted files says so; a file has no such command.
  Select(0, {"PICTURES"});
  saveDeleted->trigger();
  ASSERT_EQ(summary.shown.size(), 2u);
  EXPECT_NE(summary.shown[1].text.find("no deleted files"), std::string::npos) << summary.shown[1].text;
  Select(0, {"TEN.TXT"});
  saveDeleted->trigger();
  EXPECT_EQ(summary.shown.size(), 2u);
  EXPECT_EQ(dialog.prompts.size(), 2u);
}

TEST_F(FrameWidgetFixture, KeysOpenSaveAndReadAgainAndTheStatusLineFollowsTheSelection) {
  // Enter opens the folder that is current, selected or not.
  QTreeWidgetItem* root = Select(0);
  QTreeWidgetItem* pictures = ChildNamed(root, "PICTURES");
  pictures->setExpanded(false);
  tree->setCurrentItem(pictures, 0, QItemSelectionModel::NoUpdate);
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(tree, &enter);
  EXPECT_EQ(pictures->childCount(), 5);
  EXPECT_TRUE(pictures->isExpanded());

  // F5 reads it again: new nodes for the same entries.
  tree->setCurrentItem(pictures);
  QTreeWidgetItem* before = pictures->child(0);
  const std::string caption = before->text(0).toStdString();
  auto* reread = Find<QAction>("mnuReread");
  EXPECT_EQ(reread->shortcut(), QKeySequence(Qt::Key_F5));
  reread->trigger();
  ASSERT_EQ(pictures->childCount(), 5);
  EXPECT_EQ(pictures->child(0)->text(0).toStdString(), caption);
  Select(0, {"PICTURES", "CHART.PNG"});
  EXPECT_TRUE(PictureShown());

  auto* save = Find<QAction>("mnuRestoreFiles");
  EXPECT_EQ(save->shortcut(), QKeySequence(QKeySequence::Save));
  EXPECT_TRUE(frame.actions().contains(save));

  auto* status = Find<QLabel>("lblStatus");
  root = Select(0, {"TEN.TXT"});
  ChildNamed(tree->topLevelItem(0)->child(0), "ONE.TXT")->setSelected(true);
  const QString elevenBytes = QLocale().formattedDataSize(11);
  EXPECT_TRUE(status->text().startsWith("已选择 2 项") && status->text().contains(elevenBytes))
      << status->text().toStdString();
}

TEST_F(FrameWidgetFixture, ColumnsShowSizeTimeAndStateAndSortWithFoldersFirst) {
  QTreeWidgetItem* root = Select(0);
  const QStringList order = [root] {
    QStringList captions;
    for (int i = 0; i < root->childCount(); ++i) captions << root->child(i)->text(0);
    return captions;
  }();
  QTreeWidgetItem* ten = ChildNamed(root, "TEN.TXT");
  EXPECT_EQ(ten->text(1), QLocale().toString(10));
  EXPECT_EQ(ten->text(2).toStdString(), "2009/04/15, 15:52:58");
  EXPECT_EQ(ten->text(3), "现存");
  EXPECT_EQ(ChildNamed(root, "_ONE.TXT")->text(3), "已删除");
  EXPECT_EQ(ChildNamed(root, "PICTURES")->text(1), "");

  // Directory order until a header is clicked; then by that column, folders first both ways.
  EXPECT_FALSE(tree->isSortingEnabled());
  const auto sortedBySize = [&](Qt::SortOrder sortOrder) {
    tree->header()->setSortIndicator(1, sortOrder);
    emit tree->header()->sectionClicked(1);
    std::vector<std::pair<bool, uint64_t>> rows;
    for (int i = 0; i < root->childCount(); ++i) {
      const QTreeWidgetItem* child = root->child(i);
      rows.emplace_back(child->text(1).isEmpty(), child->data(1, Qt::UserRole + 2).toULongLong());
    }
    return rows;
  };
  for (const Qt::SortOrder sortOrder : {Qt::AscendingOrder, Qt::DescendingOrder}) {
    const auto rows = sortedBySize(sortOrder);
    ASSERT_EQ(static_cast<int>(rows.size()), order.size());
    size_t folders = 0;
    while (folders < rows.size() && rows[folders].first) ++folders;
    EXPECT_EQ(folders, 3u);  // PICTURES, EMPTYDIR and the deleted OLDDIR
    for (size_t i = folders + 1; i < rows.size(); ++i) {
      EXPECT_FALSE(rows[i].first);
      if (sortOrder == Qt::AscendingOrder) EXPECT_LE(rows[i - 1].second, rows[i].second) << i;
      else EXPECT_GE(rows[i - 1].second, rows[i].second) << i;
    }
  }
}

}  // namespace
