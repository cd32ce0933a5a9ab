#include "device/FileMedium.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "device/FreeDeleter.h"

namespace {

// The block sizes a device may state for direct reads: powers of two the reader's sectors
// can be made of.
bool UsableBlockSize(int size) { return size >= 512 && size <= 65536 && (size & (size - 1)) == 0; }

}  // namespace

FileMedium::FileMedium(int fd, uint64_t size, const PlatformRead& read) : fd_(fd), size_(size), read_(read) {
  struct stat info {};
  blockDevice_ = ::fstat(fd_, &info) == 0 && S_ISBLK(info.st_mode);
  if (blockDevice_) OpenDirectReads();
}

FileMedium::~FileMedium() {
  if (directFd_ >= 0) ::close(directFd_);
  ::close(fd_);
}

// On a block device, a second handle on the same device that bypasses the page cache, for the
// reads that must tell one bad sector from the next: through the cache a bad sector fails the
// whole page around it. O_DIRECT wants buffers, offsets and lengths in whole logical blocks.
// Without it (a device that refuses O_DIRECT, no /proc) those reads go through the cache like
// all others.
void FileMedium::OpenDirectReads() {
  int blockSize = 0;
  if (::ioctl(fd_, BLKSSZGET, &blockSize) != 0 || !UsableBlockSize(blockSize)) return;
  // Opened again through the descriptor, so that it is the same device even if the path has
  // changed meanwhile, or the descriptor came without one.
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  const int fd = ::open(self.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT);
  if (fd < 0) return;
  directFd_ = fd;
  directBlockSize_ = static_cast<uint32_t>(blockSize);
}

uint64_t FileMedium::DataFrom(uint64_t position) const {
  if (blockDevice_ || position >= size_) return position;
  // lseek moves the descriptor's offset, which no read here uses: they all give a position.
  const off_t data = ::lseek(fd_, static_cast<off_t>(position), SEEK_DATA);
  if (data < 0) return errno == ENXIO ? size_ : position;  // ENXIO: only a hole follows
  return std::clamp<uint64_t>(static_cast<uint64_t>(data), position, size_);
}

size_t FileMedium::ReadAt(uint8_t* dest, size_t count, uint64_t position, MediumFault& fault) {
  fault = MediumFault{};
  return ReadFully(fd_, dest, count, position, fault.error);
}

// On a block device the read bypasses the page cache, in blocks of the device's logical block
// size into an aligned buffer, so that a bad block costs its own bytes only and not the 4 KiB
// page around it.
bool FileMedium::ReadAlone(uint8_t* dest, size_t count, uint64_t position, MediumFault& fault) {
  if (directFd_ < 0) return SourceMedium::ReadAlone(dest, count, position, fault);
  fault = MediumFault{};
  const uint32_t blockSize = directBlockSize_;
  const std::unique_ptr<uint8_t, FreeDeleter> buffer(static_cast<uint8_t*>(std::aligned_alloc(blockSize, blockSize)));
  if (!buffer) {
    fault.error = ENOMEM;
    std::memset(dest, 0, count);
    return false;
  }
  uint8_t* block = buffer.get();
  for (uint64_t at = position / blockSize * blockSize; at < position + count; at += blockSize) {
    // The part of this block that lies in the range asked for, and where it goes.
    const uint64_t from = std::max(at, position);
    const uint64_t to = std::min(at + blockSize, position + count);
    int error = 0;
    size_t got = ReadBlockDirect(block, at, error);
    if (error != 0) got = 0;
    const size_t usable = got > from - at ? std::min<size_t>(got - (from - at), to - from) : 0;
    std::memcpy(dest + (from - position), block + (from - at), usable);
    std::memset(dest + (from - position) + usable, 0, (to - from) - usable);
    if (error != 0 && fault.error == 0) fault.error = error;
  }
  return fault.error == 0;
}

// One block at position into the aligned block buffer, in one read: a direct read cannot be
// followed up from the middle of a block, and fewer bytes than a block mean the end of the
// source. A device that turns direct reads down after all (EINVAL: it wants another alignment)
// is read through the cache from then on, rather than lose good sectors.
size_t FileMedium::ReadBlockDirect(uint8_t* block, uint64_t position, int& error) {
  error = 0;
  for (;;) {
    if (directRefused_) return ReadFully(fd_, block, directBlockSize_, position, error);
    const ssize_t got = read_(directFd_, block, directBlockSize_, static_cast<off_t>(position));
    if (got >= 0) return static_cast<size_t>(got);
    if (errno == EINVAL) {
      directRefused_ = true;
    } else if (errno != EINTR) {
      error = errno != 0 ? errno : EIO;
      return 0;
    }
  }
}

size_t FileMedium::ReadFully(int fd, uint8_t* dest, size_t length, uint64_t position, int& error) const {
  size_t done = 0;
  error = 0;
  while (done < length) {
    const ssize_t got = read_(fd, dest + done, length - done, static_cast<off_t>(position + done));
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
