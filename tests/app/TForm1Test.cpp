// The main window on a made-up sysfs tree and on images made at test time: what Next, Back,
// Refresh, Browse, the exit question, F1, the donate link and `brindle IMAGE` do, and what the
// drive list shows. Message boxes and dialogs are answered by scripts.

#include "app/TForm1.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>

#include "app/Links.h"
#include "app/TfrmAbout.h"
#include "browser/frame/TfrmFileSystem.h"
#include "support/ExfatImages.h"
#include "support/FakeSysfs.h"
#include "support/FatImages.h"
#include "support/ScriptedMessageBox.h"
#include "support/ScriptedServices.h"
#include "support/ScriptedShellServices.h"
#include "support/qt/QtPrinters.h"

namespace {

// A FAT12 volume with one file, another whose label and 8.3 name mtools wrote in code page 850,
// and an image of zeros, made once.
struct Images {
  std::string fat;
  std::string zeros;
  std::string cafe;
};

const Images& SharedImages() {
  static TempDir dir;
  static const Images images = [] {
    Images made{dir / "fat12.img", dir / "zeros.img", dir / "cafe.img"};
    MtoolsVolume volume(made.fat);
    volume.Format("-F 12 -n SAMPLE", 1440);
    volume.Write("/HELLO.TXT", {'h', 'i'});
    WriteFileBytes(made.zeros, Bytes(1 << 20, 0));
    MtoolsVolume cafe(made.cafe, 0, 850);
    cafe.Format("-F 12", 1440);
    cafe.Label("CAFÉ NOËL");
    cafe.Write("/ØL.TXT", {'o', 'l'});
    return made;
  }();
  return images;
}

struct WindowTest : ::testing::Test {
  WindowTest() {
    // One disk with two partitions, an optical drive without a disc, a floppy and a USB stick.
    sysfs.Disk("sda", 312581808).Partition("sda", "sda1", 102400000, 1).Partition("sda", "sda2", 2097152, 2);
    sysfs.Disk("sr0", 0, true).Disk("fd0", 2880, true);
    sysfs.Disk("sdb", 3145728, true).Partition("sdb", "sdb1", 2097151);
  }

  void MakeWindow() {
    form = std::make_unique<TForm1>(sysfs.root, sysfs.devices);
    form->show();
  }

  template <class T>
  T* Find(const char* name) const {
    T* widget = form->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  void Click(const char* name) const { Find<QPushButton>(name)->click(); }
  QTreeWidget* Drives() const { return Find<QTreeWidget>("lstDrives"); }
  // The frame has no meta-object of its own: it is found by name.
  TfrmFileSystem* Frame() const {
    return dynamic_cast<TfrmFileSystem*>(form->findChild<QWidget*>(QStringLiteral("frmFileSystem")));
  }
  bool Browsing() const {
    return Find<QStackedWidget>("pageControlMain")->currentWidget() == Find<QWidget>("tsFileSystem");
  }
  size_t Partitions() const { return Frame() != nullptr ? Frame()->partitions().size() : 0; }

  // Selects the list entry with the caption, as a click would.
  void SelectDrive(const std::string& caption) const {
    const QList<QTreeWidgetItem*> found =
        Drives()->findItems(QString::fromStdString(caption), Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1) << caption;
    Drives()->setCurrentItem(found.front());
  }
  void ShowListPage() const { Find<QTabWidget>("pageControlDrives")->setCurrentIndex(0); }
  void ShowAdvancedPage(const std::string& image, const std::string& sectorSize = "512") const {
    Find<QTabWidget>("pageControlDrives")->setCurrentWidget(Find<QWidget>("tsDriveAdvanced"));
    Find<QLineEdit>("txtImageFile")->setText(QString::fromStdString(image));
    Find<QLineEdit>("txtBytesPerSector")->setText(QString::fromStdString(sectorSize));
  }
  void OpenFatImage() const {
    ShowAdvancedPage(SharedImages().fat);
    Click("btnNext");
    ASSERT_TRUE(Browsing());
  }
  std::string Drive(const std::string& name) const { return "Drive " + sysfs.devices + "/" + name; }

  TempDir dir;
  FakeSysfs sysfs{dir};
  ScriptedMessageBox boxes;
  ScriptedFileDialog files;
  RecordingUrlOpener urls;
  std::unique_ptr<TForm1> form;
};

TEST_F(WindowTest, TheDriveListShowsItsGroupsWithCaptionsSizesAndIcons) {
  MakeWindow();
  QTreeWidget* list = Drives();
  EXPECT_EQ(list->headerItem()->text(0), "驱动器信息");
  std::vector<std::string> rows;
  for (int g = 0; g < list->topLevelItemCount(); ++g) {
    const QTreeWidgetItem* group = list->topLevelItem(g);
    rows.push_back("[" + group->text(0).toStdString() + "]");
    EXPECT_FALSE(group->flags() & Qt::ItemIsSelectable);
    for (int i = 0; i < group->childCount(); ++i) {
      const QTreeWidgetItem* item = group->child(i);
      EXPECT_FALSE(item->icon(0).isNull()) << item->text(0).toStdString();
      rows.push_back(std::to_string(item->data(0, DriveListView::kImageRole).toInt()) + " " +
                     item->text(0).toStdString() + " @ " +
                     item->data(0, DriveListView::kPathRole).toString().toStdString() + " " +
                     std::to_string(item->data(0, DriveListView::kGroupRole).toInt()));
    }
  }
  const std::string dev = sysfs.devices;
  EXPECT_EQ(rows, (std::vector<std::string>{
                      "[Physical media]",
                      "0 3.5\" Floppy (1.41 MB) @ " + dev + "/fd0 0",
                      "1 Hard disk (149.05 GB) @ " + dev + "/sda 0",
                      "3 Removable media (1.5 GB) @ " + dev + "/sdb 0",
                      "[Logical drives]",
                      "1 " + Drive("sda1") + " (48.83 GB) @ " + dev + "/sda1 1",
                      "1 " + Drive("sda2") + " (1 GB) @ " + dev + "/sda2 1",
                      "3 " + Drive("sdb1") + " (1024 MB) @ " + dev + "/sdb1 1",
                  }));
  // Each kind has its own picture.
  const auto key = [list](int group, int row) { return list->topLevelItem(group)->child(row)->icon(0).cacheKey(); };
  EXPECT_NE(key(0, 0), key(0, 1));
  EXPECT_NE(key(0, 1), key(0, 2));
  EXPECT_EQ(key(0, 1), key(1, 0));
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(WindowTest, RefreshRebuildsTheListAndTheSelectionGoesWithTheOldEntries) {
  MakeWindow();
  SelectDrive("Hard disk (149.05 GB)");
  sysfs.Disk("sdc", 2048);
  Click("btnRefresh");
  EXPECT_EQ(Drives()->findItems("Hard disk (1 MB)", Qt::MatchExactly | Qt::MatchRecursive).size(), 1);
  EXPECT_TRUE(Drives()->selectedItems().isEmpty());
}

TEST_F(WindowTest, AListThatCannotBeReadIsReportedAndLeftEmpty) {
  std::filesystem::remove_all(sysfs.root);
  MakeWindow();
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "Failed to list the drives:\nNo such file or directory");
  EXPECT_EQ(boxes.shown[0].caption, "Error");
  EXPECT_TRUE(Drives()->topLevelItem(0)->isHidden());
  EXPECT_TRUE(Drives()->topLevelItem(1)->isHidden());
}

TEST_F(WindowTest, NextWithNothingSelectedDoesNothing) {
  MakeWindow();
  EXPECT_FALSE(Find<QPushButton>("btnBack")->isEnabled());
  EXPECT_TRUE(Find<QPushButton>("btnNext")->isEnabled());
  Click("btnNext");
  EXPECT_FALSE(Browsing());
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_FALSE((form->source() != nullptr));
}

TEST_F(WindowTest, TheListPageOpensTheSelectedDriveAsADevice) {
  // The device file of sda does not exist; that of sda1 is an image file, which a device open
  // refuses where an image open would take it.
  RunCommand("cp " + ShellQuote(SharedImages().fat) + " " + ShellQuote(sysfs.devices + "/sda1"));
  MakeWindow();
  SelectDrive("Hard disk (149.05 GB)");
  Click("btnNext");
  SelectDrive(Drive("sda1") + " (48.83 GB)");
  Click("btnNext");
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[0].text, "Failed to open the drive for reading.\nNo such file or directory");
  EXPECT_EQ(boxes.shown[1].text, "Error while getting information about the drive:\nBlock device required");
  EXPECT_EQ(boxes.shown[1].caption, "Error");
  EXPECT_FALSE(Browsing());
  EXPECT_FALSE((form->source() != nullptr));
}

TEST_F(WindowTest, TheAdvancedPageOpensTheImageWhateverTheListSelection) {
  MakeWindow();
  SelectDrive("Hard disk (149.05 GB)");
  OpenFatImage();
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(Partitions(), 1u);
  EXPECT_TRUE(Find<QPushButton>("btnBack")->isEnabled());
  EXPECT_FALSE(Find<QPushButton>("btnNext")->isEnabled());
  auto* tree = Frame()->findChild<QTreeWidget*>("treeFat");
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  QTreeWidgetItem* root = tree->topLevelItem(0)->child(0);
  ASSERT_NE(root, nullptr);
  tree->setCurrentItem(root);
  ASSERT_EQ(root->childCount(), 1);
  EXPECT_EQ(root->child(0)->text(0), "HELLO.TXT");
}

TEST_F(WindowTest, ASourceWithoutFatPartitionsIsReportedAndTheWindowStaysOnPageOne) {
  MakeWindow();
  ShowAdvancedPage(SharedImages().zeros);
  Click("btnNext");
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "The selected drive does not contain any FAT partitions.\n\n"
                                 "Search it for volumes whose partition table or boot sector was overwritten or damaged?");
  EXPECT_EQ(boxes.shown[0].caption, "Brindle");
  EXPECT_EQ(boxes.shown[0].flags, kMbYesNoQuestion);
  EXPECT_FALSE(Browsing());
  EXPECT_TRUE((form->source() != nullptr));  // until the next Next
  ShowListPage();
  Click("btnNext");
  EXPECT_FALSE((form->source() != nullptr));
  EXPECT_EQ(boxes.shown.size(), 1u);
}

TEST_F(WindowTest, BackLetsTheSourceGoAndClearsThePartitionsAndTheSelection) {
  MakeWindow();
  SelectDrive("Hard disk (149.05 GB)");
  OpenFatImage();
  Click("btnBack");
  EXPECT_FALSE(Browsing());
  EXPECT_EQ(Partitions(), 0u);
  EXPECT_FALSE((form->source() != nullptr));
  EXPECT_EQ(Frame()->findChild<QTreeWidget*>("treeFat")->topLevelItemCount(), 0);
  EXPECT_TRUE(Drives()->selectedItems().isEmpty());
  EXPECT_FALSE(Find<QPushButton>("btnBack")->isEnabled());
  EXPECT_TRUE(Find<QPushButton>("btnNext")->isEnabled());
  // The list page has nothing selected now, so Next does nothing until something is.
  ShowListPage();
  Click("btnNext");
  EXPECT_FALSE(Browsing());
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(WindowTest, TheExitQuestionAnsweredNoKeepsEverythingAndYesLetsTheWindowGo) {
  MakeWindow();
  OpenFatImage();
  boxes.answers = {kIdNo, kIdNo};
  EXPECT_FALSE(form->close());
  Click("btnExit");
  ASSERT_EQ(boxes.shown.size(), 2u);
  for (const auto& shown : boxes.shown) {
    EXPECT_EQ(shown.text, "Are you sure you want to exit?");
    EXPECT_EQ(shown.caption, "Brindle");
    EXPECT_EQ(shown.flags, kMbYesNoQuestion);
  }
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(Browsing());
  EXPECT_EQ(Partitions(), 1u);
  EXPECT_TRUE((form->source() != nullptr));

  boxes.answers = {kIdYes};
  EXPECT_TRUE(form->close());
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(Frame(), nullptr);
}

// Presses F1 on widget; the about box that opens is looked at, then closed with its OK button.
// Returns the box, which is gone by then.
QPointer<TfrmAbout> PressF1(QWidget* widget, int& boxesSeen) {
  QPointer<TfrmAbout> seen;
  QTimer::singleShot(0, [&seen, &boxesSeen] {
    auto* about = dynamic_cast<TfrmAbout*>(QApplication::activeModalWidget());
    ASSERT_NE(about, nullptr);
    ++boxesSeen;
    seen = about;
    EXPECT_EQ(about->windowTitle(), "关于...");
    about->findChild<QPushButton*>("btnOk")->click();
  });
  QKeyEvent press(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
  QApplication::sendEvent(widget, &press);
  return seen;
}

TEST_F(WindowTest, F1AnywhereOpensTheAboutBoxANewOneEachTime) {
  MakeWindow();
  int seen = 0;
  const QPointer<TfrmAbout> first = PressF1(Drives(), seen);
  EXPECT_EQ(seen, 1);
  EXPECT_TRUE(first.isNull());  // it destroyed itself when closed
  PressF1(Find<QLineEdit>("txtBytesPerSector"), seen);
  EXPECT_EQ(seen, 2);
  OpenFatImage();
  PressF1(Frame()->findChild<QTreeWidget*>("treeFat"), seen);
  EXPECT_EQ(seen, 3);
  EXPECT_TRUE(form->findChildren<QDialog*>().isEmpty());

  // Other keys go on to the control.
  QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
  ShowAdvancedPage("");
  QLineEdit* edit = Find<QLineEdit>("txtImageFile");
  QApplication::sendEvent(edit, &key);
  EXPECT_EQ(edit->text(), "a");
}

TEST_F(WindowTest, AnImageFromTheCommandLineLandsOnPageTwoWithItsPartitions) {
  MakeWindow();
  form->OpenImageFile(TestImagePath("exfat-4k.img"), "4096");
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_TRUE(Browsing());
  EXPECT_EQ(Partitions(), 1u);
  EXPECT_EQ(Frame()->partitions().front()->GetDescription().rfind("exFAT", 0), 0u)
      << Frame()->partitions().front()->GetDescription();
  // Back shows the image as it was given, on the advanced page.
  Click("btnBack");
  EXPECT_EQ(Find<QLineEdit>("txtImageFile")->text().toStdString(), TestImagePath("exfat-4k.img"));
  EXPECT_EQ(Find<QLineEdit>("txtBytesPerSector")->text(), "4096");
  EXPECT_EQ(Find<QTabWidget>("pageControlDrives")->currentWidget(), Find<QWidget>("tsDriveAdvanced"));
}

// `brindle IMAGE` names no sector size: volumes made with 4096-byte sectors are found with the
// size their boot sectors state, their trees shown, and the window says which size it used.
TEST_F(WindowTest, VolumesOfFourKiBSectorsAreReadWithTheSizeTheyState) {
  const std::string fat16 = dir / "fat16-4k.img";
  MtoolsVolume volume(fat16);
  volume.Format("-F 16 -S 4096 -n FOURK", 65536);
  volume.MakeDirectory("/DOCS");
  volume.Write("/README.TXT", {'4', 'k'});
  const struct Case {
    std::string image;
    std::string description;
    std::vector<std::string> rootNames;
  } cases[] = {
      {fat16, "FAT16 partition \"FOURK\"", {"DOCS", "README.TXT"}},
      {TestImagePath("exfat-4k.img"), "exFAT partition \"4K Sectors\"", {"hello.txt", "sub"}},
  };
  MakeWindow();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.image);
    form->OpenImageFile(c.image, "512");
    EXPECT_TRUE(boxes.shown.empty());
    ASSERT_TRUE(Browsing());
    ASSERT_EQ(Partitions(), 1u);
    EXPECT_EQ(Frame()->partitions().front()->GetDescription(), c.description);
    auto* tree = Frame()->findChild<QTreeWidget*>(QStringLiteral("treeFat"));
    QTreeWidgetItem* root = tree->topLevelItem(0)->child(0);
    tree->setCurrentItem(root);
    std::vector<std::string> names;
    for (int i = 0; i < root->childCount(); ++i) names.push_back(root->child(i)->text(0).toStdString());
    EXPECT_EQ(names, c.rootNames);
    auto* notes = Frame()->findChild<QLabel*>(QStringLiteral("lblSourceNotes"));
    ASSERT_NE(notes, nullptr);
    EXPECT_FALSE(notes->isHidden());
    EXPECT_EQ(notes->text(), "The volume uses 4096-byte sectors; reading it with that size.");
    Click("btnBack");
    EXPECT_EQ(Find<QLineEdit>("txtBytesPerSector")->text(), "4096");
  }
  // A volume that agrees with the size asked for says nothing.
  OpenFatImage();
  EXPECT_TRUE(Frame()->findChild<QLabel*>(QStringLiteral("lblSourceNotes"))->isHidden());
}

// The partition's caption and its root's first child, as the tree shows them.
std::vector<std::string> TreeCaptions(TfrmFileSystem& frame) {
  auto* tree = frame.findChild<QTreeWidget*>("treeFat");
  if (tree->topLevelItemCount() != 1) return {};
  QTreeWidgetItem* root = tree->topLevelItem(0)->child(0);
  tree->setCurrentItem(root);
  if (root->childCount() != 1) return {};
  return {tree->topLevelItem(0)->text(0).toStdString(), root->child(0)->text(0).toStdString()};
}

// A volume that the source ends inside of is opened all the same, and the window says above the
// tree that it is cut short.
TEST_F(WindowTest, AVolumeTheSourceCutsShortIsNamedAboveTheTree) {
  const std::string image = dir / "cut.img";
  MtoolsVolume volume(image);
  volume.Format("-F 16 -n CUT", 16384);
  volume.Write("/README.TXT", {'c', 'u', 't'});
  RunCommand("truncate -s 4M " + ShellQuote(image));
  MakeWindow();
  form->OpenImageFile(image, "512");
  EXPECT_TRUE(boxes.shown.empty());
  ASSERT_TRUE(Browsing());
  EXPECT_EQ(TreeCaptions(*Frame()), (std::vector<std::string>{"FAT16 partition \"CUT\"", "README.TXT"}));
  auto* notes = Frame()->findChild<QLabel*>(QStringLiteral("lblSourceNotes"));
  ASSERT_NE(notes, nullptr);
  EXPECT_FALSE(notes->isHidden());
  const std::string text = notes->text().toStdString();
  EXPECT_EQ(text.rfind("Partition 1: The source ends inside the volume: ", 0), 0u) << text;
  EXPECT_NE(text.find(" clusters lie beyond its end, and what they hold is missing."), std::string::npos) << text;
}

TEST_F(WindowTest, TheCodePageBesideTheSectorSizeDecidesHowShortNamesAndLabelsRead) {
  MakeWindow();
  auto* codePage = Find<QLineEdit>("txtCodePage");
  EXPECT_EQ(codePage->text(), "437");
  EXPECT_EQ(Find<QLabel>("lblCodePage")->text(), "代码页:");
  EXPECT_TRUE(Find<QWidget>("tsDriveAdvanced")->isAncestorOf(codePage));

  ShowAdvancedPage(SharedImages().cafe);
  Click("btnNext");
  ASSERT_TRUE(Browsing());
  EXPECT_EQ(TreeCaptions(*Frame()), (std::vector<std::string>{"FAT12 partition \"CAFÉ NO╙L\"", "¥L.TXT"}));
  Click("btnBack");
  codePage->setText("850");
  Click("btnNext");
  ASSERT_TRUE(Browsing());
  EXPECT_EQ(TreeCaptions(*Frame()), (std::vector<std::string>{"FAT12 partition \"CAFÉ NOËL\"", "ØL.TXT"}));
  EXPECT_TRUE(boxes.shown.empty());

  // A code page that cannot be used is a warning; nothing is opened.
  Click("btnBack");
  codePage->setText("utf-8");
  Click("btnNext");
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text.rfind("The code page \"utf-8\" (UTF-8) stores characters in more than one byte", 0),
            0u)
      << boxes.shown[0].text;
  EXPECT_EQ(boxes.shown[0].flags, kMbOkWarning);
  EXPECT_FALSE(Browsing());
  EXPECT_EQ(form->source(), nullptr);

  // `brindle IMAGE --codepage 850` fills the field as well.
  form->OpenImageFile(SharedImages().cafe, "512", "ibm-850");
  ASSERT_TRUE(Browsing());
  EXPECT_EQ(codePage->text(), "ibm-850");
  EXPECT_EQ(TreeCaptions(*Frame()), (std::vector<std::string>{"FAT12 partition \"CAFÉ NOËL\"", "ØL.TXT"}));
}

TEST_F(WindowTest, BrowseTakesTheChosenFileAndCancelLeavesTheText) {
  MakeWindow();
  files.answers = {std::string("/images/card.img"), std::nullopt};
  Click("btnBrowse");
  EXPECT_EQ(Find<QLineEdit>("txtImageFile")->text(), "/images/card.img");
  Click("btnBrowse");
  EXPECT_EQ(Find<QLineEdit>("txtImageFile")->text(), "/images/card.img");
  ASSERT_EQ(files.asked.size(), 2u);
  EXPECT_EQ(files.asked[0].title, "Open disk image");
  EXPECT_EQ(files.asked[0].nameFilters, std::vector<std::string>{"All Files (*)"});
}

void ClickLabel(QWidget* label) {
  const QPointF centre = QRectF(label->rect()).center();
  QMouseEvent press(QEvent::MouseButtonPress, centre, label->mapToGlobal(centre), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, centre, label->mapToGlobal(centre), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(label, &press);
  QApplication::sendEvent(label, &release);
}

TEST_F(WindowTest, TheDonateLinkOpensItsAddressWithTheHandCursor) {
  MakeWindow();
  auto* link = Find<QWidget>("lblDonateLink");
  EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(link->toolTip(), kDonateAddress);
  ClickLabel(link);
  EXPECT_EQ(urls.opened, std::vector<std::string>{kDonateAddress});
}

}  // namespace
