#pragma once
// Names as a user types them to find entries: a piece of a name ("holiday" finds
// "Summer holiday.jpg"), or a pattern with "*" (any run of characters, none included) and "?"
// (one character) that the whole name must fit ("*.jpg", "IMG_00??.*"). Case is compared as
// brindle-cli compares names: each side folded (FoldCase), so "ANNÉE" finds "année"; and, as
// there, an entry is named by its caption, by its long name alone and by its short name alone,
// so "*.jpeg" finds "Trip.jpeg - TRIP~1.JPG" by its long name.

#include <string>
#include <string_view>

class TDirectoryEntry;

class NamePattern {
 public:
  explicit NamePattern(std::string_view typed);

  // Whether nothing was typed: every name fits.
  bool Empty() const { return folded_.empty(); }
  // Whether "*" or "?" make it a pattern for the whole name rather than a piece of one.
  bool Wildcards() const { return wildcards_; }

  bool MatchesName(std::string_view name) const;
  // The caption, the long name alone or the short name alone.
  bool Matches(const TDirectoryEntry& entry) const;

 private:
  std::string folded_;
  bool wildcards_ = false;
};
