#pragma once
// Text helpers shared by the file-system families. Texts are UTF-8 byte strings.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// UTF-16 code units to UTF-8; an unpaired surrogate becomes U+FFFD. Stops at the first zero
// unit or after count units.
std::string Utf16ToUtf8(const char16_t* units, size_t count);

// Appends one code point, UTF-8 encoded.
void AppendUtf8(std::string& out, uint32_t codePoint);

// The code point that starts at text[pos], with pos moved past it. A sequence that is not UTF-8
// gives nothing and moves pos past the longest start of one that it holds (at least one byte),
// so that each such piece stands for one U+FFFD, as Unicode recommends.
std::optional<char32_t> NextCodePoint(std::string_view text, size_t& pos);

// The code units stored little-endian at bytes, at most count of them.
std::u16string ReadUtf16Le(const uint8_t* bytes, size_t count);

// Removes leading and trailing characters with codes 0 to 32 (as labels and 8.3 names are
// padded).
std::string TrimBlanks(std::string_view text);
// Removes trailing characters with codes 0 to 32 only: the padding of an 8.3 name, whose
// leading characters are its own.
std::string TrimTrailingBlanks(std::string_view text);

// value with at least two digits (the "00" pattern).
std::string TwoDigits(unsigned value);

// wholeSeconds + hundredths / 100 with the "00.##" pattern: at least two integer digits, at most
// two decimals, no trailing zeros and no separator for a whole number. The separator is the
// one of the user's locale.
std::string FormatSeconds(unsigned wholeSeconds, unsigned hundredths);
