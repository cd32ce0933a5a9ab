#include "fs/SectorWindow.h"

#include <algorithm>

#include "fs/SpanStream.h"

SectorWindow::SectorWindow(TSectorReader& reader, size_t sectors)
    : reader_(reader),
      sectorBytes_(std::max<uint32_t>(reader.bytesPerSector(), 1)),
      bytes_(std::max<size_t>(sectors, 1) * sectorBytes_) {}

const uint8_t* SectorWindow::At(uint64_t position, size_t count) {
  if (!loaded_ || position < first_ || position - first_ > bytes_.size() - count) {
    const uint64_t sector = position / sectorBytes_;
    ReadClipped(reader_, sector, bytes_.data(), bytes_.size());
    first_ = sector * sectorBytes_;
    loaded_ = true;
  }
  return bytes_.data() + (position - first_);
}
