#include "device/SectorReader.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
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
}

void TSectorReader::CloseWithError(const char* prefix) {
  ShowSystemError(prefix, kErrorCaption, kMbOkWarning);
  Close();
}

bool TSectorReader::OpenImage(const std::string& path, const std::string& sectorSizeText) {
  deviceHandle_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (deviceHandle_ >= 0 && ::fstat(deviceHandle_, &info) == 0 && S_ISDIR(info.st_mode)) {
    Close();
    errno = EISDIR;
  }
  if (deviceHandle_ < 0) {
    ShowSystemError("Failed to open the file for reading:\n", kErrorCaption, kMbOkWarning);
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
  return true;
}

bool TSectorReader::OpenDevice(const std::string& path, bool /*isLogicalDrive*/) {
  // A logical drive is a partition block device here and is sized by its own ioctls, like a
  // whole disk, so both kinds take the same road.
  deviceHandle_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (deviceHandle_ < 0) {
    ShowSystemError("Failed to open the drive for reading.\n", kErrorCaption, kMbOkWarning);
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

// Reads count sectors from first on into dest with one platform read, asking the user when it
// fails. A part that cannot be read never keeps bytes of another place on the medium: it is
// zero-filled. Returns false after Abort.
bool TSectorReader::ReadRun(uint8_t* dest, uint32_t first, uint32_t count) {
  const uint32_t bps = bytesPerSector();
  const size_t length = size_t{count} * bps;
  const uint64_t position = uint64_t{first} * bps;
  size_t done = 0;
  for (;;) {
    int error = 0;
    done += ReadFully(dest + done, length - done, position + done, error);
    if (error == 0) {  // complete, or the source ended early
      std::memset(dest + done, 0, length - done);
      return true;
    }
    errno = error;
    const uint32_t failedSector = first + static_cast<uint32_t>(done / bps);
    const int answer = ShowSystemError("Read failed at sector " + std::to_string(failedSector) + ":\n",
                                       kErrorCaption, kMbAbortRetryIgnoreWarning);
    if (answer == kIdRetry) continue;
    if (answer == kIdIgnore) {
      SalvageSectors(dest, first, count, done);
      return true;
    }
    return false;
  }
}

// After Ignore: the rest of the run is read one sector at a time, and only the sectors that
// fail on their own become zeros, so that one bad sector does not cost the readable ones
// around it. The sector the failed read began at is read again too: a read of many sectors
// that fails whole does not say which of them is bad.
void TSectorReader::SalvageSectors(uint8_t* dest, uint32_t first, uint32_t count, size_t from) {
  const uint32_t bps = bytesPerSector();
  const size_t length = size_t{count} * bps;
  const uint64_t base = uint64_t{first} * bps;
  for (size_t next = from / bps * bps; next < length; next += bps) {
    int error = 0;
    const size_t got = ReadFully(dest + next, bps, base + next, error);
    if (error != 0) std::memset(dest + next, 0, bps);
    else std::memset(dest + next + got, 0, bps - got);
  }
}

size_t TSectorReader::ReadFully(uint8_t* dest, size_t length, uint64_t position, int& error) {
  size_t done = 0;
  error = 0;
  while (done < length) {
    const ssize_t got = platformRead(deviceHandle_, dest + done, length - done,
                                     static_cast<off_t>(position + done));
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
