#pragma once
// Texts from the medium as the command line shows them and as a user types them back: names
// and labels printed so that a terminal shows them as they are meant, and names compared
// without regard to case, as FAT and exFAT compare them.

#include <string>
#include <string_view>

class TDirectoryEntry;

// A name fit for a terminal, on one line: control characters are escaped as GNU `ls -b`
// escapes them ("\n", "\t", "\a", "\b", "\f", "\r", "\v", and "\NNN", three octal digits per
// byte, for the others: ESC is "\033", DEL "\177", U+009B "\302\233"), and a backslash is
// doubled, so that no name can break a line of output or drive the terminal and no two names
// look alike. Each piece that is not UTF-8 becomes U+FFFD.
std::string PrintableText(std::string_view text);

// What an entry without a name is shown as, and can be named by: no FAT or exFAT name holds
// "<" or ">".
inline constexpr const char* kNoNamePlaceholder = "<no name>";

// An entry's caption as listings and paths show it: PrintableText, with a blank that begins or
// ends it written "\ " as `ls -b` writes blanks, so that it shows (an 8.3 name may begin with
// one); an empty caption is kNoNamePlaceholder. Typed back, it names the entry.
std::string PrintedName(std::string_view caption);

// A message fit for a terminal: its control characters escaped as in PrintableText, its line
// breaks kept where keepLineBreaks asks for them. Backslashes stay as they are, since the names
// in a message are printable already.
std::string PrintableMessage(std::string_view text, bool keepLineBreaks);

// text with every character replaced by its Unicode simple case folding, so that two names
// that differ only in case fold to the same bytes ("Année" and "ANNÉE"). Bytes that are not
// UTF-8 are kept as they are.
std::string FoldCase(std::string_view text);

// What an entry is, as listings say it: "deleted" for a deleted entry, a folder included, else
// "directory" or "file".
const char* ListedState(const TDirectoryEntry& entry);
