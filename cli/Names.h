#pragma once
// Texts from the medium as the command line shows them and as a user types them back: names
// and labels printed so that a terminal shows them as they are meant, and names compared
// without regard to case, as FAT and exFAT compare them.

#include <string>
#include <string_view>

class TDirectoryEntry;

// text fit for a terminal: each piece that is not UTF-8 (an 8.3 name keeps its code page's
// bytes) and each control character becomes U+FFFD, so that no name can break a line of
// output or drive the terminal. Line breaks stay where keepLineBreaks asks for them.
std::string PrintableText(std::string_view text, bool keepLineBreaks = false);

// text with every character replaced by its Unicode simple case folding, so that two names
// that differ only in case fold to the same bytes ("Année" and "ANNÉE"). Bytes that are not
// UTF-8 are kept as they are.
std::string FoldCase(std::string_view text);

// What an entry is, as listings say it: "deleted" for a deleted entry, a folder included, else
// "directory" or "file".
const char* ListedState(const TDirectoryEntry& entry);
