#pragma once
// Naming an entry on the command line. "N:/DOCS/LETTER.TXT" walks names from the root of
// partition N (the number the partition list shows): each component is a caption as `ls` shows
// it, or, without regard to case, a caption, a long name alone or a short name alone; a
// component that names several entries is an error that lists them. "N#0/3" walks child
// indexes, which `ls` prints and which stay unambiguous when two entries share a name. "N:/"
// and "N#" name the root. The volume's "Lost and found" is "N:/$LostAndFound" and "N#L", and
// what lies below it is named from there as from the root.

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

// The first component that names the "Lost and found" in a display path and in an index path.
inline constexpr const char* kLostDisplayName = "$LostAndFound";
inline constexpr const char* kLostIndexName = "L";

// Where a walk of partition's "Lost and found" begins: its paths, "N:/$LostAndFound" and "N#L".
std::string LostDisplayPath(const TPartition& partition);
std::string LostIndexPath(const TPartition& partition);

ResolvedEntry ResolveEntry(PartitionList& partitions, const std::string& name);

// A child's display path, from its parent's, with the child's caption as printed (PrintedName).
std::string PrintedChildPath(const std::string& parentDisplayPath, const TDirectoryEntry& child);
