#pragma once
// A stand-in for the reader's platform read that fails, shortens or blanks chosen byte ranges
// of the source, and notes every call it gets. Put it in place with InstallFaultyRead, or give
// ThroughFaultyRead to a source about to be opened; it stays in place for the reader's lifetime.

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "device/SectorReader.h"

struct FaultyRead {
  struct Range {
    uint64_t first = 0;  // bytes [first, end) of the source
    uint64_t end = 0;
    int failuresLeft = -1;  // how many more reads fail there; -1: all of them
  };
  struct Call {
    uint64_t offset;
    size_t count;
  };

  // Reads that touch these bytes fail with EIO.
  std::vector<Range> bad;
  // How a read that covers bad bytes fails: by first delivering the bytes in front of them (a
  // disk that reads up to the bad sector), or at once, delivering nothing.
  bool deliverFirst = true;
  // Reads succeed but deliver zeros for these bytes: the source as if they were zero on it.
  std::vector<Range> zeroed;
  // The source seems to end here: a read across it delivers the bytes in front of it, a read
  // at or past it delivers nothing.
  uint64_t sourceEnd = std::numeric_limits<uint64_t>::max();
  // No call delivers more than this many bytes.
  size_t mostPerCall = std::numeric_limits<size_t>::max();
  std::vector<Call> calls;
  // Where each call that failed started.
  std::vector<uint64_t> failedAt;

  void FailSector(uint64_t sector, uint32_t bytesPerSector, int failures = -1) {
    bad.push_back({sector * bytesPerSector, (sector + 1) * bytesPerSector, failures});
  }
  void ZeroSector(uint64_t sector, uint32_t bytesPerSector) {
    zeroed.push_back({sector * bytesPerSector, (sector + 1) * bytesPerSector, -1});
  }
  // Whether a call read the byte at offset.
  bool WasRead(uint64_t offset) const {
    return std::any_of(calls.begin(), calls.end(),
                       [&](const Call& c) { return c.offset <= offset && offset < c.offset + c.count; });
  }

  ssize_t operator()(int fd, void* buffer, size_t count, off_t offset) {
    calls.push_back({static_cast<uint64_t>(offset), count});
    const uint64_t start = static_cast<uint64_t>(offset);
    if (start >= sourceEnd) return 0;
    uint64_t stop = std::min<uint64_t>(start + std::min(count, mostPerCall), sourceEnd);
    // The first bad range that this read touches decides.
    Range* hit = nullptr;
    for (Range& r : bad) {
      if (r.failuresLeft != 0 && r.first < stop && start < r.end && (hit == nullptr || r.first < hit->first)) hit = &r;
    }
    if (hit != nullptr) {
      if (deliverFirst && hit->first > start) {
        stop = hit->first;
      } else {
        if (hit->failuresLeft > 0) --hit->failuresLeft;
        failedAt.push_back(start);
        errno = EIO;
        return -1;
      }
    }
    const ssize_t got = ::pread(fd, buffer, stop - start, offset);
    if (got <= 0) return got;
    for (const Range& z : zeroed) {
      const uint64_t from = std::max(z.first, start);
      const uint64_t to = std::min(z.end, start + static_cast<uint64_t>(got));
      if (from < to) std::memset(static_cast<uint8_t*>(buffer) + (from - start), 0, to - from);
    }
    return got;
  }
};

// The stand-in as the platform read of a reader, for the test to steer.
inline PlatformRead ThroughFaultyRead(const std::shared_ptr<FaultyRead>& fault) {
  return [fault](int fd, void* b, size_t n, off_t o) { return (*fault)(fd, b, n, o); };
}

// Puts a FaultyRead in place of the reader's platform read and returns it for the test to steer.
inline std::shared_ptr<FaultyRead> InstallFaultyRead(TSectorReader& reader) {
  auto fault = std::make_shared<FaultyRead>();
  reader.platformRead = ThroughFaultyRead(fault);
  return fault;
}
