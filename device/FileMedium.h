#pragma once
// A plain image file or a block device as the reader's medium, read through its descriptor.

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "device/SourceMedium.h"

// The platform's positioned read, pread(2) unless a test puts a stand-in in its place. It may
// be called from several threads at once.
using PlatformRead = std::function<ssize_t(int fd, void* buffer, size_t count, off_t offset)>;

class FileMedium final : public SourceMedium {
 public:
  // Reads fd, a regular file or a block device of size bytes, which the medium owns from now
  // on. read is the positioned read and must outlive the medium; it may be replaced while no
  // read runs. A block device is opened a second time for direct reads.
  FileMedium(int fd, uint64_t size, const PlatformRead& read);
  ~FileMedium() override;
  FileMedium(const FileMedium&) = delete;
  FileMedium& operator=(const FileMedium&) = delete;

  size_t ReadAt(uint8_t* dest, size_t count, uint64_t position, MediumFault& fault) override;
  bool ReadAlone(uint8_t* dest, size_t count, uint64_t position, MediumFault& fault) override;
  uint64_t Size() const override { return size_; }
  // Asks the file system (lseek SEEK_DATA) for an image file; a block device has no holes.
  uint64_t DataFrom(uint64_t position) const override;
  int Descriptor() const override { return fd_; }
  std::string Description() const override { return blockDevice_ ? "block device" : "image file"; }

 private:
  void OpenDirectReads();
  size_t ReadFully(int fd, uint8_t* dest, size_t length, uint64_t position, int& error) const;
  size_t ReadBlockDirect(uint8_t* block, uint64_t position, int& error);

  int fd_;
  uint64_t size_;
  const PlatformRead& read_;
  bool blockDevice_ = false;
  // The same block device opened with O_DIRECT and its logical block size; none for an image
  // file. A device that turns direct reads down after all is read through the cache from then on.
  int directFd_ = -1;
  uint32_t directBlockSize_ = 0;
  std::atomic<bool> directRefused_{false};
};
