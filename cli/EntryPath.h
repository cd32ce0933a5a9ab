#pragma once
// Naming an entry on the command line. "N:/DOCS/LETTER.TXT" walks names from the root of
// partition N (the number the partition list shows): each component is a caption as `ls` shows
// it, or, without regard to case, a caption, a long name alone or a short name alone; a
// component that names several entries is an error that lists them. "N#0/3" walks child
// indexes, which `ls` prints and which stay unambiguous when two entries share a name. "N:/"
// and "N#" name the root.

#include <string>

#include "fs/Discovery.h"
#include "fs/TreeWalk.h"

struct ResolvedEntry {
  TDirectoryEntry* entry = nullptr;  // null when the name did not resolve; error says why
  int partition = 0;                 // the partition's number
  std::string displayPath;           // "N:/a/b"
  std::string indexPath;             // "N#i/j"
  std::string error;
};

ResolvedEntry ResolveEntry(PartitionList& partitions, const std::string& name);

// A child's display path, from its parent's, with the child's caption as printed (PrintedName).
std::string PrintedChildPath(const std::string& parentDisplayPath, const TDirectoryEntry& child);
