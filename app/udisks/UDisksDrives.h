#pragma once
// The drives as the desktop's disk service, UDisks2, knows them on the system bus, and opening
// one of them through it: the service opens the device read-only once polkit has asked the
// user's leave (as the desktop's own disk utility does) and hands the descriptor back, so that
// reading a card does not take running the window as root. Where no UDisks2 answers (a
// server, a container), the drives come from sysfs and are opened by their device files.

#include <QDBusConnection>
#include <QString>

#include <map>
#include <optional>
#include <string>

#include "app/DriveSource.h"

// The words of the boxes that tell why a drive was not opened.
inline constexpr const char* kDismissedText = "The drive \"%1\" was not opened: the request for leave to read it was dismissed.";
inline constexpr const char* kNotAuthorizedText = "You are not allowed to read the drive \"%1\".\n%2";
inline constexpr const char* kNoAnswerText = "The drive \"%1\" was not opened: the disk service (UDisks2) gave no answer in time.";

class UDisksDrives {
 public:
  explicit UDisksDrives(QDBusConnection bus) : bus_(std::move(bus)) {}

  // The drives the service lists; nothing when no service answers on the bus.
  std::optional<DriveListing> List();
  // Has the service open entry, one of the last List's, read-only. Asks by path when the
  // service does not know it or is gone.
  DriveOpening Open(const DriveEntry& entry);

 private:
  QDBusConnection bus_;
  std::map<std::string, QString> blocks_;  // device file → its block object, from the last List
};

// The drive list of a desktop: UDisks2's when it answers on bus, else sysfs's. Asked again on
// every List, so that a refresh notices the service come or go.
class DesktopDrives final : public DriveSource {
 public:
  explicit DesktopDrives(QDBusConnection bus, std::string sysfsRoot = kSysfsRoot, std::string deviceRoot = kDeviceRoot)
      : udisks_(std::move(bus)), sysfs_(std::move(sysfsRoot), std::move(deviceRoot)) {}

  DriveListing List() override;
  DriveOpening Open(const DriveEntry& entry) override;
  // Whether the last List came from UDisks2.
  bool throughUDisks() const { return throughUDisks_; }

 private:
  UDisksDrives udisks_;
  SysfsDrives sysfs_;
  bool throughUDisks_ = false;
};
