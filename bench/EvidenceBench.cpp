// Each pair of commands runs in child processes, timed from start to end with the page cache
// warm, which of them goes first turning with every round.

#include "bench/EvidenceBench.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/BenchLayout.h"
#include "bench/BenchSupport.h"
#include "bench/ChildRun.h"

namespace bench {

namespace {

// Where the file's bytes begin in the raw image, from the byte runs of brindle-cli's DFXML;
// 0 when the file is not one run.
uint64_t OffsetInImage(const std::string& image, const char* name) {
  int status = 0;
  const std::string xml = Captured({BRINDLE_CLI_PATH, "report", "--dfxml", image}, status);
  const size_t object = xml.find(std::string("<filename>") + name + "</filename>");
  if (status != 0 || object == std::string::npos) return 0;
  const size_t runs = xml.find("<byte_runs>", object);
  const size_t end = xml.find("</byte_runs>", runs);
  const size_t at = xml.find("img_offset='", runs);
  if (at == std::string::npos || at > end || xml.find("<byte_run ", at) < end) return 0;
  return std::stoull(xml.substr(at + 12));
}

// Times a and b over the rounds of state, turn about; returns their total seconds.
bool TimePair(benchmark::State& state, const std::vector<std::string>& a, const std::vector<std::string>& b,
              double seconds[2]) {
  const std::vector<std::string>* commands[2] = {&a, &b};
  int first = 0;
  for (auto _ : state) {
    for (int k = 0; k < 2; ++k) {
      const int which = (first + k) % 2;
      const ChildRun run = RunChild(*commands[which]);
      if (run.status != 0) {
        state.SkipWithError(((*commands[which])[0] + " failed: " + run.error).c_str());
        return false;
      }
      seconds[which] += run.seconds;
      if (which == 0) state.SetIterationTime(run.seconds);
    }
    first = 1 - first;
  }
  return true;
}

// The 1 GiB file read out of the EnCase image: brindle-cli cat of the entry, ewfexport of
// the same bytes of the medium as raw data.
void EwfReadBenchmark(benchmark::State& state) {
  const BenchFile file = kSavedFile;
  const std::string e01 = ImagePath(kFat32Evidence);
  const uint64_t offset = OffsetInImage(ImagePath(kFat32Image), file.name);
  if (offset == 0) {
    state.SkipWithError("the DFXML gives no single run for HUGE.BIN");
    return;
  }
  const std::vector<std::string> cat = {BRINDLE_CLI_PATH, "cat", e01, std::string("1:/") + file.name};
  const std::vector<std::string> ewfexport = {"ewfexport", "-u", "-q", "-f", "raw", "-t", "-",
                                              "-o", std::to_string(offset), "-B", std::to_string(file.size), e01};
  // ewfexport ends its standard output with "ewfexport: SUCCESS" even when told to be quiet.
  constexpr uint64_t kEwfexportTrailer = 64;
  for (const auto* command : {&cat, &ewfexport}) {
    const uint64_t trailer = command == &ewfexport ? kEwfexportTrailer : 0;
    if (const std::string problem = CheckOutput(*command, file, trailer); !problem.empty()) {
      state.SkipWithError(problem.c_str());
      return;
    }
  }
  LoadProbe load;
  double seconds[2] = {};
  if (!TimePair(state, cat, ewfexport, seconds)) return;
  const double bytes = static_cast<double>(file.size) * static_cast<double>(state.iterations());
  state.counters["MB/s"] = bytes / seconds[0] / 1e6;
  state.counters["ewfexport_MB/s"] = bytes / seconds[1] / 1e6;
  state.counters["speed_vs_ewfexport"] = seconds[1] / seconds[0];
  state.counters["other_cores"] = load.OtherCores();
}

// SHA-256 of the 1 GiB file: brindle-cli hash of the entry in the raw image against
// sha256sum of a copy saved once before, both in the page cache.
void HashBenchmark(benchmark::State& state) {
  const BenchFile file = kSavedFile;
  const std::string image = ImagePath(kFat32Image);
  const std::string folder = OutputFolder() + "/hashed";
  ::mkdir(folder.c_str(), 0755);
  int status = 0;
  Captured({BRINDLE_CLI_PATH, "save", "--force", image, std::string("1:/") + file.name, folder}, status);
  const std::string copy = folder + "/" + file.name;
  if (status != 0 || !CheckPatternFile(copy, file).empty()) {
    state.SkipWithError("brindle-cli save of HUGE.BIN failed");
    return;
  }
  const std::vector<std::string> hash = {BRINDLE_CLI_PATH, "hash", "--algorithm", "sha256", image,
                                         std::string("1:/") + file.name};
  const std::vector<std::string> sha256sum = {"sha256sum", copy};
  const std::string ours = Captured(hash, status);
  const std::string theirs = Captured(sha256sum, status);
  if (ours.substr(0, 64) != theirs.substr(0, 64)) {
    state.SkipWithError(("the hashes differ: " + ours + " / " + theirs).c_str());
    return;
  }
  LoadProbe load;
  double seconds[2] = {};
  if (!TimePair(state, hash, sha256sum, seconds)) return;
  const double bytes = static_cast<double>(file.size) * static_cast<double>(state.iterations());
  state.counters["MB/s"] = bytes / seconds[0] / 1e6;
  state.counters["sha256sum_MB/s"] = bytes / seconds[1] / 1e6;
  state.counters["speed_vs_sha256sum"] = seconds[1] / seconds[0];
  state.counters["other_cores"] = load.OtherCores();
}

}  // namespace

void RegisterEvidenceBenchmarks() {
  if (::access(ImagePath(kFat32Evidence).c_str(), R_OK) == 0) {
    benchmark::RegisterBenchmark("Evidence/E01/cat_1GiB", EwfReadBenchmark)
        ->UseManualTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
  } else {
    std::fprintf(stderr, "brindle_bench: no %s, so the EnCase benchmark is left out\n", kFat32Evidence);
  }
  benchmark::RegisterBenchmark("Hash/FAT32/sha256_1GiB", HashBenchmark)
      ->UseManualTime()
      ->Iterations(3)
      ->Unit(benchmark::kMillisecond);
}

}  // namespace bench
