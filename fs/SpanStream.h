#pragma once
// The one way the chain walks of both families hand data to a sink: spans of the source, read
// through the sector reader in pieces of bounded size, each piece read into the sink's own
// space or into one buffer kept for the whole walk, which gathers short runs into fewer
// writes.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "device/SectorReader.h"
#include "fs/ByteSink.h"
#include "fs/Completeness.h"

// The most bytes one piece holds (rounded down to whole sectors): reads and writes of this size
// cost few calls, and the buffer stays small.
inline constexpr size_t kPieceBytes = size_t{1} << 20;

// Reads count bytes (fewer than 4 GiB) from the first byte of the absolute sector on into dest,
// through the reader's window; bytes beyond the end of the source, or of a read that failed,
// are zeros. For tables and other small records read near each other. False when a read of the
// source failed.
bool ReadClipped(TSectorReader& reader, uint64_t sector, uint8_t* dest, size_t count);

class SpanStream {
 public:
  SpanStream(TSectorReader& reader, ByteSink& sink) : reader_(reader), sink_(sink) {}

  // Sends count bytes from the first byte of the absolute sector on. Bytes beyond the end of
  // the source are zeros, handed over with the sink's WriteZeros; so are sectors that could not
  // be read (the reader has asked the user about them), with Write. Either way the sink is told
  // that zeros stand in for them. The data is read in whole sectors, straight from the medium,
  // so that it does not push tables out of the reader's window; a sink that only measures gets
  // the counts and nothing is read. Returns false once the sink has stopped the read.
  bool Send(uint64_t sector, uint64_t count);
  // Tells the sink what of the entry's data the walk cannot give (see ByteSink::NoteShortfall).
  void Note(DataShortfall why, uint64_t standIns = 0) { sink_.NoteShortfall(why, standIns); }
  // Hands over what is still gathered; false when the sink stopped. Every walk ends with it.
  bool Finish();

 private:
  bool Read(uint64_t sector, uint64_t count);
  uint64_t SectorBytes() const;
  // Reads the whole sectors of a piece into dest and tells the sink of those that could not be
  // read; the first n bytes are the piece's.
  void ReadPiece(uint64_t sector, uint8_t* dest, size_t whole, size_t n);
  // Where bytes more can be gathered, growing the buffer up to piece bytes.
  uint8_t* Room(size_t bytes, size_t piece);

  TSectorReader& reader_;
  ByteSink& sink_;
  std::unique_ptr<uint8_t[]> buffer_;  // at most a piece: kPieceBytes in whole sectors
  size_t capacity_ = 0;
  size_t gathered_ = 0;                // bytes in buffer_ not yet handed over
};
