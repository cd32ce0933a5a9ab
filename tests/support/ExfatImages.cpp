#include "support/ExfatImages.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

std::string TestImagePath(const std::string& fileName) { return std::string(BRINDLE_TEST_IMAGES_DIR) + "/" + fileName; }

ExfatManifest ReadExfatManifest(const std::string& name) {
  ExfatManifest manifest;
  std::ifstream in(TestImagePath(name + ".manifest"));
  EXPECT_TRUE(in) << name;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    std::stringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) f.push_back(field);
    f.resize(6);
    auto number = [](const std::string& text) { return static_cast<uint32_t>(std::stoul(text)); };
    if (f[0] == "sector-size") manifest.sectorSize = f[1];
    else if (f[0] == "first-sector") manifest.firstSector = number(f[1]);
    else if (f[0] == "label") manifest.label = f[1];
    else manifest.entries[f[5]] = {f[0], f[1], number(f[2]), number(f[3]), number(f[4])};
  }
  return manifest;
}
