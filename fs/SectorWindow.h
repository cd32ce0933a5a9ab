#pragma once
// A few sectors of the source kept around the bytes asked for last, for the tables that walks
// look up entry by entry: the allocation table of either family and the exFAT allocation
// bitmap. The stretch is read through the reader's window (ReadClipped: zeros beyond the end of
// the source or of a failed read), and read again only when the bytes wanted do not all lie in
// it, from the source sector that holds the first of them.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "device/SectorReader.h"

class SectorWindow {
 public:
  // Keeps sectors of the source's sectors (at least one). A range of bytes is held whole once
  // loaded when it is no longer than sectors - 1 sectors and one byte: one sector serves single
  // bytes, two serve records of up to a sector's length wherever they start.
  SectorWindow(TSectorReader& reader, size_t sectors);

  // The count bytes from the source's byte position on.
  const uint8_t* At(uint64_t position, size_t count);
  // The source's sector size the stretch is counted in (1 for a reader that knows none).
  uint32_t SectorBytes() const { return sectorBytes_; }

 private:
  TSectorReader& reader_;
  const uint32_t sectorBytes_;
  std::vector<uint8_t> bytes_;
  uint64_t first_ = 0;  // the source byte the stretch starts at
  bool loaded_ = false;
};
