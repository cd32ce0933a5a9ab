#pragma once
// The 16-byte entry of a classic partition table, from which every partition is created. An
// unpartitioned volume gets an all-zero entry (start sector 0).

#include <array>
#include <cstdint>

inline constexpr size_t kPartitionEntrySize = 16;

struct PartitionEntry {
  uint8_t bootIndicator = 0;             // 0x80 = active
  std::array<uint8_t, 3> startChs{};     // not used
  uint8_t typeCode = 0;                  // shown by the default description only
  std::array<uint8_t, 3> endChs{};       // not used
  uint32_t startLba = 0;                 // absolute sector of the partition's first sector
  uint32_t sectorCount = 0;              // not used

  // Reads the entry from 16 bytes as stored in a partition table.
  static PartitionEntry FromBytes(const uint8_t* bytes);
};
