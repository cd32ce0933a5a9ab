#pragma once
// What the benchmarks share: an image opened the way the command line opens it, the plain
// read that the data reads are compared with, a clock, and a probe of how busy the rest of
// the machine was while a figure was taken.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/BenchLayout.h"
#include <memory>

#include "fs/OpenedSource.h"

namespace bench {

// The folder holding the images (--images).
const std::string& ImagesFolder();
void SetImagesFolder(std::string folder);
std::string ImagePath(const char* image);
// The folder that saves and recoveries write to (--output; the images folder by default).
const std::string& OutputFolder();
void SetOutputFolder(std::string folder);

// An image opened read-only with 512-byte sectors, and the volumes found on it.
class BenchSource {
 public:
  explicit BenchSource(const std::string& imagePath);
  BenchSource(const BenchSource&) = delete;
  BenchSource& operator=(const BenchSource&) = delete;

  // Empty when the image opened and holds a volume; otherwise why not.
  const std::string& error() const { return error_; }
  // The entry of that name in the root of the first volume, or nullptr.
  TDirectoryEntry* FindInRoot(const std::string& name);

 private:
  std::unique_ptr<OpenedSource> source_;
  std::string error_;
};

// Why the file at path is not the whole of file, pattern and size, followed by at most
// trailerBytes bytes of anything else; empty when it is.
std::string CheckPatternFile(const std::string& path, const BenchFile& file, uint64_t trailerBytes = 0);

// Runs command with its standard output in a temporary file of the output folder and returns
// what it printed; status receives the exit status.
std::string Captured(const std::vector<std::string>& command, int& status);
// Why the bytes command writes are not the file's (then at most trailerBytes of anything else,
// as the words ewfexport prints on standard output after the data); empty when they are.
std::string CheckOutput(const std::vector<std::string>& command, const BenchFile& file, uint64_t trailerBytes = 0);

// Seconds on the steady clock since start.
double SecondsSince(std::chrono::steady_clock::time_point start);

// The baseline of the data reads: count bytes from the start of the file at path, read with
// plain sequential pread calls into memory allocated for the purpose, as fast as this machine
// can move them. Returns the seconds taken, allocation included; the memory is freed after
// the clock stops. Throws std::runtime_error when the file cannot be read.
double TimePlainRead(const std::string& path, uint64_t count);

// The same read into memory that has been written before, so that no page of it is new: what
// the copying alone costs, without the cost of fresh memory.
double TimeReadInto(const std::string& path, uint8_t* memory, uint64_t count);

// How busy the other processes kept the machine since the probe started: cores in use
// (user, nice, system, irq and softirq time from /proc/stat) less this process's own CPU time
// and that of the children it waited for, averaged over the wall-clock time.
class LoadProbe {
 public:
  LoadProbe();
  double OtherCores() const;

 private:
  static uint64_t BusyTicks();
  static double OwnCpuSeconds();

  std::chrono::steady_clock::time_point start_;
  uint64_t busyTicks_;
  double ownSeconds_;
};

}  // namespace bench
