#pragma once
// What Next on the first page does, apart from the window: the source the page names is
// opened read-only, its partitions are found, and the user is told when there are none. The
// window hands in what its controls hold and its browser frame's discovery; tests drive the
// same sequence without a window.

#include <functional>
#include <optional>
#include <string>

#include "device/DriveList.h"
#include "fs/OemCodePage.h"
#include "fs/Source.h"

// What the first page holds when Next is pressed.
struct SourcePage {
  bool driveListShown = true;              // pageControlDrives shows tsDriveSelect, not "高级"
  std::optional<DriveEntry> selectedDrive;  // lstDrives
  std::string imageFile;                    // txtImageFile
  std::string bytesPerSector = "512";       // txtBytesPerSector
  std::string codePage = "437";             // txtCodePage
};

// The source Next opens: on the list page the selected drive (a logical drive when it is one
// of the "Logical drives" group), nothing when none is selected; on the advanced page the
// image file with its sector size, whatever the list selection. Either is read with the code
// page the advanced page names.
std::optional<SourceChoice> ChosenSource(const SourcePage& page);

enum class OpenResult {
  kNothingChosen,    // the list page without a selection: nothing happened but closing
  kNotOpened,        // the code page or the source refused; the user was told why
  kNoPartitions,     // opened, but nothing found; the user was told, the source stays open
  kPartitionsFound,  // the browser can show them
};

// Next's opening sequence: closes the reader, opens the chosen source under the busy cursor and
// preloads its first sector, then runs scan, the browser frame's discovery with the chosen
// code page, which answers whether it found any partition. A code page that cannot be used is
// a warning, and nothing is opened. When discovery found none the user is told so, with the
// reason a partition table may have been passed over, and the source stays open until the next
// Next.
OpenResult OpenChosenSource(TSectorReader& reader, ReaderRef* readerRef, const SourcePage& page,
                            const std::function<bool(const OemCodePage&)>& scan);
