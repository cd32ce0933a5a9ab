#pragma once
// The sources the first page of the wizard offers: the whole disks of this machine as physical
// media and their partitions as logical drives, each with a caption that names its kind and
// size. The list is read from sysfs without opening any device, so listing needs no
// privileges; a device is opened only when the user picks it.

#include <cstdint>
#include <string>
#include <vector>

// The groups of the list, by id, in the order they are shown.
enum DriveGroup : int {
  kGroupPhysicalMedia = 0,
  kGroupLogicalDrives = 1,
};
inline constexpr const char* kPhysicalMediaHeader = "Physical media";
inline constexpr const char* kLogicalDrivesHeader = "Logical drives";

// Icons of the list (the main window's ImageList2). A floppy keeps the index a new entry has.
enum DriveImage : int {
  kDriveImageFloppy = 0,
  kDriveImageHardDisk = 1,
  kDriveImageOptical = 2,
  kDriveImageRemovable = 3,
};

struct DriveEntry {
  std::string caption;     // "Hard disk (149.05 GB)", "Drive /dev/sda1 (48.83 GB)"
  std::string devicePath;  // what Next opens: "/dev/sda"
  int group = kGroupPhysicalMedia;
  int imageIndex = kDriveImageHardDisk;
};

struct DriveListing {
  std::vector<DriveEntry> entries;  // physical media, then logical drives, each in name order
  int error = 0;                    // errno when the block devices could not be listed at all
};

// Where the kernel describes its block devices, and where their device files are.
inline constexpr const char* kSysfsRoot = "/sys";
inline constexpr const char* kDeviceRoot = "/dev";

// Lists the block devices described under sysfsRoot/class/block, naming their device files
// below deviceRoot. Left out: devices of size 0 (such as an optical drive without a disc), RAM
// disks, zram, loop devices without a backing file, hidden devices, and partitions of fewer
// than four sectors (the stub of an extended partition), which cannot hold a volume.
DriveListing ListDrives(const std::string& sysfsRoot = kSysfsRoot, const std::string& deviceRoot = kDeviceRoot);

// A size as the list shows it: "149.05 GB" from 2^30 bytes on, else "1024 MB", in units of
// 1024, truncated to whole KiB (MiB for GB) before the two decimals are rounded.
std::string DriveSizeText(uint64_t bytes);
