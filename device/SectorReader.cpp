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

#include "device/SystemError.h"
#include "platform/MessageBox.h"

namespace {

constexpr const char* kErrorCaption = "Error";

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

// The message for a source refused by its type.
void ShowRefusal(const char* prefix, const char* kind) {
  ShowMessageBox(std::string(prefix) + "This is " + kind + ", not an image file or a block device.", kErrorCaption,
                 kMbOkWarning);
}

}  // namespace

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

TSectorReader::TSectorReader() : platformRead(::pread) {}

TSectorReader::~TSectorReader() { Close(); }

void TSectorReader::Close() {
  if (deviceHandle_ >= 0) {
    ::close(deviceHandle_);
    deviceHandle_ = -1;
  }
  if (directHandle_ >= 0) {
    ::close(directHandle_);
    directHandle_ = -1;
  }
  directBuffer_.reset();
  directBlockSize_ = 0;
}

// On a block device, a second handle on the same device that bypasses the page cache, for the
// reads that must tell one bad sector from the next: through the cache a bad sector fails the
// whole page around it. O_DIRECT wants buffers, offsets and lengths in whole logical blocks,
// so it gets a buffer of one block, aligned to the block. Without it (a device that refuses
// O_DIRECT, no /proc) those reads go through the cache like all others.
void TSectorReader::OpenDirectReads() {
  int blockSize = 0;
  if (::ioctl(deviceHandle_, BLKSSZGET, &blockSize) != 0 || blockSize < static_cast<int>(kMinSectorSize) ||
      blockSize > static_cast<int>(kMaxSectorSize) || (blockSize & (blockSize - 1)) != 0) {
    return;
  }
  // Opened again through the descriptor, so that it is the same device even if the path has
  // changed meanwhile.
  const std::string self = "/proc/self/fd/" + std::to_string(deviceHandle_);
  const int fd = ::open(self.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT);
  if (fd < 0) return;
  void* buffer = std::aligned_alloc(static_cast<size_t>(blockSize), static_cast<size_t>(blockSize));
  if (buffer == nullptr) {
    ::close(fd);
    return;
  }
  directHandle_ = fd;
  directBlockSize_ = static_cast<uint32_t>(blockSize);
  directBuffer_.reset(static_cast<uint8_t*>(buffer));
}

void TSectorReader::CloseWithError(const char* prefix) {
  ShowSystemError(prefix, kErrorCaption, kMbOkWarning);
  Close();
}

bool TSectorReader::OpenImage(const std::string& path, const std::string& sectorSizeText) {
  constexpr const char* kOpenFailed = "Failed to open the file for reading:\n";
  const char* refusal = nullptr;
  deviceHandle_ = OpenSourceFile(path, refusal);
  struct stat info {};
  if (deviceHandle_ >= 0 && ::fstat(deviceHandle_, &info) == 0 && S_ISDIR(info.st_mode)) {
    Close();
    errno = EISDIR;
  }
  if (refusal != nullptr) {
    ShowRefusal(kOpenFailed, refusal);
    return false;
  }
  if (deviceHandle_ < 0) {
    ShowSystemError(kOpenFailed, kErrorCaption, kMbOkWarning);
    return false;
  }

  int64_t sectorSize = ParseSectorSizeText(sectorSizeText);
  if (sectorSize == 0) sectorSize = kMinSectorSize;
  if (sectorSize < kMinSectorSize || sectorSize > kMaxSectorSize) {
    Close();
    ShowMessageBox("The sector size \"" + sectorSizeText +
                       "\" cannot be used.\nEnter a number of bytes from 512 to 65536.",
                   kApplicationTitle, kMbOkWarning);
    return false;
  }
  geometry_.bytesPerSector = static_cast<uint32_t>(sectorSize);

  uint64_t size = 0;
  if (::fstat(deviceHandle_, &info) != 0) {
    CloseWithError("Failed to read the size of the file:\n");
    return false;
  }
  size = static_cast<uint64_t>(info.st_size);
  if (S_ISBLK(info.st_mode) && ::ioctl(deviceHandle_, BLKGETSIZE64, &size) != 0) {
    CloseWithError("Failed to read the size of the file:\n");
    return false;
  }
  totalSectors_ = ClampSectorCount(size / geometry_.bytesPerSector);
  if (S_ISBLK(info.st_mode)) OpenDirectReads();
  return true;
}

bool TSectorReader::OpenDevice(const std::string& path, bool /*isLogicalDrive*/) {
  // A logical drive is a partition block device here and is sized by its own ioctls, like a
  // whole disk, so both kinds take the same road.
  constexpr const char* kOpenFailed = "Failed to open the drive for reading.\n";
  const char* refusal = nullptr;
  deviceHandle_ = OpenSourceFile(path, refusal);
  if (refusal != nullptr) {
    ShowRefusal(kOpenFailed, refusal);
    return false;
  }
  if (deviceHandle_ < 0) {
    ShowSystemError(kOpenFailed, kErrorCaption, kMbOkWarning);
    return false;
  }
  constexpr const char* kInfoFailed = "Error while getting information about the drive:\n";
  struct stat info {};
  if (::fstat(deviceHandle_, &info) != 0) {
    CloseWithError(kInfoFailed);
    return false;
  }
  if (!S_ISBLK(info.st_mode)) {
    errno = ENOTBLK;
    CloseWithError(kInfoFailed);
    return false;
  }
  int sectorSize = 0;
  uint64_t size = 0;
  if (::ioctl(deviceHandle_, BLKSSZGET, &sectorSize) != 0 ||
      ::ioctl(deviceHandle_, BLKGETSIZE64, &size) != 0) {
    if (errno == ENOMEDIUM) {  // a drive without a medium in it: not an error to report
      Close();
      return false;
    }
    CloseWithError(kInfoFailed);
    return false;
  }
  if (sectorSize < static_cast<int>(kMinSectorSize) || sectorSize > static_cast<int>(kMaxSectorSize)) {
    errno = EINVAL;
    CloseWithError(kInfoFailed);
    return false;
  }
  geometry_ = DiskGeometry{};
  geometry_.bytesPerSector = static_cast<uint32_t>(sectorSize);
  geometry_.diskSize = static_cast<int64_t>(size);
  totalSectors_ = ClampSectorCount(size / geometry_.bytesPerSector);
  OpenDirectReads();
  return true;
}

void TSectorReader::PrepareBuffer() {
  buffer_.reset();
  // Sources of fewer than 256 sectors still get a window of one sector.
  bufferSectors_ = std::clamp<uint32_t>(totalSectors_ >> 8, 1, kMaxBufferSectors);
  buffer_ = std::make_unique<uint8_t[]>(size_t{bufferSectors_} * bytesPerSector());
  bufferFirst_ = bufferEnd_ = 0;
  currentSector_ = 0;
  currentData_ = nullptr;
  ReadSector(currentSector_);
}

bool TSectorReader::Readable(uint32_t sector) const {
  return deviceHandle_ >= 0 && buffer_ && sector < totalSectors_;
}

bool TSectorReader::Holds(uint32_t sector) const {
  return bufferFirst_ != bufferEnd_ && bufferFirst_ <= sector && sector < bufferEnd_;
}

bool TSectorReader::ReadSector(uint32_t sector) {
  if (!Readable(sector)) return false;
  if (!Holds(sector) && !FillWindow(sector)) return false;
  currentData_ = buffer_.get() + size_t{sector - bufferFirst_} * bytesPerSector();
  currentSector_ = sector;
  return true;
}

// Loads the window from sector on. After Abort the window is emptied, so that nothing of the
// failed read is served later.
bool TSectorReader::FillWindow(uint32_t sector) {
  bufferFirst_ = sector;
  bufferEnd_ = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{sector} + bufferSectors_, totalSectors_));
  if (ReadRun(buffer_.get(), sector, bufferEnd_ - bufferFirst_)) return true;
  bufferEnd_ = bufferFirst_;
  return false;
}

// Reads count sectors from first on into dest, in as few platform reads as will do. When one
// fails, the sectors from where it failed are read one at a time until the one that cannot be
// read is found: a read of many sectors that fails does not say which of them is bad, and
// through the page cache not even which 4 KiB. The user is asked about that sector, by its
// number. Retry reads on from it; Ignore leaves it zero-filled and reads on after it, asking
// again at the next bad one; Abort returns false. A part that cannot be read never keeps bytes
// of another place on the medium. A failed read whose sectors all read on their own was a
// passing fault and asks nothing.
bool TSectorReader::ReadRun(uint8_t* dest, uint32_t first, uint32_t count) {
  const uint32_t bps = bytesPerSector();
  const size_t length = size_t{count} * bps;
  const uint64_t position = uint64_t{first} * bps;
  size_t done = 0;
  for (;;) {
    int error = 0;
    done += ReadFully(deviceHandle_, dest + done, length - done, position + done, error);
    if (error == 0) {  // complete, or the source ended early
      std::memset(dest + done, 0, length - done);
      return true;
    }
    for (done = done / bps * bps; done < length; done += bps) {
      error = ReadOneSector(dest + done, first + static_cast<uint32_t>(done / bps));
      if (error != 0) break;
    }
    if (done >= length) return true;
    errno = error;
    const uint32_t failedSector = first + static_cast<uint32_t>(done / bps);
    const int answer = ShowSystemError("Read failed at sector " + std::to_string(failedSector) + ":\n",
                                       kErrorCaption, kMbAbortRetryIgnoreWarning);
    if (answer == kIdIgnore) done += bps;  // ReadOneSector left zeros where it could not read
    else if (answer != kIdRetry) return false;
  }
}

// Reads one sector into dest on its own; what cannot be read becomes zeros. On a block device
// the read bypasses the page cache, in blocks of the device's logical block size into an
// aligned buffer, so that a bad block costs its own bytes only and not the 4 KiB page around
// it. Returns 0 or the errno of the first part that failed.
int TSectorReader::ReadOneSector(uint8_t* dest, uint32_t sector) {
  const uint32_t bps = bytesPerSector();
  const uint64_t position = uint64_t{sector} * bps;
  int error = 0;
  if (!directBuffer_) {
    // A sector is read whole or not at all: a disk does not deliver part of one.
    size_t got = ReadFully(deviceHandle_, dest, bps, position, error);
    if (error != 0) got = 0;
    std::memset(dest + got, 0, bps - got);
    return error;
  }
  int firstError = 0;
  const uint32_t block = directBlockSize_;
  for (uint64_t at = position / block * block; at < position + bps; at += block) {
    // The part of this block that lies in the sector, and where it goes.
    const uint64_t from = std::max(at, position);
    const uint64_t to = std::min(at + block, position + bps);
    size_t got = ReadBlockDirect(at, error);
    if (error != 0) got = 0;
    const size_t usable = got > from - at ? std::min<size_t>(got - (from - at), to - from) : 0;
    std::memcpy(dest + (from - position), directBuffer_.get() + (from - at), usable);
    std::memset(dest + (from - position) + usable, 0, (to - from) - usable);
    if (error != 0 && firstError == 0) firstError = error;
  }
  return firstError;
}

// One block at position into the aligned buffer, in one read: a direct read cannot be followed
// up from the middle of a block, and fewer bytes than a block mean the end of the source. A
// device that turns direct reads down after all (EINVAL: it wants another alignment) is read
// through the cache from then on, rather than lose good sectors.
size_t TSectorReader::ReadBlockDirect(uint64_t position, int& error) {
  error = 0;
  for (;;) {
    if (directHandle_ < 0) return ReadFully(deviceHandle_, directBuffer_.get(), directBlockSize_, position, error);
    const ssize_t got = platformRead(directHandle_, directBuffer_.get(), directBlockSize_, static_cast<off_t>(position));
    if (got >= 0) return static_cast<size_t>(got);
    if (errno == EINVAL) {
      ::close(directHandle_);
      directHandle_ = -1;
    } else if (errno != EINTR) {
      error = errno != 0 ? errno : EIO;
      return 0;
    }
  }
}

size_t TSectorReader::ReadFully(int fd, uint8_t* dest, size_t length, uint64_t position, int& error) {
  size_t done = 0;
  error = 0;
  while (done < length) {
    const ssize_t got = platformRead(fd, dest + done, length - done, static_cast<off_t>(position + done));
    if (got > 0) {
      done += static_cast<size_t>(got);
    } else if (got == 0) {
      break;
    } else if (errno != EINTR) {
      error = errno != 0 ? errno : EIO;
      break;
    }
  }
  return done;
}

bool TSectorReader::ReadBytes(uint8_t* dest, uint32_t count, uint32_t& cursor) {
  // Runs of at least half a window's sectors go straight into dest.
  return ReadBytesFrom(dest, count, cursor, std::max<uint32_t>(bufferSectors_ / 2, 1));
}

bool TSectorReader::ReadBytesDirect(uint8_t* dest, uint32_t count, uint32_t& cursor) {
  return ReadBytesFrom(dest, count, cursor, 1);
}

// A run of at least directSectors whole sectors that the window does not hold is read straight
// into dest: the same platform reads and questions as window fills, without the copy. Once
// begun, the rest of the run follows, so that its last sectors cost no read-ahead.
bool TSectorReader::ReadBytesFrom(uint8_t* dest, uint32_t count, uint32_t& cursor, uint32_t directSectors) {
  if (count == 0) return true;
  const uint32_t bps = bytesPerSector();
  if (bps == 0) {  // never opened
    std::memset(dest, 0, count);
    return false;
  }
  uint8_t* out = dest;
  size_t remaining = count;
  size_t offset = byteOffset % bps;
  uint32_t sector = cursor + byteOffset / bps;
  bool direct = false;
  while (remaining > 0) {
    const size_t wholeSectors = remaining / bps;
    if (!Holds(sector) && offset == 0 && wholeSectors >= (direct ? 1 : directSectors) && Readable(sector)) {
      direct = true;
      const auto n = static_cast<uint32_t>(std::min<uint64_t>({wholeSectors, bufferSectors_, totalSectors_ - sector}));
      if (!ReadRun(out, sector, n)) {
        std::memset(dest, 0, count);
        return false;
      }
      out += size_t{n} * bps;
      remaining -= size_t{n} * bps;
      sector += n;
      continue;
    }
    if (!ReadSector(sector)) {
      std::memset(dest, 0, count);
      return false;
    }
    // Everything from here to the end of the window is held: copy it in one piece.
    const size_t inWindow = size_t{bufferEnd_ - sector} * bps - offset;
    const size_t n = std::min(inWindow, remaining);
    std::memcpy(out, currentData_ + offset, n);
    out += n;
    remaining -= n;
    sector = bufferEnd_;
    offset = 0;
  }
  const uint64_t end = uint64_t{byteOffset} + count;
  cursor += static_cast<uint32_t>(end / bps);
  byteOffset = static_cast<uint32_t>(end % bps);
  return true;
}
