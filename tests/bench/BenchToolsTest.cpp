// The benchmarks trust two tools of their own: the pattern that tells whether a read delivered
// the right bytes, and the running of commands that are timed or measured for their peak
// memory. A fault in either would let a wrong read or a wrong figure pass as a good one.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/ChildRun.h"
#include "bench/Pattern.h"

namespace {

using bench::FillPattern;
using bench::FirstPatternMismatch;

std::vector<uint8_t> Pattern(size_t count, uint64_t first, uint64_t seed) {
  std::vector<uint8_t> bytes(count);
  FillPattern(bytes.data(), count, first, seed);
  return bytes;
}

TEST(BenchPatternTest, AnyStretchIsTheSameBytesAsTheWholeFileHoldsThere) {
  const std::vector<uint8_t> whole = Pattern(4096, 0, 7);
  const struct {
    size_t first;
    size_t count;
  } stretches[] = {{0, 4096}, {1, 100}, {7, 2}, {8, 8}, {13, 3000}, {4095, 1}, {100, 0}};
  for (const auto& s : stretches) {
    const std::vector<uint8_t> part = Pattern(s.count, s.first, 7);
    EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin() + static_cast<long>(s.first)))
        << "from " << s.first << ", " << s.count << " bytes";
    EXPECT_EQ(FirstPatternMismatch(part.data(), part.size(), s.first, 7), s.count);
  }
}

TEST(BenchPatternTest, FindsTheFirstWrongByteOfAnyKindOfBadRead) {
  const size_t size = 4096 + 5;
  const std::vector<uint8_t> good = Pattern(size, 3, 2);
  for (size_t at : {size_t{0}, size_t{1}, size_t{4}, size_t{5}, size_t{12}, size_t{2049}, size - 1}) {
    std::vector<uint8_t> flipped = good;
    flipped[at] ^= 0x10;
    EXPECT_EQ(FirstPatternMismatch(flipped.data(), size, 3, 2), at) << "a flipped byte at " << at;

    std::vector<uint8_t> hole = good;
    std::memset(hole.data() + at, 0, size - at);
    EXPECT_EQ(FirstPatternMismatch(hole.data(), size, 3, 2), at) << "zeros from " << at;
  }
  // Bytes from another place in the same file, or from another file.
  const std::vector<uint8_t> shifted = Pattern(size, 3 + 512, 2);
  EXPECT_EQ(FirstPatternMismatch(shifted.data(), size, 3, 2), 0u);
  const std::vector<uint8_t> otherFile = Pattern(size, 3, 9);
  EXPECT_EQ(FirstPatternMismatch(otherFile.data(), size, 3, 2), 0u);
}

constexpr long kMiBInKib = 1024;

TEST(BenchChildTest, MeasuresTheCommandsOwnPeakAndExitStatus) {
  // dd holds one block of 64 MiB, every page of it written.
  const bench::ChildPeak dd =
      bench::MeasureChild({"/bin/dd", "if=/dev/zero", "of=/dev/null", "bs=64M", "count=1", "status=none"});
  ASSERT_EQ(dd.error, "");
  EXPECT_EQ(dd.status, 0);
  EXPECT_GE(dd.peakKib, 64 * kMiBInKib);
  EXPECT_LT(dd.peakKib, 96 * kMiBInKib);

  EXPECT_EQ(bench::MeasureChild({"/bin/false"}).status, 1);
  EXPECT_EQ(bench::MeasureChild({"/nonexistent/command"}).status, 127);
}

// A child's peak also counts the process it was spawned from; GNU time forks the command from
// a small process of its own, so a large benchmark process does not show up in the figure.
TEST(BenchChildTest, ALargeMeasuringProcessDoesNotCountTowardsTheChild) {
  std::vector<uint8_t> ballast(256 << 20, 1);
  const bench::ChildPeak peak = bench::MeasureChild({"/bin/true"});
  ASSERT_EQ(peak.error, "");
  EXPECT_LT(peak.peakKib, 64 * kMiBInKib);
  EXPECT_EQ(ballast[12345], 1);
}

TEST(BenchChildTest, RunsFromThePathWithTheOutputWhereAsked) {
  char path[] = "/tmp/brindle-bench-test-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  const bench::ChildRun echo = bench::RunChild({"printf", "%s", "words"}, fd);
  ::close(fd);
  EXPECT_EQ(echo.status, 0);
  EXPECT_GT(echo.seconds, 0);
  std::ifstream out(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(out), {}), "words");
  ::unlink(path);

  EXPECT_EQ(bench::RunChild({"sh", "-c", "exit 3"}).status, 3);
  const bench::ChildRun missing = bench::RunChild({"no-such-command-anywhere"});
  EXPECT_EQ(missing.status, 127);
  EXPECT_NE(missing.error, "");
}

}  // namespace
