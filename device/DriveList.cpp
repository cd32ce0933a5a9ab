#include "device/DriveList.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <system_error>

#include "device/NumberFormat.h"

namespace fs = std::filesystem;

namespace {

// sysfs counts sizes in 512-byte units, whatever the device's own sector size.
constexpr uint64_t kSysfsUnit = 512;
// A partition smaller than this cannot hold a volume; an extended partition shows as 2 units.
constexpr uint64_t kSmallestPartitionUnits = 4;
// sysfs attributes are at most a page; a made-up tree gets no more read than that.
constexpr std::streamsize kAttributeLimit = 4096;

struct BlockDevice {
  std::string name;  // sda, sda1, nvme0n1p2
  fs::path dir;      // its sysfs directory, links resolved
  uint64_t units = 0;
  bool isPartition = false;
};

struct MediaName {
  std::string name;
  int image;
};

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// The first line of a sysfs attribute without surrounding blanks; empty when unreadable.
std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  std::string text(static_cast<size_t>(kAttributeLimit), '\0');
  in.read(text.data(), kAttributeLimit);
  text.resize(static_cast<size_t>(in.gcount()));
  text = text.substr(0, text.find('\n'));
  const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  while (!text.empty() && blank(text.back())) text.pop_back();
  const auto first = std::find_if_not(text.begin(), text.end(), blank);
  return std::string(first, text.end());
}

std::optional<uint64_t> ReadNumber(const fs::path& file) {
  const std::string text = ReadAttribute(file);
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The device file of a block device: its DEVNAME from uevent ("cciss/c0d0"), when that stays
// below the device root, else its name with "!" for "/", as the kernel forms it.
std::string DevicePath(const BlockDevice& device, const std::string& deviceRoot) {
  std::string devName;
  std::ifstream uevent(device.dir / "uevent");
  for (std::string line; devName.empty() && std::getline(uevent, line) && line.size() < kAttributeLimit;) {
    if (StartsWith(line, "DEVNAME=")) devName = line.substr(8);
  }
  const fs::path relative(devName);
  const bool staysBelow = !devName.empty() && relative.is_relative() &&
                          std::none_of(relative.begin(), relative.end(), [](const fs::path& p) { return p == ".."; });
  if (!staysBelow) {
    devName = device.name;
    std::replace(devName.begin(), devName.end(), '!', '/');
  }
  return deviceRoot + "/" + devName;
}

// RAM disks, zram, loop devices with nothing behind them and hidden devices are no media.
bool IsMedium(const BlockDevice& disk) {
  if (StartsWith(disk.name, "ram") || StartsWith(disk.name, "zram")) return false;
  if (StartsWith(disk.name, "loop") && !fs::exists(disk.dir / "loop" / "backing_file")) return false;
  return ReadAttribute(disk.dir / "hidden") != "1";
}

// 5.25-inch formats hold 160, 180, 320, 360 KiB or 1.2 MiB; every other floppy is 3.5-inch.
std::string FloppyName(uint64_t bytes) {
  constexpr uint64_t kFiveAndAQuarter[] = {320, 360, 640, 720, 2400};
  const bool large = bytes % kSysfsUnit == 0 && std::find(std::begin(kFiveAndAQuarter), std::end(kFiveAndAQuarter),
                                                          bytes / kSysfsUnit) != std::end(kFiveAndAQuarter);
  return large ? "5.25\" Floppy" : "3.5\" Floppy";
}

MediaName NameOf(MediaKind kind, uint64_t diskBytes) {
  switch (kind) {
    case MediaKind::kOptical: return {"CD/DVD disk", kDriveImageOptical};
    case MediaKind::kFloppy: return {FloppyName(diskBytes), kDriveImageFloppy};
    case MediaKind::kRemovable: return {"Removable media", kDriveImageRemovable};
    case MediaKind::kHardDisk: break;
  }
  return {"Hard disk", kDriveImageHardDisk};
}

// What kind of medium a whole disk is: optical drives by name (sr) or SCSI type (5, and 4 for
// write-once drives), floppies by name (fd), then removable media, else a hard disk.
MediaKind KindOf(const BlockDevice& disk) {
  const std::string scsiType = ReadAttribute(disk.dir / "device" / "type");
  if (StartsWith(disk.name, "sr") || scsiType == "5" || scsiType == "4") return MediaKind::kOptical;
  if (StartsWith(disk.name, "fd")) return MediaKind::kFloppy;
  if (ReadAttribute(disk.dir / "removable") == "1") return MediaKind::kRemovable;
  return MediaKind::kHardDisk;
}

// The vendor and model a SCSI, SATA or USB disk reports, and a loop device's file.
std::string DetailsOf(const BlockDevice& disk) {
  std::string madeBy = ReadAttribute(disk.dir / "device" / "vendor");
  const std::string model = ReadAttribute(disk.dir / "device" / "model");
  if (!madeBy.empty() && !model.empty()) madeBy += " ";
  madeBy += model;
  const std::string file = ReadAttribute(disk.dir / "loop" / "backing_file");
  if (!madeBy.empty() && !file.empty()) madeBy += "\n";
  return madeBy + file;
}

std::optional<BlockDevice> ReadBlockDevice(const fs::directory_entry& entry) {
  std::error_code error;
  BlockDevice device;
  device.name = entry.path().filename().string();
  device.dir = fs::canonical(entry.path(), error);
  if (error) return std::nullopt;
  const std::optional<uint64_t> units = ReadNumber(device.dir / "size");
  if (!units || *units > std::numeric_limits<uint64_t>::max() / kSysfsUnit) return std::nullopt;
  device.units = *units;
  device.isPartition = fs::exists(device.dir / "partition", error);
  return device;
}

// The disk a partition belongs to: the sysfs directory it sits in. A partition found on its
// own stands for its disk.
BlockDevice DiskOf(const BlockDevice& partition) {
  BlockDevice disk;
  disk.dir = partition.dir.parent_path();
  disk.name = disk.dir.filename().string();
  std::error_code error;
  const std::optional<uint64_t> units = ReadNumber(disk.dir / "size");
  if (!units || fs::exists(disk.dir / "partition", error)) return partition;
  disk.units = *units;
  return disk;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Names in the order a person counts them: runs of digits compare by their value, so sda2
// comes before sda10.
bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (!IsDigit(a[i]) || !IsDigit(b[j])) {
      if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
      ++i, ++j;
      continue;
    }
    size_t endA = i, endB = j;
    while (endA < a.size() && IsDigit(a[endA])) ++endA;
    while (endB < b.size() && IsDigit(b[endB])) ++endB;
    while (i + 1 < endA && a[i] == '0') ++i;  // leading zeros do not count
    while (j + 1 < endB && b[j] == '0') ++j;
    if (endA - i != endB - j) return endA - i < endB - j;
    if (const int order = a.compare(i, endA - i, b, j, endB - j); order != 0) return order < 0;
    i = endA, j = endB;
  }
  return a.size() - i < b.size() - j;
}

BlockFacts FactsOf(const BlockDevice& device, const std::string& deviceRoot) {
  const BlockDevice disk = device.isPartition ? DiskOf(device) : device;
  BlockFacts facts;
  facts.name = device.name;
  facts.devicePath = DevicePath(device, deviceRoot);
  facts.bytes = device.units * kSysfsUnit;
  facts.isPartition = device.isPartition;
  facts.kind = KindOf(disk);
  facts.diskBytes = disk.units * kSysfsUnit;
  facts.details = DetailsOf(disk);
  return facts;
}

DriveEntry EntryOf(const BlockFacts& device) {
  const MediaName media = NameOf(device.kind, device.diskBytes);
  DriveEntry entry;
  entry.devicePath = device.devicePath;
  entry.group = device.isPartition ? kGroupLogicalDrives : kGroupPhysicalMedia;
  entry.imageIndex = media.image;
  const std::string name = device.isPartition ? "Drive " + entry.devicePath : media.name;
  entry.caption = name + " (" + DriveSizeText(device.bytes) + ")";
  entry.details = device.details;
  return entry;
}

bool Listed(const BlockFacts& device) {
  if (device.bytes == 0) return false;
  return !device.isPartition || device.bytes >= kSmallestPartitionUnits * kSysfsUnit;
}

}  // namespace

std::vector<DriveEntry> DriveEntries(std::vector<BlockFacts> devices) {
  std::erase_if(devices, [](const BlockFacts& device) { return !Listed(device); });
  std::sort(devices.begin(), devices.end(), [](const BlockFacts& a, const BlockFacts& b) {
    if (a.isPartition != b.isPartition) return !a.isPartition;
    return NaturalLess(a.name, b.name);
  });
  std::vector<DriveEntry> entries;
  for (const BlockFacts& device : devices) entries.push_back(EntryOf(device));
  return entries;
}

DriveListing ListDrives(const std::string& sysfsRoot, const std::string& deviceRoot) {
  DriveListing listing;
  std::error_code error;
  std::vector<BlockFacts> devices;
  for (fs::directory_iterator it(fs::path(sysfsRoot) / "class" / "block", error), end; !error && it != end;
       it.increment(error)) {
    const std::optional<BlockDevice> device = ReadBlockDevice(*it);
    if (device && IsMedium(device->isPartition ? DiskOf(*device) : *device)) {
      devices.push_back(FactsOf(*device, deviceRoot));
    }
  }
  if (error) {
    listing.error = error.value();
    return listing;
  }
  listing.entries = DriveEntries(std::move(devices));
  return listing;
}

std::string DriveSizeText(uint64_t bytes) {
  constexpr uint64_t kGiB = uint64_t{1} << 30;
  if (bytes >= kGiB) return FormatUpToTwoDecimals(bytes >> 20, 1024) + " GB";
  return FormatUpToTwoDecimals(bytes >> 10, 1024) + " MB";
}
