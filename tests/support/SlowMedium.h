#pragma once
// pread, slowed down: every call waits a while first, as on a failing card. Bytes of one
// sector can be made to fail. Calls come from several threads. Install it as an OpenSettings'
// platformRead.

#include <errno.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

struct SlowMedium {
  std::atomic<int> delayMs{10};
  std::atomic<uint64_t> badSector{UINT64_MAX};
  std::atomic<uint64_t> reads{0};

  ssize_t Read(int fd, void* buffer, size_t count, off_t offset) {
    ++reads;
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs.load()));
    const uint64_t bad = badSector.load() * 512;
    if (bad < static_cast<uint64_t>(offset) + count && static_cast<uint64_t>(offset) < bad + 512) {
      errno = EIO;
      return -1;
    }
    return ::pread(fd, buffer, count, offset);
  }
};
