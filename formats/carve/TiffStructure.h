#pragma once
// The image file directories of a TIFF structure, as a TIFF file, a camera raw file and the
// EXIF block of a JPEG keep them: a walk over every directory the structure references (the
// chain from the first, sub-directories, EXIF, GPS and interoperability directories) that
// gathers how far it reaches, the facts that tell a camera's raw format, the time a picture
// was taken and where its embedded JPEG pictures are. Offsets are counted from the TIFF
// header, which lies at base in the reader; nothing at or past base + span is part of it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "formats/carve/ByteReader.h"
#include "formats/carve/Carving.h"

namespace carve {

namespace tiff {
constexpr size_t kHeaderSize = 8;
constexpr size_t kEntrySize = 12;
// Tags this walk follows.
constexpr uint16_t kNewSubfileType = 0x00FE;
constexpr uint16_t kCompression = 0x0103;
constexpr uint16_t kMake = 0x010F;
constexpr uint16_t kStripOffsets = 0x0111;
constexpr uint16_t kStripByteCounts = 0x0117;
constexpr uint16_t kDateTime = 0x0132;
constexpr uint16_t kTileOffsets = 0x0144;
constexpr uint16_t kTileByteCounts = 0x0145;
constexpr uint16_t kSubIfds = 0x014A;
constexpr uint16_t kJpegInterchange = 0x0201;
constexpr uint16_t kJpegInterchangeLength = 0x0202;
constexpr uint16_t kExifIfd = 0x8769;
constexpr uint16_t kGpsIfd = 0x8825;
constexpr uint16_t kDateTimeOriginal = 0x9003;
constexpr uint16_t kInteropIfd = 0xA005;
constexpr uint16_t kDngVersion = 0xC612;
constexpr uint16_t kDngPrivateData = 0xC634;  // Sony's raw files keep their SR2 data here
// Compression values.
constexpr uint16_t kOldJpeg = 6;
constexpr uint16_t kJpeg = 7;
constexpr uint16_t kNikonRaw = 34713;
constexpr uint16_t kSonyRaw = 32767;
}  // namespace tiff

// The byte order and first directory of the 8-byte header at p ("II*\0", "MM\0*", and
// Olympus's "IIRO", "IIRS", "MMOR"), or nothing.
struct TiffHeader {
  bool bigEndian = false;
  bool olympus = false;
  uint32_t firstIfd = 0;
};
std::optional<TiffHeader> ReadTiffHeader(const uint8_t* p);

struct TiffFacts {
  bool broken = false;       // a directory or a value array did not read as one
  bool pastSpan = false;     // something it references lies beyond the span
  bool imageData = false;    // some directory names image data (strips, tiles or a JPEG)
  uint64_t end = 0;          // the furthest byte referenced, from the header
  size_t directories = 0;
  bool dng = false;
  bool subIfds = false;
  bool nikonRaw = false;
  bool sonyRaw = false;
  std::array<char, 24> make{};  // the first characters of the Make tag
  std::optional<CarvedTime> taken;     // DateTimeOriginal
  std::optional<CarvedTime> modified;  // DateTime
  // The JPEG pictures it names (EXIF thumbnails, previews), offset and length from the header.
  struct Jpeg {
    uint64_t offset = 0, length = 0;
    bool thumbnailOfFirst = false;  // the JPEGInterchangeFormat of the second directory
  };
  std::array<Jpeg, 8> jpegs{};
  size_t jpegCount = 0;
};

TiffFacts WalkTiff(ByteReader& reader, uint64_t base, uint64_t span, const TiffHeader& header);

// "YYYY:MM:DD HH:MM:SS" as EXIF writes it; nothing for blank or impossible fields.
std::optional<CarvedTime> ParseExifTime(const uint8_t* text, size_t size);

}  // namespace carve
