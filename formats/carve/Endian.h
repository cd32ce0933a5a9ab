#pragma once
// Numbers stored in a file's bytes, read one byte at a time so that neither the host's byte
// order nor the alignment of the buffer matters. The caller knows the bytes are there.

#include <cstdint>

namespace carve {

inline uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
inline uint64_t le64(const uint8_t* p) { return le32(p) | static_cast<uint64_t>(le32(p + 4)) << 32; }

inline uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline uint32_t be24(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
}
inline uint32_t be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         static_cast<uint32_t>(p[3]);
}
inline uint64_t be64(const uint8_t* p) { return static_cast<uint64_t>(be32(p)) << 32 | be32(p + 4); }

// A 16- or 32-bit number in the byte order a TIFF header chose.
inline uint16_t u16(const uint8_t* p, bool bigEndian) { return bigEndian ? be16(p) : le16(p); }
inline uint32_t u32(const uint8_t* p, bool bigEndian) { return bigEndian ? be32(p) : le32(p); }

}  // namespace carve
