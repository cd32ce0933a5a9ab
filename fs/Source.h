#pragma once
// Opening a source for browsing, the same for the window and the command line: a block device
// or an image file, opened read-only through the reader, with its read-ahead buffer sized and
// sector 0 preloaded. Discovery (fs/Discovery.h) then runs on it.

#include <string>

#include "device/SectorReader.h"

struct SourceChoice {
  std::string path;
  bool isDevice = false;               // a block device, sized by its own queries
  bool isLogicalDrive = false;         // a device that is one partition of a disk
  std::string sectorSizeText = "512";  // image files: the sector size as the user gave it
  std::string codePage = "437";        // the OEM code page of 8.3 names and FAT labels (OemCodePage::FromName)
};

// A path that names a block device is opened as a device, anything else as an image file.
SourceChoice SourceFromPath(const std::string& path, const std::string& sectorSizeText);

// Closes the reader, opens the chosen source and prepares the read-ahead buffer. A failed open
// has told the user why (through the message-box service) and leaves the reader closed.
bool OpenSource(TSectorReader& reader, const SourceChoice& choice);

// What the user is told when discovery finds nothing.
inline constexpr const char* kNoPartitionsMessage = "The selected drive does not contain any FAT partitions.";
// A second line for it, saying why, is DescribeUnreadTable (fs/Discovery.h).
