// Peak resident memory of a save: brindle-cli runs in a child process, measured by the small
// brindle-bench-rss helper, once listing the partitions (its idle size: the source opened and
// the volumes found) and once saving the file.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchLayout.h"
#include "bench/BenchSupport.h"
#include "bench/ChildPeak.h"
#include "bench/Pattern.h"
#include "bench/SaveMemoryBench.h"

namespace bench {

namespace {

// Why the file at path is not the whole of the file that was saved; empty when it is.
std::string CheckSavedFile(const std::string& path, const BenchFile& file) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return path + ": " + std::strerror(errno);
  std::vector<uint8_t> block(kMiB);
  uint64_t done = 0;
  std::string problem;
  while (problem.empty()) {
    const ssize_t got = ::pread(fd, block.data(), block.size(), static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    const size_t wrong = FirstPatternMismatch(block.data(), static_cast<size_t>(got), done, file.seed);
    if (wrong != static_cast<size_t>(got)) problem = "the saved file is wrong at byte " + std::to_string(done + wrong);
    done += static_cast<uint64_t>(got);
  }
  ::close(fd);
  if (problem.empty() && done != file.size) problem = "the saved file holds " + std::to_string(done) + " bytes";
  return problem;
}

double MiB(long kib) { return static_cast<double>(kib) / 1024.0; }

void SaveMemoryBenchmark(benchmark::State& state, const char* image, BenchFile file) {
  const std::string source = ImagePath(image);
  const std::string folder = ImagesFolder() + "/saved";
  const std::string saved = folder + "/" + file.name;
  ::mkdir(folder.c_str(), 0755);
  LoadProbe load;
  long idleKib = 0;
  long peakKib = 0;
  long helperKib = 0;
  for (auto _ : state) {
    const ChildPeak idle = MeasureChild(BRINDLE_BENCH_RSS_PATH, {BRINDLE_CLI_PATH, source});
    const auto start = std::chrono::steady_clock::now();
    const ChildPeak save = MeasureChild(
        BRINDLE_BENCH_RSS_PATH, {BRINDLE_CLI_PATH, "save", "--force", source, std::string("1:/") + file.name, folder});
    state.SetIterationTime(SecondsSince(start));
    std::string problem = !idle.error.empty() ? idle.error : save.error;
    if (problem.empty() && (idle.status != 0 || save.status != 0)) {
      problem = "brindle-cli exited with " + std::to_string(idle.status) + " and " + std::to_string(save.status);
    }
    if (problem.empty()) problem = CheckSavedFile(saved, file);
    ::unlink(saved.c_str());
    if (!problem.empty()) {
      state.SkipWithError(problem.c_str());
      break;
    }
    idleKib = std::max(idleKib, idle.peakKib);
    peakKib = std::max(peakKib, save.peakKib);
    helperKib = std::max({helperKib, idle.helperKib, save.helperKib});
  }
  ::rmdir(folder.c_str());
  state.counters["idle_MiB"] = MiB(idleKib);
  state.counters["peak_MiB"] = MiB(peakKib);
  state.counters["above_idle_MiB"] = MiB(peakKib - idleKib);
  state.counters["limit_MiB"] = static_cast<double>(file.size / kMiB + 64);
  state.counters["helper_MiB"] = MiB(helperKib);
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
