#pragma once
// On-disk layouts of FAT12, FAT16 and FAT32: the boot sector fields Brindle reads, the 32-byte
// directory slot, the long-name slot and the allocation-table entry values. Offsets are in
// bytes from the start of their record; every multi-byte field is little-endian.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fs/Bytes.h"

namespace fat {

// Boot sector.
inline constexpr uint32_t kBootReadSize = 512;        // read whatever the source's sector size
inline constexpr size_t kBootParametersSize = 36;     // bytes 0 to 35, kept as they are
inline constexpr size_t kOemName = 3;                 // 8: the formatter's name ("MSDOS5.0", "NTFS    ")
inline constexpr size_t kOemNameTail = 8;             // 3 bytes: last characters of the OEM name
inline constexpr size_t kBytesPerSector = 11;         // 2
inline constexpr size_t kSectorsPerCluster = 13;      // 1
inline constexpr size_t kReservedSectors = 14;        // 2
inline constexpr size_t kTableCount = 16;             // 1
inline constexpr size_t kRootEntryCount = 17;         // 2, FAT12/16
inline constexpr size_t kTotalSectors16 = 19;         // 2, 0 when the 32-bit field holds it
inline constexpr size_t kSectorsPerTable16 = 22;      // 2, FAT12/16
inline constexpr size_t kTotalSectors32 = 32;         // 4
inline constexpr size_t kSectorsPerTable32 = 36;      // 4, FAT32
inline constexpr size_t kLabel16 = 43;                // 11, FAT12/16
inline constexpr size_t kRootCluster32 = 44;          // 4, FAT32
inline constexpr size_t kTypeText16 = 54;             // 5: "FAT12" or "FAT16"
inline constexpr size_t kLabel32 = 71;                // 11, FAT32
inline constexpr size_t kTypeText32 = 82;             // 5: "FAT32"
inline constexpr size_t kTypeTextLength = 5;
inline constexpr size_t kLabelLength = 11;

// Directory slot.
inline constexpr size_t kSlotSize = 32;
inline constexpr size_t kSlotName = 0;                // 8, space-padded; byte 0 is the marker
inline constexpr size_t kSlotNameLength = 8;
inline constexpr size_t kSlotExtension = 8;           // 3, space-padded
inline constexpr size_t kSlotExtensionLength = 3;
inline constexpr size_t kSlotAttributes = 11;         // 1
inline constexpr size_t kSlotCaseFlags = 12;          // 1
inline constexpr size_t kSlotCreatedTenMs = 13;       // 1, 10-ms units
inline constexpr size_t kSlotCreatedTime = 14;        // 2
inline constexpr size_t kSlotCreatedDate = 16;        // 2
inline constexpr size_t kSlotAccessDate = 18;         // 2
inline constexpr size_t kSlotClusterHigh = 20;        // 2, FAT32 only
inline constexpr size_t kSlotModifiedTime = 22;       // 2
inline constexpr size_t kSlotModifiedDate = 24;       // 2
inline constexpr size_t kSlotClusterLow = 26;         // 2
inline constexpr size_t kSlotFileSize = 28;           // 4

// Marker values of a slot's first byte.
inline constexpr uint8_t kMarkerEnd = 0x00;
inline constexpr uint8_t kMarkerDot = 0x2E;
inline constexpr uint8_t kMarkerDeleted = 0xE5;
inline constexpr uint8_t kMarkerE5 = 0x05;            // stands for a name beginning with 0xE5

// Attribute bits.
inline constexpr uint8_t kAttrReadOnly = 0x01;
inline constexpr uint8_t kAttrHidden = 0x02;
inline constexpr uint8_t kAttrSystem = 0x04;
inline constexpr uint8_t kAttrVolumeLabel = 0x08;
inline constexpr uint8_t kAttrDirectory = 0x10;
inline constexpr uint8_t kAttrArchive = 0x20;
inline constexpr uint8_t kAttrLongNameMask = 0x0F;    // all four low bits: a long-name slot
inline constexpr uint8_t kAttrUndefined = 0xC0;       // the two bits no file system sets

// Case flags.
inline constexpr uint8_t kCaseLowerName = 0x08;
inline constexpr uint8_t kCaseLowerExtension = 0x10;

// Long-name slot: 13 UTF-16LE characters in three pieces.
inline constexpr size_t kLongSequence = 0;
inline constexpr uint8_t kLongLastPiece = 0x40;
inline constexpr size_t kLongChars1 = 1;              // 5 characters
inline constexpr size_t kLongChars2 = 14;             // 6 characters
inline constexpr size_t kLongChars3 = 28;             // 2 characters
inline constexpr size_t kLongType = 12;               // 1, 0 for a name piece
inline constexpr size_t kLongChecksum = 13;           // 1, checksum of the short name it belongs to
inline constexpr size_t kLongCluster = 26;            // 2, always 0
inline constexpr size_t kLongCharsPerSlot = 13;
inline constexpr size_t kLongNameCapacity = 256;      // code units, terminator included

// The boot sector's label field of a volume without a label, as formatters fill it (trimmed).
inline constexpr const char* kNoLabelText = "NO NAME";

// Allocation-table entries.
inline constexpr uint32_t kFreeCluster = 0;
inline constexpr uint32_t kFirstDataCluster = 2;
inline constexpr uint32_t kEndOfChain12 = 0xFF8;
inline constexpr uint32_t kEndOfChain16 = 0xFFF8;
inline constexpr uint32_t kEndOfChain32 = 0x0FFFFFF8;
inline constexpr uint32_t kBadCluster12 = 0xFF7;
inline constexpr uint32_t kBadCluster16 = 0xFFF7;
inline constexpr uint32_t kBadCluster32 = 0x0FFFFFF7;
inline constexpr uint32_t kEntryMask12 = 0xFFF;
inline constexpr uint32_t kEntryMask32 = 0x0FFFFFFF;  // the top four bits are ignored

}  // namespace fat

// One 32-byte directory slot as stored, with the first cluster it names. The synthetic record
// of a root directory has the same form.
struct FATDirectoryEntry {
  FATDirectoryEntry(const uint8_t* slot, int32_t fatType) : fatType(fatType) {
    std::copy(slot, slot + fat::kSlotSize, raw.begin());
    firstCluster = le16(raw.data() + fat::kSlotClusterLow);
    if (fatType == 32) firstCluster |= uint32_t{le16(raw.data() + fat::kSlotClusterHigh)} << 16;
  }

  uint8_t marker() const { return raw[fat::kSlotName]; }
  uint8_t attributes() const { return raw[fat::kSlotAttributes]; }
  uint16_t u16(size_t offset) const { return le16(raw.data() + offset); }
  uint32_t fileSize() const { return le32(raw.data() + fat::kSlotFileSize); }
  bool isLongName() const { return (attributes() & fat::kAttrLongNameMask) == fat::kAttrLongNameMask; }

  std::array<uint8_t, fat::kSlotSize> raw{};
  int32_t fatType;
  uint32_t firstCluster;
};

// The records of one directory, in slot order. Nodes point into it, so it is filled once and
// then left alone until the directory is read again.
using FATRecordList = std::vector<FATDirectoryEntry>;
