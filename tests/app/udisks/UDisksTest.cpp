// The drive list and the opening of drives through UDisks2, against a stand-in for the service
// (python3-dbusmock with udisks2.py beside this file) on a private bus: what the list shows,
// a descriptor handed over and read, authorization refused or dismissed, an older service
// without OpenDevice; and the sysfs list where no UDisks2 answers.

#include "app/udisks/UDisksDrives.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QStackedWidget>
#include <QThread>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "app/SourceWizard.h"
#include "app/TForm1.h"
#include "support/FakeSysfs.h"
#include "support/FatImages.h"
#include "support/LoopDevice.h"
#include "support/ScriptedMessageBox.h"

namespace {

// A bus of the test's own, with the stand-in for UDisks2 on it when asked.
class PrivateBus {
 public:
  PrivateBus() {
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                   QStringLiteral("--address=unix:path=") + QString::fromStdString(dir_ / "bus")});
    if (!daemon_.waitForReadyRead(10'000)) return;
    address_ = QString::fromUtf8(daemon_.readLine().trimmed());
    bus_ = QDBusConnection::connectToBus(address_, kName);
  }
  ~PrivateBus() {
    QDBusConnection::disconnectFromBus(kName);
    for (QProcess* process : {&udisks_, &daemon_}) {
      process->kill();
      process->waitForFinished();
    }
  }

  QDBusConnection bus() const { return bus_; }
  bool connected() const { return bus_.isConnected(); }

  // Starts the stand-in with the template's parameters (JSON); true once its name is taken.
  bool StartUDisks(const std::string& parameters) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
    udisks_.setProcessEnvironment(environment);
    udisks_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    udisks_.start(QStringLiteral(BRINDLE_PYTHON3),
                  {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--session"),
                   QStringLiteral("--template"), QStringLiteral(BRINDLE_UDISKS_MOCK), QStringLiteral("-p"),
                   QString::fromStdString(parameters)});
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 20'000 && udisks_.state() != QProcess::NotRunning) {
      if (bus_.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.UDisks2"))) return true;
      QThread::msleep(50);
    }
    return false;
  }

 private:
  static inline const QString kName = QStringLiteral("brindle-test-bus");
  TempDir dir_;
  QProcess daemon_;
  QProcess udisks_;
  QString address_;
  QDBusConnection bus_{QStringLiteral("not-connected")};
};

// One entry a row: group, image, caption, device file, details with "|" for a new line.
std::vector<std::string> Rows(const DriveListing& listing) {
  std::vector<std::string> rows;
  for (const DriveEntry& e : listing.entries) {
    std::string details = e.details;
    std::replace(details.begin(), details.end(), '\n', '|');
    rows.push_back(std::to_string(e.group) + " " + std::to_string(e.imageIndex) + " " + e.caption + " @ " +
                   e.devicePath + " [" + details + "]");
  }
  return rows;
}

const DriveEntry* EntryFor(const DriveListing& listing, const std::string& devicePath) {
  for (const DriveEntry& e : listing.entries) {
    if (e.devicePath == devicePath) return &e;
  }
  return nullptr;
}

struct UDisksTest : ::testing::Test {
  void SetUp() override {
    if (!bus.connected()) GTEST_SKIP() << "dbus-daemon cannot start a private bus here";
  }
  void StartUDisks(const std::string& parameters) {
    if (!bus.StartUDisks(parameters)) FAIL() << "the stand-in for UDisks2 did not start (python3-dbusmock)";
  }

  PrivateBus bus;
  ScriptedMessageBox boxes;
};

TEST_F(UDisksTest, TheListShowsTheServicesDrivesInTheirGroupsWithKindSizeAndWhatTellsThemApart) {
  ASSERT_NO_FATAL_FAILURE(StartUDisks(R"({
    "drives": [
      {"id": "ssd", "Vendor": "ATA", "Model": "Samsung SSD 860", "Size": 160041885696},
      {"id": "stick", "Vendor": "SanDisk", "Model": "Cruzer Blade", "Removable": true},
      {"id": "dvd", "Vendor": "HL-DT-ST", "Model": "DVDRAM GH24NSD1", "Removable": true,
       "MediaRemovable": true, "MediaCompatibility": ["optical_cd", "optical_dvd"]},
      {"id": "empty", "Model": "BD-RE", "Optical": true, "MediaRemovable": true},
      {"id": "floppy", "Media": "floppy", "MediaCompatibility": ["floppy"], "MediaRemovable": true},
      {"id": "reader", "Model": "SD Card Reader", "MediaRemovable": true}
    ],
    "blocks": [
      {"name": "sda", "drive": "ssd", "size": 160041885696},
      {"name": "sda1", "drive": "ssd", "table": "sda", "size": 52428800000, "label": "WINDOWS", "type": "ntfs"},
      {"name": "sda2", "drive": "ssd", "table": "sda", "number": 2, "size": 1024},
      {"name": "sdb", "drive": "stick", "size": 1610612736},
      {"name": "sdb1", "drive": "stick", "table": "sdb", "size": 1610579968, "label": "CAMERA", "type": "vfat"},
      {"name": "sr0", "drive": "dvd", "size": 681574400},
      {"name": "sr1", "drive": "empty", "size": 0},
      {"name": "fd0", "drive": "floppy", "size": 1474560},
      {"name": "mmcblk0", "drive": "reader", "size": 0},
      {"name": "loop0", "size": 1474560, "backing_file": "/home/me/card.img"},
      {"name": "loop1", "size": 8192, "backing_file": ""},
      {"name": "dm-0", "size": 1000000000, "ignore": true},
      {"name": "zram0", "size": 8589934592}
    ]})"));
  DesktopDrives drives(bus.bus(), "/nonexistent/sys");
  const DriveListing listing = drives.List();
  EXPECT_TRUE(drives.throughUDisks());
  EXPECT_EQ(listing.error, 0);
  EXPECT_EQ(Rows(listing), (std::vector<std::string>{
                               "0 0 3.5\" Floppy (1.41 MB) @ /dev/fd0 []",
                               "0 1 Hard disk (1.41 MB) @ /dev/loop0 [/home/me/card.img]",
                               "0 1 Hard disk (149.05 GB) @ /dev/sda [ATA Samsung SSD 860]",
                               "0 3 Removable media (1.5 GB) @ /dev/sdb [SanDisk Cruzer Blade]",
                               "0 2 CD/DVD disk (650 MB) @ /dev/sr0 [HL-DT-ST DVDRAM GH24NSD1]",
                               "1 1 Drive /dev/sda1 (48.83 GB) @ /dev/sda1 [WINDOWS|ntfs|ATA Samsung SSD 860]",
                               "1 3 Drive /dev/sdb1 (1.5 GB) @ /dev/sdb1 [CAMERA|vfat|SanDisk Cruzer Blade]",
                           }));
  EXPECT_TRUE(boxes.shown.empty());
}

// Next on a drive of the service's list: the service opens it (the device files named here do
// not exist, so only its descriptor can be read) or says why not, and the user is told.
TEST_F(UDisksTest, NextReadsTheDescriptorTheServiceHandsOverAndTellsWhyWhenItRefuses) {
  TempDir images;
  const std::string image = images / "card.img";
  MtoolsVolume volume(image);
  volume.Format("-F 12 -n CARD", 1440);
  volume.Write("/HELLO.TXT", {'h', 'i'});
  LoopDevice loop(image);

  const std::string busy = "Error opening /dev/brindle-busy: Device or resource busy";
  const struct {
    const char* name;
    std::string block;  // the template's parameters of the drive's block object
    OpenResult result;
    std::string text;
    const char* caption;
  } cases[] = {
      {"brindle-card", R"({"name": "brindle-card", "size": 1474560, "open": {"file": ")" + loop.path() + R"("}})",
       OpenResult::kPartitionsFound, "", ""},
      {"brindle-old", R"({"name": "brindle-old", "size": 1474560, "old": true, "open": {"file": ")" + loop.path() +
                          R"("}})",
       OpenResult::kPartitionsFound, "", ""},
      {"brindle-file", R"({"name": "brindle-file", "size": 1474560, "open": {"file": ")" + image + R"("}})",
       OpenResult::kNotOpened, "Error while getting information about the drive:\nBlock device required", "Error"},
      {"brindle-dismissed",
       R"({"name": "brindle-dismissed", "size": 1474560, "open": {"error": "org.freedesktop.UDisks2.Error.NotAuthorizedDismissed", "message": "The authentication dialog was dismissed"}})",
       OpenResult::kNotOpened,
       "The drive \"/dev/brindle-dismissed\" was not opened: the request for leave to read it was dismissed.",
       "Brindle"},
      {"brindle-refused",
       R"({"name": "brindle-refused", "size": 1474560, "open": {"error": "org.freedesktop.UDisks2.Error.NotAuthorized", "message": "Not authorized to perform operation"}})",
       OpenResult::kNotOpened,
       "You are not allowed to read the drive \"/dev/brindle-refused\".\nNot authorized to perform operation",
       "Brindle"},
      {"brindle-busy",
       R"({"name": "brindle-busy", "size": 1474560, "open": {"error": "org.freedesktop.UDisks2.Error.Failed", "message": ")" +
           busy + R"("}})",
       OpenResult::kNotOpened, "Failed to open the drive for reading.\n" + busy, "Error"},
  };
  std::string blocks;
  for (const auto& c : cases) blocks += (blocks.empty() ? "" : ",") + c.block;
  ASSERT_NO_FATAL_FAILURE(StartUDisks(R"({"blocks": [)" + blocks + "]}"));

  DesktopDrives drives(bus.bus(), "/nonexistent/sys");
  const DriveListing listing = drives.List();
  for (const auto& c : cases) {
    if (c.result == OpenResult::kPartitionsFound && loop.path().empty()) continue;  // needs root and the loop driver
    boxes.shown.clear();
    SourcePage page;
    page.drives = &drives;
    const DriveEntry* entry = EntryFor(listing, std::string("/dev/") + c.name);
    ASSERT_NE(entry, nullptr) << c.name;
    page.selectedDrive = *entry;
    int scans = 0;
    const OpenedChoice opened = OpenChosenSource(page, {}, [&](OpenedSource&) { ++scans; });
    EXPECT_EQ(opened.result, c.result) << c.name;
    if (c.result == OpenResult::kPartitionsFound) {
      EXPECT_TRUE(boxes.shown.empty()) << c.name << ": " << boxes.shown.front().text;
      ASSERT_NE(opened.source, nullptr);
      EXPECT_EQ(opened.source->partitions().size(), 1u) << c.name;
      EXPECT_EQ(opened.source->choice().path, entry->devicePath);
      EXPECT_EQ(scans, 1);
      continue;
    }
    EXPECT_EQ(opened.source, nullptr) << c.name;
    ASSERT_EQ(boxes.shown.size(), 1u) << c.name;
    EXPECT_EQ(boxes.shown[0].text, c.text) << c.name;
    EXPECT_EQ(boxes.shown[0].caption, c.caption) << c.name;
    EXPECT_EQ(boxes.shown[0].flags, kMbOkWarning) << c.name;
  }
}

// The window asks its drive source: a drive the service refuses is reported and the window
// stays on its first page; the entry says what the service knows of the drive.
TEST_F(UDisksTest, TheWindowListsTheServicesDrivesAndReportsARefusal) {
  ASSERT_NO_FATAL_FAILURE(StartUDisks(R"({
    "drives": [{"id": "stick", "Vendor": "SanDisk", "Model": "Cruzer Blade", "Removable": true}],
    "blocks": [{"name": "sdb", "drive": "stick", "size": 1610612736,
                "open": {"error": "org.freedesktop.UDisks2.Error.NotAuthorizedDismissed", "message": "dismissed"}}]})"));
  TForm1 form(std::make_unique<DesktopDrives>(bus.bus(), "/nonexistent/sys"));
  auto* list = form.findChild<QTreeWidget*>(QStringLiteral("lstDrives"));
  ASSERT_NE(list, nullptr);
  const QList<QTreeWidgetItem*> found =
      list->findItems(QStringLiteral("Removable media (1.5 GB)"), Qt::MatchExactly | Qt::MatchRecursive);
  ASSERT_EQ(found.size(), 1);
  EXPECT_EQ(found.front()->toolTip(0), QStringLiteral("SanDisk Cruzer Blade\n/dev/sdb"));
  list->setCurrentItem(found.front());
  form.findChild<QPushButton*>(QStringLiteral("btnNext"))->click();
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "The drive \"/dev/sdb\" was not opened: the request for leave to read it was dismissed.");
  const auto* pages = form.findChild<QStackedWidget*>(QStringLiteral("pageControlMain"));
  EXPECT_EQ(pages->currentWidget()->objectName(), QStringLiteral("tsSelectDrive"));
  EXPECT_EQ(form.source(), nullptr);
}

// A bus on which no UDisks2 answers, and no bus at all: the list is sysfs's, and a drive is
// opened by its device file.
TEST_F(UDisksTest, WithoutTheServiceTheListComesFromSysfsAndDrivesOpenByTheirDeviceFiles) {
  TempDir dir;
  FakeSysfs sysfs(dir);
  sysfs.Disk("sda", 312581808).Partition("sda", "sda1", 102400000, 1);
  const DriveListing expected = ListDrives(sysfs.root, sysfs.devices);
  ASSERT_EQ(expected.entries.size(), 2u);
  for (const QDBusConnection& connection : {bus.bus(), QDBusConnection(QStringLiteral("no-such-bus"))}) {
    DesktopDrives drives(connection, sysfs.root, sysfs.devices);
    EXPECT_EQ(Rows(drives.List()), Rows(expected));
    EXPECT_FALSE(drives.throughUDisks());
    EXPECT_EQ(drives.Open(expected.entries[0]).kind, DriveOpening::Kind::kByPath);
  }
  EXPECT_TRUE(boxes.shown.empty());
}

}  // namespace
