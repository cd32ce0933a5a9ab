#include "fs/SpanStream.h"

#include <algorithm>
#include <cstring>

namespace {

// Reads count bytes, a whole number of sectors, with read; what lies beyond the source is zero.
// Returns what read returned, true when nothing was read.
template <typename Read>
bool ReadInSource(TSectorReader& reader, uint64_t sector, uint8_t* dest, size_t count, Read read) {
  const uint64_t sectorBytes = reader.bytesPerSector();
  const uint64_t totalSectors = reader.totalSectors();
  const uint64_t readable = sector < totalSectors ? std::min<uint64_t>(count, (totalSectors - sector) * sectorBytes) : 0;
  const bool ok = readable == 0 || read(static_cast<uint32_t>(sector), dest, static_cast<uint32_t>(readable));
  std::memset(dest + readable, 0, count - readable);
  return ok;
}

}  // namespace

bool ReadClipped(TSectorReader& reader, uint64_t sector, uint8_t* dest, size_t count) {
  return ReadInSource(reader, sector, dest, count,
               [&](uint32_t at, uint8_t* to, uint32_t n) { return reader.ReadAt(at, 0, to, n); });
}

uint64_t SpanStream::SectorBytes() const { return std::max<uint32_t>(reader_.bytesPerSector(), 1); }

bool SpanStream::Send(uint64_t sector, uint64_t count) {
  switch (sink_.Place(sector, count)) {
    case ByteSink::Placement::kSkip: return true;
    case ByteSink::Placement::kStop: return false;
    case ByteSink::Placement::kRead: break;
  }
  return Read(sector, count);
}

bool SpanStream::Read(uint64_t sector, uint64_t count) {
  const uint64_t sectorBytes = SectorBytes();
  // What lies beyond the end of the source is handed over as zeros, after what came before it.
  const uint64_t totalSectors = reader_.totalSectors();
  const uint64_t inSource = sector < totalSectors ? std::min(count, (totalSectors - sector) * sectorBytes) : 0;
  if (inSource < count) {
    Note(DataShortfall::kBeyondSource, count - inSource);
    return Read(sector, inSource) && Finish() && sink_.WriteZeros(count - inSource);
  }
  if (!sink_.WantsBytes()) return count == 0 || sink_.WriteZeros(count);
  const uint64_t piece = std::max<uint64_t>(1, kPieceBytes / sectorBytes) * sectorBytes;
  while (count > 0) {
    const auto n = static_cast<size_t>(std::min(count, piece));
    // The last sector is read whole; only its first bytes are handed over.
    const auto whole = static_cast<size_t>((n + sectorBytes - 1) / sectorBytes * sectorBytes);
    uint8_t* space = sink_.Space(whole);
    uint8_t* dest = space;
    if (space == nullptr) {
      if (gathered_ + whole > piece && !Finish()) return false;
      dest = Room(whole, piece);
    }
    ReadPiece(sector, dest, whole, n);
    if (space == nullptr) gathered_ += n;
    else if (!sink_.Write(space, n)) return false;
    sector += n / sectorBytes;
    count -= n;
  }
  return true;
}

void SpanStream::ReadPiece(uint64_t sector, uint8_t* dest, size_t whole, size_t n) {
  const FaultLog& log = reader_.faultLogOfThisThread();
  const size_t ignoredBefore = log.Ignored();
  const bool read = ReadInSource(reader_, sector, dest, whole,
                                 [&](uint32_t at, uint8_t* to, uint32_t bytes) { return reader_.ReadDirectAt(at, to, bytes); });
  // A read given up leaves the whole piece as zeros; one read around bad sectors, those sectors.
  const uint64_t zeros = read ? uint64_t{log.Ignored() - ignoredBefore} * SectorBytes() : n;
  if (zeros > 0) Note(DataShortfall::kUnreadable, std::min<uint64_t>(zeros, n));
}

// Grows the buffer by doubling, up to one piece, so that a walk of a few sectors does not take
// a piece's worth of memory.
uint8_t* SpanStream::Room(size_t bytes, size_t piece) {
  const size_t needed = gathered_ + bytes;
  if (needed > capacity_) {
    const size_t capacity = std::min(piece, std::max(needed, 2 * capacity_));
    auto grown = std::make_unique_for_overwrite<uint8_t[]>(capacity);
    if (gathered_ > 0) std::memcpy(grown.get(), buffer_.get(), gathered_);
    buffer_ = std::move(grown);
    capacity_ = capacity;
  }
  return buffer_.get() + gathered_;
}

bool SpanStream::Finish() {
  if (gathered_ == 0) return true;
  const size_t n = gathered_;
  gathered_ = 0;
  return sink_.Write(buffer_.get(), n);
}
