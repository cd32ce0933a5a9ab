#pragma once
// Runs what the window runs on a source made of arbitrary bytes: discovery (or one family's
// partition at sector 0), then a walk of every tree that reads directories, fills the
// information list, reads data for the hex view, the preview and saving, and formats the
// dump and the preview. The harness bounds the walk; the code under test bounds nothing for
// it. A volume at sector 0 is opened with the sector size its boot sector states, and a disk
// with 4096 bytes when a GUID partition table header begins there, when the input is made of
// whole such sectors, else with 512-byte sectors; the primary GUID header gets the CRCs its
// bytes have. A sector that begins with "BADSECT!" cannot be read; read errors are answered
// Retry, Ignore and Abort in turn.

#include <cstddef>
#include <cstdint>

enum class HarnessVolume {
  kDiscover,     // partition discovery on the whole source
  kFatAtZero,    // a FAT partition constructed at sector 0, whatever the boot sector says
  kExfatAtZero,  // an exFAT partition constructed at sector 0
  // discovery, then the search for lost volumes at the boundaries and then at every sector
  // that no volume found covers, the sector size re-read from what the volumes state
  kSearch,
};

// What one run found: the partitions opened and the tree nodes exercised, roots included.
struct HarnessReport {
  size_t partitions = 0;
  size_t nodes = 0;
  size_t lostNodes = 0;  // of those, the nodes of the volumes' "Lost and found"
  size_t foundBySearch = 0;  // partitions that the search for lost volumes found
};

// With lostAndFound, each volume's "Lost and found" is added after its tree is walked, and is
// walked too: the scan of the data area for lost folders and files found by their content.
HarnessReport RunHarness(HarnessVolume volume, const uint8_t* data, size_t size, bool lostAndFound = false);

// discovery and the search for lost volumes on the whole source (HarnessVolume::kSearch).
HarnessReport RunSearchHarness(const uint8_t* data, size_t size);

// The lost-and-found scan of the volume at sector 0: exFAT when its name says so, else FAT.
HarnessReport RunScanHarness(const uint8_t* data, size_t size);
