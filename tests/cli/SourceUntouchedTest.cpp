// Brindle never writes to its source. Every test image (FAT12, FAT16 and FAT32 volumes, the
// committed exFAT images and a partitioned disk) is walked whole in process (discovery, every
// directory read, every entry described and read) and through brindle-cli (recover, cat), and
// its bytes and modification time are the same afterwards. Read-only opening is checked, not
// assumed: the reader's descriptor has read-only access, and where the file system allows it
// (as root on ext4, say) the images are immutable for the run, so that any attempt to open one
// for writing fails, even for root.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <sstream>

#include "fs/Discovery.h"
#include "support/ExfatImages.h"
#include "support/FatImages.h"
#include "support/OpenSource.h"
#include "support/TestFiles.h"
#include "support/TreeSnapshot.h"

namespace {

// The immutable attribute (what chattr +i sets) on a file while the guard lives, taken off
// again on every path out. Setting it needs the privilege and a file system that has the
// attribute; without them the guard does nothing and keeps the reason.
class ImmutableFile {
 public:
  explicit ImmutableFile(std::string path) : path_(std::move(path)) { active_ = Change(true); }
  ~ImmutableFile() {
    if (active_ && !Change(false)) ADD_FAILURE() << "cannot make " << path_ << " writable again: " << reason_;
  }
  ImmutableFile(const ImmutableFile&) = delete;
  ImmutableFile& operator=(const ImmutableFile&) = delete;

  bool active() const { return active_; }
  const std::string& reason() const { return reason_; }

 private:
  bool Change(bool immutable) {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
      flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
      done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    if (!done) reason_ = std::strerror(errno);
    if (fd >= 0) ::close(fd);
    return done;
  }

  std::string path_;
  bool active_ = false;
  std::string reason_;
};

struct Image {
  std::string name;
  std::string original;  // where the test image was made or committed
  std::string sectorSize;
  std::string path;  // the copy the test reads
};

// A disk with a classic partition table: a FAT16 volume made in place, and an exFAT image
// copied in.
std::string MakePartitionedDisk(const TempDir& dir) {
  const std::string disk = dir / "partitioned.img";
  RunCommand("truncate -s 14M " + ShellQuote(disk));
  RunCommand("printf 'label: dos\\nstart=2048, size=16384, type=6\\nstart=18432, size=8192, type=7\\n' | sfdisk -q " +
             ShellQuote(disk));
  MtoolsVolume fat(disk, 2048 * 512);
  fat.Format("-F 16 -s 1 -n PARTED", 8192);
  fat.MakeDirectory("/Some folder");
  fat.Write("/Some folder/A long file name.txt", PatternBytes(5000, 1));
  fat.Write("/KEEP.BIN", PatternBytes(3000, 2));
  fat.Write("/GONE.BIN", PatternBytes(2000, 3));
  fat.Delete("/GONE.BIN");
  RunCommand("dd if=" + ShellQuote(TestImagePath("exfat-tree.img")) + " of=" + ShellQuote(disk) +
             " bs=512 seek=18432 conv=notrunc status=none");
  return disk;
}

// A copy of the test image in dir, with an old modification time, so that a write, which
// would set it to now, shows.
Image CopyOfTestImage(const std::string& name, const TempDir& dir) {
  Image image{name, "", "512", dir / (name + "-source.img")};
  if (name.rfind("fat", 0) == 0) {
    image.original = SharedFatImage(std::stoi(name.substr(3))).path;
  } else if (name == "partitioned") {
    image.original = MakePartitionedDisk(dir);
  } else {
    image.original = TestImagePath(name + ".img");
    image.sectorSize = ReadExfatManifest(name).sectorSize;
  }
  WriteFileBytes(image.path, ReadFileBytes(image.original));
  const timespec old[2] = {{1000000000, 123456789}, {1000000000, 123456789}};
  EXPECT_EQ(::utimensat(AT_FDCWD, image.path.c_str(), old, 0), 0);
  return image;
}

timespec ModificationTime(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mtim;
}

// Discovery, then every node: its information, and its data whole, as saving asks for it and
// as the preview does.
void WalkInProcess(const Image& image) {
  OpenSource source(image.path, image.sectorSize);
  EXPECT_EQ(::fcntl(source.reader.deviceHandle(), F_GETFL) & O_ACCMODE, O_RDONLY);
  PartitionList& partitions = source.partitions;
  EXPECT_EQ(partitions.size(), image.name == "partitioned" ? 2u : 1u);
  size_t nodes = 0;
  WalkTree(partitions, [&](const std::string&, TDirectoryEntry& node) {
    ++nodes;
    RecordingInfoList list;
    node.FillInfo(list);
    for (const uint32_t limit : {0u, node.size, kDumpSize}) {
      uint32_t size = limit;
      node.GetData(size);
    }
  });
  EXPECT_GE(nodes, 4u);
}

// recover of everything, then cat of a few live and deleted files.
void WalkWithTheCommandLine(const Image& image, const TempDir& dir) {
  const std::string cli = ShellQuote(BRINDLE_CLI_PATH);
  const std::string source = " --sector-size " + image.sectorSize + " " + ShellQuote(image.path);
  const std::string recovered = RunCommand(cli + " recover" + source + " " + ShellQuote(dir / (image.name + "-out")));
  EXPECT_NE(recovered.find(" 0 failures."), std::string::npos) << recovered;

  std::istringstream listing(RunCommand(cli + " ls -r --json" + source));
  int catted[2] = {0, 0};
  for (std::string line; std::getline(listing, line);) {
    const nlohmann::json entry = nlohmann::json::parse(line);
    if (entry["state"] == "directory") continue;
    int& count = catted[entry["state"] == "deleted"];
    if (count++ < 3) RunCommand(cli + " cat" + source + " " + ShellQuote(entry["index"]) + " >/dev/null");
  }
  EXPECT_GT(catted[0], 0);
}

struct SourceUntouched : ::testing::TestWithParam<std::string> {};

TEST_P(SourceUntouched, WalkingAndRecoveringLeavesTheImageAsItWas) {
  TempDir dir;
  const Image image = CopyOfTestImage(GetParam(), dir);
  const timespec modified = ModificationTime(image.path);
  {
    ImmutableFile guard(image.path);
    if (guard.active()) {
      // The guard holds: not even root opens the image for writing now.
      const int fd = ::open(image.path.c_str(), O_WRONLY | O_CLOEXEC);
      EXPECT_EQ(fd, -1);
      EXPECT_EQ(errno, EPERM);
      if (fd >= 0) ::close(fd);
    } else {
      std::cout << "[   NOTE   ] the image is not immutable during the run: " << guard.reason() << "\n";
    }
    WalkInProcess(image);
    WalkWithTheCommandLine(image, dir);
  }
  EXPECT_TRUE(ReadFileBytes(image.path) == ReadFileBytes(image.original)) << "the bytes changed";
  const timespec now = ModificationTime(image.path);
  EXPECT_EQ(now.tv_sec, modified.tv_sec);
  EXPECT_EQ(now.tv_nsec, modified.tv_nsec);
}

INSTANTIATE_TEST_SUITE_P(Images, SourceUntouched,
                         ::testing::Values("fat12", "fat16", "fat32", "exfat-tree", "exfat-mbr", "exfat-4k", "partitioned"),
                         [](const auto& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
