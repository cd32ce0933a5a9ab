#pragma once
// Saving every file of a tree into a folder tree of the same shape, as brindle-cli's recover
// does and the window does for a folder: each partition goes to FOLDER/partition-N/, each
// folder of the tree to a folder of the same name, made only when a file is saved below it.
// No file is ever replaced: a name taken, by a file or a folder, gets a number, and folders
// that an earlier run made are used again. Files are not flushed one by one: Finish makes the
// whole recovery durable at once.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fs/TreeWalk.h"
#include "save/SaveEntry.h"

// Makes folder and the folders above it that are missing; the reason, empty when it exists.
std::string MakeFolders(const std::string& folder);

class TreeRecovery {
 public:
  struct Events {
    // Each file the recovery tried, as it ends.
    std::function<void(const WalkItem& item, const SaveResult& result)> fileDone;
    // A folder that could not be made, a directory the walk could not read whole: in words.
    std::function<void(const std::string& text)> problem;
    // How a caption appears in the display paths of WalkItem.
    TreeWalk::Caption caption;
    // Where a copy of each file's bytes goes as they are saved (to hash them without reading
    // the file twice), asked just before the file is saved; nullptr, or none: nowhere.
    std::function<ByteSink*(const WalkItem& item)> copy;
    // Asked before each file: true stops the recovery there (what is saved stays); none: never.
    std::function<bool()> stop;
    // The tree is shown in a window meanwhile: what its directories had read stays (see
    // TreeWalk::KeepChildrenRead).
    bool keepChildrenRead = false;
  };

  struct Totals {
    uint64_t saved = 0;
    uint64_t bytes = 0;
    uint64_t incomplete = 0;  // of those saved, the files that hold less than all of their data
    uint64_t failures = 0;
    int cutDirectories = 0;
  };

  // deletedOnly: only deleted files (everything in a deleted folder counts as deleted).
  TreeRecovery(const std::string& folder, bool deletedOnly, Events events);

  // Recovers the tree below partition's root into folder/partition-N.
  void RecoverPartition(TPartition& partition);
  // Recovers the tree below dir, a directory of partition, into outFolder itself.
  void RecoverFolder(TPartition& partition, TDirectoryEntry& dir, const std::string& outFolder,
                     const std::string& displayPath, const std::string& indexPath);

  // Saves entry into folder itself, as the window saves what is selected: a file under its
  // recorded name, a folder as a folder with everything in it. The entries saved through here
  // share folder's names: a second "a.txt" becomes "a (1).txt", a second folder "a" "a (1)".
  void RecoverEntry(TPartition& partition, TDirectoryEntry& entry, const std::string& displayPath,
                    const std::string& indexPath);

  const Totals& totals() const { return totals_; }
  // Writes what was saved out to the disk; 0 or the errno of the failure.
  int Finish();

 private:
  // A folder of the output on the way down the tree. It is made when the first file below it
  // is saved, so that folders without files to save leave none; under its entry's name or,
  // where this run has used that name for a file or folder already, a numbered one.
  struct OutputFolder {
    std::string name;  // the safe name of its entry; the whole path for the top
    std::string path;  // where it was made; empty until then
    bool failed = false;
    TakenNames taken;  // the names used in it
  };

  // Walks dir's children, whose output folder is folders[depth] (made on the way as needed).
  void Walk(TPartition& partition, TDirectoryEntry& dir, std::vector<OutputFolder>& folders, int depth,
            const std::string& displayPath, const std::string& indexPath);
  void Visit(const WalkItem& item, std::vector<OutputFolder>& folders);
  bool Made(std::vector<OutputFolder>& folders, size_t depth);
  bool MakeNumberedFolder(OutputFolder& parent, OutputFolder& folder);
  void Problem(const std::string& text) const;

  std::string folder_;
  bool deletedOnly_;
  Events events_;
  Totals totals_;
  std::vector<OutputFolder> entryFolders_;  // RecoverEntry's: [0] is folder itself
};
