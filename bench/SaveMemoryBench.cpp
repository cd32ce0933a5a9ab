// Peak resident memory of a save: brindle-cli saving the 1 GiB file runs in a child process,
// measured by GNU time (`/usr/bin/time -v`). Saving streams, so the peak must stay far below
// the file's size.

#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "bench/BenchLayout.h"
#include "bench/BenchSupport.h"
#include "bench/ChildRun.h"
#include "bench/SaveMemoryBench.h"

namespace bench {

namespace {

double MiB(long kib) { return static_cast<double>(kib) / 1024.0; }

// A save peaks at no more than this, whatever the size of the file.
constexpr double kLimitMiB = 64;

void SaveMemoryBenchmark(benchmark::State& state, const char* image, BenchFile file) {
  const std::string source = ImagePath(image);
  const std::string folder = OutputFolder() + "/saved";
  const std::string saved = folder + "/" + file.name;
  ::mkdir(folder.c_str(), 0755);
  LoadProbe load;
  long peakKib = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const ChildPeak save =
        MeasureChild({BRINDLE_CLI_PATH, "save", "--force", source, std::string("1:/") + file.name, folder});
    state.SetIterationTime(SecondsSince(start));
    std::string problem = save.error;
    if (problem.empty() && save.status != 0) problem = "brindle-cli exited with " + std::to_string(save.status);
    if (problem.empty()) problem = CheckPatternFile(saved, file);
    ::unlink(saved.c_str());
    if (!problem.empty()) {
      state.SkipWithError(problem.c_str());
      break;
    }
    peakKib = std::max(peakKib, save.peakKib);
  }
  ::rmdir(folder.c_str());
  state.counters["peak_MiB"] = MiB(peakKib);
  state.counters["limit_MiB"] = kLimitMiB;
  state.counters["other_cores"] = load.OtherCores();
}

}  // namespace

void RegisterSaveMemoryBenchmarks(bool withExfat) {
  benchmark::RegisterBenchmark("SavePeakMemory/FAT32/1GiB", SaveMemoryBenchmark, kFat32Image, kSavedFile)
      ->UseManualTime()
      ->Iterations(1)
      ->Unit(benchmark::kMillisecond);
  if (withExfat) {
    benchmark::RegisterBenchmark("SavePeakMemory/exFAT/1GiB", SaveMemoryBenchmark, kExfatImage, kSavedFile)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace bench
