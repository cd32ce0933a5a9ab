// Files of more than 4 GiB on an exFAT volume made by exfat-fuse (tests/images/
// make-large-exfat.sh): listed with all 64 bits of their length, and cat and save give every
// byte of them, in bounded memory, whether the file lies in one run or along the FAT.
//
// Slow: the script writes about 8.5 GiB, and every file is read three times. It needs root, a
// free loop device, FUSE and 20 GiB free under the temporary folder, and runs only on request:
//
//   BRINDLE_SLOW_TESTS=1 ctest --test-dir build/release -L slow --output-on-failure

#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "bench/ChildRun.h"
#include "bench/Pattern.h"
#include "fs/Discovery.h"
#include "fs/exfat/ExfatLayout.h"
#include "fs/exfat/ExfatNode.h"
#include "support/OpenSource.h"
#include "support/TestFiles.h"

namespace {

constexpr uint64_t kGiB = uint64_t{1} << 30;

struct LargeFile {
  const char* name;
  uint64_t size;
  uint64_t seed;
  bool contiguous;
};

// As make-large-exfat.sh writes them.
const LargeFile kFiles[] = {
    {"VIDEO.MP4", 4 * kGiB + (1 << 20) + 123, 41, true},
    {"FRAG.BIN", 4 * kGiB + 5000, 42, false},
};

const std::string kCli = BRINDLE_CLI_PATH;

// Why the bytes read from stream are not the whole file; empty when they are.
std::string CheckStream(std::FILE* stream, const LargeFile& file) {
  std::vector<uint8_t> block(1 << 20);
  uint64_t done = 0;
  size_t got;
  while ((got = std::fread(block.data(), 1, block.size(), stream)) > 0) {
    const size_t wrong = bench::FirstPatternMismatch(block.data(), got, done, file.seed);
    if (wrong != got) return "wrong from byte " + std::to_string(done + wrong);
    done += got;
  }
  return done == file.size ? "" : std::to_string(done) + " bytes";
}

std::string Why() {
  if (std::getenv("BRINDLE_SLOW_TESTS") == nullptr) return "slow: set BRINDLE_SLOW_TESTS=1 to run it";
  if (::geteuid() != 0) return "it needs root (a loop device and a FUSE mount)";
  if (!std::filesystem::exists("/usr/sbin/mount.exfat-fuse")) return "exfat-fuse is not installed";
  struct statvfs fs {};
  const auto temp = std::filesystem::temp_directory_path();
  if (::statvfs(temp.c_str(), &fs) != 0 || uint64_t{fs.f_bavail} * fs.f_frsize < 20 * kGiB) {
    return "it needs 20 GiB free under " + temp.string();
  }
  return "";
}

TEST(LargeExfat, FilesBeyondFourGiBComeOutWhole) {
  if (const std::string why = Why(); !why.empty()) GTEST_SKIP() << why;
  TempDir dir;
  const std::string image = dir / "large.img";
  RunCommand(ShellQuote(std::string(BRINDLE_SOURCE_DIR) + "/tests/images/make-large-exfat.sh") + " " +
             ShellQuote(image) + " " + ShellQuote(BRINDLE_BENCH_FILES_PATH));

  {  // The tree knows both lengths in full; one file is one run, the other follows the FAT.
    OpenSource source(image);
    PartitionList& partitions = source.partitions;
    ASSERT_EQ(partitions.size(), 1u);
    for (const LargeFile& file : kFiles) {
      const auto& children = partitions[0]->rootEntry->children;
      const auto found = std::find_if(children.begin(), children.end(), [&](const auto& c) { return c->name == file.name; });
      ASSERT_NE(found, children.end()) << file.name;
      const auto& node = dynamic_cast<const EXFATFileNode&>(**found);
      EXPECT_EQ(node.DataLength(), file.size);
      EXPECT_EQ(node.size, static_cast<uint32_t>(file.size));
      const uint8_t flags = FindStreamChunk(*node.entrySet)->Byte(exfat::kStreamFlags);
      EXPECT_EQ((flags & exfat::kFlagNoFatChain) != 0, file.contiguous) << file.name;
    }
  }

  for (const LargeFile& file : kFiles) {
    SCOPED_TRACE(file.name);
    const std::string entry = std::string("1:/") + file.name;
    const std::string listing = RunCommand(ShellQuote(kCli) + " ls --json " + ShellQuote(image));
    EXPECT_NE(listing.find("\"name\":\"" + std::string(file.name) + "\",\"state\":\"file\",\"size\":" +
                           std::to_string(file.size) + ","),
              std::string::npos)
        << listing;

    std::FILE* cat = ::popen((ShellQuote(kCli) + " cat " + ShellQuote(image) + " " + entry).c_str(), "r");
    ASSERT_NE(cat, nullptr);
    EXPECT_EQ(CheckStream(cat, file), "") << "cat";
    EXPECT_EQ(::pclose(cat), 0);

    const bench::ChildPeak save = bench::MeasureChild({kCli, "save", image, entry, dir.path()});
    ASSERT_EQ(save.error, "");
    EXPECT_EQ(save.status, 0);
    EXPECT_LE(save.peakKib, 64 * 1024) << "a save streams, in bounded memory";
    std::FILE* saved = std::fopen((dir / file.name).c_str(), "rb");
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(CheckStream(saved, file), "") << "save";
    std::fclose(saved);
    std::filesystem::remove(dir / file.name);
  }
}

}  // namespace
