#include "device/SectorReader.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "device/EvidenceMedia.h"
#include "device/SystemError.h"

namespace {

// Sector numbers are 32-bit: a larger source keeps its first 2^32 - 1 sectors readable
// instead of wrapping round to a small count.
uint32_t ClampSectorCount(uint64_t sectors) {
  return static_cast<uint32_t>(std::min<uint64_t>(sectors, 0xFFFFFFFFu));
}

// What a source of this type is called when it cannot be read as a medium: a FIFO, a socket
// or a character device can block an open or a read forever, and has no sectors to address.
// Nothing for the types that can be read (a regular file, a block device, and a directory, which
// its open refuses with the system's reason).
const char* UnreadableKind(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO (named pipe)";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISREG(mode) || S_ISBLK(mode) || S_ISDIR(mode)) return nullptr;
  return "an unknown kind of file";
}

// Opens path read-only without ever waiting: a source of a type that cannot be read is refused
// before it is opened (opening a FIFO waits for a writer, and opening a device may act on it),
// and, should path change in between, by the type of what was opened, which O_NONBLOCK opened
// at once. Returns the descriptor, or -1 with errno set, or with refusal naming the type.
int OpenSourceFile(const std::string& path, const char*& refusal) {
  refusal = nullptr;
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && (refusal = UnreadableKind(info.st_mode)) != nullptr) return -1;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return -1;
  if (::fstat(fd, &info) != 0 || (refusal = UnreadableKind(info.st_mode)) != nullptr ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

// A descriptor closed on every path until a medium takes it over.
class OwnedDescriptor {
 public:
  explicit OwnedDescriptor(int fd) : fd_(fd) {}
  ~OwnedDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  OwnedDescriptor(const OwnedDescriptor&) = delete;
  OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

std::string RefusalText(const char* prefix, const char* kind) {
  return std::string(prefix) + "This is " + kind + ", not an image file or a block device.";
}

}  // namespace

// The calling thread's window; while it is the reader's own, the lock that lets one read
// through it at a time is held.
class TSectorReader::WindowAccess {
 public:
  explicit WindowAccess(const TSectorReader& reader) : window_(reader.WindowOfThisThread()) {
    if (&window_ == &reader.mainWindow_) lock_ = std::unique_lock<std::recursive_mutex>(reader.mainMutex_);
  }
  ReadWindow& window() { return window_; }

 private:
  ReadWindow& window_;
  std::unique_lock<std::recursive_mutex> lock_;
};

int64_t ParseSectorSizeText(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  constexpr int64_t kSaturation = int64_t{1} << 31;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = std::min(value * 10 + (text[i] - '0'), kSaturation);
  }
  return negative ? -value : value;
}

TSectorReader::TSectorReader() : platformRead(::pread) {
  mainWindow_.policy = &abortFaults_;
  mainWindow_.log = &ownLog_;
}

TSectorReader::~TSectorReader() { Close(); }

void TSectorReader::Close() { medium_.reset(); }

void TSectorReader::SetFaultHandling(FaultPolicy& policy, FaultLog& log) {
  const std::lock_guard<std::recursive_mutex> lock(mainMutex_);
  mainWindow_.policy = &policy;
  mainWindow_.log = &log;
}

ReadWindow& TSectorReader::WindowOfThisThread() const {
  const std::lock_guard<std::mutex> lock(sessionsMutex_);
  const std::thread::id self = std::this_thread::get_id();
  for (const auto& [thread, window] : sessions_) {
    if (thread == self) return *window;
  }
  return mainWindow_;
}

void TSectorReader::Register(ReadWindow& window) {
  const std::lock_guard<std::mutex> lock(sessionsMutex_);
  sessions_.emplace_back(std::this_thread::get_id(), &window);
}

void TSectorReader::Unregister(ReadWindow& window) {
  const std::lock_guard<std::mutex> lock(sessionsMutex_);
  std::erase_if(sessions_, [&](const auto& session) { return session.second == &window; });
}

bool TSectorReader::Fail(OpenFailure::Kind kind, std::string text) {
  Close();
  openFailure_ = OpenFailure{kind, std::move(text)};
  return false;
}

bool TSectorReader::FailWithError(const std::string& prefix) {
  const int error = errno;
  return Fail(OpenFailure::Kind::kSystemError, prefix + SystemErrorText(error));
}

bool TSectorReader::SetSectorSize(const std::string& sectorSizeText) {
  int64_t sectorSize = ParseSectorSizeText(sectorSizeText);
  if (sectorSize == 0) sectorSize = kMinSectorSize;
  if (sectorSize < kMinSectorSize || sectorSize > kMaxSectorSize) {
    return Fail(OpenFailure::Kind::kUnusable, "The sector size \"" + sectorSizeText +
                                                  "\" cannot be used.\nEnter a number of bytes from 512 to 65536.");
  }
  geometry_.bytesPerSector = static_cast<uint32_t>(sectorSize);
  return true;
}

bool TSectorReader::OpenImage(const std::string& path, const std::string& sectorSizeText) {
  constexpr const char* kOpenFailed = "Failed to open the file for reading:\n";
  openFailure_ = OpenFailure{};
  const char* refusal = nullptr;
  OwnedDescriptor fd(OpenSourceFile(path, refusal));
  if (refusal != nullptr) return Fail(OpenFailure::Kind::kSystemError, RefusalText(kOpenFailed, refusal));
  if (fd.get() < 0) return FailWithError(kOpenFailed);
  struct stat info {};
  if (::fstat(fd.get(), &info) == 0 && S_ISDIR(info.st_mode)) {
    errno = EISDIR;
    return FailWithError(kOpenFailed);
  }
  if (!SetSectorSize(sectorSizeText)) return false;

  constexpr const char* kSizeFailed = "Failed to read the size of the file:\n";
  if (::fstat(fd.get(), &info) != 0) return FailWithError(kSizeFailed);
  uint64_t size = static_cast<uint64_t>(info.st_size);
  if (S_ISBLK(info.st_mode) && ::ioctl(fd.get(), BLKGETSIZE64, &size) != 0) return FailWithError(kSizeFailed);
  if (S_ISREG(info.st_mode)) {
    EvidenceOpening evidence = OpenEvidence(path, fd.get(), size);
    if (!evidence.failure.empty()) return Fail(OpenFailure::Kind::kSystemError, kOpenFailed + evidence.failure);
    if (evidence.medium) {
      medium_ = std::move(evidence.medium);
      totalSectors_ = ClampSectorCount(medium_->Size() / geometry_.bytesPerSector);
      return true;
    }
  }
  medium_ = std::make_unique<FileMedium>(fd.release(), size, platformRead);
  totalSectors_ = ClampSectorCount(size / geometry_.bytesPerSector);
  return true;
}

bool TSectorReader::OpenMedium(std::unique_ptr<SourceMedium> medium, const std::string& sectorSizeText) {
  Close();
  openFailure_ = OpenFailure{};
  medium_ = std::move(medium);
  if (!medium_ || !SetSectorSize(sectorSizeText)) return false;
  totalSectors_ = ClampSectorCount(medium_->Size() / geometry_.bytesPerSector);
  return true;
}

bool TSectorReader::OpenDevice(const std::string& path, bool /*isLogicalDrive*/) {
  // A logical drive is a partition block device here and is sized by its own ioctls, like a
  // whole disk, so both kinds take the same road.
  constexpr const char* kOpenFailed = "Failed to open the drive for reading.\n";
  openFailure_ = OpenFailure{};
  const char* refusal = nullptr;
  const int fd = OpenSourceFile(path, refusal);
  if (refusal != nullptr) return Fail(OpenFailure::Kind::kSystemError, RefusalText(kOpenFailed, refusal));
  if (fd < 0) return FailWithError(kOpenFailed);
  return OpenDeviceDescriptor(fd);
}

bool TSectorReader::OpenDeviceDescriptor(int descriptor) {
  Close();
  openFailure_ = OpenFailure{};
  OwnedDescriptor fd(descriptor);
  if (fd.get() < 0) {
    errno = EBADF;
    return FailWithError("Failed to open the drive for reading.\n");
  }
  constexpr const char* kInfoFailed = "Error while getting information about the drive:\n";
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return FailWithError(kInfoFailed);
  if (!S_ISBLK(info.st_mode)) {
    errno = ENOTBLK;
    return FailWithError(kInfoFailed);
  }
  int sectorSize = 0;
  uint64_t size = 0;
  if (::ioctl(fd.get(), BLKSSZGET, &sectorSize) != 0 || ::ioctl(fd.get(), BLKGETSIZE64, &size) != 0) {
    // A drive without a medium in it: nothing to report.
    if (errno == ENOMEDIUM) return Fail(OpenFailure::Kind::kNone, "");
    return FailWithError(kInfoFailed);
  }
  if (sectorSize < static_cast<int>(kMinSectorSize) || sectorSize > static_cast<int>(kMaxSectorSize)) {
    errno = EINVAL;
    return FailWithError(kInfoFailed);
  }
  geometry_ = DiskGeometry{};
  geometry_.bytesPerSector = static_cast<uint32_t>(sectorSize);
  geometry_.diskSize = static_cast<int64_t>(size);
  medium_ = std::make_unique<FileMedium>(fd.release(), size, platformRead);
  totalSectors_ = ClampSectorCount(size / geometry_.bytesPerSector);
  return true;
}

// Sources of fewer than 256 sectors still get a window of one sector.
void TSectorReader::SizeWindow(ReadWindow& window) const {
  window.bufferSectors = std::clamp<uint32_t>(totalSectors_ >> 8, 1, kMaxBufferSectors);
  window.buffer = std::make_unique<uint8_t[]>(size_t{window.bufferSectors} * bytesPerSector());
  window.bufferFirst = window.bufferEnd = 0;
  window.currentSector = 0;
  window.currentData = nullptr;
}

void TSectorReader::PrepareBuffer() {
  const std::lock_guard<std::recursive_mutex> lock(mainMutex_);
  mainWindow_.buffer.reset();
  SizeWindow(mainWindow_);
  ReadSectorIn(mainWindow_, mainWindow_.currentSector);
}

bool TSectorReader::Readable(uint32_t sector) const { return medium_ != nullptr && sector < totalSectors_; }

bool TSectorReader::Holds(const ReadWindow& window, uint32_t sector) {
  return window.bufferFirst != window.bufferEnd && window.bufferFirst <= sector && sector < window.bufferEnd;
}

bool TSectorReader::ReadSector(uint32_t sector) {
  WindowAccess access(*this);
  return ReadSectorIn(access.window(), sector);
}

bool TSectorReader::ReadSectorIn(ReadWindow& window, uint32_t sector) {
  if (!Readable(sector) || !window.buffer) return false;
  if (!Holds(window, sector) && !FillWindow(window, sector)) return false;
  window.currentData = window.buffer.get() + size_t{sector - window.bufferFirst} * bytesPerSector();
  window.currentSector = sector;
  return true;
}

// Loads the window from sector on. After Abort the window is emptied, so that nothing of the
// failed read is served later.
bool TSectorReader::FillWindow(ReadWindow& window, uint32_t sector) {
  window.bufferFirst = sector;
  window.bufferEnd =
      static_cast<uint32_t>(std::min<uint64_t>(uint64_t{sector} + window.bufferSectors, totalSectors_));
  if (ReadRun(window, window.buffer.get(), sector, window.bufferEnd - window.bufferFirst)) return true;
  window.bufferEnd = window.bufferFirst;
  return false;
}

// Reads count sectors from first on into dest, in as few platform reads as will do. When one
// fails, the sectors from where it failed are read one at a time until the one that cannot be
// read is found: a read of many sectors that fails does not say which of them is bad, and
// through the page cache not even which 4 KiB. The window's fault policy decides about that
// sector, and its log notes it, with the medium's reason (the system's error, or what the
// library of an evidence file said). Retry reads on from it; Ignore leaves it zero-filled and reads
// on after it, asking again at the next bad one; Abort returns false. A part that cannot be
// read never keeps bytes of another place on the medium. A failed read whose sectors all read
// on their own was a passing fault and is not one.
bool TSectorReader::ReadRun(ReadWindow& window, uint8_t* dest, uint32_t first, uint32_t count) {
  const uint32_t bps = bytesPerSector();
  const size_t length = size_t{count} * bps;
  const uint64_t position = uint64_t{first} * bps;
  size_t done = 0;
  for (;;) {
    MediumFault failed;
    done += medium_->ReadAt(dest + done, length - done, position + done, failed);
    if (failed.error == 0) {  // complete, or the source ended early
      std::memset(dest + done, 0, length - done);
      return true;
    }
    // Each sector on its own, until the one that cannot be read; the medium leaves zeros
    // where it could not read.
    for (done = done / bps * bps; done < length; done += bps) {
      if (!medium_->ReadAlone(dest + done, bps, position + done, failed)) break;
    }
    if (done >= length) return true;
    const ReadFault fault{first + done / bps, failed.error, failed.text};
    const FaultAnswer answer = window.policy->Decide(fault);
    window.log->Add(fault, answer);
    if (answer == FaultAnswer::kIgnore) done += bps;
    else if (answer != FaultAnswer::kRetry) return false;
  }
}

bool TSectorReader::ReadBytes(uint8_t* dest, uint32_t count, uint32_t& cursor) {
  WindowAccess access(*this);
  ReadWindow& window = access.window();
  // Runs of at least half a window's sectors go straight into dest.
  if (!ReadFrom(window, dest, count, cursor, byteOffset, std::max<uint32_t>(window.bufferSectors / 2, 1))) {
    return false;
  }
  const uint32_t bps = bytesPerSector();
  if (bps != 0) {
    const uint64_t end = uint64_t{byteOffset} + count;
    cursor += static_cast<uint32_t>(end / bps);
    byteOffset = static_cast<uint32_t>(end % bps);
  }
  return true;
}

uint64_t TSectorReader::DataSectorFrom(uint64_t sector) const {
  const uint32_t bps = bytesPerSector();
  if (!medium_ || bps == 0 || sector >= totalSectors_) return sector;
  const uint64_t data = medium_->DataFrom(sector * bps) / bps;
  return std::clamp<uint64_t>(data, sector, totalSectors_);
}

bool TSectorReader::ReadAt(uint32_t sector, uint32_t offset, uint8_t* dest, uint32_t count) {
  WindowAccess access(*this);
  ReadWindow& window = access.window();
  return ReadFrom(window, dest, count, sector, offset, std::max<uint32_t>(window.bufferSectors / 2, 1));
}

bool TSectorReader::ReadDirectAt(uint32_t sector, uint8_t* dest, uint32_t count) {
  WindowAccess access(*this);
  return ReadFrom(access.window(), dest, count, sector, 0, 1);
}

// Copies count bytes from offset bytes into sector on. A run of at least directSectors whole
// sectors that the window does not hold is read straight into dest: the same platform reads
// and fault answers as window fills, without the copy. Once begun, the rest of the run
// follows, so that its last sectors cost no read-ahead.
bool TSectorReader::ReadFrom(ReadWindow& window, uint8_t* dest, uint32_t count, uint32_t sector, uint32_t offset,
                             uint32_t directSectors) {
  if (count == 0) return true;
  const uint32_t bps = bytesPerSector();
  if (bps == 0 || !window.buffer) {  // never opened, or not prepared
    std::memset(dest, 0, count);
    return false;
  }
  uint8_t* out = dest;
  size_t remaining = count;
  size_t within = offset % bps;
  sector += offset / bps;
  bool direct = false;
  while (remaining > 0) {
    const size_t wholeSectors = remaining / bps;
    if (!Holds(window, sector) && within == 0 && wholeSectors >= (direct ? 1 : directSectors) && Readable(sector)) {
      direct = true;
      // Up to 1 MiB a call: the window's own size (128 KiB at most) would make a long read cost
      // eight system calls where one does.
      const uint64_t most = std::max<uint64_t>(window.bufferSectors, kMaxDirectReadBytes / bps);
      const auto n = static_cast<uint32_t>(std::min<uint64_t>({wholeSectors, most, totalSectors_ - sector}));
      if (!ReadRun(window, out, sector, n)) {
        std::memset(dest, 0, count);
        return false;
      }
      out += size_t{n} * bps;
      remaining -= size_t{n} * bps;
      sector += n;
      continue;
    }
    if (!ReadSectorIn(window, sector)) {
      std::memset(dest, 0, count);
      return false;
    }
    // Everything from here to the end of the window is held: copy it in one piece.
    const size_t inWindow = size_t{window.bufferEnd - sector} * bps - within;
    const size_t n = std::min(inWindow, remaining);
    std::memcpy(out, window.currentData + within, n);
    out += n;
    remaining -= n;
    sector = window.bufferEnd;
    within = 0;
  }
  return true;
}

ReadSession::ReadSession(TSectorReader& reader, FaultPolicy& policy, FaultLog& log) : reader_(reader) {
  window_.policy = &policy;
  window_.log = &log;
  if (reader_.bytesPerSector() != 0) reader_.SizeWindow(window_);
  reader_.Register(window_);
}

ReadSession::~ReadSession() { reader_.Unregister(window_); }
