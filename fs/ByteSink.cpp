#include "fs/ByteSink.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

bool ByteSink::WriteZeros(uint64_t n) {
  static constexpr std::array<uint8_t, 65536> kZeros{};
  while (n > 0) {
    const auto piece = static_cast<size_t>(std::min<uint64_t>(n, kZeros.size()));
    if (!Write(kZeros.data(), piece)) return false;
    n -= piece;
  }
  return true;
}

bool FdSink::Write(const uint8_t* data, size_t n) {
  while (n > 0) {
    const ssize_t done = ::write(fd_, data, n);
    if (done <= 0) {
      if (done < 0 && errno == EINTR) continue;
      error_ = done < 0 ? errno : EIO;  // a write that takes nothing would never end
      return false;
    }
    data += done;
    n -= static_cast<size_t>(done);
    written_ += static_cast<uint64_t>(done);
  }
  return true;
}
