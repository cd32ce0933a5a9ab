// brindle-carve-bench: how fast RecognizeStart tells a cluster's start, and how often it takes
// one for a file that is none: on fresh random heads, and at every 512-byte boundary inside the
// files named (where no file begins, so every yes is a false one unless the format repeats its
// header there, as MPEG program streams do, or the file embeds another). Then how fast
// MeasureFile measures each named file that it recognises.
//
//   brindle-carve-bench [--heads=N] [FILE...]

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "formats/carve/Carving.h"

namespace {

constexpr size_t kHead = 4096;

struct Xorshift {
  uint64_t state;
  uint64_t Next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
  void Fill(uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; i += 8) {
      const uint64_t v = Next();
      std::memcpy(p + i, &v, std::min<size_t>(8, n - i));
    }
  }
};

void PrintCounts(const char* what, uint64_t heads, const std::map<std::string, uint64_t>& counts) {
  uint64_t total = 0;
  for (const auto& [kind, n] : counts) total += n;
  std::printf("%s: %llu heads, %llu recognised (%.3g per million)", what, static_cast<unsigned long long>(heads),
              static_cast<unsigned long long>(total), heads ? 1e6 * static_cast<double>(total) / static_cast<double>(heads) : 0.0);
  for (const auto& [kind, n] : counts) std::printf(" %s:%llu", kind.c_str(), static_cast<unsigned long long>(n));
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t heads = 10'000'000;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--heads=", 8) == 0) heads = std::strtoull(argv[i] + 8, nullptr, 10);
    else files.push_back(argv[i]);
  }
  Xorshift random{0x9E3779B97F4A7C15ull};

  // Throughput over a pool of random heads, so that making them is not what is timed.
  std::vector<uint8_t> pool(256 * kHead);
  random.Fill(pool.data(), pool.size());
  const uint64_t timed = 20'000'000;
  uint64_t yes = 0;
  const auto start = std::chrono::steady_clock::now();
  for (uint64_t i = 0; i < timed; ++i) yes += RecognizeStart(pool.data() + (i % 256) * kHead, kHead).has_value();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("RecognizeStart: %.1f ns per 4 KiB head, %.1f million heads per second (%llu yes)\n",
              1e9 * seconds / static_cast<double>(timed), static_cast<double>(timed) / seconds / 1e6,
              static_cast<unsigned long long>(yes));

  // False recognitions on fresh random heads, whole clusters and the smallest ones.
  for (const size_t size : {kHead, size_t{512}}) {
    std::map<std::string, uint64_t> counts;
    std::vector<uint8_t> head(size);
    for (uint64_t i = 0; i < heads; ++i) {
      random.Fill(head.data(), head.size());
      if (const auto kind = RecognizeStart(head.data(), head.size())) ++counts[TypeOf(*kind).extension];
    }
    PrintCounts(size == kHead ? "random 4096-byte heads" : "random 512-byte heads", heads, counts);
  }

  // Inside real files, at every 512-byte boundary but the first.
  std::map<std::string, uint64_t> inside;
  uint64_t boundaries = 0;
  for (const std::string& name : files) {
    std::ifstream in(name, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    std::map<std::string, uint64_t> here;
    for (size_t at = 512; at < bytes.size(); at += 512, ++boundaries) {
      if (const auto kind = RecognizeStart(bytes.data() + at, std::min(kHead, bytes.size() - at))) {
        ++inside[TypeOf(*kind).extension];
        ++here[TypeOf(*kind).extension];
      }
    }
    for (const auto& [kind, n] : here) std::printf("  inside %s: %llu taken for %s\n", name.c_str(), static_cast<unsigned long long>(n), kind.c_str());
  }
  if (!files.empty()) PrintCounts("512-byte boundaries inside the files", boundaries, inside);

  struct Source : CarveSource {
    const std::vector<uint8_t>* bytes = nullptr;
    size_t Read(uint64_t offset, uint8_t* dest, size_t count) override {
      if (offset >= bytes->size()) return 0;
      count = std::min<size_t>(count, bytes->size() - offset);
      std::memcpy(dest, bytes->data() + offset, count);
      return count;
    }
    uint64_t Limit() const override { return bytes->size(); }
  };
  for (const std::string& name : files) {
    std::ifstream in(name, std::ios::binary);
    const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), {}};
    const auto kind = RecognizeStart(file.data(), std::min(kHead, file.size()));
    if (!kind || file.size() < 1024 * 1024) continue;
    // The file and a cluster of zeros after it, as on a card.
    std::vector<uint8_t> bytes = file;
    bytes.resize(file.size() + 32 * 1024);
    Source source;
    source.bytes = &bytes;
    const auto begin = std::chrono::steady_clock::now();
    const auto result = MeasureFile(*kind, source);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    std::printf("MeasureFile %s (%s, %zu bytes): %s, %.0f MB/s\n", name.c_str(), TypeOf(*kind).extension, file.size(),
                result && result->whole && result->length == file.size() ? "whole to its length" : "NOT whole",
                static_cast<double>(file.size()) / s / 1e6);
  }
  return 0;
}
