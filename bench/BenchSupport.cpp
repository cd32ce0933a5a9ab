#include "bench/BenchSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "bench/ChildRun.h"
#include "bench/Pattern.h"

namespace bench {

namespace {

std::string& Folder() {
  static std::string folder = ".";
  return folder;
}

std::string& Output() {
  static std::string folder;
  return folder;
}

// count bytes from the start of the file into memory, with as few pread calls as the kernel
// allows; closes fd and throws when the file ends first.
void ReadFully(int fd, const std::string& path, uint8_t* memory, uint64_t count) {
  uint64_t done = 0;
  while (done < count) {
    const ssize_t got = ::pread(fd, memory + done, count - done, static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ::close(fd);
      throw std::runtime_error(path + ": the plain read came up short");
    }
    done += static_cast<uint64_t>(got);
  }
}

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

}  // namespace

const std::string& ImagesFolder() { return Folder(); }
void SetImagesFolder(std::string folder) { Folder() = std::move(folder); }
std::string ImagePath(const char* image) { return Folder() + "/" + image; }
const std::string& OutputFolder() { return Output().empty() ? Folder() : Output(); }
void SetOutputFolder(std::string folder) { Output() = std::move(folder); }

BenchSource::BenchSource(const std::string& imagePath) {
  if (::access(imagePath.c_str(), R_OK) != 0) {
    error_ = imagePath + ": " + std::strerror(errno);
    return;
  }
  SourceChoice choice = SourceFromPath(imagePath, "512");
  choice.sectorSizeFixed = true;
  OpenFailure failure;
  source_ = OpenedSource::Open(choice, OpenSettings{}, failure);
  if (!source_) {
    error_ = imagePath + " cannot be opened: " + failure.text;
    return;
  }
  if (source_->partitions().empty() || !source_->partitions().front()->rootEntry) error_ = imagePath + " holds no volume";
}

TDirectoryEntry* BenchSource::FindInRoot(const std::string& name) {
  if (!error_.empty()) return nullptr;
  for (const auto& child : source_->partitions().front()->rootEntry->children) {
    if (child->name == name) return child.get();
  }
  return nullptr;
}

std::string CheckPatternFile(const std::string& path, const BenchFile& file, uint64_t trailerBytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return path + ": " + std::strerror(errno);
  std::vector<uint8_t> block(kMiB);
  uint64_t done = 0;
  std::string problem;
  while (problem.empty()) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(block.size(), file.size - done));
    if (want == 0) break;
    const ssize_t got = ::pread(fd, block.data(), want, static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    const size_t wrong = FirstPatternMismatch(block.data(), static_cast<size_t>(got), done, file.seed);
    if (wrong != static_cast<size_t>(got)) problem = path + " is wrong at byte " + std::to_string(done + wrong);
    done += static_cast<uint64_t>(got);
  }
  struct stat status {};
  const uint64_t held = ::fstat(fd, &status) == 0 ? static_cast<uint64_t>(status.st_size) : done;
  ::close(fd);
  if (problem.empty() && (done != file.size || held - done > trailerBytes)) {
    problem = path + " holds " + std::to_string(held) + " bytes";
  }
  return problem;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double TimeReadInto(const std::string& path, uint8_t* memory, uint64_t count) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error(path + ": " + std::strerror(errno));
  const auto start = std::chrono::steady_clock::now();
  ReadFully(fd, path, memory, count);
  const double seconds = SecondsSince(start);
  ::close(fd);
  return seconds;
}

double TimePlainRead(const std::string& path, uint64_t count) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error(path + ": " + std::strerror(errno));
  const auto start = std::chrono::steady_clock::now();
  std::unique_ptr<uint8_t[]> memory(new uint8_t[count]);
  ReadFully(fd, path, memory.get(), count);
  const double seconds = SecondsSince(start);
  ::close(fd);
  return seconds;
}

LoadProbe::LoadProbe()
    : start_(std::chrono::steady_clock::now()), busyTicks_(BusyTicks()), ownSeconds_(OwnCpuSeconds()) {}

double LoadProbe::OtherCores() const {
  const double wall = SecondsSince(start_);
  if (wall <= 0) return 0;
  const double busy = static_cast<double>(BusyTicks() - busyTicks_) / static_cast<double>(::sysconf(_SC_CLK_TCK));
  const double others = (busy - (OwnCpuSeconds() - ownSeconds_)) / wall;
  return others > 0 ? others : 0;
}

uint64_t LoadProbe::BusyTicks() {
  std::ifstream stat("/proc/stat");
  std::string line;
  std::getline(stat, line);
  std::istringstream fields(line);
  std::string cpu;
  uint64_t user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0;
  fields >> cpu >> user >> nice >> system >> idle >> iowait >> irq >> softirq;
  return user + nice + system + irq + softirq;
}

double LoadProbe::OwnCpuSeconds() {
  rusage self{}, children{};
  ::getrusage(RUSAGE_SELF, &self);
  ::getrusage(RUSAGE_CHILDREN, &children);
  return Seconds(self.ru_utime) + Seconds(self.ru_stime) + Seconds(children.ru_utime) + Seconds(children.ru_stime);
}

// Runs command with its standard output in a temporary file of the output folder and returns
// what it printed; status receives the exit status.
std::string Captured(const std::vector<std::string>& command, int& status) {
  std::string path = OutputFolder() + "/brindle-bench-output-XXXXXX";
  const int fd = ::mkstemp(path.data());
  if (fd < 0) {
    status = -1;
    return std::strerror(errno);
  }
  status = RunChild(command, fd).status;
  ::close(fd);
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  ::unlink(path.c_str());
  return text.str();
}

// Why the bytes command writes are not the file's; empty when they are. Checked once, before
// the timed rounds.
std::string CheckOutput(const std::vector<std::string>& command, const BenchFile& file, uint64_t trailerBytes) {
  const std::string path = OutputFolder() + "/brindle-bench-check";
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return path + ": " + std::strerror(errno);
  const ChildRun run = RunChild(command, fd);
  ::close(fd);
  std::string problem = run.error;
  if (problem.empty() && run.status != 0) problem = command[0] + " exited with " + std::to_string(run.status);
  if (problem.empty()) problem = CheckPatternFile(path, file, trailerBytes);
  ::unlink(path.c_str());
  return problem.empty() ? "" : command[0] + ": " + problem;
}

}  // namespace bench
