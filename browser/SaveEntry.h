#pragma once
// Saving an entry: the bytes that the entry delivers go to a file named like the entry in a
// folder the user chose. The name comes from the medium, so it is made safe first; the bytes
// are streamed to a temporary file that replaces the target only once it is complete, so a
// failed or cancelled save never leaves a truncated file and never destroys the file it was to
// replace. Memory stays bounded whatever the size of the entry.

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "fs/Partition.h"

// The longest file name the folders we write to accept, in bytes.
inline constexpr size_t kMaxFileNameBytes = 255;

// A name from the medium made fit to be one file name: "/" and NUL become "_"; an empty name,
// "." and ".." become "_"; a name longer than a file name may be is shortened, keeping its
// extension and whole UTF-8 characters.
std::string SafeFileName(const std::string& name);

// What a saved copy is called and the modification time it gets. An empty name is the entry's
// caption, which the window saves under; without a time the file keeps the time of saving.
struct SaveName {
  std::string name;
  std::optional<timespec> modified;
};

// The name and time the command line gives a saved copy: the name the entry had on the medium
// (FileName) and the modification time it records; none where it records no time, or one that
// is no date and time at all.
SaveName RecordedName(const TDirectoryEntry& entry);

// The moment a recorded time stands for: a time with a UTC offset at that offset, one without
// (as FAT keeps every time) as local time. Nothing for fields that name no moment (month 0,
// 30 February, 25 o'clock).
std::optional<timespec> MomentOf(const RecordedTime& time);

enum class SaveOutcome {
  kSaved,      // the file is written
  kDeclined,   // the target exists and the user did not want it replaced
  kFailed,     // reading or writing failed; the user has been told why
  kCancelled,  // the progress callback asked to stop; nothing is left behind
};

// Told the bytes written so far and the entry's length as recorded (DataLength; 0 for a
// directory, whose length is known only once read), after every piece of the save and once
// before the first. Returning false cancels the save.
using SaveProgress = std::function<bool(uint64_t done, uint64_t total)>;

// The save command once the folder is chosen: forms the target path, asks before replacing
// an existing file, streams the entry's data (all of it, as many bytes as it holds) and makes
// the file durable before it takes the target's place. Failures are reported through the
// message-box service, naming the file and the reason; a cancelled save says nothing.
// savedPath receives the target path. as names the file and gives its time.
SaveOutcome SaveEntry(TDirectoryEntry& entry, const std::string& folder, std::string* savedPath = nullptr,
                      const SaveProgress& progress = nullptr, const SaveName& as = {});

// Saves the entry into folder under its safe name without ever replacing a file: a name
// that is taken gets a number ("name (1).ext", "name (2).ext", ...). Failures are reported as
// by SaveEntry. On success savedPath receives the path written and bytesWritten the count.
// The file is not flushed to the disk on its own: a caller saving many files makes them
// durable together with SyncFileSystem.
SaveOutcome SaveEntryAsNewFile(TDirectoryEntry& entry, const std::string& folder, std::string* savedPath,
                               uint64_t* bytesWritten, const SaveName& as = {});

// Writes everything written so far to the file system that holds folder out to its disk
// (syncfs). Returns 0 or the errno of the failure.
int SyncFileSystem(const std::string& folder);
