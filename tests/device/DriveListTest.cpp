// The drive list read from a made-up sysfs tree: which devices are offered, in which group and
// order, under which caption and icon, and which device file Next would open; and the size
// text of the captions.

#include "device/DriveList.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <limits>

#include "support/FakeSysfs.h"

namespace {

TEST(DriveSizeTextTest, GigabytesFromTwoToTheThirtyOnMegabytesBelow) {
  const struct {
    uint64_t bytes;
    const char* text;
  } cases[] = {
      {160041885696, "149.05 GB"},                // a 160 GB hard disk
      {52428800000, "48.83 GB"},
      {uint64_t{1} << 30, "1 GB"},
      {(uint64_t{1} << 30) - 1, "1024 MB"},       // 1023.999... rounds up to a whole number
      {uint64_t{1536} << 20, "1.5 GB"},
      {1474560, "1.41 MB"},                       // a 3.5" floppy
      {uint64_t{128} << 10, "0.13 MB"},           // 0.125: halves round up
      {uint64_t{1019} << 10, "1 MB"},             // 0.995 and more: the next whole number
      {1023, "0 MB"},                             // whole KiB only
      {0, "0 MB"},
      {std::numeric_limits<uint64_t>::max(), "17179869184 GB"},
  };
  for (const auto& c : cases) EXPECT_EQ(DriveSizeText(c.bytes), c.text) << c.bytes;
}

struct DriveListTest : ::testing::Test {
  std::vector<std::string> Rows(const DriveListing& listing) {
    std::vector<std::string> rows;
    for (const DriveEntry& e : listing.entries) {
      std::string path = e.devicePath;
      if (path.rfind(sysfs.devices, 0) == 0) path = "DEV" + path.substr(sysfs.devices.size());
      rows.push_back(std::to_string(e.group) + " " + std::to_string(e.imageIndex) + " " + e.caption + " @ " + path);
    }
    return rows;
  }

  TempDir dir;
  FakeSysfs sysfs{dir};
};

TEST_F(DriveListTest, WholeDisksAreMediaTheirPartitionsDrivesAndNothingIsLeftThatCannotHoldAVolume) {
  sysfs.Disk("sda", 312581808).Partition("sda", "sda1", 102400000, 1).Partition("sda", "sda2", 2097152, 2);
  sysfs.Partition("sda", "sda3", 2, 3);  // the stub of an extended partition
  sysfs.Disk("sdb", 3145728, true).Partition("sdb", "sdb1", 2097151);
  sysfs.Disk("sdc", 1331200).Set("sdc", "device/type", "5");  // an optical drive known by its SCSI type
  sysfs.Disk("sr0", 0, true);                                  // no disc in it
  sysfs.Disk("sr1", 1331200, true);
  sysfs.Disk("fd0", 2880, true).Disk("fd1", 2400, true);
  sysfs.Disk("nvme0n1", 1000215216);
  for (const int n : {10, 2, 1}) sysfs.Partition("nvme0n1", "nvme0n1p" + std::to_string(n), 2048, n);
  sysfs.Disk("nvme1n1", 1000).Set("nvme1n1", "hidden", "1");
  sysfs.Disk("ram0", 8192).Disk("zram0", 8192).Disk("loop0", 8192).Disk("loop1", 2880);
  sysfs.Set("loop1", "loop/backing_file", "/home/me/floppy.img");

  const DriveListing listing = ListDrives(sysfs.root, sysfs.devices);
  EXPECT_EQ(listing.error, 0);
  EXPECT_EQ(Rows(listing), (std::vector<std::string>{
                               "0 0 3.5\" Floppy (1.41 MB) @ DEV/fd0",
                               "0 0 5.25\" Floppy (1.17 MB) @ DEV/fd1",
                               "0 1 Hard disk (1.41 MB) @ DEV/loop1",
                               "0 1 Hard disk (476.94 GB) @ DEV/nvme0n1",
                               "0 1 Hard disk (149.05 GB) @ DEV/sda",
                               "0 3 Removable media (1.5 GB) @ DEV/sdb",
                               "0 2 CD/DVD disk (650 MB) @ DEV/sdc",
                               "0 2 CD/DVD disk (650 MB) @ DEV/sr1",
                               "1 1 Drive " + sysfs.devices + "/nvme0n1p1 (1 MB) @ DEV/nvme0n1p1",
                               "1 1 Drive " + sysfs.devices + "/nvme0n1p2 (1 MB) @ DEV/nvme0n1p2",
                               "1 1 Drive " + sysfs.devices + "/nvme0n1p10 (1 MB) @ DEV/nvme0n1p10",
                               "1 1 Drive " + sysfs.devices + "/sda1 (48.83 GB) @ DEV/sda1",
                               "1 1 Drive " + sysfs.devices + "/sda2 (1 GB) @ DEV/sda2",
                               "1 3 Drive " + sysfs.devices + "/sdb1 (1024 MB) @ DEV/sdb1",
                           }));
}

TEST_F(DriveListTest, TheDeviceFileIsTheKernelsNameForItAndStaysInTheDeviceFolder) {
  sysfs.Disk("cciss!c0d0", 2048).Set("cciss!c0d0", "uevent", "MAJOR=104\nDEVNAME=cciss/c0d0");
  sysfs.Disk("sdx", 2048).Set("sdx", "uevent", "DEVNAME=../../etc/passwd");
  sysfs.Disk("sdy", 2048).Set("sdy", "uevent", "DEVNAME=/etc/passwd");
  sysfs.Disk("sdz", 2048).Set("sdz", "uevent", "MAJOR=8");
  EXPECT_EQ(Rows(ListDrives(sysfs.root, sysfs.devices)), (std::vector<std::string>{
                                                             "0 1 Hard disk (1 MB) @ DEV/cciss/c0d0",
                                                             "0 1 Hard disk (1 MB) @ DEV/sdx",
                                                             "0 1 Hard disk (1 MB) @ DEV/sdy",
                                                             "0 1 Hard disk (1 MB) @ DEV/sdz",
                                                         }));
}

// Vendor and model tell two sticks of one size apart; a partition says which disk it is on,
// a loop device which file it reads.
TEST_F(DriveListTest, DetailsNameTheVendorAndModelOfTheDiskAndTheFileOfALoopDevice) {
  sysfs.Disk("sdb", 3145728, true).Partition("sdb", "sdb1", 2097151);
  sysfs.Set("sdb", "device/vendor", "SanDisk ").Set("sdb", "device/model", "Cruzer Blade    ");
  sysfs.Disk("sdc", 2048).Set("sdc", "device/model", "QEMU HARDDISK");
  sysfs.Disk("loop3", 2880).Set("loop3", "loop/backing_file", "/home/me/floppy.img");
  std::vector<std::string> details;
  for (const DriveEntry& e : ListDrives(sysfs.root, sysfs.devices).entries) details.push_back(e.details);
  EXPECT_EQ(details, (std::vector<std::string>{"/home/me/floppy.img", "SanDisk Cruzer Blade", "QEMU HARDDISK",
                                               "SanDisk Cruzer Blade"}));
}

TEST_F(DriveListTest, SizesThatAreNoNumbersOrTooLargeLeaveTheDeviceOut) {
  sysfs.Disk("sda", 2048).Disk("sdb", 2048).Disk("sdc", 2048).Disk("sdd", 2048).Disk("sde", 2048);
  sysfs.Set("sdb", "size", "lots");
  sysfs.Set("sdc", "size", "36028797018963968");  // 2^55 units: more bytes than 64 bits hold
  sysfs.Set("sdd", "size", "-1");
  sysfs.Set("sde", "size", std::string(100000, '7'));
  EXPECT_EQ(Rows(ListDrives(sysfs.root, sysfs.devices)),
            (std::vector<std::string>{"0 1 Hard disk (1 MB) @ DEV/sda"}));
}

TEST_F(DriveListTest, AFolderThatCannotBeListedIsReportedAndListsNothing) {
  const DriveListing listing = ListDrives(dir / "no-sysfs", sysfs.devices);
  EXPECT_EQ(listing.error, ENOENT);
  EXPECT_TRUE(listing.entries.empty());
}

}  // namespace
