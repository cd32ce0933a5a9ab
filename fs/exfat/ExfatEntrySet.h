#pragma once
// exFAT directory entry sets: a file entry with the stream and name entries that follow it.
// A directory's data is cut into 32-byte chunks and grouped into sets; deleted sets are
// grouped exactly like live ones and only marked. The small readers here turn a set into a
// name, a timestamp text and an attribute text.

#include <cstdint>
#include <string>
#include <vector>

#include "fs/Completeness.h"
#include "fs/exfat/ExfatLayout.h"

class ClusterTrail;
class EXFATPartition;

// One file or directory as its directory describes it.
struct EXFATDirectoryEntry {
  // The file chunk first, then the stream and name chunks in the order they were met.
  std::vector<FAT64ChunkBase> chunks;
  // The file chunk's in-use bit was clear.
  bool deleted = false;
};

// Reads the directory that `directory` describes and appends one set per file chunk found,
// in directory order; in the root, a volume label chunk in use met on the way becomes the
// partition's label.
// Returns false when the directory goes on past the largest size the format allows
// (kMaxDirectoryBytes), where reading stopped. With a trail, the chain also ends at a cluster on
// it (see TPartition::directoryTrail). shortfall, when given, is told why the read fell short of
// the directory's data (see ByteSink::NoteShortfall), kNone when it did not.
bool ReadDirectory(EXFATPartition& partition, const EXFATDirectoryEntry& directory,
                   std::vector<EXFATDirectoryEntry>& out, ClusterTrail* trail = nullptr,
                   DataShortfall* shortfall = nullptr);

// Groups whole 32-byte chunks of a directory's data into sets, appending them to out; the
// text of the last volume label chunk in use goes to label.
void ParseDirectoryChunks(const uint8_t* data, size_t length, std::vector<EXFATDirectoryEntry>& out,
                          std::string& label);

// The first chunk of the set of that kind, or nullptr.
const FAT64ChunkBase* FindStreamChunk(const EXFATDirectoryEntry& set);
const FAT64ChunkBase* FindFileChunk(const EXFATDirectoryEntry& set);

// The set's name from its name chunks, cut at the stream chunk's NameLength or the first zero
// unit.
std::string AssembleName(const EXFATDirectoryEntry& set);

// The text of a volume label chunk: at most 11 units, ending early at a zero unit.
std::string LabelText(const FAT64ChunkBase& chunk);

// "yyyy/mm/dd, hh:mm:ss.##" of an exFAT timestamp's date and time words plus hundredths, as
// FormatDosTimestamp writes them: impossible fields show as invalid, a zero timestamp as "".
std::string FormatExfatTimestamp(uint16_t date, uint16_t time, uint8_t hundredths);

// The attribute letters of the set's file chunk (R H S V D A, then " 0x40" and " 0x80");
// empty without a file chunk.
std::string FormatExfatAttributes(const EXFATDirectoryEntry& set);

// The set describes a directory: its file chunk has the directory attribute.
bool IsDirectorySet(const EXFATDirectoryEntry& set);
