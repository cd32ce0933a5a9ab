// PDF documents: from "%PDF-" to the "%%EOF" that closes the last section. A section's end
// counts only where the "startxref" before it points at a cross-reference table or stream
// within the file; the table's entries are spot-checked to point at objects. Where another
// section (an incremental update, the rest of a linearized file) follows, the walk goes on.

#include <algorithm>
#include <cstring>
#include <string_view>

#include "formats/carve/Families.h"

namespace carve {

namespace {

constexpr std::string_view kMagic = "%PDF-";
constexpr std::string_view kEof = "%%EOF";
constexpr std::string_view kStartXref = "startxref";
constexpr size_t kTrailerLook = 64;    // bytes before "%%EOF" that hold "startxref" and its number
constexpr size_t kObjectLook = 32;     // bytes at an offset that begin "N G obj" or "xref"
constexpr size_t kEntrySize = 20;      // one line of a cross-reference table
constexpr size_t kEntriesChecked = 32;
constexpr uint64_t kMaxEntries = 1 << 24;
// Where the search for the end meets this much empty space, the document was cut short.
constexpr uint64_t kZeroRun = 4 * 1024 * 1024;

bool IsSpace(uint8_t c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == 0; }
bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// Whether text begins (after white space) with "N G obj", or with "xref" where allowed.
bool BeginsObject(const uint8_t* p, size_t n, bool orTable) {
  size_t i = 0;
  while (i < n && IsSpace(p[i])) ++i;
  if (orTable && n - i >= 4 && std::memcmp(p + i, "xref", 4) == 0) return true;
  for (int number = 0; number < 2; ++number) {
    const size_t first = i;
    while (i < n && IsDigit(p[i])) ++i;
    if (i == first || i == n || p[i] != ' ') return false;
    while (i < n && p[i] == ' ') ++i;
  }
  return n - i >= 3 && std::memcmp(p + i, "obj", 3) == 0;
}

bool ObjectAt(ByteReader& reader, uint64_t offset, bool orTable) {
  uint8_t text[kObjectLook] = {};
  const size_t n = static_cast<size_t>(std::min<uint64_t>(sizeof text, reader.Limit() - std::min(offset, reader.Limit())));
  return n > 0 && reader.Get(offset, text, n) && BeginsObject(text, n, orTable);
}

// The first subsection of the cross-reference table at offset: a sample of its entries in
// use must point at objects.
bool TableChecks(ByteReader& reader, uint64_t offset, uint64_t end) {
  uint8_t text[kObjectLook + 1] = {};
  if (!reader.Get(offset, text, kObjectLook)) return false;
  size_t i = 4;
  while (i < kObjectLook && IsSpace(text[i])) ++i;
  uint64_t first = 0, count = 0;
  while (i < kObjectLook && IsDigit(text[i])) first = first * 10 + (text[i++] - '0');
  if (i < kObjectLook && text[i] == ' ') ++i;
  while (i < kObjectLook && IsDigit(text[i]) && count < kMaxEntries) count = count * 10 + (text[i++] - '0');
  while (i < kObjectLook && IsSpace(text[i]) && text[i] != 0) ++i;
  if (count == 0 || i >= kObjectLook) return count == 0;
  (void)first;
  const uint64_t entries = offset + i;
  if (entries + count * kEntrySize > end) return false;
  const uint64_t step = std::max<uint64_t>(1, count / kEntriesChecked);
  for (uint64_t k = 0; k < count; k += step) {
    uint8_t entry[kEntrySize];
    if (!reader.Get(entries + k * kEntrySize, entry, sizeof entry)) return false;
    if (entry[10] != ' ' || entry[16] != ' ' || (entry[17] != 'n' && entry[17] != 'f')) return false;
    if (entry[17] == 'f') continue;
    uint64_t object = 0;
    for (int d = 0; d < 10; ++d) {
      if (!IsDigit(entry[d])) return false;
      object = object * 10 + (entry[d] - '0');
    }
    if (object >= end || !ObjectAt(reader, object, false)) return false;
  }
  return true;
}

// Whether the "%%EOF" at eof closes a section: "startxref", then the offset of a
// cross-reference table or stream before it.
bool ClosesSection(ByteReader& reader, uint64_t eof) {
  const size_t n = static_cast<size_t>(std::min<uint64_t>(kTrailerLook, eof));
  uint8_t text[kTrailerLook];
  if (!reader.Get(eof - n, text, n)) return false;
  const std::string_view before(reinterpret_cast<const char*>(text), n);
  const size_t at = before.rfind(kStartXref);
  if (at == std::string_view::npos) return false;
  size_t i = at + kStartXref.size();
  while (i < n && IsSpace(text[i])) ++i;
  uint64_t offset = 0;
  const size_t digits = i;
  while (i < n && IsDigit(text[i]) && offset < eof) offset = offset * 10 + (text[i++] - '0');
  if (i == digits || offset >= eof) return false;
  while (i < n && IsSpace(text[i])) ++i;
  if (i != n) return false;
  uint8_t table[4];
  if (!reader.Get(offset, table, 4)) return false;
  if (std::memcmp(table, "xref", 4) == 0) return TableChecks(reader, offset, eof);
  return ObjectAt(reader, offset, false);
}

// The end of the line after "%%EOF".
uint64_t AfterEndOfLine(ByteReader& reader, uint64_t pos) {
  uint8_t c[2] = {};
  const bool two = reader.Get(pos, c, 2);
  if (!two && !reader.Get(pos, c, 1)) return pos;
  if (c[0] == '\r') return two && c[1] == '\n' ? pos + 2 : pos + 1;
  return c[0] == '\n' ? pos + 1 : pos;
}

}  // namespace

std::optional<CarvedKind> RecognizePdfStart(const uint8_t* head, size_t size) {
  if (size < 8 || std::memcmp(head, kMagic.data(), kMagic.size()) != 0) return std::nullopt;
  if (!IsDigit(head[5]) || head[6] != '.' || !IsDigit(head[7])) return std::nullopt;
  return CarvedKind::kPdf;
}

std::optional<CarveResult> MeasurePdf(ByteReader& reader) {
  uint8_t head[8];
  if (!reader.Get(0, head, sizeof head) || !RecognizePdfStart(head, sizeof head)) return std::nullopt;
  uint64_t pos = kMagic.size();
  uint64_t lastEnd = 0, zeroRun = 0;
  for (;;) {
    const ByteReader::Stretch s = reader.StretchAt(pos, kEof.size());
    if (s.size < kEof.size()) break;
    const std::string_view text(reinterpret_cast<const char*>(s.data), s.size);
    const size_t at = text.find(kEof);
    if (at == std::string_view::npos) {
      const size_t step = s.size - (kEof.size() - 1);
      const size_t lastNonZero = text.find_last_not_of('\0', step - 1);
      zeroRun = lastNonZero == std::string_view::npos ? zeroRun + step : step - 1 - lastNonZero;
      if (zeroRun >= kZeroRun) return Partial(CarvedKind::kPdf, pos + step - zeroRun);
      pos += step;
      continue;
    }
    zeroRun = 0;
    const uint64_t eof = pos + at;
    pos = eof + kEof.size();
    if (!ClosesSection(reader, eof)) continue;  // a "%%EOF" inside a stream
    lastEnd = AfterEndOfLine(reader, pos);
    uint8_t next[kObjectLook] = {};
    const size_t n = static_cast<size_t>(std::min<uint64_t>(sizeof next, reader.Limit() - lastEnd));
    if (n == 0 || !reader.Get(lastEnd, next, n) || !BeginsObject(next, n, true)) {
      return Whole(CarvedKind::kPdf, lastEnd);
    }
    pos = lastEnd;
  }
  return Partial(CarvedKind::kPdf, std::max<uint64_t>(lastEnd, reader.Limit()));
}

}  // namespace carve
