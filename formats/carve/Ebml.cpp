// Matroska and WebM files: the EBML header names the document type, and the Segment that
// follows it says how long it is. Its top-level elements must fill it; where a recorder never
// wrote the Segment's size, they are walked until what follows is none of them.

#include <algorithm>
#include <cstring>

#include "formats/carve/Endian.h"
#include "formats/carve/Families.h"

namespace carve {

namespace {

namespace ebml {
constexpr uint32_t kHeader = 0x1A45DFA3;
constexpr uint32_t kDocType = 0x4282;
constexpr uint32_t kSegment = 0x18538067;
constexpr uint32_t kSeekHead = 0x114D9B74, kInfo = 0x1549A966, kTracks = 0x1654AE6B, kCluster = 0x1F43B675;
constexpr uint32_t kCues = 0x1C53BB6B, kAttachments = 0x1941A469, kChapters = 0x1043A770, kTags = 0x1254C367;
constexpr uint32_t kVoid = 0xEC, kCrc32 = 0xBF;
// Inside a cluster.
constexpr uint32_t kTimecode = 0xE7, kSilentTracks = 0x5854, kPosition = 0xA7, kPrevSize = 0xAB;
constexpr uint32_t kSimpleBlock = 0xA3, kBlockGroup = 0xA0, kEncryptedBlock = 0xAF;
}  // namespace ebml

constexpr size_t kMaxElements = 1 << 22;
constexpr uint64_t kUnknownSize = ~0ull;
constexpr size_t kMaxHeaderSize = 256;

constexpr uint32_t kTopLevel[] = {ebml::kSeekHead, ebml::kInfo,     ebml::kTracks, ebml::kCluster, ebml::kCues,
                                  ebml::kAttachments, ebml::kChapters, ebml::kTags, ebml::kVoid, ebml::kCrc32};
constexpr uint32_t kInCluster[] = {ebml::kTimecode, ebml::kSilentTracks, ebml::kPosition, ebml::kPrevSize,
                                   ebml::kSimpleBlock, ebml::kBlockGroup, ebml::kEncryptedBlock, ebml::kVoid,
                                   ebml::kCrc32};

template <size_t N>
bool In(const uint32_t (&set)[N], uint32_t value) {
  return std::find(std::begin(set), std::end(set), value) != std::end(set);
}

struct Element {
  uint32_t id = 0;
  uint64_t size = 0;    // kUnknownSize where the writer left it open
  size_t header = 0;    // bytes of the identifier and size
};

// An element's identifier and size at p, within n bytes.
std::optional<Element> ParseElement(const uint8_t* p, size_t n) {
  if (n < 2 || p[0] == 0) return std::nullopt;
  const size_t idLength = static_cast<size_t>(__builtin_clz(static_cast<unsigned>(p[0]) << 24)) + 1;
  if (idLength > 4 || idLength >= n) return std::nullopt;
  Element e;
  for (size_t i = 0; i < idLength; ++i) e.id = e.id << 8 | p[i];
  const uint8_t first = p[idLength];
  if (first == 0) return std::nullopt;
  const size_t sizeLength = static_cast<size_t>(__builtin_clz(static_cast<unsigned>(first) << 24)) + 1;
  if (idLength + sizeLength > n) return std::nullopt;
  uint64_t size = first & (0xFF >> sizeLength);
  bool allOnes = size == (0xFFu >> sizeLength);
  for (size_t i = 1; i < sizeLength; ++i) {
    size = size << 8 | p[idLength + i];
    allOnes = allOnes && p[idLength + i] == 0xFF;
  }
  e.size = allOnes ? kUnknownSize : size;
  e.header = idLength + sizeLength;
  return e;
}

std::optional<Element> ReadElement(ByteReader& reader, uint64_t pos) {
  uint8_t h[12] = {};
  if (pos >= reader.Limit()) return std::nullopt;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(sizeof h, reader.Limit() - pos));
  if (!reader.Get(pos, h, n)) return std::nullopt;
  return ParseElement(h, n);
}

std::optional<CarvedKind> DocType(const uint8_t* header, size_t size) {
  const std::optional<Element> top = ParseElement(header, size);
  if (!top || top->id != ebml::kHeader || top->size == kUnknownSize || top->size > kMaxHeaderSize) return std::nullopt;
  const uint64_t end = std::min<uint64_t>(top->header + top->size, size);
  for (uint64_t pos = top->header; pos < end;) {
    const std::optional<Element> e = ParseElement(header + pos, static_cast<size_t>(end - pos));
    if (!e || e->size == kUnknownSize || e->size > end - pos - e->header) return std::nullopt;
    if (e->id == ebml::kDocType) {
      const char* text = reinterpret_cast<const char*>(header + pos + e->header);
      const size_t length = strnlen(text, static_cast<size_t>(e->size));
      if (length == 8 && std::memcmp(text, "matroska", 8) == 0) return CarvedKind::kMkv;
      if (length == 4 && std::memcmp(text, "webm", 4) == 0) return CarvedKind::kWebm;
      return std::nullopt;
    }
    pos += e->header + e->size;
  }
  return std::nullopt;
}

struct Walk {
  bool info = false, tracks = false, cluster = false;
  bool broken = false, truncated = false;
  uint64_t end = 0;
  size_t elements = 0;
};

// A cluster whose size was left open: its children until one that cannot be in a cluster.
void WalkOpenCluster(ByteReader& reader, uint64_t pos, Walk& walk) {
  for (;;) {
    if (++walk.elements > kMaxElements) {
      walk.broken = true;
      return;
    }
    const std::optional<Element> e = ReadElement(reader, pos);
    if (!e || !In(kInCluster, e->id) || e->size == kUnknownSize) {
      walk.end = pos;
      return;
    }
    if (!reader.Holds(pos, e->header + e->size)) {
      walk.truncated = true;
      return;
    }
    pos += e->header + e->size;
  }
}

// The top-level elements from pos up to end (kUnknownSize: as far as they go).
void WalkSegment(ByteReader& reader, uint64_t pos, uint64_t end, Walk& walk) {
  while (end == kUnknownSize || pos < end) {
    if (++walk.elements > kMaxElements) {
      walk.broken = true;
      return;
    }
    const std::optional<Element> e = ReadElement(reader, pos);
    if (!e || !In(kTopLevel, e->id)) {
      if (end != kUnknownSize) walk.broken = true;
      walk.end = pos;
      return;
    }
    if (e->id == ebml::kInfo) walk.info = true;
    if (e->id == ebml::kTracks) walk.tracks = true;
    if (e->id == ebml::kCluster) walk.cluster = true;
    if (e->size == kUnknownSize) {
      if (e->id != ebml::kCluster) {
        walk.broken = true;
        return;
      }
      WalkOpenCluster(reader, pos + e->header, walk);
      if (walk.broken || walk.truncated) return;
      pos = walk.end;
      continue;
    }
    const uint64_t next = pos + e->header + e->size;
    if (next < pos || (end != kUnknownSize && next > end)) {
      walk.broken = true;
      return;
    }
    if (!reader.Holds(pos, e->header + e->size)) {
      walk.truncated = true;
      return;
    }
    pos = next;
  }
  walk.end = pos;
}

}  // namespace

std::optional<CarvedKind> RecognizeEbmlStart(const uint8_t* head, size_t size) {
  if (size < 8 || be32(head) != ebml::kHeader) return std::nullopt;
  return DocType(head, size);
}

std::optional<CarveResult> MeasureEbml(ByteReader& reader) {
  uint8_t header[kMaxHeaderSize + 16] = {};
  const size_t n = static_cast<size_t>(std::min<uint64_t>(sizeof header, reader.Limit()));
  const std::optional<CarvedKind> kind = n > 8 && reader.Get(0, header, n) ? DocType(header, n) : std::nullopt;
  if (!kind) return std::nullopt;
  const std::optional<Element> top = ParseElement(header, n);
  const uint64_t segmentAt = top->header + top->size;
  const std::optional<Element> segment = ReadElement(reader, segmentAt);
  if (!segment || segment->id != ebml::kSegment) return Partial(*kind, segmentAt);
  Walk walk;
  const uint64_t body = segmentAt + segment->header;
  const uint64_t end = segment->size == kUnknownSize ? kUnknownSize : body + segment->size;
  if (end != kUnknownSize && !reader.Holds(0, end)) return Partial(*kind, reader.Limit());
  WalkSegment(reader, body, end, walk);
  if (walk.truncated) return Partial(*kind, reader.Limit());
  const bool whole = !walk.broken && walk.info && walk.tracks && walk.cluster;
  return whole ? Whole(*kind, walk.end) : Partial(*kind, std::max(walk.end, body));
}

}  // namespace carve
