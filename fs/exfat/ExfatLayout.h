#pragma once
// The on-disk layout of exFAT as Brindle reads it: boot-sector fields, the 32-byte directory
// entries and the FAT. Offsets are in bytes from the start of the record; all fields are
// little-endian. Only layouts live here; the code that walks them is beside this header.

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "fs/Bytes.h"

namespace exfat {

// Boot sector (the first sector of the volume; always read as 512 bytes).
inline constexpr size_t kBootSectorSize = 512;
inline constexpr size_t kBootFileSystemName = 3;                // 8: "EXFAT   "
inline constexpr size_t kBootFatOffset = 80;                    // 4: sectors to the first FAT
inline constexpr size_t kBootFatLength = 84;                    // 4: sectors per FAT
inline constexpr size_t kBootClusterHeapOffset = 88;            // 4: sectors to cluster 2
inline constexpr size_t kBootClusterCount = 92;                 // 4: clusters in the heap
inline constexpr size_t kBootFirstClusterOfRootDirectory = 96;  // 4
inline constexpr size_t kBootBytesPerSectorShift = 108;         // 1
inline constexpr size_t kBootSectorsPerClusterShift = 109;      // 1

// Limits of the exFAT format that keep a damaged boot sector from sizing anything absurd.
inline constexpr unsigned kMinBytesPerSectorShift = 9;   // 512-byte sectors
inline constexpr unsigned kMaxBytesPerSectorShift = 12;  // 4096-byte sectors
inline constexpr unsigned kMaxClusterShift = 25;         // 32 MiB clusters
inline constexpr uint32_t kMaxClusterCount = 0xFFFFFFF5;
// The largest directory the format allows (its DataLength may not exceed 256 MiB); no
// directory read goes beyond it, and one that would is reported as cut there.
inline constexpr uint32_t kMaxDirectoryBytes = 256u << 20;

// FAT: one 32-bit entry per cluster; clusters are numbered from 2.
inline constexpr uint32_t kFatEntrySize = 4;
inline constexpr uint32_t kFirstCluster = 2;
inline constexpr uint32_t kEndOfChain = 0xFFFFFFFF;
inline constexpr uint32_t kBadCluster = 0xFFFFFFF7;
inline constexpr uint32_t kFreeCluster = 0;

// Directory entries: 32 bytes each. The low seven bits of the type byte name the kind; the
// top bit says the entry is in use.
inline constexpr size_t kEntrySize = 32;
inline constexpr size_t kEntryType = 0;  // 1
inline constexpr uint8_t kTypeInUse = 0x80;
inline constexpr uint8_t kTypeKindMask = 0x7F;
inline constexpr uint8_t kKindBitmap = 0x01;
inline constexpr uint8_t kKindVolumeLabel = 0x03;
inline constexpr uint8_t kKindFile = 0x05;
inline constexpr uint8_t kKindStream = 0x40;
inline constexpr uint8_t kKindFileName = 0x41;

// File entry (0x85; 0x05 when deleted).
inline constexpr size_t kFileSecondaryCount = 1;     // 1: stream and name entries that follow
inline constexpr size_t kFileAttributes = 4;         // 2: only the low byte is used
inline constexpr size_t kFileCreateTime = 8;         // 2
inline constexpr size_t kFileCreateDate = 10;        // 2
inline constexpr size_t kFileModifiedTime = 12;      // 2
inline constexpr size_t kFileModifiedDate = 14;      // 2
inline constexpr size_t kFileAccessedTime = 16;      // 2
inline constexpr size_t kFileAccessedDate = 18;      // 2
inline constexpr size_t kFileCreate10ms = 20;        // 1: hundredths added to the seconds
inline constexpr size_t kFileModified10ms = 21;      // 1
inline constexpr size_t kFileCreateUtcOffset = 22;    // 1: bit 7 set when bits 0-6 hold the offset
inline constexpr size_t kFileModifiedUtcOffset = 23;  // 1: the same
inline constexpr size_t kFileAccessedUtcOffset = 24;  // 1: the same
inline constexpr uint8_t kUtcOffsetValid = 0x80;
inline constexpr int kUtcOffsetStepMinutes = 15;     // bits 0-6: a signed count of 15 minutes
inline constexpr uint8_t kAttributeDirectory = 0x10;

// Stream extension entry (0xC0; 0x40 when deleted).
inline constexpr size_t kStreamFlags = 1;           // 1: GeneralSecondaryFlags
inline constexpr size_t kStreamNameLength = 3;      // 1: UTF-16 code units
inline constexpr size_t kStreamFirstCluster = 20;   // 4
inline constexpr size_t kStreamDataLength = 24;     // 8
inline constexpr uint8_t kFlagAllocationPossible = 0x01;
inline constexpr uint8_t kFlagNoFatChain = 0x02;

// File name entry (0xC1; 0x41 when deleted).
inline constexpr size_t kNameUnits = 2;  // 15 UTF-16LE code units
inline constexpr size_t kNameUnitsPerEntry = 15;
// A name is collected in a buffer of this many units: up to 256 of name and a terminator.
inline constexpr size_t kNameBufferUnits = 257;
// The name length assumed for a set without a stream entry.
inline constexpr size_t kNameLengthWithoutStream = 256;

// Allocation bitmap entry (0x81), in the root: one bit per cluster of the heap, set when the
// cluster is in use. A volume with two FATs has two, told apart by bit 0 of their flags.
inline constexpr size_t kBitmapFlags = 1;         // 1: bit 0 clear for the first bitmap
inline constexpr size_t kBitmapFirstCluster = 20;  // 4
inline constexpr size_t kBitmapDataLength = 24;    // 8
inline constexpr uint8_t kBitmapOfSecondFat = 0x01;

// Volume label entry (0x83; 0x03 when unused).
inline constexpr size_t kLabelCharacterCount = 1;  // 1
inline constexpr size_t kLabelUnits = 2;           // UTF-16LE code units
inline constexpr size_t kMaxLabelUnits = 11;

}  // namespace exfat

// One 32-byte directory entry, copied verbatim from the directory's data.
struct FAT64ChunkBase {
  std::array<uint8_t, exfat::kEntrySize> bytes{};

  uint8_t Byte(size_t offset) const { return *Field(offset, 1); }
  uint16_t Word(size_t offset) const { return le16(Field(offset, 2)); }
  uint32_t Dword(size_t offset) const { return le32(Field(offset, 4)); }
  uint64_t Qword(size_t offset) const { return le64(Field(offset, 8)); }
  // The field of width bytes at offset; the offsets are this header's constants.
  const uint8_t* Field(size_t offset, size_t width) const {
    if (offset + width > bytes.size()) throw std::out_of_range("FAT64ChunkBase field");
    return bytes.data() + offset;
  }
  // The kind of entry: the type byte without its in-use bit.
  uint8_t Kind() const { return bytes[exfat::kEntryType] & exfat::kTypeKindMask; }
  bool InUse() const { return (bytes[exfat::kEntryType] & exfat::kTypeInUse) != 0; }
};
