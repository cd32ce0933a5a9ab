#pragma once
// What the benchmark images hold. scripts/bench.sh makes them with the same names, sizes and
// seeds: keep the two in step.

#include <cstdint>

#include "bench/Pattern.h"

namespace bench {

inline constexpr uint64_t kMiB = uint64_t{1} << 20;

// A file in the root of both images, filled with the pattern of its seed (bench/Pattern.h).
struct BenchFile {
  const char* name;
  uint64_t size;
  uint64_t seed;
};

// Written first, so it lies in one run of clusters.
inline constexpr BenchFile kContiguousFile{"CONTIG.BIN", 512 * kMiB, 1};
// Written last, into the 64 KiB holes left by deleting every other file that filled the volume.
inline constexpr BenchFile kFragmentedFile{"FRAG.BIN", 512 * kMiB, 2};
// The file whose save is measured for memory.
inline constexpr BenchFile kSavedFile{"HUGE.BIN", 1024 * kMiB, 3};

// A directory in the root holding this many empty files named "00001 long entry name.txt"
// and so on: on FAT each takes two long-name slots and a short-name slot.
inline constexpr const char* kManyDirectory = "MANY";
inline constexpr uint32_t kManyEntries = 20000;

// The images, in the folder given with --images.
inline constexpr const char* kFat32Image = "fat32.img";
inline constexpr const char* kExfatImage = "exfat.img";
// The FAT32 image as an EnCase image (ewfacquire, deflate:fast, in segment files of 1.4 GiB).
inline constexpr const char* kFat32Evidence = "fat32.E01";

// The images whose recovery is measured: 20,000 small files, kRecoverFilesPerDirectory in each
// of the folders D000, D001, ..., named F0000.BIN, F0001.BIN, ...; file i of the whole tree
// (counted across the folders) holds RecoverFileSize(i) bytes of the pattern of seed
// kRecoverSeed + i.
inline constexpr const char* kRecoverFat32Image = "recover-fat32.img";
inline constexpr const char* kRecoverExfatImage = "recover-exfat.img";
inline constexpr uint32_t kRecoverFiles = 20000;
inline constexpr uint32_t kRecoverFilesPerDirectory = 200;
inline constexpr uint64_t kRecoverSeed = 5000;

// From 100 bytes to a little under 8 KiB.
inline uint64_t RecoverFileSize(uint64_t index) { return 100 + PatternWord(kRecoverSeed, index) % 8000; }

inline uint64_t RecoverTotalBytes() {
  uint64_t total = 0;
  for (uint64_t i = 0; i < kRecoverFiles; ++i) total += RecoverFileSize(i);
  return total;
}

}  // namespace bench
