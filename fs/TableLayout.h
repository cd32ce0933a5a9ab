#pragma once
// On-disk layouts of partition tables: the classic table of sector 0, the extended boot
// records that chain logical drives, and the GUID partition table (header and entries).
// Offsets are in bytes from the start of their record; every multi-byte field is little-endian.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "fs/Bytes.h"

namespace mbr {

// Sector 0, and every extended boot record, share this shape.
inline constexpr size_t kTableOffset = 446;           // four entries of 16 bytes
inline constexpr int kEntryCount = 4;
inline constexpr size_t kSignature = 510;             // 2: 0x55, 0xAA
inline constexpr size_t kMinimumSectorSize = 512;     // bytes up to the signature

// An extended boot record describes one logical drive in its first entry and links to the
// next record in its second; the other two entries are unused.
inline constexpr int kExtendedRecordEntries = 2;

// Type codes with a meaning for the walk.
inline constexpr uint8_t kTypeExtended = 0x05;
inline constexpr uint8_t kTypeExtendedLba = 0x0F;
inline constexpr uint8_t kTypeExtendedLinux = 0x85;
inline constexpr uint8_t kTypeGptProtective = 0xEE;

inline bool HasSignature(const uint8_t* sector) {
  return sector[kSignature] == 0x55 && sector[kSignature + 1] == 0xAA;
}

inline bool IsExtendedType(uint8_t type) {
  return type == kTypeExtended || type == kTypeExtendedLba || type == kTypeExtendedLinux;
}

}  // namespace mbr

namespace gpt {

// Header, in the sector after the protective table (primary) and in the last sector (backup).
inline constexpr uint64_t kPrimaryHeaderLba = 1;
inline constexpr char kSignatureText[] = "EFI PART";  // bytes 0 to 7
inline constexpr size_t kSignatureLength = 8;
inline constexpr size_t kHeaderSize = 12;             // 4: bytes the header CRC covers
inline constexpr size_t kHeaderCrc = 16;              // 4: CRC-32 with this field as zeros
inline constexpr size_t kMyLba = 24;                  // 8: where this copy lies
inline constexpr size_t kAlternateLba = 32;           // 8: where the other copy lies
inline constexpr size_t kEntriesLba = 72;             // 8: first sector of the entry array
inline constexpr size_t kEntryCount = 80;             // 4
inline constexpr size_t kEntrySize = 84;              // 4: 128 × 2^n
inline constexpr size_t kEntriesCrc = 88;             // 4: CRC-32 of the whole array
inline constexpr uint32_t kMinimumHeaderSize = 92;    // the fields above
inline constexpr uint32_t kMinimumEntrySize = 128;

// Entry.
inline constexpr size_t kEntryTypeGuid = 0;           // 16: all zeros in an unused entry
inline constexpr size_t kGuidLength = 16;
inline constexpr size_t kEntryFirstLba = 32;          // 8
inline constexpr size_t kEntryLastLba = 40;           // 8, inclusive

// A header as stored; only the fields Brindle reads.
struct Header {
  uint32_t headerSize = 0;
  uint32_t headerCrc = 0;
  uint64_t myLba = 0;
  uint64_t alternateLba = 0;
  uint64_t entriesLba = 0;
  uint32_t entryCount = 0;
  uint32_t entrySize = 0;
  uint32_t entriesCrc = 0;

  static Header FromBytes(const uint8_t* bytes) {
    Header header;
    header.headerSize = le32(bytes + kHeaderSize);
    header.headerCrc = le32(bytes + kHeaderCrc);
    header.myLba = le64(bytes + kMyLba);
    header.alternateLba = le64(bytes + kAlternateLba);
    header.entriesLba = le64(bytes + kEntriesLba);
    header.entryCount = le32(bytes + kEntryCount);
    header.entrySize = le32(bytes + kEntrySize);
    header.entriesCrc = le32(bytes + kEntriesCrc);
    return header;
  }
};

// An entry of the array; only the fields Brindle reads.
struct Entry {
  std::array<uint8_t, kGuidLength> typeGuid{};
  uint64_t firstLba = 0;
  uint64_t lastLba = 0;

  static Entry FromBytes(const uint8_t* bytes) {
    Entry entry;
    std::copy_n(bytes + kEntryTypeGuid, kGuidLength, entry.typeGuid.begin());
    entry.firstLba = le64(bytes + kEntryFirstLba);
    entry.lastLba = le64(bytes + kEntryLastLba);
    return entry;
  }

  bool IsUnused() const {
    return std::all_of(typeGuid.begin(), typeGuid.end(), [](uint8_t b) { return b == 0; });
  }
};

}  // namespace gpt
