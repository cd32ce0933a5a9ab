#pragma once
// Finding entries anywhere on the open volumes: by name (see NamePattern), deleted ones only,
// and by kind (pictures, videos, sounds, documents). A kind is told by the name's extension
// and, for a file whose name tells nothing ("DATA.DAT", "FILE0001"), by the recognizers of
// the lost-and-found scan on its first bytes. The search reads every folder of the tree that
// was not read yet and keeps what it read, so that the entries it finds stay for the window to
// show; it runs on any thread and stops when asked. No Qt.

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "fs/Operation.h"
#include "fs/Partition.h"

// The kinds a search may ask for, as bits.
enum SearchKind : unsigned {
  kKindPictures = 1u << 0,
  kKindVideos = 1u << 1,
  kKindSounds = 1u << 2,
  kKindDocuments = 1u << 3,
};

struct SearchQuery {
  std::string text;          // a piece of a name, or a pattern with * and ?
  bool deletedOnly = false;  // deleted entries (everything in a deleted folder included)
  unsigned kinds = 0;        // SearchKind bits; files of any of them, none: any entry

  // Whether it asks for anything: an empty query is no search, the whole tree.
  bool Active() const { return !text.empty() || deletedOnly || kinds != 0; }
  bool operator==(const SearchQuery& other) const {
    return text == other.text && deletedOnly == other.deletedOnly && kinds == other.kinds;
  }
};

// The kind a file name's extension tells ("jpg": pictures): a SearchKind bit; kToldOther for a
// name of another known kind ("zip", "exe"); 0 when the name tells nothing.
inline constexpr unsigned kToldOther = 1u << 8;
unsigned KindOfName(const std::string& fileName);
// The kind the recognizers see in a file's first bytes: a SearchKind bit, or 0.
unsigned KindOfContent(const uint8_t* head, size_t size);

// An entry found: the volume (its index in the list searched) and the way to it from the
// folder the search of that volume began at (its root, or its "Lost and found"), that folder
// itself left out, the entry found last.
struct SearchHit {
  size_t partition = 0;
  TDirectoryEntry* top = nullptr;
  std::vector<TDirectoryEntry*> way;
};

struct SearchResult {
  std::vector<SearchHit> hits;  // in the order of the walk: depth first, a folder before its entries
  size_t entriesLooked = 0;
  bool stopped = false;  // stop or the operation cut it short; hits are what it found until then
};

// Searches the tree below each partition's root and, where it was scanned already, its "Lost
// and found" (the scan itself is not started). Reads through operation; stops soon after stop
// becomes true or the operation is cancelled.
SearchResult SearchTree(const std::vector<TPartition*>& partitions, const SearchQuery& query, Operation& operation,
                        const std::atomic<bool>& stop);
