#include "fuzz/CarveHarness.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "formats/carve/Carving.h"

namespace {

constexpr size_t kBlock = 512;
constexpr char kBadBlock[] = "BADSECT!";
constexpr size_t kHeadSize = 4096;

// One kind of each family: MeasureFile follows the family's structure whichever kind of it
// is asked for.
constexpr CarvedKind kFamilies[] = {
    CarvedKind::kJpeg, CarvedKind::kPng,  CarvedKind::kGif, CarvedKind::kBmp, CarvedKind::kTiff,
    CarvedKind::kMp4,  CarvedKind::kAvi,  CarvedKind::kMkv, CarvedKind::kMpeg, CarvedKind::kMp3,
    CarvedKind::kFlac, CarvedKind::kOgg,  CarvedKind::kPdf, CarvedKind::kZip, CarvedKind::kDoc,
};

class InputSource : public CarveSource {
 public:
  InputSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t Read(uint64_t offset, uint8_t* dest, size_t count) override {
    if (offset >= size_) return 0;
    count = static_cast<size_t>(std::min<uint64_t>(count, size_ - offset));
    read_ += count;
    // Copies up to the first unreadable block.
    size_t copied = 0;
    while (copied < count) {
      const uint64_t at = offset + copied;
      const uint64_t block = at / kBlock * kBlock;
      if (block + sizeof kBadBlock - 1 <= size_ && std::memcmp(data_ + block, kBadBlock, sizeof kBadBlock - 1) == 0) break;
      const size_t n = static_cast<size_t>(std::min<uint64_t>(count - copied, block + kBlock - at));
      std::memcpy(dest + copied, data_ + at, n);
      copied += n;
    }
    return copied;
  }
  uint64_t Limit() const override { return size_; }

  uint64_t BytesRead() const { return read_; }
  void ResetCount() { read_ = 0; }

 private:
  const uint8_t* data_;
  size_t size_;
  uint64_t read_ = 0;
};

[[noreturn]] void Breach(const char* what, CarvedKind kind, uint64_t value, uint64_t bound) {
  std::fprintf(stderr, "carve harness: %s of %s: %llu, bound %llu\n", what, TypeOf(kind).extension,
               static_cast<unsigned long long>(value), static_cast<unsigned long long>(bound));
  std::abort();
}

}  // namespace

CarveHarnessReport RunCarveHarness(const uint8_t* data, size_t size) {
  CarveHarnessReport report;
  report.recognised = RecognizeStart(data, std::min(size, kHeadSize)).has_value();
  InputSource source(data, size);
  // What a measurement may read: the bytes once, a sixteenth more, and a megabyte.
  const uint64_t budget = size + size / 16 + 1024 * 1024;
  for (const CarvedKind kind : kFamilies) {
    source.ResetCount();
    const std::optional<CarveResult> result = MeasureFile(kind, source);
    if (source.BytesRead() > budget) Breach("bytes read measuring", kind, source.BytesRead(), budget);
    if (result) {
      if (result->length > size || result->length == 0) Breach("length", kind, result->length, size);
      ++report.measured;
      if (result->whole) ++report.whole;
    }
    source.ResetCount();
    const std::optional<EmbeddedPreview> preview = FindEmbeddedPreview(kind, source);
    if (source.BytesRead() > budget) Breach("bytes read finding a preview", kind, source.BytesRead(), budget);
    if (preview && (preview->offset > size || preview->length > size - preview->offset)) {
      Breach("preview end", kind, preview->offset + preview->length, size);
    }
  }
  return report;
}
