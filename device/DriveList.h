#pragma once
// The sources the first page of the wizard offers: the whole disks of this machine as physical
// media and their partitions as logical drives, each with a caption that names its kind and
// size. The list is read from sysfs without opening any device, so listing needs no
// privileges; a device is opened only when the user picks it. A desktop service that knows the
// drives (UDisks2) describes them in the same facts, which make the same entries.

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
  // What else tells the drive apart, one item a line: vendor and model, a volume's label and
  // file system type, a loop device's file. Shown beside the caption, not in it.
  std::string details;
};

// What kind of medium a whole disk is.
enum class MediaKind { kHardDisk, kRemovable, kOptical, kFloppy };

// One block device as a list source learnt it.
struct BlockFacts {
  std::string name;        // the kernel's name (sda, sda1, nvme0n1p2), by which entries are ordered
  std::string devicePath;  // its device file
  uint64_t bytes = 0;
  bool isPartition = false;
  MediaKind kind = MediaKind::kHardDisk;  // of the disk, for a partition its disk's
  uint64_t diskBytes = 0;                 // size of the disk, which tells floppy formats apart
  std::string details;
};

// The entries for those devices: physical media, then logical drives, each in the order a
// person counts names (sda2 before sda10). Left out: devices of size 0 (an optical drive
// without a disc) and partitions of fewer than four sectors (the stub of an extended
// partition), which cannot hold a volume.
std::vector<DriveEntry> DriveEntries(std::vector<BlockFacts> devices);

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
