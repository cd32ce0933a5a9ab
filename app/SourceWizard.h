#pragma once
// What Next on the first page does, apart from the window: the source the page names is
// opened read-only, its partitions are found, and the user is told when it cannot be opened
// or holds none. The window hands in what its controls hold and its browser frame's
// ScanPartitions; tests drive the same sequence without a window.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/DriveList.h"
#include "fs/OpenedSource.h"

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
  kNothingChosen,    // the list page without a selection: nothing happened
  kNotOpened,        // the code page or the source refused; the user was told why
  kNoPartitions,     // opened, but nothing found; the user was told, the source stays open
  kPartitionsFound,  // the browser can show them
};

struct OpenedChoice {
  OpenResult result = OpenResult::kNothingChosen;
  std::unique_ptr<OpenedSource> source;  // from kNoPartitions on
};

// What is wrong with the evidence file the source is read from (a segment file missing, data
// that does not match its checksums); nothing for a plain image or device.
std::vector<std::string> MediumNotes(const OpenedSource& source);

// Next's opening sequence: opens the chosen source under the busy cursor, its reads answering
// faults as settings say, and finds its volumes; when it finds any, runs scan, the browser
// frame's ScanPartitions. A source that cannot be opened is reported in a box with the reason;
// an evidence file with something wrong with it gets a box that says what; one without
// volumes gets the message, with the reason a partition table may have been passed over.
OpenedChoice OpenChosenSource(const SourcePage& page, const OpenSettings& settings,
                              const std::function<void(OpenedSource&)>& scan);
