#pragma once
// Saving an entry: the bytes that the entry delivers go to a file named like the entry in a
// folder the user chose. The name comes from the medium, so it is made safe first; the bytes
// go to a temporary file that replaces the target only once it is complete, so a failed save
// never leaves a truncated file and never destroys the file it was to replace.

#include <cstdint>
#include <string>

#include "fs/Partition.h"

// The longest file name the folders we write to accept, in bytes.
inline constexpr size_t kMaxFileNameBytes = 255;

// A name from the medium made fit to be one file name: "/" and NUL become "_"; an empty name,
// "." and ".." become "_"; a name longer than a file name may be is shortened, keeping its
// extension and whole UTF-8 characters.
std::string SafeFileName(const std::string& name);

enum class SaveOutcome {
  kSaved,     // the file is written
  kDeclined,  // the target exists and the user did not want it replaced
  kFailed,    // reading or writing failed; the user has been told why
};

// The save command once the folder is chosen: forms the target path, asks before replacing
// an existing file, reads the entry's data (as many bytes as its size) and writes them.
// Failures are reported through the message-box service, naming the file and the reason.
// savedPath receives the target path.
SaveOutcome SaveEntry(TDirectoryEntry& entry, const std::string& folder, std::string* savedPath = nullptr);

// Saves the entry into folder under its safe name without ever replacing a file: a name
// that is taken gets a number ("name (1).ext", "name (2).ext", ...). Failures are reported as
// by SaveEntry. On success savedPath receives the path written and bytesWritten the count.
SaveOutcome SaveEntryAsNewFile(TDirectoryEntry& entry, const std::string& folder, std::string* savedPath,
                               uint64_t* bytesWritten);

// Writes size bytes to path through a temporary file in the same folder. With replace the
// temporary file takes the place of an existing one; without it an existing path makes the
// write fail with EEXIST. Returns 0 or the errno of the failure; path is then untouched.
int WriteFileSafely(const std::string& path, const uint8_t* data, size_t size, bool replace);
