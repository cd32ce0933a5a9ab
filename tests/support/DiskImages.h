#pragma once
// Disks for discovery tests: volumes made with mkfs.fat and mkfs.exfat, put behind partition
// tables made with sfdisk or fdisk, and discovery run on the result.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fs/Discovery.h"
#include "support/OpenSource.h"
#include "support/TestFiles.h"

struct DiscoveryFixture : ::testing::Test {
  // Runs discovery on the image, opened with the sector size and code page, and returns what it
  // found.
  PartitionList Discover(const std::string& image, const std::string& sectorSize = "512",
                         const std::string& codePage = "437") {
    source = std::make_unique<OpenSource>(image, sectorSize, OpenSettings{}, codePage);
    return source->opened->TakePartitions();
  }

  std::string MakeFat(const std::string& name, const std::string& options, uint64_t kib) {
    const std::string path = dir / name;
    RunCommand("mkfs.fat -C " + options + " " + ShellQuote(path) + " " + std::to_string(kib) + " >/dev/null");
    return path;
  }
  std::string MakeExfat(const std::string& name, const std::string& label, uint64_t mib) {
    const std::string path = dir / name;
    RunCommand("truncate -s " + std::to_string(mib) + "M " + ShellQuote(path));
    RunCommand("mkfs.exfat -L " + ShellQuote(label) + " " + ShellQuote(path) + " >/dev/null");
    return path;
  }
  // Copies the volume image into disk at the given sector.
  void Place(const std::string& volume, const std::string& disk, uint64_t sector, uint32_t sectorSize = 512) {
    RunCommand("dd if=" + ShellQuote(volume) + " of=" + ShellQuote(disk) + " bs=" + std::to_string(sectorSize) +
               " seek=" + std::to_string(sector) + " conv=notrunc status=none");
  }
  // An empty disk of the given size with the partition table an sfdisk script describes.
  std::string MakeDisk(const std::string& name, const std::string& size, const std::string& sfdiskScript) {
    const std::string disk = dir / name;
    RunCommand("truncate -s " + size + " " + ShellQuote(disk));
    RunCommand("printf '%s' " + ShellQuote(sfdiskScript) + " | sfdisk -q " + ShellQuote(disk));
    return disk;
  }

  TempDir dir;
  std::unique_ptr<OpenSource> source;
};
