#pragma once
// The OEM code page that 8.3 names and FAT volume labels are stored in, one byte a character.
// The characters of all 256 bytes are looked up once, when the code page is made, so decoding
// is a table lookup that any number of threads may do at once.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class OemCodePage {
 public:
  // Code page 437, which FAT volumes are read with unless the user names another.
  static const OemCodePage& Default();

  // The single-byte code page that ICU knows by name, as people write it: "437", "cp850",
  // "ibm-850", "windows-1252", "1252" (a bare number is also tried as "cpN", "windows-N" and
  // "ibm-N"), in any case, blanks around it ignored. Nothing when ICU knows no such code page,
  // when it stores a character in more than one byte, or when its bytes below 0x80 are not
  // ASCII; error then holds a sentence saying why, fit to show the user.
  static std::optional<OemCodePage> FromName(std::string_view name, std::string& error);

  // The text of bytes, UTF-8 encoded: bytes below 0x80 as they are (ASCII), the others as the
  // code page has them; U+FFFD for a byte it assigns no character, or an ASCII one.
  std::string Decode(std::string_view bytes) const;
  // The same, with every letter lower-cased, as the case flags of an 8.3 name ask.
  std::string DecodeLower(std::string_view bytes) const;

 private:
  // One byte's character, UTF-8 encoded: at most 4 bytes.
  struct Character {
    std::array<char, 4> bytes{};
    uint8_t size = 0;
    std::string_view Text() const { return {bytes.data(), size}; }
  };
  using Table = std::array<Character, 256>;

  // A code page whose bytes below 0x80 are ASCII; the others are set by SetCharacter.
  OemCodePage();
  // The character of a byte above 0x7F, and its lower case.
  void SetCharacter(unsigned byte, char32_t character);
  static std::string Decode(std::string_view bytes, const Table& table);
  static Character Encode(char32_t codePoint);

  Table characters_{};
  Table lowerCase_{};
};
