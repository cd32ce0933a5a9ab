// brindle-bench-files: writes the files that scripts/bench.sh puts onto the benchmark volumes.
//
//   brindle-bench-files pattern PATH SIZE SEED
//       SIZE bytes of the pattern made with SEED, to PATH.
//   brindle-bench-files fill DIR SIZE SEED [COUNT]
//       files DIR/F00000.BIN, DIR/F00001.BIN, ... of SIZE bytes each, in this order, COUNT of
//       them or, without COUNT, until the volume is full (the file that did not fit is
//       removed). Prints how many were written.
//   brindle-bench-files tree DIR
//       the small files of the recovery images (bench/BenchLayout.h): DIR/D000/F0000.BIN, ...

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "bench/BenchLayout.h"
#include "bench/Pattern.h"

namespace {

enum class WriteResult { kDone, kFull, kFailed };

WriteResult WritePatternFile(const std::string& path, uint64_t size, uint64_t seed) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    std::fprintf(stderr, "brindle-bench-files: %s: %s\n", path.c_str(), std::strerror(errno));
    return errno == ENOSPC ? WriteResult::kFull : WriteResult::kFailed;
  }
  std::vector<uint8_t> block(static_cast<size_t>(std::min<uint64_t>(size, uint64_t{1} << 20)));
  int error = 0;
  for (uint64_t done = 0; done < size && error == 0;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(block.size(), size - done));
    bench::FillPattern(block.data(), n, done, seed);
    for (size_t written = 0; written < n;) {
      const ssize_t w = ::write(fd, block.data() + written, n - written);
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) {
        error = errno;
        break;
      }
      written += static_cast<size_t>(w);
    }
    done += n;
  }
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0) return WriteResult::kDone;
  ::unlink(path.c_str());
  if (error == ENOSPC) return WriteResult::kFull;
  std::fprintf(stderr, "brindle-bench-files: %s: %s\n", path.c_str(), std::strerror(error));
  return WriteResult::kFailed;
}

int WriteRecoverTree(const std::string& folder) {
  for (uint32_t i = 0; i < bench::kRecoverFiles; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/D%03u", i / bench::kRecoverFilesPerDirectory);
    const std::string directory = folder + name;
    if (i % bench::kRecoverFilesPerDirectory == 0 && ::mkdir(directory.c_str(), 0755) != 0 && errno != EEXIST) {
      std::fprintf(stderr, "brindle-bench-files: %s: %s\n", directory.c_str(), std::strerror(errno));
      return 1;
    }
    std::snprintf(name, sizeof name, "/F%04u.BIN", i % bench::kRecoverFilesPerDirectory);
    if (WritePatternFile(directory + name, bench::RecoverFileSize(i), bench::kRecoverSeed + i) != WriteResult::kDone) {
      return 1;
    }
  }
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: brindle-bench-files pattern PATH SIZE SEED\n"
               "       brindle-bench-files fill DIR SIZE SEED [COUNT]\n"
               "       brindle-bench-files tree DIR\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 4 && args[0] == "pattern") {
    const uint64_t size = std::strtoull(args[2].c_str(), nullptr, 10);
    const uint64_t seed = std::strtoull(args[3].c_str(), nullptr, 10);
    return WritePatternFile(args[1], size, seed) == WriteResult::kDone ? 0 : 1;
  }
  if ((args.size() == 4 || args.size() == 5) && args[0] == "fill") {
    const uint64_t size = std::strtoull(args[2].c_str(), nullptr, 10);
    const uint64_t seed = std::strtoull(args[3].c_str(), nullptr, 10);
    const uint64_t count =
        args.size() == 5 ? std::strtoull(args[4].c_str(), nullptr, 10) : std::numeric_limits<uint64_t>::max();
    uint64_t written = 0;
    for (; written < count && written < 100000; ++written) {
      char name[32];
      std::snprintf(name, sizeof name, "/F%05llu.BIN", static_cast<unsigned long long>(written));
      const WriteResult result = WritePatternFile(args[1] + name, size, seed + written);
      if (result == WriteResult::kFull) break;
      if (result == WriteResult::kFailed) return 1;
    }
    std::printf("%llu\n", static_cast<unsigned long long>(written));
    return 0;
  }
  if (args.size() == 2 && args[0] == "tree") return WriteRecoverTree(args[1]);
  return Usage();
}
