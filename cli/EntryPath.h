#pragma once
// Naming an entry on the command line. "N:/DOCS/LETTER.TXT" walks display names from the
// root of partition N (the number the partition list shows); "N#0/3" walks child indexes,
// which `ls` prints and which stay unambiguous when two entries share a name. "N:/" and "N#"
// name the root.

#include <string>

#include "fs/Discovery.h"

struct ResolvedEntry {
  TDirectoryEntry* entry = nullptr;  // null when the name did not resolve; error says why
  int partition = 0;                 // the partition's number
  std::string displayPath;           // "N:/a/b"
  std::string indexPath;             // "N#i/j"
  std::string error;
};

ResolvedEntry ResolveEntry(PartitionList& partitions, const std::string& name);

// A child's paths, from its parent's.
std::string ChildDisplayPath(const std::string& parentDisplayPath, const TDirectoryEntry& child);
std::string ChildIndexPath(const std::string& parentIndexPath, size_t index);
