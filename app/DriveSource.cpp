#include "app/DriveSource.h"

#include <unistd.h>

HandedDescriptor::~HandedDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}

HandedDescriptor& HandedDescriptor::operator=(HandedDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}
