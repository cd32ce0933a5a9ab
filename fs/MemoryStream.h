#pragma once
// The appendable in-memory stream in which chain reads collect data, and the byte buffer that
// GetData hands to its caller. The stream's storage is handed out as the buffer, not copied.
// The stream is a sink of streamed reads, which read straight into its storage.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "device/FreeDeleter.h"
#include "fs/ByteSink.h"

// An owned run of bytes; empty means "none".
class ByteBuffer {
 public:
  ByteBuffer() = default;
  ByteBuffer(std::unique_ptr<uint8_t[], FreeDeleter> bytes, size_t size)
      : bytes_(std::move(bytes)), size_(size) {}

  const uint8_t* data() const { return bytes_.get(); }
  uint8_t* data() { return bytes_.get(); }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const uint8_t* begin() const { return data(); }
  const uint8_t* end() const { return data() + size_; }
  uint8_t operator[](size_t i) const { return bytes_[i]; }

 private:
  std::unique_ptr<uint8_t[], FreeDeleter> bytes_;
  size_t size_ = 0;
};

class MemoryStream final : public ByteSink {
 public:
  // Makes room for a total of capacity bytes without changing the length, so that a read
  // whose size is known does not move its data while it grows.
  void Reserve(size_t capacity);
  void Append(const uint8_t* bytes, size_t n);

  // As a sink: room for n more bytes at the end, and taking them without a copy when a read
  // has filled that room; other bytes are appended.
  uint8_t* Space(size_t n) override;
  bool Write(const uint8_t* data, size_t n) override;

  size_t Length() const { return length_; }
  const uint8_t* Data() const { return storage_.get(); }

  void Rewind() { position_ = 0; }
  // Copies up to n bytes from the read position on; returns how many were copied.
  size_t Read(uint8_t* dest, size_t n);

  // Hands the written bytes out as a buffer and leaves the stream empty.
  ByteBuffer Release();

 private:
  std::unique_ptr<uint8_t[], FreeDeleter> storage_;
  size_t capacity_ = 0;
  size_t length_ = 0;
  size_t position_ = 0;
};
