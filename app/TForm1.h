#pragma once
// The main window: a two-page wizard. The first page offers the drives of this machine and,
// on its "高级" page, a disk image file with a sector size, and the code page 8.3 names and FAT
// labels are read with; Next opens the choice read-only
// and, when it holds FAT or exFAT partitions, turns to the second page, which hosts the
// browser frame. Back returns and lets the source go. The window owns the opened source (the
// reader and the cell through which everything reaches it), the icon sets the frame uses, and
// the service that runs long operations in the background.

#include <QCoreApplication>
#include <QWidget>

#include <memory>
#include <string>

#include "app/DriveListView.h"
#include "app/SourceWizard.h"
#include "browser/ReadFaultQuestion.h"
#include "browser/frame/IconSet.h"
#include "browser/frame/QtBackground.h"
#include "fs/OpenedSource.h"

class LinkLabel;
class QCloseEvent;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class TfrmFileSystem;

inline constexpr const char* kExitQuestion = "Are you sure you want to exit?";
inline constexpr const char* kOpenImageTitle = "Open disk image";
inline constexpr const char* kImageFilter = "All Files (*.*)|*.*";

class TForm1 final : public QWidget {
  Q_DECLARE_TR_FUNCTIONS(TForm1)

 public:
  // The drive list comes from sysfsRoot, naming device files below deviceRoot.
  explicit TForm1(const std::string& sysfsRoot = kSysfsRoot, const std::string& deviceRoot = kDeviceRoot,
                  QWidget* parent = nullptr);
  // The drive list comes from drives, which opens the drive chosen.
  explicit TForm1(std::unique_ptr<DriveSource> drives, QWidget* parent = nullptr);
  ~TForm1() override;

  // Opens an image as if its path, sector size and code page had been typed on the "高级" page
  // and Next pressed, as `brindle IMAGE` asks.
  void OpenImageFile(const std::string& path, const std::string& sectorSize, const std::string& codePage = "437");

  // The source Next opened; nothing before, after Back and after a failed open.
  const OpenedSource* source() const { return source_.get(); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildSelectDrivePage();
  void BuildDriveTabs();
  QWidget* BuildButtonBar();
  void ConnectHandlers();
  SourcePage CurrentSourcePage() const;
  void RefreshDriveList();

  void btnNextClick();
  void ShowOpenedSource();
  void SearchForVolumes(SearchDepth depth);
  void btnBackClick();
  void btnRefreshClick();
  void btnBrowseClick();
  void btnAboutClick();
  void btnExitClick();
  void FormCloseQuery(QCloseEvent* event);
  bool FormKeyDown(const QKeyEvent& key);
  void pageControlMainChange();
  void lblDonateLinkClick();

  const std::unique_ptr<DriveSource> drives_;
  // What the window's own reads do with a fault: the user is asked; the log keeps them.
  AskingFaultPolicy askOnFault_;
  FaultLog browseFaults_;
  QtBackground background_{this};
  ScopedService<BackgroundService> backgroundGuard_{BackgroundSlot(), background_};
  const IconSet imgFormats_;  // imgFormats and imageListToolbars, for the browser frame
  const DriveIcons ImageList2;

  QStackedWidget* pageControlMain;
  QWidget* tsSelectDrive;
  QLabel* Label7;
  QLabel* Label2;
  QPushButton* btnRefresh;
  QTabWidget* pageControlDrives;
  QWidget* tsDriveSelect;
  DriveListView* lstDrives;
  QWidget* tsDriveAdvanced;
  QLabel* Label8;
  QLineEdit* txtImageFile;
  QPushButton* btnBrowse;
  QLabel* Label16;
  QLineEdit* txtBytesPerSector;
  QLabel* lblCodePage;
  QLineEdit* txtCodePage;
  QWidget* tsFileSystem;
  QPushButton* btnAbout;
  QLabel* Label14;
  LinkLabel* lblDonateLink;
  QPushButton* btnBack;
  QPushButton* btnNext;
  QPushButton* btnExit;
  std::unique_ptr<OpenedSource> source_;
  bool searching_ = false;  // the search for lost volumes runs on source_
  bool closing_ = false;
  // Last: its partitions read through source_ until they are gone. Exit destroys it before
  // the window.
  std::unique_ptr<TfrmFileSystem> frame_;
};
