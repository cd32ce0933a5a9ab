#include "cli/Names.h"

#include <unicode/uchar.h>

#include "fs/Partition.h"
#include "fs/Text.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// C0 controls, DEL and the C1 controls, which some terminals take for the start of a sequence.
bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// The letter of a C escape for c, or 0 where it has none.
char CEscapeLetter(char32_t c) {
  switch (c) {
    case '\a': return 'a';
    case '\b': return 'b';
    case '\f': return 'f';
    case '\n': return 'n';
    case '\r': return 'r';
    case '\t': return 't';
    case '\v': return 'v';
    default: return 0;
  }
}

// "\NNN" for each byte of c's UTF-8 form.
void AppendOctal(std::string& out, char32_t c) {
  std::string bytes;
  AppendUtf8(bytes, c);
  for (const char byte : bytes) {
    const auto b = static_cast<unsigned char>(byte);
    out += '\\';
    out += static_cast<char>('0' + (b >> 6));
    out += static_cast<char>('0' + (b >> 3 & 7));
    out += static_cast<char>('0' + (b & 7));
  }
}

// text with its control characters escaped, and its backslashes doubled when asked.
std::string Escaped(std::string_view text, bool doubleBackslashes, bool keepLineBreaks) {
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const char32_t c = NextCodePoint(text, pos).value_or(kReplacement);
    if (c == '\\' && doubleBackslashes) {
      out += "\\\\";
    } else if (!IsControl(c) || (keepLineBreaks && c == '\n')) {
      AppendUtf8(out, c);
    } else if (const char letter = CEscapeLetter(c)) {
      out += '\\';
      out += letter;
    } else {
      AppendOctal(out, c);
    }
  }
  return out;
}

}  // namespace

std::string PrintableText(std::string_view text) { return Escaped(text, true, false); }

std::string PrintedName(std::string_view caption) {
  if (caption.empty()) return kNoNamePlaceholder;
  size_t first = 0;
  size_t last = caption.size();
  while (first < last && caption[first] == ' ') ++first;
  while (last > first && caption[last - 1] == ' ') --last;
  std::string out;
  for (size_t i = 0; i < first; ++i) out += "\\ ";
  out += PrintableText(caption.substr(first, last - first));
  for (size_t i = last; i < caption.size(); ++i) out += "\\ ";
  return out;
}

std::string PrintableMessage(std::string_view text, bool keepLineBreaks) { return Escaped(text, false, keepLineBreaks); }

std::string FoldCase(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    // ASCII folds to itself but for A to Z, as u_foldCase folds it; names are mostly ASCII, and
    // the window's search folds every name of a volume at each query.
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte < 0x80) {
      out += static_cast<char>(byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte);
      ++pos;
      continue;
    }
    const size_t start = pos;
    if (const std::optional<char32_t> c = NextCodePoint(text, pos)) {
      AppendUtf8(out, static_cast<uint32_t>(u_foldCase(static_cast<UChar32>(*c), U_FOLD_CASE_DEFAULT)));
    } else {
      out.append(text.substr(start, pos - start));
    }
  }
  return out;
}

const char* ListedState(const TDirectoryEntry& entry) {
  if (entry.IsDeleted()) return "deleted";
  return entry.IsFolder() ? "directory" : "file";
}
