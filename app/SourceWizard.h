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

#include "app/DriveSource.h"
#include "device/DriveList.h"
#include "fs/OpenedSource.h"

// What the first page holds when Next is pressed.
struct SourcePage {
  bool driveListShown = true;              // pageControlDrives shows tsDriveSelect, not "高级"
  std::optional<DriveEntry> selectedDrive;  // lstDrives
  std::string imageFile;                    // txtImageFile
  std::string bytesPerSector = "512";       // txtBytesPerSector
  std::string codePage = "437";             // txtCodePage
  // Where lstDrives came from, which opens the selected drive; nothing: by its device file.
  DriveSource* drives = nullptr;
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
  kSearchAccepted,   // opened, nothing found, and the user asked for the search for lost volumes
};

// What the message for a source without volumes goes on to ask.
inline constexpr const char* kSearchOffer =
    "Search it for volumes whose partition table or boot sector was overwritten or damaged?";
// What is asked when the search where partitioning tools put volumes found none.
inline constexpr const char* kDeepSearchOffer =
    "The search found no lost volume where partitioning tools put volumes.\n\n"
    "Search every sector of the source? This reads all of it and may take a while.";
// What the progress of the search says.
inline constexpr const char* kSearchLabel = "Searching for lost volumes";

struct OpenedChoice {
  OpenResult result = OpenResult::kNothingChosen;
  std::unique_ptr<OpenedSource> source;  // from kNoPartitions on
};

// What is wrong with the evidence file the source is read from (a segment file missing, data
// that does not match its checksums); nothing for a plain image or device.
std::vector<std::string> MediumNotes(const OpenedSource& source);

// What the search for lost volumes ended with.
struct SearchOutcome {
  size_t found = 0;        // volumes added to the source's partitions
  bool cancelled = false;  // the user stopped it; what it found until then is kept
};

// Searches source for lost volumes at depth through the window's background service (see
// browser/Background.h): away from the window's thread, with its progress and a Cancel button.
// done runs on the calling thread when it has ended. Nothing else may read the source's
// partitions meanwhile.
void SearchSource(OpenedSource& source, SearchDepth depth, std::function<void(SearchOutcome)> done);

// Next's opening sequence: has the drive source open a chosen drive (a refusal is shown and
// ends it), opens the chosen source under the busy cursor, its reads answering
// faults as settings say, and finds its volumes; when it finds any, runs scan, the browser
// frame's ScanPartitions. A source that cannot be opened is reported in a box with the reason;
// an evidence file with something wrong with it gets a box that says what; one without
// volumes gets the message, with the reason a partition table may have been passed over, and
// the offer to search it for lost volumes (kSearchAccepted when the user takes it).
OpenedChoice OpenChosenSource(const SourcePage& page, const OpenSettings& settings,
                              const std::function<void(OpenedSource&)>& scan);
