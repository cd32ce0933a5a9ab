#include "cli/Names.h"

#include <unicode/uchar.h>

#include "fs/Partition.h"
#include "fs/Text.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsControl(char32_t c) { return c < 0x20 || c == 0x7F; }

}  // namespace

std::string PrintableText(std::string_view text, bool keepLineBreaks) {
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    char32_t c = NextCodePoint(text, pos).value_or(kReplacement);
    if (IsControl(c) && !(keepLineBreaks && c == '\n')) c = kReplacement;
    AppendUtf8(out, c);
  }
  return out;
}

std::string FoldCase(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
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
