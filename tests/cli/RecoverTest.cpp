// recover and save on what hostile or unlucky sources hold: many entries of one name, a file
// and folders that share a name, and a save ended by a signal half way.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>
#include <tuple>

#include "CliRun.h"
#include "cli/CliSession.h"
#include "support/FatImages.h"
#include "support/HandVolume.h"
#include "support/TestFiles.h"

namespace {

Bytes Head(const Bytes& bytes, size_t count) { return Bytes(bytes.begin(), bytes.begin() + count); }

struct Recover : ::testing::Test {
  Cli cli;
  TempDir dir;
};

// A FAT32 root of 65,536 deleted entries of one name, every slot of a directory that FAT allows
// (a hand-made layout: no tool writes one). Each copy is saved, numbered in turn; numbering
// that started from "(1)" again for each copy would take hours here.
TEST_F(Recover, SixtyFiveThousandFilesOfOneNameAreAllSavedAndNumbered) {
  constexpr uint32_t kEntries = 65536;
  constexpr uint32_t kRootClusters = kEntries * 32 / HandVolume::kSector;  // clusters 2 on, one sector each
  constexpr uint32_t kDataCluster = 2 + kRootClusters;
  HandVolume v(32, kDataCluster + 10);
  for (uint32_t cluster = 2; cluster < kDataCluster - 1; ++cluster) v.SetEntry(cluster, cluster + 1);
  v.SetEntry(kDataCluster - 1, 0x0FFFFFFF);
  const uint64_t root = v.RootOffset();
  for (uint32_t i = 0; i < kEntries; ++i) v.Slot(root, i, "\xE5" "AME    TXT", 0x20, kDataCluster, 5);
  const Bytes content = Head(v.FillCluster(kDataCluster, 3), 5);
  const std::string image = dir / "same.img";
  v.image.WriteTo(image);

  const std::string out = dir / "out";
  const CliResult r = cli.Run({"recover", "--deleted", image, out});
  ASSERT_EQ(r.code, kExitSuccess) << r.err;
  EXPECT_EQ(r.out, "Saved 65536 files (327680 bytes); 0 incomplete; 0 failures.\n");
  std::set<std::string> expected{"_AME.TXT"};
  for (uint32_t n = 1; n < kEntries; ++n) expected.insert("_AME (" + std::to_string(n) + ").TXT");
  std::set<std::string> saved;
  size_t wrong = 0;
  for (const auto& e : std::filesystem::directory_iterator(out + "/partition-1")) {
    saved.insert(e.path().filename());
    if (ReadFileBytes(e.path()) != content) ++wrong;
  }
  EXPECT_EQ(saved.size(), kEntries);
  EXPECT_TRUE(saved == expected);
  EXPECT_EQ(wrong, 0u);
}

// A folder whose name a file took is numbered like a file, and so is a second folder of that
// name: everything in them is saved. A run into the same output again keeps what is there.
TEST_F(Recover, AFolderWhoseNameIsTakenIsNumberedLikeAFile) {
  HandVolume v(16, 20);
  const uint64_t root = v.RootOffset();
  v.Slot(root, 0, "SAME       ", 0x10, 3);
  v.Slot(root, 1, "SAME       ", 0x20, 4, 10);
  v.Slot(root, 2, "SAME       ", 0x10, 5);
  for (const auto& [cluster, inner, data] : {std::tuple{3u, "INNER   TXT", 6u}, std::tuple{5u, "OTHER   TXT", 7u}}) {
    v.Slot(v.ClusterOffset(cluster), 0, ".          ", 0x10, cluster);
    v.Slot(v.ClusterOffset(cluster), 1, "..         ", 0x10, 0);
    v.Slot(v.ClusterOffset(cluster), 2, inner, 0x20, data, 10);
  }
  for (uint32_t cluster = 3; cluster <= 7; ++cluster) v.Chain({cluster});
  const Bytes file = Head(v.FillCluster(4, 1), 10);
  const Bytes inner = Head(v.FillCluster(6, 2), 10);
  const Bytes other = Head(v.FillCluster(7, 3), 10);
  const std::string image = dir / "same.img";
  v.image.WriteTo(image);

  const std::string out = dir / "out";
  CliResult r = cli.Run({"recover", image, out});
  ASSERT_EQ(r.code, kExitSuccess) << r.err;
  EXPECT_EQ(r.out, "Saved 3 files (30 bytes); 0 incomplete; 0 failures.\n");
  const std::string top = out + "/partition-1";
  EXPECT_EQ(FolderContents(top), (std::vector<std::string>{"SAME", "SAME (1)", "SAME (2)"}));
  EXPECT_EQ(ReadFileBytes(top + "/SAME/INNER.TXT"), inner);
  EXPECT_EQ(ReadFileBytes(top + "/SAME (1)"), file);
  EXPECT_EQ(ReadFileBytes(top + "/SAME (2)/OTHER.TXT"), other);

  r = cli.Run({"recover", image, out});
  ASSERT_EQ(r.code, kExitSuccess) << r.err;
  EXPECT_EQ(r.out, "Saved 3 files (30 bytes); 0 incomplete; 0 failures.\n");
  EXPECT_EQ(ReadFileBytes(top + "/SAME (1)"), file);
  EXPECT_EQ(ReadFileBytes(top + "/SAME/INNER.TXT"), inner);
  EXPECT_EQ(ReadFileBytes(top + "/SAME/INNER (1).TXT"), inner);
  size_t files = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(top)) files += e.is_regular_file();
  EXPECT_EQ(files, 6u);
}

// A sparse FAT32 image with one file of fileBytes bytes of zeros, BIG.BIN in the root: mtools
// writes the entry, and its chain and length are then set by hand, so that the image costs no
// disk space.
void MakeBigFileImage(const std::string& image, uint32_t fileBytes) {
  MtoolsVolume volume(image);
  volume.Format("-F 32 -s 8", 700 * 1024);  // 4 KiB clusters
  volume.Write("/BIG.BIN", Bytes{0});
  const auto runs = volume.ClusterRuns("/BIG.BIN");
  ASSERT_FALSE(runs.empty());
  const uint32_t first = runs.front().first;
  const Bytes boot = ReadFileRange(image, 0, 512);
  const auto u16 = [&](size_t at) { return uint32_t{boot[at]} | uint32_t{boot[at + 1]} << 8; };
  const auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  const uint32_t reserved = u16(14), fats = boot[16], fatSectors = u32(36), rootCluster = u32(44);
  const uint32_t clusterBytes = boot[13] * 512u;
  const uint32_t clusters = (fileBytes + clusterBytes - 1) / clusterBytes;
  Bytes chain;
  for (uint32_t i = 0; i < clusters; ++i) {
    const uint32_t next = i + 1 == clusters ? 0x0FFFFFFF : first + i + 1;
    for (int b = 0; b < 4; ++b) chain.push_back(static_cast<uint8_t>(next >> (8 * b)));
  }
  for (uint32_t f = 0; f < fats; ++f) PatchFile(image, (uint64_t{reserved} + f * fatSectors) * 512 + first * 4, chain);
  const uint64_t rootOffset = (uint64_t{reserved} + fats * fatSectors) * 512 + uint64_t{rootCluster - 2} * clusterBytes;
  const Bytes rootBytes = ReadFileRange(image, rootOffset, clusterBytes);
  for (size_t at = 0; at < rootBytes.size(); at += 32) {
    if (std::string(rootBytes.begin() + at, rootBytes.begin() + at + 11) != "BIG     BIN") continue;
    PatchFile(image, rootOffset + at + 28, {static_cast<uint8_t>(fileBytes), static_cast<uint8_t>(fileBytes >> 8),
                                            static_cast<uint8_t>(fileBytes >> 16), static_cast<uint8_t>(fileBytes >> 24)});
    return;
  }
  FAIL() << "no BIG.BIN in the root";
}

// The bytes a process has written so far, as the kernel counts them.
uint64_t BytesWritten(pid_t pid) {
  std::ifstream io("/proc/" + std::to_string(pid) + "/io");
  std::string key;
  uint64_t value = 0;
  while (io >> key >> value) {
    if (key == "wchar:") return value;
  }
  return 0;
}

// Runs brindle-cli save of BIG.BIN into folder, ends it with signal once it has written a few
// MiB, and returns what the folder held just before the signal. The child must die of it.
std::vector<std::string> InterruptedSave(const std::string& image, const std::string& folder, int signal) {
  const pid_t child = ::fork();
  if (child == 0) {
    const int devNull = ::open("/dev/null", O_WRONLY);
    ::dup2(devNull, STDOUT_FILENO);
    ::dup2(devNull, STDERR_FILENO);
    ::execl(BRINDLE_CLI_PATH, "brindle-cli", "save", image.c_str(), "1:/BIG.BIN", folder.c_str(), nullptr);
    ::_exit(127);
  }
  EXPECT_GT(child, 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (BytesWritten(child) < (4u << 20) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  const std::vector<std::string> during = FolderContents(folder);
  ::kill(child, signal);
  int status = 0;
  EXPECT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "status " << status;
  return during;
}

// An exFAT volume mounted through FUSE, whose files cannot be made without a name, when the
// machine allows it (root, a loop device, exfat-fuse).
class ExfatMount {
 public:
  explicit ExfatMount(const TempDir& dir) : image_(dir / "exfat.img"), point_(dir / "mnt") {
    if (::geteuid() != 0 || std::system("command -v mount.exfat-fuse >/dev/null 2>&1") != 0) return;
    std::filesystem::create_directory(point_);
    RunCommand("truncate -s 256M " + ShellQuote(image_) + " && mkfs.exfat " + ShellQuote(image_) + " >/dev/null");
    loop_ = RunCommand("losetup -f --show " + ShellQuote(image_));
    loop_.erase(loop_.find_last_not_of('\n') + 1);
    mounted_ = std::system(("mount.exfat-fuse " + loop_ + " " + ShellQuote(point_) + " >/dev/null 2>&1").c_str()) == 0;
  }
  ~ExfatMount() {
    if (mounted_) std::system(("umount " + ShellQuote(point_)).c_str());
    if (!loop_.empty()) std::system(("losetup -d " + loop_).c_str());
  }
  bool mounted() const { return mounted_; }
  const std::string& point() const { return point_; }

 private:
  std::string image_;
  std::string point_;
  std::string loop_;
  bool mounted_ = false;
};

// A save of a 512 MiB file ended by SIGINT, SIGTERM or SIGHUP half way leaves nothing in the
// folder: on a file system with unnamed files nothing is ever seen there, on exFAT through
// FUSE the named temporary file is seen and then removed by the signal handler.
TEST_F(Recover, ASaveEndedByASignalLeavesNothing) {
  const std::string image = dir / "big.img";
  MakeBigFileImage(image, 512u << 20);
  ExfatMount exfat(dir);
  std::vector<std::pair<std::string, bool>> folders{{dir / "out", false}};  // (folder, named temporary file)
  std::filesystem::create_directory(folders[0].first);
  if (exfat.mounted()) folders.emplace_back(exfat.point(), true);
  else std::cerr << "no exFAT through FUSE here (needs root and exfat-fuse): the named form is not tried\n";
  for (const auto& [folder, named] : folders) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
      SCOPED_TRACE(folder + ", signal " + std::to_string(signal));
      const std::vector<std::string> during = InterruptedSave(image, folder, signal);
      if (named) {
        ASSERT_EQ(during.size(), 1u);
        EXPECT_TRUE(during[0].starts_with(".brindle-save-")) << during[0];
      } else {
        EXPECT_TRUE(during.empty());
      }
      EXPECT_TRUE(FolderContents(folder).empty());
    }
  }
}

}  // namespace
