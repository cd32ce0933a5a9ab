#include "fs/Text.h"

#include "device/NumberFormat.h"

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | cp >> 6);
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | cp >> 12);
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | cp >> 18);
    out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

namespace {

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

std::string Utf16ToUtf8(const char16_t* units, size_t count) {
  std::string out;
  for (size_t i = 0; i < count && units[i] != 0; ++i) {
    const char16_t u = units[i];
    if (IsHighSurrogate(u) && i + 1 < count && IsLowSurrogate(units[i + 1])) {
      AppendUtf8(out, 0x10000 + ((uint32_t{u} - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

std::optional<char32_t> NextCodePoint(std::string_view text, size_t& pos) {
  const auto byteAt = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byteAt(pos++);
  if (lead < 0x80) return lead;
  // The length the lead byte announces, and the range of the byte after it that keeps the
  // sequence short-form, below U+110000 and outside the surrogates.
  size_t length = 0;
  uint8_t low = 0x80;
  uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return std::nullopt;
  }
  char32_t codePoint = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i, low = 0x80, high = 0xBF) {
    if (pos >= text.size() || byteAt(pos) < low || byteAt(pos) > high) return std::nullopt;
    codePoint = codePoint << 6 | (byteAt(pos++) & 0x3F);
  }
  return codePoint;
}

std::u16string ReadUtf16Le(const uint8_t* bytes, size_t count) {
  std::u16string units(count, u'\0');
  for (size_t i = 0; i < count; ++i) {
    units[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  }
  return units;
}

std::string TrimBlanks(std::string_view text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= 32) ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32) --last;
  return std::string(text.substr(first, last - first));
}

std::string TrimTrailingBlanks(std::string_view text) {
  size_t last = text.size();
  while (last > 0 && static_cast<unsigned char>(text[last - 1]) <= 32) --last;
  return std::string(text.substr(0, last));
}

std::string TwoDigits(unsigned value) {
  std::string digits = std::to_string(value);
  return digits.size() < 2 ? "0" + digits : digits;
}

std::string FormatSeconds(unsigned wholeSeconds, unsigned hundredths) {
  const unsigned total = wholeSeconds * 100 + hundredths;
  std::string text = TwoDigits(total / 100);
  const unsigned fraction = total % 100;
  if (fraction != 0) {
    text += LocaleDecimalSeparator();
    text += static_cast<char>('0' + fraction / 10);
    if (fraction % 10 != 0) text += static_cast<char>('0' + fraction % 10);
  }
  return text;
}

