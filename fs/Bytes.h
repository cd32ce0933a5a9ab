#pragma once
// Readers for on-disk records: little-endian numbers and signature texts. Records are copied
// into byte arrays of known size and read field by field through these, never by casting a
// buffer to a struct.

#include <cstdint>
#include <cstring>
#include <string_view>

inline uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

inline uint32_t le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

inline uint64_t le64(const uint8_t* p) { return uint64_t{le32(p)} | uint64_t{le32(p + 4)} << 32; }

inline void put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

inline void put32(uint8_t* p, uint32_t v) {
  put16(p, static_cast<uint16_t>(v));
  put16(p + 2, static_cast<uint16_t>(v >> 16));
}

// Whether the bytes at p + offset are those of text (no terminator compared): the signature
// and type texts of boot sectors and tables.
inline bool TextAt(const uint8_t* p, size_t offset, std::string_view text) {
  return std::memcmp(p + offset, text.data(), text.size()) == 0;
}
