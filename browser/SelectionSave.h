#pragma once
// Saving what is selected in the window's tree, in one go: files under their recorded names and
// times, folders as folders with everything in them, a volume as brindle-cli's recover saves
// it, all into one chosen folder (see TreeRecovery). It runs as one background operation and
// ends with a report of what was saved and what was not, which the window shows unless one
// file was saved without trouble.

#include <cstdint>
#include <string>
#include <vector>

#include "fs/Operation.h"
#include "fs/Partition.h"
#include "save/TreeRecovery.h"

// One thing to save: an entry of partition, or with no entry the whole volume.
struct SaveItem {
  TPartition* partition = nullptr;
  TDirectoryEntry* entry = nullptr;
  std::string displayPath;  // "N:/a/b", as brindle-cli names entries
  std::string indexPath;    // "N#i/j"
};

// How a save of items ended.
struct SaveReport {
  std::string folder;
  bool deletedOnly = false;
  TreeRecovery::Totals totals;
  std::vector<std::string> incomplete;  // "path: how it fell short", per file saved short
  std::vector<std::string> failures;    // "path: why", per file not saved
  std::vector<std::string> problems;    // folders not made, directories not read whole
  std::vector<ReadFault> unread;        // the sectors that stayed unread, among those the log kept
  bool cancelled = false;
  int syncError = 0;                    // errno of writing the files out to the disk; 0
};

// Saves items into folder (only their deleted files with deletedOnly), reading through
// operation, which it tells of its progress and which may stop it. Runs on any thread.
SaveReport SaveItems(const std::vector<SaveItem>& items, const std::string& folder, bool deletedOnly,
                     Operation& operation);

// Whether the save ends without a word: one file saved whole, nothing else amiss.
bool EndsSilently(const SaveReport& report);
// The report's first lines: files and bytes saved and what went wrong, in counts.
std::string SummaryText(const SaveReport& report);
// The particulars, a line each: files saved short and why, files not saved and why, folders
// and directories, unread sectors.
std::string SummaryDetails(const SaveReport& report);
