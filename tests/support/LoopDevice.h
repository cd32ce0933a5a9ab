#pragma once
// A read-only loop device over an image file, when the machine allows one (root, the loop
// driver); path() is empty otherwise, and the test that needs one skips.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/TestFiles.h"

class LoopDevice {
 public:
  LoopDevice(const std::string& image, uint32_t sectorSize = 512) {
    if (::geteuid() != 0) return;
    FILE* pipe = ::popen(("losetup -f --show --read-only --sector-size " + std::to_string(sectorSize) + " " +
                          ShellQuote(image) + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return;
    char line[256] = {};
    if (std::fgets(line, sizeof line, pipe)) path_ = std::string(line, std::strcspn(line, "\n"));
    if (::pclose(pipe) != 0) path_.clear();
  }
  ~LoopDevice() {
    if (!path_.empty()) std::system(("losetup -d " + path_).c_str());
  }
  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};
