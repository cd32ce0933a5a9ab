#pragma once
// A reader opened on an image file, with the cell that partitions read through.

#include <gtest/gtest.h>

#include <string>

#include "device/SectorReader.h"

struct OpenSource {
  explicit OpenSource(const std::string& imagePath, const std::string& sectorSize = "512") {
    EXPECT_TRUE(reader.OpenImage(imagePath, sectorSize)) << imagePath;
    reader.PrepareBuffer();
  }
  TSectorReader reader;
  ReaderRef ref{&reader};
};
