#pragma once
// Saving an entry: the bytes that the entry delivers go to a file named like the entry in a
// folder the user chose. The window and brindle-cli both save through here. The name comes from the medium, so it is made safe first; the bytes
// are streamed to a temporary file (see PendingFile.h) that takes the target's name only once
// it is complete, so a save that fails, is cancelled or is ended by a signal never leaves a
// truncated file and never destroys the file it was to replace. Memory stays bounded whatever
// the size of the entry.

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "fs/Partition.h"

// The longest file name the folders we write to accept, in bytes.
inline constexpr size_t kMaxFileNameBytes = 255;

// A name from the medium made fit to be one file name: "/" and NUL become "_", and so does a
// blank that begins or ends it (an 8.3 name may begin with one), which a file name hides; an
// empty name, "." and ".." become "_"; a name longer than a file name may be is shortened,
// keeping its extension and whole UTF-8 characters.
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
  kSaved,      // the file is written; completeness says whether all of the entry's data is in it
  kDeclined,   // the target exists and was not to be replaced
  kFailed,     // reading or writing failed, or nothing of the entry's data could be had; reason says why
  kCancelled,  // the progress callback asked to stop; nothing is left behind
};

// How a save ended, and where it wrote.
struct SaveResult {
  SaveOutcome outcome = SaveOutcome::kFailed;
  std::string path;    // the file written, or the one that was to be
  std::string reason;  // why it failed, in the system's words
  uint64_t bytes = 0;  // bytes written
  // How complete the data read was: a file saved short says so here (see Incomplete).
  DataCompleteness completeness;
};

// Whether the save wrote a file that holds less than all of the entry's data.
inline bool Incomplete(const SaveResult& result) {
  return result.outcome == SaveOutcome::kSaved && !result.completeness.whole();
}
// "The file \"path\" was saved, but it is incomplete:\n" and how (CompletenessText).
std::string IncompleteSaveText(const SaveResult& result);

// "The file \"path\" could not be saved:\n" and the reason.
std::string SaveFailureText(const SaveResult& result);
// The question asked before a file that exists is replaced.
std::string ReplaceQuestion(const std::string& path);

// Told the bytes written so far and the entry's length as recorded (DataLength; 0 for a
// directory, whose length is known only once read), after every piece of the save and once
// before the first. Returning false cancels the save.
using SaveProgress = std::function<bool(uint64_t done, uint64_t total)>;
// Asked whether the file at path, which exists, is to be replaced.
using ReplaceAnswer = std::function<bool(const std::string& path)>;

struct SaveOptions {
  SaveName as;              // names the file and gives its time
  SaveProgress progress;    // none: the save runs to its end
  ReplaceAnswer replace;    // none: a file in the way is not replaced
};

// Where SaveEntry writes the entry in folder.
std::string SaveTargetPath(const TDirectoryEntry& entry, const std::string& folder, const SaveName& as = {});

// The save command once the folder is chosen: forms the target path, asks before replacing
// an existing file, streams the entry's data (all of it, as many bytes as it holds) and makes
// the file durable before it takes the target's place. An entry none of whose data can be had
// (its first cluster is another file's now, say) is not saved: an empty file would pass for a
// recovered one. Runs on any thread; it asks and tells nobody but through options.
SaveResult SaveEntry(TDirectoryEntry& entry, const std::string& folder, const SaveOptions& options = {});

// The names taken in one output folder, for numbering the names that clash there: the first
// "name.ext" is itself, the next "name (1).ext", "name (2).ext" and so on. Finding a free name
// takes time in proportion to the names that clash, not to their square: each name remembers
// the number it got to. Names are compared byte for byte, as Linux compares them; a folder on
// a file system that folds case turns the clashes it finds into EEXIST, and those names are
// taken too.
class TakenNames {
 public:
  // The first of safeName and its numbered forms that is not taken. It stays free until Take.
  std::string FirstFree(const std::string& safeName);
  void Take(const std::string& name) { taken_.insert(name); }
  bool IsTaken(const std::string& name) const { return taken_.count(name) != 0; }

 private:
  std::unordered_set<std::string> taken_;
  std::unordered_map<std::string, uint64_t> nextNumber_;  // by safe name: the number to try next
};

// name with a number: "name (3).ext", shortened to fit a file name, keeping its extension.
std::string NumberedName(const std::string& safeName, uint64_t number);

// Saves the entry into folder under its safe name without ever replacing a file: a name
// that is taken, in names or in the folder, gets a number ("name (1).ext", "name (2).ext",
// ...), and the name it gets is taken in names. The file is not flushed to the disk on its
// own: a caller saving many files makes them durable together with SyncFileSystem. as names
// the file and gives its time. copy, when given, takes every byte written, as it is written.
SaveResult SaveEntryAsNewFile(TDirectoryEntry& entry, const std::string& folder, TakenNames& names,
                              const SaveName& as = {}, ByteSink* copy = nullptr);

// Writes everything written so far to the file system that holds folder out to its disk
// (syncfs). Returns 0 or the errno of the failure.
int SyncFileSystem(const std::string& folder);
