#pragma once
// A made-up sysfs tree and device folder, laid out as the kernel lays them out: each device's
// directory under devices/, linked from class/block/, a partition's directory inside its
// disk's. The drive list is pointed at it instead of /sys and /dev.

#include <filesystem>
#include <fstream>
#include <string>

#include "support/TestFiles.h"

class FakeSysfs {
 public:
  explicit FakeSysfs(const TempDir& dir) : root(dir / "sys"), devices(dir / "dev") {
    std::filesystem::create_directories(root + "/class/block");
    std::filesystem::create_directories(devices);
  }

  // A whole disk of the given size in 512-byte units.
  FakeSysfs& Disk(const std::string& name, uint64_t units, bool removable = false) {
    Device("devices/virtual/block/" + name, name, units);
    return Set(name, "removable", removable ? "1" : "0");
  }
  FakeSysfs& Partition(const std::string& disk, const std::string& name, uint64_t units, int number = 1) {
    Device("devices/virtual/block/" + disk + "/" + name, name, units);
    return Set(name, "partition", std::to_string(number));
  }
  // Writes an attribute file of the device (a path inside its directory, such as "device/type").
  FakeSysfs& Set(const std::string& device, const std::string& attribute, const std::string& value) {
    const std::filesystem::path file = std::filesystem::path(root) / "class/block" / device / attribute;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << value << "\n";
    return *this;
  }

  const std::string root;     // stands for /sys
  const std::string devices;  // stands for /dev

 private:
  void Device(const std::string& path, const std::string& name, uint64_t units) {
    const std::filesystem::path dir = std::filesystem::path(root) / path;
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "size") << units << "\n";
    std::ofstream(dir / "uevent") << "MAJOR=8\nMINOR=0\nDEVNAME=" << name << "\nDEVTYPE=disk\n";
    std::filesystem::create_directory_symlink(std::filesystem::relative(dir, std::filesystem::path(root) / "class/block"),
                                              std::filesystem::path(root) / "class/block" / name);
  }
};
