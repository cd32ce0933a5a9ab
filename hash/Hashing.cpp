#include "hash/Hashing.h"

#include <algorithm>
#include <memory>

#include "fs/SpanStream.h"

namespace {

// Hands every piece on to the hashes, telling progress after each.
class ProgressSink final : public ByteSink {
 public:
  ProgressSink(HashSink& hashes, uint64_t total, const HashProgress& progress)
      : hashes_(hashes), total_(total), progress_(progress) {}
  bool Write(const uint8_t* data, size_t n) override { return hashes_.Write(data, n) && Tell(); }
  bool WriteZeros(uint64_t n) override { return hashes_.WriteZeros(n) && Tell(); }
  bool Tell() {
    stopped_ = progress_ && !progress_(hashes_.bytes(), total_);
    return !stopped_;
  }
  bool stopped() const { return stopped_; }

 private:
  HashSink& hashes_;
  uint64_t total_;
  const HashProgress& progress_;
  bool stopped_ = false;
};

Hashes Finished(HashSink& hashes, const ProgressSink& sink) {
  Hashes result;
  result.bytes = hashes.bytes();
  result.complete = !sink.stopped();
  if (result.complete) result.digests = hashes.Finish();
  return result;
}

}  // namespace

Hashes HashEntry(TDirectoryEntry& entry, const std::vector<HashAlgorithm>& algorithms, const HashProgress& progress) {
  HashSink hashes(algorithms);
  ProgressSink sink(hashes, entry.DataLength(), progress);
  if (sink.Tell()) entry.StreamData(sink, 0);
  return Finished(hashes, sink);
}

Hashes HashSource(TSectorReader& reader, const std::vector<HashAlgorithm>& algorithms, const HashProgress& progress) {
  HashSink hashes(algorithms);
  const uint64_t sectorBytes = std::max<uint32_t>(reader.bytesPerSector(), 1);
  const uint64_t total = uint64_t{reader.totalSectors()} * sectorBytes;
  ProgressSink sink(hashes, total, progress);
  const uint64_t piece = std::max<uint64_t>(1, kPieceBytes / sectorBytes) * sectorBytes;
  const auto buffer = std::make_unique_for_overwrite<uint8_t[]>(piece);
  for (uint64_t done = 0; done < total && sink.Tell();) {
    const auto n = static_cast<uint32_t>(std::min(piece, total - done));
    reader.ReadDirectAt(static_cast<uint32_t>(done / sectorBytes), buffer.get(), n);  // zeros where it fails
    if (!sink.Write(buffer.get(), n)) break;
    done += n;
  }
  return Finished(hashes, sink);
}
