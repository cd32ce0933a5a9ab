#include "search/NamePattern.h"

#include "cli/Names.h"
#include "fs/Partition.h"

namespace {

// The length of the UTF-8 sequence that starts with lead; a stray byte counts as one.
size_t SequenceLength(const std::string_view text, size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  // A sequence cut short, or one whose continuation bytes are missing, is one byte.
  for (size_t i = 1; i < length; ++i) {
    if (at + i >= text.size() || (static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

// Whether name fits pattern whole: "*" any run of characters, "?" one character (a whole UTF-8
// sequence). Greedy with one point to come back to: the last "*" seen and where its run ended,
// so a name is matched in time proportional to its length times the pattern's.
bool Fits(std::string_view pattern, std::string_view name) {
  size_t p = 0;
  size_t n = 0;
  size_t starAt = std::string_view::npos;
  size_t resumeAt = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starAt = p++;
      resumeAt = n;
    } else if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      n += SequenceLength(name, n);
    } else if (p < pattern.size() && pattern[p] == name[n]) {
      ++p;
      ++n;
    } else if (starAt != std::string_view::npos) {
      p = starAt + 1;
      resumeAt += SequenceLength(name, resumeAt);
      n = resumeAt;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

NamePattern::NamePattern(std::string_view typed)
    : folded_(FoldCase(typed)), wildcards_(typed.find_first_of("*?") != std::string_view::npos) {}

bool NamePattern::MatchesName(std::string_view name) const {
  if (Empty()) return true;
  if (name.empty()) return false;
  const std::string folded = FoldCase(name);
  return wildcards_ ? Fits(folded_, folded) : folded.find(folded_) != std::string::npos;
}

bool NamePattern::Matches(const TDirectoryEntry& entry) const {
  if (Empty() || MatchesName(entry.name)) return true;
  // A piece of the long or short name is a piece of the caption, which is made of them.
  if (!wildcards_) return false;
  const std::string longName = entry.LongName();
  if (!longName.empty() && MatchesName(longName)) return true;
  const std::string shortName = entry.ShortName();
  return !shortName.empty() && shortName != longName && MatchesName(shortName);
}
