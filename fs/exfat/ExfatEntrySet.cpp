#include "fs/exfat/ExfatEntrySet.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "fs/DosFields.h"
#include "fs/MemoryStream.h"
#include "fs/Text.h"
#include "fs/exfat/ExfatPartition.h"

namespace {

using namespace exfat;

const FAT64ChunkBase* FindChunkOfKind(const EXFATDirectoryEntry& set, uint8_t kind) {
  for (const FAT64ChunkBase& chunk : set.chunks) {
    if (chunk.Kind() == kind) return &chunk;
  }
  return nullptr;
}

FAT64ChunkBase ChunkAt(const uint8_t* data, size_t index) {
  FAT64ChunkBase chunk;
  std::memcpy(chunk.bytes.data(), data + index * kEntrySize, kEntrySize);
  return chunk;
}

}  // namespace

bool ReadDirectory(EXFATPartition& partition, const EXFATDirectoryEntry& directory,
                   std::vector<EXFATDirectoryEntry>& out, ClusterTrail* trail, DataShortfall* shortfall) {
  MemoryStream stream;
  CompletenessSink checked(&stream, 0);
  // One entry more than the largest directory the format allows tells a directory that goes on
  // past it, which is damaged; what lies beyond is left unread.
  partition.ReadClusterChain(directory, checked, kMaxDirectoryBytes + kEntrySize, trail);
  if (shortfall != nullptr) *shortfall = checked.Result().shortfall;
  const bool whole = stream.Length() <= kMaxDirectoryBytes;
  // The volume's label is the root's; a label entry elsewhere is not the volume's.
  std::string label;
  ParseDirectoryChunks(stream.Data(), std::min<size_t>(stream.Length(), kMaxDirectoryBytes), out, label);
  if (&directory == &partition.ownedEntrySets.front()) partition.label = label;
  return whole;
}

// Every chunk is looked at, also after an end-of-directory entry, so that deleted sets
// anywhere in the directory's clusters are found. Only stream and name chunks use up a set's
// SecondaryCount, and their in-use bits are ignored, so a deleted set keeps its name and data.
void ParseDirectoryChunks(const uint8_t* data, size_t length, std::vector<EXFATDirectoryEntry>& out,
                          std::string& label) {
  const size_t chunkCount = length / kEntrySize;
  // The set being filled, as an index into out (which may grow meanwhile); none before the
  // first file chunk.
  std::optional<size_t> current;
  unsigned remaining = 0;
  for (size_t i = 0; i < chunkCount; ++i) {
    const FAT64ChunkBase chunk = ChunkAt(data, i);
    switch (chunk.Kind()) {
      case kKindVolumeLabel:
        if (chunk.InUse()) label = LabelText(chunk);  // a deleted label is no label
        break;
      case kKindFile:
        out.push_back(EXFATDirectoryEntry{{chunk}, !chunk.InUse()});
        current = out.size() - 1;
        remaining = chunk.Byte(kFileSecondaryCount);
        break;
      case kKindStream:
      case kKindFileName:
        if (current && remaining > 0) {
          --remaining;
          out[*current].chunks.push_back(chunk);
        }
        break;
      default:  // end of directory, bitmap, up-case table, GUID and vendor entries
        break;
    }
  }
}

const FAT64ChunkBase* FindStreamChunk(const EXFATDirectoryEntry& set) {
  return FindChunkOfKind(set, kKindStream);
}

const FAT64ChunkBase* FindFileChunk(const EXFATDirectoryEntry& set) {
  return FindChunkOfKind(set, kKindFile);
}

std::string AssembleName(const EXFATDirectoryEntry& set) {
  std::array<char16_t, kNameBufferUnits> buffer{};
  const FAT64ChunkBase* stream = FindStreamChunk(set);
  const size_t length = stream ? stream->Byte(kStreamNameLength) : kNameLengthWithoutStream;
  size_t position = 0;
  for (const FAT64ChunkBase& chunk : set.chunks) {
    if (chunk.Kind() != kKindFileName) continue;
    // Name chunks past the buffer (more than 17 of them) add nothing.
    const size_t units = std::min(kNameUnitsPerEntry, buffer.size() - std::min(position, buffer.size()));
    for (size_t u = 0; u < units; ++u) buffer[position + u] = chunk.Word(kNameUnits + 2 * u);
    position += kNameUnitsPerEntry;
  }
  // The name ends after NameLength units or at the first zero unit.
  return Utf16ToUtf8(buffer.data(), length);
}

std::string LabelText(const FAT64ChunkBase& chunk) {
  const size_t count = std::min<size_t>(chunk.Byte(kLabelCharacterCount), kMaxLabelUnits);
  const std::u16string units = ReadUtf16Le(chunk.Field(kLabelUnits, 2 * count), count);
  return Utf16ToUtf8(units.data(), units.size());
}

std::string FormatExfatTimestamp(uint16_t date, uint16_t time, uint8_t hundredths) {
  return FormatDosTimestamp(DecodeDosDateTime(date, time), hundredths);
}

std::string FormatExfatAttributes(const EXFATDirectoryEntry& set) {
  const FAT64ChunkBase* file = FindFileChunk(set);
  return file != nullptr ? FormatDosAttributes(file->Byte(kFileAttributes)) : "";
}

bool IsDirectorySet(const EXFATDirectoryEntry& set) {
  const FAT64ChunkBase* file = FindFileChunk(set);
  return file != nullptr && (file->Byte(kFileAttributes) & kAttributeDirectory) != 0;
}
