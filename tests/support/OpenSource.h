#pragma once
// An image file opened for browsing as the front ends open it, with the sector size given
// (no other is tried) and a code page, and the partitions found on it.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "fs/OpenedSource.h"

inline std::unique_ptr<OpenedSource> OpenImageSource(const std::string& imagePath, const std::string& sectorSize = "512",
                                                     const OpenSettings& settings = {},
                                                     const std::string& codePage = "437") {
  SourceChoice choice = SourceFromPath(imagePath, sectorSize);
  choice.sectorSizeFixed = true;
  choice.codePage = codePage;
  OpenFailure failure;
  std::unique_ptr<OpenedSource> source = OpenedSource::Open(choice, settings, failure);
  if (!source) throw std::runtime_error(imagePath + " cannot be opened: " + failure.text);
  return source;
}

struct OpenSource {
  explicit OpenSource(const std::string& imagePath, const std::string& sectorSize = "512",
                      const OpenSettings& settings = {}, const std::string& codePage = "437")
      : opened(OpenImageSource(imagePath, sectorSize, settings, codePage)),
        reader(opened->reader()),
        ref(*opened->readerRef()),
        partitions(opened->partitions()) {}

  std::unique_ptr<OpenedSource> opened;
  TSectorReader& reader;
  ReaderRef& ref;
  PartitionList& partitions;
};
