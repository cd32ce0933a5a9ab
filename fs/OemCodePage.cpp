#include "fs/OemCodePage.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/utf16.h>

#include <memory>

#include "fs/Text.h"

namespace {

constexpr const char* kDefaultName = "437";
constexpr char32_t kReplacement = 0xFFFD;
constexpr const char* kExamples = "such as 437, 850 or 1252";

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// ICU's converter of that name, which stops at a byte it has no character for instead of
// putting in a substitute of its own.
Converter OpenConverter(const std::string& name) {
  UErrorCode status = U_ZERO_ERROR;
  Converter converter(ucnv_open(name.c_str(), &status));
  if (U_FAILURE(status)) return nullptr;
  ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  return U_SUCCESS(status) ? std::move(converter) : nullptr;
}

// The converter for a name as people write it: ICU knows "437" and "850" as they are, but
// Windows code pages only as "cp1252" or "windows-1252", so a bare number is tried that way too.
Converter OpenNamed(const std::string& name) {
  if (Converter converter = OpenConverter(name)) return converter;
  if (name.find_first_not_of("0123456789") != std::string::npos) return nullptr;
  for (const char* prefix : {"cp", "windows-", "ibm-"}) {
    if (Converter converter = OpenConverter(prefix + name)) return converter;
  }
  return nullptr;
}

// The one character the converter gives byte; nothing where it gives none, or several.
std::optional<char32_t> CharacterOf(UConverter* converter, uint8_t byte) {
  ucnv_reset(converter);
  const char source = static_cast<char>(byte);
  UChar units[4];
  UErrorCode status = U_ZERO_ERROR;
  const int32_t count = ucnv_toUChars(converter, units, 4, &source, 1, &status);
  if (U_FAILURE(status) || count <= 0) return std::nullopt;
  int32_t at = 0;
  UChar32 codePoint = 0;
  U16_NEXT(units, at, count, codePoint);
  if (at != count || U_IS_SURROGATE(codePoint)) return std::nullopt;
  return static_cast<char32_t>(codePoint);
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

OemCodePage::OemCodePage() {
  for (unsigned byte = 0; byte < 0x80; ++byte) {
    characters_[byte] = Encode(byte);
    lowerCase_[byte] = Encode(byte >= 'A' && byte <= 'Z' ? byte - 'A' + 'a' : byte);
  }
}

const OemCodePage& OemCodePage::Default() {
  static const OemCodePage page = [] {
    std::string error;
    if (std::optional<OemCodePage> made = FromName(kDefaultName, error)) return *std::move(made);
    // An ICU without its data: the ASCII half still reads.
    OemCodePage asciiOnly;
    for (unsigned byte = 0x80; byte < 256; ++byte) asciiOnly.SetCharacter(byte, kReplacement);
    return asciiOnly;
  }();
  return page;
}

std::optional<OemCodePage> OemCodePage::FromName(std::string_view name, std::string& error) {
  const std::string trimmed = TrimBlanks(name);
  if (trimmed.empty()) {
    error = std::string("No code page was named: name one ") + kExamples + ".";
    return std::nullopt;
  }
  const Converter converter = trimmed.find('\0') == std::string::npos ? OpenNamed(trimmed) : nullptr;
  if (!converter) {
    error = "The code page " + Quoted(trimmed) + " is not known: name one " + kExamples + ".";
    return std::nullopt;
  }
  UErrorCode status = U_ZERO_ERROR;
  const std::string named = Quoted(trimmed) + " (" + ucnv_getName(converter.get(), &status) + ")";
  if (ucnv_getMaxCharSize(converter.get()) != 1) {
    error = "The code page " + named + " stores characters in more than one byte; 8.3 names and FAT labels " +
            "are read with single-byte code pages only, " + kExamples + ".";
    return std::nullopt;
  }
  for (unsigned byte = 0x20; byte < 0x7F; ++byte) {
    // The printable ASCII bytes must be ASCII, as in every OEM code page (not in EBCDIC, say).
    if (CharacterOf(converter.get(), static_cast<uint8_t>(byte)) != byte) {
      error = "The code page " + named + " is not an OEM code page: its bytes below 0x80 are not ASCII.";
      return std::nullopt;
    }
  }
  OemCodePage page;
  for (unsigned byte = 0x80; byte < 256; ++byte) {
    // Only what the code page assigns, and never an ASCII character: a dot or a path separator
    // comes only from a byte that is one.
    const std::optional<char32_t> character = CharacterOf(converter.get(), static_cast<uint8_t>(byte));
    page.SetCharacter(byte, character && *character >= 0x80 ? *character : kReplacement);
  }
  return page;
}

std::string OemCodePage::Decode(std::string_view bytes) const { return Decode(bytes, characters_); }

std::string OemCodePage::DecodeLower(std::string_view bytes) const { return Decode(bytes, lowerCase_); }

std::string OemCodePage::Decode(std::string_view bytes, const Table& table) {
  std::string text;
  text.reserve(bytes.size());
  for (const char byte : bytes) text += table[static_cast<uint8_t>(byte)].Text();
  return text;
}

// Its lower case as well, kept out of ASCII like the character itself.
void OemCodePage::SetCharacter(unsigned byte, char32_t character) {
  const auto lower = static_cast<char32_t>(u_tolower(static_cast<UChar32>(character)));
  characters_[byte] = Encode(character);
  lowerCase_[byte] = Encode(lower >= 0x80 ? lower : character);
}

OemCodePage::Character OemCodePage::Encode(char32_t codePoint) {
  std::string utf8;
  AppendUtf8(utf8, codePoint);
  Character character;
  character.size = static_cast<uint8_t>(utf8.copy(character.bytes.data(), character.bytes.size()));
  return character;
}
