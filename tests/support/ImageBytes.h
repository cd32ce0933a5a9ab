#pragma once
// Hand-made images for layouts that no tool makes: damaged boot sectors, looping chains,
// stray entries. An image is a zero-filled byte array written field by field.

#include <cstdint>
#include <string>

#include "fs/Bytes.h"
#include "support/TestFiles.h"

class ImageBytes {
 public:
  explicit ImageBytes(size_t size) : bytes_(size, 0) {}

  uint8_t* at(size_t offset) { return bytes_.data() + offset; }
  ImageBytes& u8(size_t offset, uint8_t v) { bytes_.at(offset) = v; return *this; }
  ImageBytes& u16(size_t offset, uint16_t v) { Check(offset, 2); put16(at(offset), v); return *this; }
  ImageBytes& u32(size_t offset, uint32_t v) { Check(offset, 4); put32(at(offset), v); return *this; }
  ImageBytes& u64(size_t offset, uint64_t v) {
    u32(offset, static_cast<uint32_t>(v));
    return u32(offset + 4, static_cast<uint32_t>(v >> 32));
  }
  ImageBytes& text(size_t offset, const std::string& s) {
    Check(offset, s.size());
    std::copy(s.begin(), s.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    return *this;
  }
  ImageBytes& utf16(size_t offset, const std::u16string& s) {
    for (size_t i = 0; i < s.size(); ++i) u16(offset + 2 * i, s[i]);
    return *this;
  }
  ImageBytes& fill(size_t offset, size_t count, uint8_t v) {
    Check(offset, count);
    std::fill_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), count, v);
    return *this;
  }
  // The boot signature 0x55 0xAA at bytes 510 and 511 of the sector at offset.
  ImageBytes& signature(size_t sectorOffset) { return u8(sectorOffset + 510, 0x55).u8(sectorOffset + 511, 0xAA); }

  const Bytes& bytes() const { return bytes_; }
  void WriteTo(const std::string& path) const { WriteFileBytes(path, bytes_); }

 private:
  void Check(size_t offset, size_t count) const {
    if (offset + count > bytes_.size()) throw std::out_of_range("ImageBytes: write past the end");
  }
  Bytes bytes_;
};
