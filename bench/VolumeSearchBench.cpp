// brindle-volume-bench: the search for lost volumes on a disk image whose partition table was
// zeroed, beside TestDisk and dd on the same image, in one run. The search at the boundaries
// (`brindle-cli ls --search`) is timed against TestDisk's quick search
// (`testdisk /cmd IMAGE partition_i386,analyze,search`), the search at every sector
// (`--search=deep`) against `dd bs=1M` of the whole image. Each program must find the volumes
// expected: Brindle says how many on standard error, TestDisk lists them in its log.
//
//   brindle-volume-bench IMAGE VOLUMES
//
// VOLUMES is the number of volumes the image holds. The aims: the boundary search in less time
// than TestDisk, the every-sector search at no less than 80 % of dd's speed.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "bench/ChildRun.h"

namespace {

constexpr int kBrindleRuns = 3;

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

struct Timed {
  double seconds = 0;
  int found = -1;  // volumes the program said it found; -1 when it did not say
  bool ran = false;
};

// brindle-cli ls with the search flag, its standard error and output kept in a file: the best
// of a few runs, and the count from "The search found N lost volume(s)".
Timed RunBrindle(const std::string& image, const std::string& flag, const std::filesystem::path& work) {
  Timed timed;
  const std::filesystem::path out = work / "brindle.txt";
  for (int run = 0; run < kBrindleRuns; ++run) {
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return timed;
    const bench::ChildRun child = bench::RunChild(
        {"sh", "-c", "exec " + Quote(BRINDLE_CLI_PATH) + " ls " + flag + " " + Quote(image) + " 2>&1"}, fd);
    ::close(fd);
    if (!child.error.empty() || child.status != 0) {
      std::fprintf(stderr, "brindle-cli ls %s: status %d %s\n", flag.c_str(), child.status, child.error.c_str());
      return timed;
    }
    timed.seconds = run == 0 ? child.seconds : std::min(timed.seconds, child.seconds);
  }
  std::smatch match;
  const std::string text = ReadText(out);
  if (std::regex_search(text, match, std::regex("The search found ([0-9]+) lost volume"))) {
    timed.found = std::stoi(match[1]);
  }
  timed.ran = true;
  return timed;
}

// TestDisk's quick search, run once in a folder of its own for its log; the volumes it found
// are the rows of the last partition list the log shows ("interface_write()", then one row a
// partition: " 1 * FAT16 >32M ...").
Timed RunTestDisk(const std::string& image, const std::filesystem::path& work) {
  Timed timed;
  const std::filesystem::path folder = work / "testdisk";
  std::filesystem::create_directories(folder);
  const bench::ChildRun child = bench::RunChild(
      {"sh", "-c",
       "cd " + Quote(folder.string()) + " && exec testdisk /log /cmd " + Quote(image) + " partition_i386,analyze,search"});
  if (!child.error.empty() || child.status != 0) {
    std::fprintf(stderr, "testdisk: status %d %s\n", child.status, child.error.c_str());
    return timed;
  }
  timed.seconds = child.seconds;
  const std::string log = ReadText(folder / "testdisk.log");
  const size_t list = log.rfind("interface_write()");
  if (list != std::string::npos) {
    std::istringstream rows(log.substr(list));
    std::string row;
    std::getline(rows, row);
    timed.found = 0;
    const std::regex partitionRow("^ *[0-9]+ [*PLEDX] .*");
    while (std::getline(rows, row) && std::regex_match(row, partitionRow)) ++timed.found;
  }
  timed.ran = true;
  return timed;
}

Timed RunDd(const std::string& image) {
  Timed timed;
  const bench::ChildRun child = bench::RunChild({"dd", "if=" + image, "of=/dev/null", "bs=1M", "status=none"});
  if (!child.error.empty() || child.status != 0) {
    std::fprintf(stderr, "dd: status %d %s\n", child.status, child.error.c_str());
    return timed;
  }
  timed.seconds = child.seconds;
  timed.ran = true;
  return timed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: brindle-volume-bench IMAGE VOLUMES\n");
    return 2;
  }
  const std::string image = std::filesystem::absolute(argv[1]).string();
  const int expected = std::atoi(argv[2]);
  const std::filesystem::path work = std::filesystem::temp_directory_path() / "brindle-volume-bench";
  std::filesystem::remove_all(work);
  std::filesystem::create_directories(work);

  const Timed boundaries = RunBrindle(image, "--search", work);
  const Timed testdisk = RunTestDisk(image, work);
  const Timed deep = RunBrindle(image, "--search=deep", work);
  const Timed dd = RunDd(image);
  std::filesystem::remove_all(work);

  std::printf("boundary search: Brindle %.3f s (%d of %d volumes), TestDisk %.3f s (%d of %d)\n", boundaries.seconds,
              boundaries.found, expected, testdisk.seconds, testdisk.found, expected);
  std::printf("every-sector search: Brindle %.3f s (%d of %d volumes), dd bs=1M %.3f s\n", deep.seconds, deep.found,
              expected, dd.seconds);
  if (!boundaries.ran || !testdisk.ran || !deep.ran || !dd.ran || testdisk.seconds <= 0 || deep.seconds <= 0) return 1;
  const double againstTestDisk = boundaries.seconds / testdisk.seconds;
  const double speedOfDd = dd.seconds / deep.seconds;
  std::printf("ratio Brindle/TestDisk: %.4f (aim: below 1); Brindle's every-sector speed: %.1f times dd's (aim: 0.8 or more)\n",
              againstTestDisk, speedOfDd);
  const bool met = boundaries.found == expected && deep.found == expected && againstTestDisk < 1 && speedOfDd >= 0.8;
  std::printf("%s\n", met ? "aims met" : "aims NOT met");
  return met ? 0 : 1;
}
