#pragma once
// The committed exFAT images of tests/images and the manifests that make-exfat-images.sh wrote
// beside them.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The committed images, by name without ".img".
inline const std::vector<std::string> kExfatImageNames = {"exfat-tree", "exfat-mbr", "exfat-4k"};

// The path of a file in tests/images.
std::string TestImagePath(const std::string& fileName);

struct ExfatManifest {
  struct Entry {
    std::string type, state;  // "dir" or "file"; "live" or "deleted"
    uint32_t size = 0, seed = 0, delivered = 0;
  };
  std::string sectorSize;  // as the reader takes it: "512", "4096"
  uint32_t firstSector = 0;
  std::string label;
  std::map<std::string, Entry> entries;  // by path from the root, "/"-separated
};

// Reads tests/images/NAME.manifest.
ExfatManifest ReadExfatManifest(const std::string& name);
