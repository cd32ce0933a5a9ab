#include "fs/MemoryStream.h"

#include <algorithm>
#include <cstring>
#include <new>

void MemoryStream::Reserve(size_t capacity) {
  if (capacity <= capacity_) return;
  // realloc moves large blocks by remapping their pages, so growing never holds two copies.
  void* grown = std::realloc(storage_.get(), capacity);
  if (grown == nullptr) throw std::bad_alloc();
  storage_.release();
  storage_.reset(static_cast<uint8_t*>(grown));
  capacity_ = capacity;
}

void MemoryStream::Append(const uint8_t* bytes, size_t n) {
  if (n == 0) return;
  std::memcpy(Space(n), bytes, n);
  length_ += n;
}

uint8_t* MemoryStream::Space(size_t n) {
  if (n > capacity_ - length_) Reserve(std::max(length_ + n, capacity_ + capacity_ / 2 + 4096));
  return storage_.get() + length_;
}

bool MemoryStream::Write(const uint8_t* data, size_t n) {
  if (n > 0 && data == storage_.get() + length_ && n <= capacity_ - length_) length_ += n;
  else Append(data, n);
  return true;
}

size_t MemoryStream::Read(uint8_t* dest, size_t n) {
  const size_t count = std::min(n, length_ - position_);
  if (count > 0) std::memcpy(dest, storage_.get() + position_, count);
  position_ += count;
  return count;
}

ByteBuffer MemoryStream::Release() {
  if (length_ == 0) {
    *this = MemoryStream();
    return ByteBuffer();
  }
  // Give back a large unused reserve (a directory read reserves for the worst case).
  if (capacity_ - length_ > 65536) {
    if (void* shrunk = std::realloc(storage_.get(), length_)) {
      storage_.release();
      storage_.reset(static_cast<uint8_t*>(shrunk));
    }
  }
  ByteBuffer buffer(std::move(storage_), length_);
  *this = MemoryStream();
  return buffer;
}
