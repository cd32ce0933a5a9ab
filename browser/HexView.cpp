#include "browser/HexView.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "fs/Partition.h"
#include "fs/Text.h"

namespace {

// Windows-1252 from 0x80 to 0x9F; 0 where it assigns no character.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
};

void AppendDumpCharacter(std::string& out, uint8_t b) {
  char16_t cp = b;
  if (b < 0x20 || b == 0x7F) cp = '.';
  else if (b >= 0x80 && b < 0xA0) cp = kCp1252High[b - 0x80] ? kCp1252High[b - 0x80] : u'.';
  AppendUtf8(out, cp);
}

}  // namespace

std::string FormatHexDump(const uint8_t* data, size_t count) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve((count / 16 + 1) * 90);
  for (size_t offset = 0; offset < count; offset += 16) {
    char head[24];
    std::snprintf(head, sizeof head, "%04zX    ", offset);
    std::string characters;
    text += head;
    for (size_t i = offset; i < std::min(offset + 16, count); ++i) {
      text += kHex[data[i] >> 4];
      text += kHex[data[i] & 0x0F];
      text += ' ';
      AppendDumpCharacter(characters, data[i]);
    }
    text += "    ";
    text += characters;
    text += "\r\n";
  }
  return text;
}

PreviewDecision DecidePreview(const uint8_t* data, size_t count) {
  PreviewDecision decision;
  if (data == nullptr || count == 0) return decision;
  if (const FormatRecognizer* picture = RecognizePicture(data, count)) {
    decision.kind = PreviewKind::kPicture;
    decision.picture = picture;
    return decision;
  }
  // Every byte delivered up to the first zero byte, however short the data.
  const size_t limit = std::min<size_t>(count, kDumpSize);
  const void* zero = std::memchr(data, 0, limit);
  const size_t length = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data) : limit;
  decision.kind = PreviewKind::kText;
  decision.text.assign(reinterpret_cast<const char*>(data), length);
  return decision;
}
