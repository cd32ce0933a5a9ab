#include "app/TForm1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTabWidget>

#include "app/LinkLabel.h"
#include "app/Links.h"
#include "app/ProductName.h"
#include "app/TfrmAbout.h"
#include "browser/frame/TfrmFileSystem.h"
#include "device/SystemError.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/UrlOpener.h"
#include "platform/WaitCursor.h"
#include "platform/qt/Widgets.h"

namespace {

constexpr int kClientWidth = 715;
constexpr int kClientHeight = 583;

// A button with a glyph from the desktop's theme, or the style's own.
QPushButton* GlyphButton(const char* name, const QString& caption, const char* themeIcon,
                         QStyle::StandardPixmap fallback, QWidget* parent) {
  auto* button = Named(new QPushButton(caption, parent), name);
  button->setIcon(QIcon::fromTheme(QString::fromLatin1(themeIcon), parent->style()->standardIcon(fallback)));
  return button;
}

}  // namespace

TForm1::TForm1(const std::string& sysfsRoot, const std::string& deviceRoot, QWidget* parent)
    : TForm1(std::make_unique<SysfsDrives>(sysfsRoot, deviceRoot), parent) {}

TForm1::TForm1(std::unique_ptr<DriveSource> drives, QWidget* parent) : QWidget(parent), drives_(std::move(drives)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QCoreApplication::translate("ProductName", kLocalizedProductName));
  setWindowIcon(QIcon(QStringLiteral(":/brindle.png")));
  auto* layout = new QVBoxLayout(this);
  pageControlMain = Named(new QStackedWidget(this), "pageControlMain");
  BuildSelectDrivePage();
  tsFileSystem = Named(new QWidget(pageControlMain), "tsFileSystem");
  pageControlMain->addWidget(tsSelectDrive);
  pageControlMain->addWidget(tsFileSystem);
  layout->addWidget(pageControlMain, 1);
  layout->addWidget(BuildButtonBar());

  RefreshDriveList();
  frame_ = std::make_unique<TfrmFileSystem>(imgFormats_, tsFileSystem);
  frame_->setObjectName(QStringLiteral("frmFileSystem"));
  auto* frameLayout = new QVBoxLayout(tsFileSystem);
  frameLayout->setContentsMargins(0, 0, 0, 0);
  frameLayout->addWidget(frame_.get());

  ConnectHandlers();
  pageControlMain->setCurrentWidget(tsSelectDrive);
  pageControlMainChange();
  // The design's size, or what fits a small screen (a netbook's 1024 × 600).
  ResizeToFitScreen(this, QSize(Scaled(this, kClientWidth), Scaled(this, kClientHeight)));
  // Key preview: the window sees every key pressed in it before the focused control does.
  qApp->installEventFilter(this);
}

TForm1::~TForm1() = default;

void TForm1::BuildSelectDrivePage() {
  tsSelectDrive = Named(new QWidget(pageControlMain), "tsSelectDrive");
  auto* layout = new QGridLayout(tsSelectDrive);
  layout->setContentsMargins(0, 0, 0, 0);
  Label7 = Named(new QLabel(tr("Brindle是一种简单而直观的工具，分析和浏览所有类型的FAT分区，"
                                           "包括FAT12 ，使用FAT16 ， FAT32和exFAT "),
                            tsSelectDrive),
                 "Label7");
  Label7->setWordWrap(true);
  Label2 = Named(new QLabel(tr("选取下列其中一个驱动器进行分析，然后单击下一步："), tsSelectDrive), "Label2");
  btnRefresh = GlyphButton("btnRefresh", tr("刷新列表(&R)"), "view-refresh", QStyle::SP_BrowserReload,
                           tsSelectDrive);
  BuildDriveTabs();
  layout->addWidget(Label7, 0, 0, 1, 2);
  layout->addWidget(Label2, 1, 0);
  layout->addWidget(btnRefresh, 1, 1);
  layout->addWidget(pageControlDrives, 2, 0, 1, 2);
  layout->setRowStretch(2, 1);
  layout->setColumnStretch(0, 1);
}

void TForm1::BuildDriveTabs() {
  pageControlDrives = Named(new QTabWidget(tsSelectDrive), "pageControlDrives");
  tsDriveSelect = Page(pageControlDrives, "tsDriveSelect", tr("选择磁盘扫描"));
  auto* listLayout = new QVBoxLayout(tsDriveSelect);
  lstDrives = Named(new DriveListView(ImageList2, tsDriveSelect), "lstDrives");
  listLayout->addWidget(lstDrives);

  tsDriveAdvanced = Page(pageControlDrives, "tsDriveAdvanced", tr("高级"));
  auto* advanced = new QGridLayout(tsDriveAdvanced);
  Label8 = Named(new QLabel(tr("选择磁盘映像文件扫描:"), tsDriveAdvanced), "Label8");
  txtImageFile = Named(new QLineEdit(tsDriveAdvanced), "txtImageFile");
  btnBrowse = Named(new QPushButton(tr("浏览……"), tsDriveAdvanced), "btnBrowse");
  Label16 = Named(new QLabel(tr("字节/区段:"), tsDriveAdvanced), "Label16");
  txtBytesPerSector = Named(new QLineEdit(QStringLiteral("512"), tsDriveAdvanced), "txtBytesPerSector");
  txtBytesPerSector->setMaximumWidth(Scaled(this, 80));
  lblCodePage = Named(new QLabel(tr("代码页:"), tsDriveAdvanced), "lblCodePage");
  txtCodePage = Named(new QLineEdit(QStringLiteral("437"), tsDriveAdvanced), "txtCodePage");
  txtCodePage->setMaximumWidth(Scaled(this, 120));
  txtCodePage->setToolTip(tr("短文件名 (8.3) 和 FAT 卷标的 OEM 代码页：437、850、1252 ……"));
  lblCodePage->setBuddy(txtCodePage);
  auto* sectorAndCodePage = new QHBoxLayout;
  sectorAndCodePage->addWidget(txtBytesPerSector);
  sectorAndCodePage->addSpacing(Scaled(this, 16));
  sectorAndCodePage->addWidget(lblCodePage);
  sectorAndCodePage->addWidget(txtCodePage);
  sectorAndCodePage->addStretch(1);
  advanced->addWidget(Label8, 0, 0, 1, 3);
  advanced->addWidget(txtImageFile, 1, 0, 1, 2);
  advanced->addWidget(btnBrowse, 1, 2);
  advanced->addWidget(Label16, 2, 0);
  advanced->addLayout(sectorAndCodePage, 2, 1);
  advanced->setColumnStretch(1, 1);
  advanced->setRowStretch(3, 1);
}

QWidget* TForm1::BuildButtonBar() {
  auto* bar = new QWidget(this);
  auto* layout = new QHBoxLayout(bar);
  layout->setContentsMargins(0, 0, 0, 0);
  btnAbout = GlyphButton("btnAbout", tr("关于..."), "help-about", QStyle::SP_MessageBoxInformation, bar);
  Label14 = Named(new QLabel(tr("觉得Brindle 有用吗?"), bar), "Label14");
  lblDonateLink = Named(new LinkLabel(tr("捐赠作者!"), QString::fromLatin1(kDonateAddress), bar),
                        "lblDonateLink");
  QFont bold = lblDonateLink->font();
  bold.setBold(true);
  lblDonateLink->setFont(bold);
  btnBack = GlyphButton("btnBack", tr("上一步"), "go-previous", QStyle::SP_ArrowBack, bar);
  btnNext = GlyphButton("btnNext", tr("下一步"), "go-next", QStyle::SP_ArrowForward, bar);
  btnExit = GlyphButton("btnExit", tr("退出"), "application-exit", QStyle::SP_DialogCloseButton, bar);
  layout->addWidget(btnAbout);
  layout->addWidget(Label14);
  layout->addWidget(lblDonateLink);
  layout->addStretch(1);
  layout->addWidget(btnBack);
  layout->addWidget(btnNext);
  layout->addWidget(btnExit);
  return bar;
}

void TForm1::ConnectHandlers() {
  connect(btnNext, &QPushButton::clicked, this, &TForm1::btnNextClick);
  connect(btnBack, &QPushButton::clicked, this, &TForm1::btnBackClick);
  connect(btnRefresh, &QPushButton::clicked, this, &TForm1::btnRefreshClick);
  connect(btnBrowse, &QPushButton::clicked, this, &TForm1::btnBrowseClick);
  connect(btnAbout, &QPushButton::clicked, this, &TForm1::btnAboutClick);
  connect(btnExit, &QPushButton::clicked, this, &TForm1::btnExitClick);
  lblDonateLink->onClick = [this] { lblDonateLinkClick(); };
}

void TForm1::OpenImageFile(const std::string& path, const std::string& sectorSize, const std::string& codePage) {
  txtImageFile->setText(QString::fromStdString(path));
  txtBytesPerSector->setText(QString::fromStdString(sectorSize));
  txtCodePage->setText(QString::fromStdString(codePage));
  pageControlDrives->setCurrentWidget(tsDriveAdvanced);
  btnNextClick();
}

SourcePage TForm1::CurrentSourcePage() const {
  SourcePage page;
  page.driveListShown = pageControlDrives->currentWidget() == tsDriveSelect;
  page.selectedDrive = lstDrives->SelectedEntry();
  page.imageFile = txtImageFile->text().toStdString();
  page.bytesPerSector = txtBytesPerSector->text().toStdString();
  page.codePage = txtCodePage->text().toStdString();
  page.drives = drives_.get();
  return page;
}

void TForm1::RefreshDriveList() {
  WaitCursor wait;
  const DriveListing listing = drives_->List();
  lstDrives->SetEntries(listing.entries);
  if (listing.error != 0) {
    ShowMessageBox("Failed to list the drives:\n" + SystemErrorText(listing.error), kErrorCaption, kMbOkWarning);
  }
}

void TForm1::btnNextClick() {
  if (pageControlMain->currentWidget() != tsSelectDrive || !frame_ || searching_) return;
  // The source opened last goes first, whatever becomes of this one.
  frame_->ClearPartitions();
  source_.reset();
  OpenSettings settings;
  settings.faultPolicy = &askOnFault_;
  settings.faultLog = &browseFaults_;
  OpenedChoice opened = OpenChosenSource(CurrentSourcePage(), settings,
                                         [this](OpenedSource& source) { frame_->ScanPartitions(source); });
  source_ = std::move(opened.source);
  if (opened.result == OpenResult::kSearchAccepted) SearchForVolumes(SearchDepth::kBoundaries);
  if (opened.result == OpenResult::kPartitionsFound) ShowOpenedSource();
}

// The source's volumes in the browser, on the second page.
void TForm1::ShowOpenedSource() {
  // The size the volumes were found with is the one the page shows when the user comes back.
  if (source_->detectedSectorSize()) txtBytesPerSector->setText(QString::number(*source_->detectedSectorSize()));
  std::vector<std::string> notes = MediumNotes(*source_);
  for (std::string& note : source_->Notes("a sector size of ")) notes.push_back(std::move(note));
  frame_->ShowSourceNotes(notes);
  pageControlMain->setCurrentWidget(tsFileSystem);
  pageControlMainChange();
  frame_->FillTree();
}

// The search for lost volumes on a source without volumes, in the background; Next waits for
// it. When the boundaries hold none, every sector is offered.
void TForm1::SearchForVolumes(SearchDepth depth) {
  searching_ = true;
  btnNext->setEnabled(false);
  const OpenedSource* searched = source_.get();
  SearchSource(*source_, depth, [this, depth, searched](SearchOutcome outcome) {
    searching_ = false;
    pageControlMainChange();
    if (source_.get() != searched || closing_) return;  // the window is closing
    if (outcome.found != 0) {
      frame_->ScanPartitions(*source_);
      ShowOpenedSource();
    } else if (!outcome.cancelled && depth == SearchDepth::kBoundaries &&
               ShowMessageBox(kDeepSearchOffer, kApplicationTitle, kMbYesNoQuestion) == kIdYes) {
      SearchForVolumes(SearchDepth::kEverySector);
    } else if (!outcome.cancelled) {
      ShowMessageBox(source_->NoPartitionsMessage(), kApplicationTitle, kMbOkWarning);
    }
  });
}

void TForm1::btnBackClick() {
  if (pageControlMain->currentWidget() != tsFileSystem) return;
  if (frame_) frame_->ClearPartitions();
  source_.reset();
  pageControlMain->setCurrentWidget(tsSelectDrive);
  pageControlMainChange();
}

void TForm1::btnRefreshClick() { RefreshDriveList(); }

void TForm1::btnBrowseClick() {
  if (const std::optional<std::string> file = ChooseFileToOpen(kOpenImageTitle, kImageFilter)) {
    txtImageFile->setText(QString::fromStdString(*file));
  }
}

void TForm1::btnAboutClick() {
  auto* about = new TfrmAbout(this);  // it destroys itself when closed
  about->exec();
}

void TForm1::btnExitClick() { close(); }

void TForm1::closeEvent(QCloseEvent* event) { FormCloseQuery(event); }

void TForm1::FormCloseQuery(QCloseEvent* event) {
  if (ShowMessageBox(kExitQuestion, kApplicationTitle, kMbYesNoQuestion) != kIdYes) {
    event->ignore();
    return;
  }
  // A search for lost volumes on the source ends first (ClearPartitions waits for it).
  closing_ = true;
  if (frame_) {
    frame_->ClearPartitions();
    frame_.reset();
  }
  source_.reset();
  event->accept();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->window() == this) {
    return FormKeyDown(static_cast<const QKeyEvent&>(*event));
  }
  return QWidget::eventFilter(watched, event);
}

// F1 anywhere in the window opens the about box; other keys go on to their control.
bool TForm1::FormKeyDown(const QKeyEvent& key) {
  if (key.key() != Qt::Key_F1) return false;
  btnAboutClick();
  return true;
}

void TForm1::pageControlMainChange() {
  const bool selecting = pageControlMain->currentWidget() == tsSelectDrive;
  if (selecting) lstDrives->clearSelection();
  btnBack->setEnabled(!selecting);
  btnNext->setEnabled(selecting && !searching_);
}

void TForm1::lblDonateLinkClick() { OpenUrl(lblDonateLink->toolTip().toStdString()); }
