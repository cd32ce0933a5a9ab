// The read benchmarks: a file's data through GetData, compared with a plain read of as many
// bytes, and a large directory through ReadChildren.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "bench/BenchLayout.h"
#include "bench/BenchSupport.h"
#include "bench/Pattern.h"
#include "bench/ReadBench.h"

namespace bench {

namespace {

// GetData of the file's own size, as saving asks for it. Every iteration also times the plain read
// of as many bytes into fresh memory, alternating which goes first, so that both figures meet the
// same load; the ratio is the plain reads' time over GetData's. A third read, into memory used
// before, shows what the copying alone costs. The delivered bytes are checked against the file's
// pattern after the clock stops.
void GetDataBenchmark(benchmark::State& state, const char* image, BenchFile file) {
  const std::string path = ImagePath(image);
  BenchSource source(path);
  TDirectoryEntry* entry = source.FindInRoot(file.name);
  if (entry == nullptr || entry->size != file.size) {
    state.SkipWithError((source.error().empty() ? std::string(file.name) + " is missing or has the wrong size"
                                                : source.error()).c_str());
    return;
  }
  std::vector<uint8_t> warmMemory(file.size, 1);
  LoadProbe load;
  double getDataSeconds = 0;
  double plainSeconds = 0;
  double warmSeconds = 0;
  bool plainFirst = false;
  for (auto _ : state) {
    ByteBuffer data;
    try {
      if (plainFirst) plainSeconds += TimePlainRead(path, file.size);
      const auto start = std::chrono::steady_clock::now();
      uint32_t size = entry->size;
      data = entry->GetData(size);
      const double seconds = SecondsSince(start);
      state.SetIterationTime(seconds);
      getDataSeconds += seconds;
      if (!plainFirst) plainSeconds += TimePlainRead(path, file.size);
      plainFirst = !plainFirst;
      warmSeconds += TimeReadInto(path, warmMemory.data(), file.size);
    } catch (const std::exception& failure) {
      state.SkipWithError(failure.what());
      break;
    }
    const size_t wrong = FirstPatternMismatch(data.data(), data.size(), 0, file.seed);
    if (data.size() != file.size || wrong != data.size()) {
      char message[160];
      std::snprintf(message, sizeof message, "GetData delivered %zu bytes, the first wrong one at %zu", data.size(),
                    wrong);
      state.SkipWithError(message);
      break;
    }
  }
  const double bytes = static_cast<double>(file.size) * static_cast<double>(state.iterations());
  state.counters["MB/s"] = bytes / getDataSeconds / 1e6;
  state.counters["pread_MB/s"] = bytes / plainSeconds / 1e6;
  state.counters["warm_pread_MB/s"] = bytes / warmSeconds / 1e6;
  state.counters["ratio"] = plainSeconds / getDataSeconds;
  state.counters["other_cores"] = load.OtherCores();
}

// ReadChildren of a directory of many entries with long names. The browser reads a directory
// only while it has no children, so the children of the previous round are dropped with the
// clock stopped.
void ReadChildrenBenchmark(benchmark::State& state, const char* image) {
  BenchSource source(ImagePath(image));
  TDirectoryEntry* directory = source.FindInRoot(kManyDirectory);
  if (directory == nullptr || directory->state != kStateDirectory) {
    state.SkipWithError(source.error().empty() ? "the directory MANY is missing" : source.error().c_str());
    return;
  }
  LoadProbe load;
  for (auto _ : state) {
    state.PauseTiming();
    directory->children.clear();
    state.ResumeTiming();
    directory->ReadChildren();
  }
  // Every entry is there once, under its long name ("00001 long entry name.txt", and on FAT
  // " - " and the short name after it).
  const auto& children = directory->children;
  std::vector<bool> seen(kManyEntries + 1, false);
  for (const auto& child : children) {
    const std::string& name = child->name;
    const bool named = name.size() >= 25 && name.compare(5, 20, " long entry name.txt") == 0 &&
                       name.find_first_not_of("0123456789") == 5;
    const unsigned number = named ? static_cast<unsigned>(std::stoul(name.substr(0, 5))) : 0;
    if (number == 0 || number > kManyEntries || seen[number]) {
      state.SkipWithError(("unexpected entry \"" + child->name + "\"").c_str());
      return;
    }
    seen[number] = true;
  }
  if (children.size() != kManyEntries) {
    state.SkipWithError(("ReadChildren made " + std::to_string(children.size()) + " children").c_str());
    return;
  }
  state.counters["entries"] = static_cast<double>(children.size());
  state.counters["other_cores"] = load.OtherCores();
}

}  // namespace

void RegisterReadBenchmarks(bool withExfat) {
  struct Volume {
    const char* label;
    const char* image;
  };
  std::vector<Volume> volumes{{"FAT32", kFat32Image}};
  if (withExfat) volumes.push_back({"exFAT", kExfatImage});
  for (const Volume& volume : volumes) {
    for (const auto& [kind, file] : {std::pair{"contiguous", kContiguousFile}, std::pair{"fragmented", kFragmentedFile}}) {
      benchmark::RegisterBenchmark(("GetData/" + std::string(volume.label) + "/" + kind + "_512MiB").c_str(),
                                   GetDataBenchmark, volume.image, file)
          ->UseManualTime()
          ->Iterations(3)
          ->Unit(benchmark::kMillisecond);
    }
  }
  for (const Volume& volume : volumes) {
    benchmark::RegisterBenchmark(("ReadChildren/" + std::string(volume.label) + "/20000_entries").c_str(),
                                 ReadChildrenBenchmark, volume.image)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace bench
