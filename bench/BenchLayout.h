#pragma once
// What the benchmark images hold. scripts/bench.sh makes them with the same names, sizes and
// seeds: keep the two in step.

#include <cstdint>

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

}  // namespace bench
