#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

#include "device/SectorReader.h"
#include "device/SystemError.h"
#include "support/FaultyRead.h"
#include "support/LoopDevice.h"
#include "support/ScriptedFaults.h"
#include "support/TestFiles.h"

namespace {

constexpr uint32_t kSector = 512;

// A reader opened on an image and prepared, its read faults answered by faults.
struct OpenReader {
  OpenReader(const std::string& path, ScriptedFaults& faults) {
    EXPECT_TRUE(reader.OpenImage(path, "512")) << path;
    reader.SetFaultHandling(faults, faults.log);
    reader.PrepareBuffer();
  }
  TSectorReader reader;
};

struct ReaderFixture : ::testing::Test {
  // An image of `sectors` sectors of patterned bytes.
  std::string MakeImage(size_t sectors, size_t extraBytes = 0) {
    image = PatternBytes(sectors * kSector + extraBytes, 7);
    const std::string path = dir / "image.img";
    WriteFileBytes(path, image);
    return path;
  }
  Bytes Expected(size_t offset, size_t count) const {
    return Bytes(image.begin() + offset, image.begin() + offset + count);
  }
  Bytes SectorBytes(const TSectorReader& reader) const {
    return Bytes(reader.currentData(), reader.currentData() + kSector);
  }

  TempDir dir;
  Bytes image;
  ScriptedFaults boxes;
};

TEST_F(ReaderFixture, SizesTheWindowAndServesTheLastSectorsOnly) {
  OpenReader src(MakeImage(2048), boxes);
  TSectorReader& r = src.reader;
  EXPECT_EQ(r.totalSectors(), 2048u);
  EXPECT_EQ(r.bufferSectors(), 8u);
  EXPECT_EQ(r.bytesPerSector(), kSector);

  EXPECT_FALSE(r.ReadSector(2048));
  ASSERT_TRUE(r.ReadSector(2047));
  EXPECT_EQ(SectorBytes(r), Expected(2047 * kSector, kSector));
  ASSERT_TRUE(r.ReadSector(2046 - 1));  // a miss near the end loads up to the last sector only
  EXPECT_EQ(r.bufferFirst(), 2045u);
  EXPECT_EQ(r.bufferEnd(), 2048u);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ReaderFixture, IgnoresATrailingPartialSectorAndGivesSmallSourcesAWindow) {
  OpenReader src(MakeImage(10, 100), boxes);
  EXPECT_EQ(src.reader.totalSectors(), 10u);
  EXPECT_EQ(src.reader.bufferSectors(), 1u);
  uint32_t cursor = 3;
  Bytes got(3 * kSector);
  ASSERT_TRUE(src.reader.ReadBytes(got.data(), static_cast<uint32_t>(got.size()), cursor));
  EXPECT_EQ(got, Expected(3 * kSector, 3 * kSector));
}

TEST_F(ReaderFixture, ReadBytesContinuesWhereTheLastReadStopped) {
  OpenReader src(MakeImage(64), boxes);
  TSectorReader& r = src.reader;
  uint32_t cursor = 10;
  r.byteOffset = 0;
  Bytes first(300), second(300);
  ASSERT_TRUE(r.ReadBytes(first.data(), 300, cursor));
  ASSERT_TRUE(r.ReadBytes(second.data(), 300, cursor));
  EXPECT_EQ(first, Expected(10 * kSector, 300));
  EXPECT_EQ(second, Expected(10 * kSector + 300, 300));
  EXPECT_EQ(cursor, 11u);
  EXPECT_EQ(r.byteOffset, 88u);
}

TEST_F(ReaderFixture, ReadBytesCoversOnlyTheSectorsOfTheRun) {
  OpenReader src(MakeImage(2048), boxes);
  TSectorReader& r = src.reader;
  for (uint32_t start : {2046u, 2047u}) {
    uint32_t cursor = start;
    r.byteOffset = 0;
    Bytes got(kSector);
    ASSERT_TRUE(r.ReadBytes(got.data(), kSector, cursor)) << start;
    EXPECT_EQ(got, Expected(start * kSector, kSector));
    EXPECT_EQ(cursor, start + 1);
  }
  // A run across many windows comes back whole.
  uint32_t cursor = 5;
  r.byteOffset = 17;
  Bytes big(100000);
  ASSERT_TRUE(r.ReadBytes(big.data(), static_cast<uint32_t>(big.size()), cursor));
  EXPECT_EQ(big, Expected(5 * kSector + 17, big.size()));
  EXPECT_EQ(cursor, 5 + (17 + 100000) / kSector);
  EXPECT_EQ(r.byteOffset, (17 + 100000) % kSector);
}

TEST_F(ReaderFixture, ReadBytesOfNothingSucceedsAndAFailedRunLeavesZeros) {
  OpenReader src(MakeImage(16), boxes);
  TSectorReader& r = src.reader;
  uint32_t cursor = 16;
  r.byteOffset = 0;
  EXPECT_TRUE(r.ReadBytes(nullptr, 0, cursor));
  EXPECT_EQ(cursor, 16u);

  cursor = 15;
  Bytes got(2 * kSector, 0xAB);
  EXPECT_FALSE(r.ReadBytes(got.data(), static_cast<uint32_t>(got.size()), cursor));
  EXPECT_EQ(got, Bytes(2 * kSector, 0));
  EXPECT_EQ(cursor, 15u);
  EXPECT_EQ(r.byteOffset, 0u);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ReaderFixture, SectorSizeText) {
  const std::string path = MakeImage(64);
  struct Case {
    const char* text;
    uint32_t bytesPerSector;  // 0: refused
  } cases[] = {{"512", 512}, {"0", 512}, {"", 512}, {"letters", 512}, {" 4096xyz", 4096},
               {"+1024", 1024}, {"65536", 65536}, {"256", 0}, {"-512", 0}, {"65537", 0},
               {"99999999999999999999", 0}};
  for (const Case& c : cases) {
    boxes.shown.clear();
    TSectorReader r;
    r.SetFaultHandling(boxes, boxes.log);
    const bool opened = r.OpenImage(path, c.text);
    EXPECT_EQ(opened, c.bytesPerSector != 0) << c.text;
    EXPECT_EQ(r.IsOpen(), opened) << c.text;
    if (opened) {
      EXPECT_EQ(r.bytesPerSector(), c.bytesPerSector) << c.text;
      EXPECT_EQ(r.totalSectors(), 64 * kSector / c.bytesPerSector) << c.text;
      EXPECT_EQ(r.openFailure().kind, OpenFailure::Kind::kNone) << c.text;
    } else {
      EXPECT_EQ(r.openFailure().kind, OpenFailure::Kind::kUnusable) << c.text;
      EXPECT_NE(r.openFailure().text.find("512 to 65536"), std::string::npos);
    }
  }
}

TEST_F(ReaderFixture, OpenFailuresGiveTheSystemsReasonAndLeaveTheReaderClosed) {
  const std::string image = MakeImage(8);
  struct Case {
    bool device;
    std::string path;
    std::string message;
  } cases[] = {
      {false, dir / "missing.img", "Failed to open the file for reading:\nNo such file or directory"},
      {false, dir.path(), "Failed to open the file for reading:\nIs a directory"},
      {true, dir / "missing", "Failed to open the drive for reading.\nNo such file or directory"},
      {true, image, "Error while getting information about the drive:\nBlock device required"},
  };
  for (const Case& c : cases) {
    boxes.shown.clear();
    TSectorReader r;
    r.SetFaultHandling(boxes, boxes.log);
    EXPECT_FALSE(c.device ? r.OpenDevice(c.path, false) : r.OpenImage(c.path, "512"));
    EXPECT_FALSE(r.IsOpen());
    EXPECT_EQ(r.openFailure().kind, OpenFailure::Kind::kSystemError) << c.path;
    EXPECT_EQ(r.openFailure().text, c.message);
  }
}

// A FIFO would make the open wait for a writer forever, a socket cannot be opened, and a
// character device has no sectors: each is refused at once, by its type, as an image and as a
// device. The alarm turns a hang into a failure.
TEST_F(ReaderFixture, SourcesThatAreNeitherFilesNorBlockDevicesAreRefusedAtOnce) {
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string socketPath = dir / "socket";
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  const struct Case {
    std::string path;
    const char* kind;
  } cases[] = {{fifo, "a FIFO (named pipe)"}, {socketPath, "a socket"}, {"/dev/null", "a character device"}};
  ::alarm(20);
  for (const Case& c : cases) {
    for (const bool device : {false, true}) {
      SCOPED_TRACE(c.path + (device ? " as a device" : " as an image"));
      boxes.shown.clear();
      TSectorReader r;
    r.SetFaultHandling(boxes, boxes.log);
      EXPECT_FALSE(device ? r.OpenDevice(c.path, false) : r.OpenImage(c.path, "512"));
      EXPECT_FALSE(r.IsOpen());
      EXPECT_EQ(r.openFailure().kind, OpenFailure::Kind::kSystemError);
      EXPECT_EQ(r.openFailure().text, std::string(device ? "Failed to open the drive for reading.\n"
                                                         : "Failed to open the file for reading:\n") +
                                         "This is " + c.kind + ", not an image file or a block device.");
    }
  }
  ::alarm(0);
  ::close(listener);
  // A regular file is opened as before, and reads block as a file's reads do.
  OpenReader src(MakeImage(8), boxes);
  EXPECT_EQ(::fcntl(src.reader.deviceHandle(), F_GETFL) & O_NONBLOCK, 0);
}

TEST_F(ReaderFixture, OpensTheSourceReadOnlyAndCloseRefusesReads) {
  OpenReader src(MakeImage(8), boxes);
  const int flags = ::fcntl(src.reader.deviceHandle(), F_GETFL);
  EXPECT_EQ(flags & O_ACCMODE, O_RDONLY);
  EXPECT_NE(::fcntl(src.reader.deviceHandle(), F_GETFD) & FD_CLOEXEC, 0);
  src.reader.Close();
  EXPECT_FALSE(src.reader.IsOpen());
  EXPECT_FALSE(src.reader.ReadSector(7));
}

TEST_F(ReaderFixture, ASourceBeyondTwoTerabytesKeepsItsFirstSectors) {
  const std::string path = dir / "huge.img";
  RunCommand("truncate -s " + std::to_string((uint64_t{1} << 32) * kSector + 4096) + " " + ShellQuote(path));
  PatchFile(path, 0, Bytes{1, 2, 3});
  OpenReader src(path, boxes);
  EXPECT_EQ(src.reader.totalSectors(), 0xFFFFFFFFu);
  ASSERT_TRUE(src.reader.ReadSector(0));
  EXPECT_EQ(src.reader.currentData()[2], 3);
  EXPECT_TRUE(src.reader.ReadSector(0xFFFFFFFEu));
}

// Read faults: the bytes from badByte on fail a number of times. A read that starts before
// them delivers what lies before them first, as a disk does.
void InstallFault(TSectorReader& reader, uint64_t badByte, int failures) {
  InstallFaultyRead(reader)->bad.push_back({badByte, badByte + 1, failures});
}

// Each attempt below reads the sector twice: in the window's run, and alone to find which sector
// of the run fails.
TEST_F(ReaderFixture, AbortOnAReadErrorFailsAndReadsTheMediumAgainNextTime) {
  OpenReader src(MakeImage(4096), boxes);
  InstallFault(src.reader, 1000 * kSector, 4);

  boxes.answers = {FaultAnswer::kAbort};
  EXPECT_FALSE(src.reader.ReadSector(1000));
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0], "Read failed at sector 1000:\nInput/output error");
  EXPECT_EQ(boxes.log.Count(), 1u);

  // The window was emptied, so the same request goes to the medium again instead of being
  // served from bytes that were never read.
  boxes.answers = {FaultAnswer::kAbort};
  EXPECT_FALSE(src.reader.ReadSector(1000));
  EXPECT_EQ(boxes.shown.size(), 2u);
  ASSERT_TRUE(src.reader.ReadSector(1000));
  EXPECT_EQ(SectorBytes(src.reader), Expected(1000 * kSector, kSector));
}

TEST_F(ReaderFixture, RetryReadsAgainAndGivesTheRightBytes) {
  OpenReader src(MakeImage(4096), boxes);
  InstallFault(src.reader, 1005 * kSector, 2);

  boxes.answers = {FaultAnswer::kRetry};
  uint32_t cursor = 1000;
  src.reader.byteOffset = 0;
  Bytes got(10 * kSector);
  ASSERT_TRUE(src.reader.ReadBytes(got.data(), static_cast<uint32_t>(got.size()), cursor));
  EXPECT_EQ(got, Expected(1000 * kSector, got.size()));
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0], "Read failed at sector 1005:\nInput/output error");
}

// Whether the platform read delivers the bytes in front of the bad sector first or fails whole,
// only the bad sector is lost, and the question names it.
TEST_F(ReaderFixture, IgnoreZeroesTheBadSectorAndKeepsTheReadableOnes) {
  for (const bool deliverFirst : {true, false}) {
    boxes.shown.clear();
    OpenReader src(MakeImage(4096), boxes);
    const auto fault = InstallFaultyRead(src.reader);
    fault->bad.push_back({1003 * kSector + 5, 1003 * kSector + 6, -1});  // one bad byte, for good
    fault->deliverFirst = deliverFirst;

    boxes.answers = {FaultAnswer::kIgnore};
    uint32_t cursor = 1000;
    src.reader.byteOffset = 0;
    Bytes got(8 * kSector);
    ASSERT_TRUE(src.reader.ReadBytes(got.data(), static_cast<uint32_t>(got.size()), cursor));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0], "Read failed at sector 1003:\nInput/output error");
    Bytes expected = Expected(1000 * kSector, got.size());
    std::fill(expected.begin() + 3 * kSector, expected.begin() + 4 * kSector, 0);
    EXPECT_EQ(got, expected) << (deliverFirst ? "partial read" : "whole read fails");
  }
}

// The question names the sector that failed, not the first of the read it failed in: a window
// fill from sector 100 that fails whole because of sector 109 asks about 109. Every bad sector
// of a run is asked about and costs its own bytes only; a read that fails once and then reads
// sector by sector was a passing fault and asks nothing.
TEST_F(ReaderFixture, EachBadSectorIsNamedAndCostsItsOwnBytes) {
  OpenReader src(MakeImage(4096), boxes);  // a window of 16 sectors
  const auto fault = InstallFaultyRead(src.reader);
  fault->deliverFirst = false;
  fault->FailSector(109, kSector);
  fault->FailSector(112, kSector);
  fault->FailSector(2000, kSector, 1);
  boxes.answers = {FaultAnswer::kIgnore, FaultAnswer::kIgnore};
  ASSERT_TRUE(src.reader.ReadSector(100));
  EXPECT_EQ(boxes.shown, (std::vector<std::string>{"Read failed at sector 109:\nInput/output error",
                                             "Read failed at sector 112:\nInput/output error"}));
  Bytes window(src.reader.currentData(), src.reader.currentData() + 16 * kSector);
  Bytes expected = Expected(100 * kSector, 16 * kSector);
  std::fill_n(expected.begin() + 9 * kSector, kSector, 0);
  std::fill_n(expected.begin() + 12 * kSector, kSector, 0);
  EXPECT_EQ(window, expected);

  boxes.shown.clear();
  ASSERT_TRUE(src.reader.ReadSector(1990));
  ASSERT_TRUE(src.reader.ReadSector(2000));
  EXPECT_EQ(SectorBytes(src.reader), Expected(2000 * kSector, kSector));
  EXPECT_TRUE(boxes.shown.empty());
}

// Long runs of whole sectors go straight to the destination in reads of the window's size, so
// they read no sector twice and nothing beyond the run; whatever the window holds, the bytes
// are those of the source. File data goes straight to the destination however short it is.
TEST_F(ReaderFixture, LongReadsGoStraightToTheDestination) {
  OpenReader src(MakeImage(4096), boxes);  // a window of 16 sectors
  TSectorReader& r = src.reader;
  const auto fault = InstallFaultyRead(r);
  const struct Case {
    uint32_t held;  // a sector the window is made to hold first
    uint32_t sector;
    uint32_t offset;
    uint32_t count;
  } cases[] = {
      {0, 1000, 0, 100 * kSector},            // aligned, whole sectors: read directly
      {0, 1000, 0, 100 * kSector + 77},       // and a tail through the window
      {1010, 1000, 0, 100 * kSector},         // the window holds a part in the middle
      {1000, 1000, 300, 40 * kSector},        // starts inside the window, mid-sector
      {0, 4000, 0, 96 * kSector},             // up to the last sector
      {0, 1000, 0, 7 * kSector},              // short: through the window
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.sector) + "+" + std::to_string(c.offset) + ", " + std::to_string(c.count));
    ASSERT_TRUE(r.ReadSector(c.held));
    fault->calls.clear();
    uint32_t cursor = c.sector;
    r.byteOffset = c.offset;
    Bytes got(c.count);
    ASSERT_TRUE(r.ReadBytes(got.data(), c.count, cursor));
    EXPECT_EQ(got, Expected(size_t{c.sector} * kSector + c.offset, c.count));
    uint64_t read = 0;
    for (const FaultyRead::Call& call : fault->calls) {
      EXPECT_LE(call.count, std::max<uint64_t>(r.bufferSectors() * kSector, kMaxDirectReadBytes));
      read += call.count;
    }
    if (c.held == 0 && c.offset == 0 && c.count % kSector == 0 && c.count >= 8 * kSector) {
      EXPECT_EQ(read, c.count) << "sectors read twice or beyond the run";
    }
  }

  // File data reads its own sectors only, however few, and leaves the window as it was.
  ASSERT_TRUE(r.ReadSector(0));
  fault->calls.clear();
  Bytes few(3 * kSector);
  ASSERT_TRUE(r.ReadDirectAt(3000, few.data(), static_cast<uint32_t>(few.size())));
  EXPECT_EQ(few, Expected(3000 * kSector, few.size()));
  ASSERT_EQ(fault->calls.size(), 1u);
  EXPECT_EQ(fault->calls[0].count, few.size());
  EXPECT_EQ(r.bufferFirst(), 0u);
  EXPECT_TRUE(boxes.shown.empty());
}

// A read error inside a direct read is asked about like one in a window fill: Abort fails the
// whole read with zeros, and the next read goes to the medium again.
TEST_F(ReaderFixture, AbortInsideALongReadLeavesZerosAndNothingBehind) {
  OpenReader src(MakeImage(4096), boxes);
  InstallFault(src.reader, 1040 * kSector, 2);
  boxes.answers = {FaultAnswer::kAbort};
  uint32_t cursor = 1000;
  src.reader.byteOffset = 0;
  Bytes got(100 * kSector, 0xAB);
  EXPECT_FALSE(src.reader.ReadBytes(got.data(), static_cast<uint32_t>(got.size()), cursor));
  EXPECT_EQ(got, Bytes(got.size(), 0));
  EXPECT_EQ(cursor, 1000u);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0], "Read failed at sector 1040:\nInput/output error");
  ASSERT_TRUE(src.reader.ReadBytes(got.data(), static_cast<uint32_t>(got.size()), cursor));
  EXPECT_EQ(got, Expected(1000 * kSector, got.size()));
}

TEST_F(ReaderFixture, AShortReadLeavesZerosNotOldBytes) {
  OpenReader src(MakeImage(4096), boxes);
  ASSERT_TRUE(src.reader.ReadSector(0));  // the window now holds other bytes
  src.reader.platformRead = [](int fd, void* b, size_t n, off_t o) -> ssize_t {
    if (o >= off_t(2000) * kSector) return 0;  // the source seems to end here
    return ::pread(fd, b, n, o);
  };
  ASSERT_TRUE(src.reader.ReadSector(1990));
  ASSERT_TRUE(src.reader.ReadSector(2010));
  EXPECT_EQ(SectorBytes(src.reader), Bytes(kSector, 0));
}

// Operations on other threads read through sessions of their own: each fills its own window,
// hands its faults to its own policy and log, and leaves the reader's own window and log as
// they were, while the thread without a session goes on reading through that window.
TEST_F(ReaderFixture, SessionsOnOtherThreadsKeepTheirWindowsAndFaultsApart) {
  OpenReader src(MakeImage(4096), boxes);
  TSectorReader& r = src.reader;
  const auto fault = std::make_shared<FaultyRead>();
  fault->FailSector(1500, kSector);
  fault->FailSector(2500, kSector);
  std::mutex calls;
  r.platformRead = [&](int fd, void* b, size_t n, off_t o) {
    const std::lock_guard<std::mutex> lock(calls);  // the stand-in keeps notes
    return (*fault)(fd, b, n, o);
  };
  ASSERT_TRUE(r.ReadSector(10));

  struct Worker {
    FixedFaultPolicy policy;
    FaultLog log;
    uint32_t first;
    Bytes got;
    bool read = false;
    uint32_t windowFirst = 0;
  };
  Worker ignoring{FixedFaultPolicy(FaultAnswer::kIgnore), {}, 1400, Bytes(200 * kSector), false, 0};
  Worker aborting{FixedFaultPolicy(FaultAnswer::kAbort), {}, 2400, Bytes(200 * kSector), false, 0};
  const auto work = [&r](Worker& w) {
    ReadSession session(r, w.policy, w.log);
    for (int round = 0; round < 20; ++round) {
      w.read = r.ReadAt(w.first, 0, w.got.data(), static_cast<uint32_t>(w.got.size()));
      r.ReadSector(w.first + 3);
    }
    w.windowFirst = r.bufferFirst();
  };
  std::thread one(work, std::ref(ignoring));
  std::thread two(work, std::ref(aborting));
  for (int round = 0; round < 200; ++round) {
    ASSERT_TRUE(r.ReadSector(10 + round % 50));
    EXPECT_EQ(SectorBytes(r), Expected((10 + round % 50) * kSector, kSector));
  }
  one.join();
  two.join();

  EXPECT_TRUE(ignoring.read);
  Bytes expected = Expected(1400 * kSector, ignoring.got.size());
  std::fill_n(expected.begin() + 100 * kSector, kSector, 0);
  EXPECT_EQ(ignoring.got, expected);
  EXPECT_EQ(ignoring.log.UnreadSectors(), 1u);
  EXPECT_EQ(ignoring.log.Entries().front().fault.sector, 1500u);
  EXPECT_FALSE(aborting.read);
  EXPECT_EQ(aborting.got, Bytes(aborting.got.size(), 0));
  EXPECT_EQ(aborting.log.Entries().front().fault.sector, 2500u);
  EXPECT_EQ(aborting.log.Entries().front().answer, FaultAnswer::kAbort);
  EXPECT_EQ(ignoring.windowFirst, 1403u);  // each session's own window
  EXPECT_EQ(aborting.windowFirst, 2403u);
  EXPECT_TRUE(boxes.shown.empty());  // the reader's own policy was asked nothing
  EXPECT_EQ(boxes.log.Count(), 0u);
  EXPECT_LE(r.bufferFirst(), 59u);
}

TEST(SystemErrorTest, TextIsEnglishWhateverTheLocale) {
  EXPECT_EQ(SystemErrorText(EACCES), "Permission denied");
  EXPECT_EQ(ReadFaultText(ReadFault{42, EIO}), "Read failed at sector 42:\nInput/output error");
}

}  // namespace

namespace {

TEST_F(ReaderFixture, ABlockDeviceIsSizedByItsOwnSectorSize) {
  const std::string image = MakeImage(64);
  for (uint32_t sectorSize : {512u, 4096u}) {
    LoopDevice loop(image, sectorSize);
    if (loop.path().empty()) GTEST_SKIP() << "no loop device here (needs root and the loop driver)";
    TSectorReader r;
    r.SetFaultHandling(boxes, boxes.log);
    ASSERT_TRUE(r.OpenDevice(loop.path(), false));
    r.PrepareBuffer();
    EXPECT_EQ(r.bytesPerSector(), sectorSize);
    EXPECT_EQ(r.totalSectors(), 64 * kSector / sectorSize);
    EXPECT_EQ(::fcntl(r.deviceHandle(), F_GETFL) & O_ACCMODE, O_RDONLY);
    ASSERT_TRUE(r.ReadSector(1));
    EXPECT_EQ(Bytes(r.currentData(), r.currentData() + sectorSize), Expected(sectorSize, sectorSize));
  }
  EXPECT_TRUE(boxes.shown.empty());
}

// A descriptor handed over by a service that opened the device for us is read as the device
// would be; one that is no block device is refused. Either way the reader owns it from then on.
TEST_F(ReaderFixture, AHandedDescriptorIsReadAsTheDeviceAndIsTheReadersToClose) {
  const std::string image = MakeImage(64);
  LoopDevice loop(image, 512);
  const struct {
    const char* what;
    std::string path;  // opened to hand over; empty: -1 is handed
    bool opens;
    const char* text;
  } cases[] = {
      {"a block device", loop.path(), true, ""},
      {"an image file", image, false, "Error while getting information about the drive:\nBlock device required"},
      {"no descriptor", "", false, "Failed to open the drive for reading.\nBad file descriptor"},
  };
  for (const auto& c : cases) {
    if (c.opens && c.path.empty()) continue;  // no loop device here (needs root and the loop driver)
    const int fd = c.path.empty() ? -1 : ::open(c.path.c_str(), O_RDONLY | O_CLOEXEC);
    TSectorReader r;
    EXPECT_EQ(r.OpenDeviceDescriptor(fd), c.opens) << c.what;
    EXPECT_EQ(r.openFailure().text, c.text) << c.what;
    if (c.opens) {
      r.PrepareBuffer();
      EXPECT_EQ(r.totalSectors(), 64u);
      ASSERT_TRUE(r.ReadSector(5));
      EXPECT_EQ(SectorBytes(r), Expected(5 * kSector, kSector)) << c.what;
      r.Close();
    }
    if (fd >= 0) {
      EXPECT_EQ(::fcntl(fd, F_GETFD), -1) << c.what << ": the descriptor is still open";
    }
  }
}

// On a block device a bad sector is told from its neighbours past the page cache. The stand-in
// plays a disk with one unreadable logical block: reads through the cache fail for the whole
// 4 KiB page around it, as the kernel's do, and direct reads for that block alone. They must
// be direct (O_DIRECT) and aligned, in whole logical blocks: the loop device refuses anything
// else. Only the bad block's bytes become zeros, whatever sector size the device is read with,
// and the first question names the first sector they lie in.
TEST_F(ReaderFixture, OnABlockDeviceOnlyTheBadBlockBecomesZeros) {
  const std::string image = MakeImage(4096);
  const uint64_t badByte = 109 * kSector + 7;
  for (const uint32_t blockSize : {512u, 4096u}) {
    LoopDevice loop(image, blockSize);
    if (loop.path().empty()) GTEST_SKIP() << "no loop device here (needs root and the loop driver)";
    for (const char* sectorSize : {"", "512", "4096"}) {  // "": opened as a device, in its own blocks
      SCOPED_TRACE(std::to_string(blockSize) + "-byte blocks, read with " + (*sectorSize ? sectorSize : "them"));
      boxes.shown.clear();
      boxes.readErrorAnswer = FaultAnswer::kIgnore;
      TSectorReader r;
    r.SetFaultHandling(boxes, boxes.log);
      ASSERT_TRUE(*sectorSize ? r.OpenImage(loop.path(), sectorSize) : r.OpenDevice(loop.path(), false));
      int directReads = 0;
      bool aligned = true;
      r.platformRead = [&](int fd, void* buffer, size_t count, off_t offset) -> ssize_t {
        const bool direct = (::fcntl(fd, F_GETFL) & O_DIRECT) != 0;
        const uint64_t unit = direct ? blockSize : 4096;
        if (direct) {
          ++directReads;
          aligned = aligned && offset % blockSize == 0 && count % blockSize == 0 &&
                    reinterpret_cast<uintptr_t>(buffer) % blockSize == 0;
        }
        const uint64_t badFirst = badByte / unit * unit;
        const uint64_t start = static_cast<uint64_t>(offset);
        if (start < badFirst + unit && start + count > badFirst) {
          if (start >= badFirst) {
            errno = EIO;
            return -1;
          }
          count = badFirst - start;  // a disk delivers what lies in front of the bad part first
        }
        return ::pread(fd, buffer, count, offset);
      };
      r.PrepareBuffer();
      const uint32_t bps = r.bytesPerSector();
      uint32_t cursor = 96 * kSector / bps;
      r.byteOffset = 0;
      Bytes got(32 * kSector);
      ASSERT_TRUE(r.ReadBytes(got.data(), static_cast<uint32_t>(got.size()), cursor));
      const uint64_t badFirst = badByte / blockSize * blockSize;
      Bytes expected = Expected(96 * kSector, got.size());
      std::fill_n(expected.begin() + static_cast<ptrdiff_t>(badFirst - 96 * kSector), blockSize, 0);
      EXPECT_EQ(got, expected);
      EXPECT_GT(directReads, 0);
      EXPECT_TRUE(aligned);
      ASSERT_FALSE(boxes.shown.empty());
      EXPECT_EQ(boxes.shown[0], "Read failed at sector " + std::to_string(badFirst / bps) + ":\nInput/output error");
    }
  }
}

// A device that turns direct reads down after all (EINVAL) is read through the cache: the bad
// sector costs the page around it, but no readable sector is lost to the refusal.
TEST_F(ReaderFixture, ADeviceThatRefusesDirectReadsIsReadThroughTheCache) {
  const std::string image = MakeImage(4096);
  LoopDevice loop(image, 512);
  if (loop.path().empty()) GTEST_SKIP() << "no loop device here (needs root and the loop driver)";
  boxes.readErrorAnswer = FaultAnswer::kIgnore;
  TSectorReader r;
  r.SetFaultHandling(boxes, boxes.log);
  ASSERT_TRUE(r.OpenDevice(loop.path(), false));
  int refused = 0;
  r.platformRead = [&](int fd, void* buffer, size_t count, off_t offset) -> ssize_t {
    if ((::fcntl(fd, F_GETFL) & O_DIRECT) != 0) {
      ++refused;
      errno = EINVAL;
      return -1;
    }
    if (offset < 112 * kSector && offset + static_cast<off_t>(count) > 104 * kSector) {  // the page of sector 109
      errno = EIO;
      return -1;
    }
    return ::pread(fd, buffer, count, offset);
  };
  r.PrepareBuffer();
  uint32_t cursor = 96;
  r.byteOffset = 0;
  Bytes got(32 * kSector);
  ASSERT_TRUE(r.ReadBytes(got.data(), static_cast<uint32_t>(got.size()), cursor));
  Bytes expected = Expected(96 * kSector, got.size());
  std::fill_n(expected.begin() + 8 * kSector, 8 * kSector, 0);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(refused, 1);
  EXPECT_EQ(boxes.shown.size(), 8u);
}

}  // namespace
