// Whole commands, each in a child process of its own, timed from start to end with the page
// cache warm, beside The Sleuth Kit's commands for the same work. Which command of a pair goes
// first turns with every round, so that all of them meet the same load.

#include "bench/CommandBench.h"

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

// What a shell command prints on standard output.
std::string OutputOf(const std::string& command) {
  std::string output;
  if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, got);
    ::pclose(pipe);
  }
  return output;
}

// How The Sleuth Kit names a file in the root of the image (its inode number, from fls), and
// where its first sector lies (from istat). Empty inode when it is not found.
struct SleuthKitFile {
  std::string inode;
  uint64_t firstSector = 0;
};

SleuthKitFile FindWithSleuthKit(const std::string& image, const std::string& name) {
  SleuthKitFile file;
  std::istringstream listing(OutputOf("fls '" + image + "'"));
  for (std::string line; std::getline(listing, line);) {
    const size_t tab = line.find(":\t");
    if (line.rfind("r/r ", 0) == 0 && tab != std::string::npos && line.substr(tab + 2) == name) {
      file.inode = line.substr(4, tab - 4);
    }
  }
  if (file.inode.empty()) return file;
  std::istringstream details(OutputOf("istat '" + image + "' " + file.inode));
  for (std::string line; std::getline(details, line);) {
    if (line.rfind("Sectors:", 0) == 0 && details >> file.firstSector) break;
  }
  return file;
}

uint64_t FileSize(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

void CatBenchmark(benchmark::State& state, const char* image, BenchFile file) {
  const std::string path = ImagePath(image);
  const SleuthKitFile tsk = FindWithSleuthKit(path, file.name);
  if (tsk.inode.empty()) {
    state.SkipWithError(("fls does not list " + std::string(file.name)).c_str());
    return;
  }
  // dd reads as many bytes from the file's first sector on; a fragmented file whose first
  // clusters lie near the end of the image is matched by the last bytes of the image.
  const uint64_t imageBytes = FileSize(path);
  const uint64_t skip = std::min(tsk.firstSector * 512, imageBytes > file.size ? imageBytes - file.size : 0);
  const std::vector<std::vector<std::string>> commands = {
      {BRINDLE_CLI_PATH, "cat", path, std::string("1:/") + file.name},
      {"icat", path, tsk.inode},
      {"dd", "if=" + path, "of=/dev/null", "bs=1M", "iflag=skip_bytes,count_bytes", "skip=" + std::to_string(skip),
       "count=" + std::to_string(file.size), "status=none"},
  };
  for (size_t i : {0, 1}) {
    if (const std::string problem = CheckOutput(commands[i], file); !problem.empty()) {
      state.SkipWithError(problem.c_str());
      return;
    }
  }
  LoadProbe load;
  double seconds[3] = {};
  size_t first = 0;
  for (auto _ : state) {
    for (size_t k = 0; k < 3; ++k) {
      const size_t which = (first + k) % 3;
      const ChildRun run = RunChild(commands[which]);
      if (run.status != 0) {
        state.SkipWithError((commands[which][0] + " failed: " + run.error).c_str());
        return;
      }
      seconds[which] += run.seconds;
      if (which == 0) state.SetIterationTime(run.seconds);
    }
    first = (first + 1) % 3;
  }
  const double bytes = static_cast<double>(file.size) * static_cast<double>(state.iterations());
  state.counters["MB/s"] = bytes / seconds[0] / 1e6;
  state.counters["icat_MB/s"] = bytes / seconds[1] / 1e6;
  state.counters["dd_MB/s"] = bytes / seconds[2] / 1e6;
  state.counters["speed_vs_icat"] = seconds[1] / seconds[0];
  state.counters["time_vs_dd"] = seconds[0] / seconds[2];
  state.counters["other_cores"] = load.OtherCores();
}

// Writes out what earlier runs left unwritten in the output folder's file system, so that no
// run pays for another's data.
void FlushOutput() {
  const int fd = ::open(OutputFolder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::syncfs(fd);
  ::close(fd);
}

// tsk_recover's summary counts the files it wrote: all of ours, and on exFAT two files of
// the file system's own (the allocation bitmap and the up-case table).
bool TskRecoveredAll(const std::string& printed) {
  const size_t at = printed.find("Files Recovered: ");
  return at != std::string::npos && std::stoul(printed.substr(at + 17)) >= kRecoverFiles;
}

// Every round recovers into fresh folders that stay until the end: removing thousands of files
// would make the next run's file creation slower than this one's (the file system passes over
// recently freed inodes), whichever tool it is.
void RecoverBenchmark(benchmark::State& state, const char* image, const char* label) {
  const std::string path = ImagePath(image);
  const std::string folder = OutputFolder() + "/recovered-" + label;
  ::mkdir(folder.c_str(), 0755);
  const std::string expected = "Saved " + std::to_string(kRecoverFiles) + " files (" +
                               std::to_string(RecoverTotalBytes()) + " bytes); 0 failures.\n";
  LoadProbe load;
  double seconds[2] = {};
  int round = 0;
  for (auto _ : state) {
    for (int k = 0; k < 2; ++k) {
      const bool ours = (round + k) % 2 == 0;
      const std::string target = folder + (ours ? "/brindle-" : "/tsk-") + std::to_string(round);
      FlushOutput();
      const auto start = std::chrono::steady_clock::now();
      int status = 0;
      const std::string printed = ours ? Captured({BRINDLE_CLI_PATH, "recover", path, target}, status)
                                       : Captured({"tsk_recover", "-a", path, target}, status);
      const double taken = SecondsSince(start);
      if (status != 0 || !(ours ? printed.find(expected) != std::string::npos : TskRecoveredAll(printed))) {
        state.SkipWithError(((ours ? "brindle-cli recover: " : "tsk_recover: ") + printed).c_str());
        return;
      }
      seconds[ours ? 0 : 1] += taken;
      if (ours) state.SetIterationTime(taken);
    }
    ++round;
  }
  const double files = static_cast<double>(kRecoverFiles) * static_cast<double>(state.iterations());
  state.counters["files/s"] = files / seconds[0];
  state.counters["tsk_files/s"] = files / seconds[1];
  state.counters["speed_vs_tsk"] = seconds[1] / seconds[0];
  state.counters["other_cores"] = load.OtherCores();
}

}  // namespace

void RegisterCommandBenchmarks(bool withExfat) {
  struct Volume {
    const char* label;
    const char* image;
    const char* recoverImage;
  };
  std::vector<Volume> volumes{{"FAT32", kFat32Image, kRecoverFat32Image}};
  if (withExfat) volumes.push_back({"exFAT", kExfatImage, kRecoverExfatImage});
  for (const Volume& volume : volumes) {
    for (const auto& [kind, file] : {std::pair{"contiguous", kContiguousFile}, std::pair{"fragmented", kFragmentedFile}}) {
      benchmark::RegisterBenchmark(("Cat/" + std::string(volume.label) + "/" + kind + "_512MiB").c_str(),
                                   CatBenchmark, volume.image, file)
          ->UseManualTime()
          ->Iterations(3)
          ->Unit(benchmark::kMillisecond);
    }
  }
  for (const Volume& volume : volumes) {
    benchmark::RegisterBenchmark(("Recover/" + std::string(volume.label) + "/20000_files").c_str(), RecoverBenchmark,
                                 volume.recoverImage, volume.label)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace bench
