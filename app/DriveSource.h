#pragma once
// Where the first page's drive list comes from, and how a drive of it is opened. Read from
// sysfs, a drive is opened by its device file, which usually takes root; a desktop service
// (UDisks2, app/udisks/) lists the drives itself and opens one for us after asking the user's
// leave, handing back a read-only descriptor.

#include <string>
#include <utility>

#include "device/DriveList.h"

// A descriptor that closes itself.
class HandedDescriptor {
 public:
  HandedDescriptor() = default;
  explicit HandedDescriptor(int fd) : fd_(fd) {}
  ~HandedDescriptor();
  HandedDescriptor(HandedDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  HandedDescriptor& operator=(HandedDescriptor&& other) noexcept;
  HandedDescriptor(const HandedDescriptor&) = delete;
  HandedDescriptor& operator=(const HandedDescriptor&) = delete;

  int get() const { return fd_; }

 private:
  int fd_ = -1;
};

// What came of asking for a drive to be opened.
struct DriveOpening {
  enum class Kind {
    kByPath,   // nobody opens it for us: the reader opens the device file itself
    kHanded,   // opened for us: descriptor
    kRefused,  // not opened: the user is told message under caption
  };
  Kind kind = Kind::kByPath;
  HandedDescriptor descriptor;
  std::string message;
  std::string caption;
};

class DriveSource {
 public:
  virtual ~DriveSource() = default;
  virtual DriveListing List() = 0;
  // Opens entry, one of the last List's, for reading.
  virtual DriveOpening Open(const DriveEntry& entry) = 0;
};

// The drives sysfs describes, opened by their device files.
class SysfsDrives final : public DriveSource {
 public:
  SysfsDrives(std::string sysfsRoot = kSysfsRoot, std::string deviceRoot = kDeviceRoot)
      : sysfsRoot_(std::move(sysfsRoot)), deviceRoot_(std::move(deviceRoot)) {}
  DriveListing List() override { return ListDrives(sysfsRoot_, deviceRoot_); }
  DriveOpening Open(const DriveEntry&) override { return {}; }

 private:
  const std::string sysfsRoot_;
  const std::string deviceRoot_;
};
