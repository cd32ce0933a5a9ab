#include "save/TreeRecovery.h"

#include <sys/stat.h>

#include <cerrno>

#include "device/SystemError.h"

std::string MakeFolders(const std::string& folder) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
      return "cannot make the folder " + part + ": " + SystemErrorText(errno);
    }
    if (slash == std::string::npos) break;
  }
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    return "cannot make the folder " + folder + ": a file of that name is in the way";
  }
  return "";
}

TreeRecovery::TreeRecovery(const std::string& folder, bool deletedOnly, Events events)
    : folder_(folder), deletedOnly_(deletedOnly), events_(std::move(events)) {}

void TreeRecovery::Problem(const std::string& text) const {
  if (events_.problem) events_.problem(text);
}

void TreeRecovery::RecoverPartition(TPartition& partition) {
  if (!partition.rootEntry) return;
  const std::string n = std::to_string(partition.number);
  std::vector<OutputFolder> folders(1);
  folders[0].name = folder_ + "/partition-" + n;
  Walk(partition, *partition.rootEntry, folders, 0, n + ":/", n + "#");
}

void TreeRecovery::RecoverFolder(TPartition& partition, TDirectoryEntry& dir, const std::string& outFolder,
                                 const std::string& displayPath, const std::string& indexPath) {
  std::vector<OutputFolder> folders(1);
  folders[0].name = outFolder;
  Walk(partition, dir, folders, 0, displayPath, indexPath);
}

void TreeRecovery::RecoverEntry(TPartition& partition, TDirectoryEntry& entry, const std::string& displayPath,
                                const std::string& indexPath) {
  if (entryFolders_.empty()) entryFolders_.emplace_back().name = folder_;
  Visit(WalkItem{entry, displayPath, indexPath, 0}, entryFolders_);
  if (entry.IsFolder()) Walk(partition, entry, entryFolders_, 1, displayPath, indexPath);
  entryFolders_.resize(1);
}

// folders[d]: where entries at depth d go; dir's children are at depth.
void TreeRecovery::Walk(TPartition& partition, TDirectoryEntry& dir, std::vector<OutputFolder>& folders, int depth,
                        const std::string& displayPath, const std::string& indexPath) {
  TreeWalk walk(
      true,
      [&](const WalkItem& item) {
        Visit(WalkItem{item.entry, item.displayPath, item.indexPath, item.depth + depth}, folders);
      },
      [this](const std::string& text) { Problem(text); }, events_.caption);
  if (events_.keepChildrenRead) walk.KeepChildrenRead();
  walk.WalkChildren(partition, dir, displayPath, indexPath);
  totals_.cutDirectories += walk.CutDirectories();
}

int TreeRecovery::Finish() { return SyncFileSystem(folder_); }

void TreeRecovery::Visit(const WalkItem& item, std::vector<OutputFolder>& folders) {
  const size_t depth = static_cast<size_t>(item.depth);
  folders.resize(depth + 1);
  if (item.entry.IsFolder()) {
    folders.emplace_back().name = SafeFileName(item.entry.FileName());
    return;
  }
  // What the lost-and-found scan found is no more reachable on the live volume than a deleted file.
  if (deletedOnly_ && !item.entry.IsDeleted() && item.entry.Origin() == EntryOrigin::kLive) return;
  if (events_.stop && events_.stop()) return;
  if (!Made(folders, depth)) {
    ++totals_.failures;
    return;
  }
  OutputFolder& folder = folders[depth];
  ByteSink* copy = events_.copy ? events_.copy(item) : nullptr;
  const SaveResult result =
      SaveEntryAsNewFile(item.entry, folder.path, folder.taken, RecordedName(item.entry), copy);
  if (result.outcome == SaveOutcome::kSaved) {
    ++totals_.saved;
    totals_.bytes += result.bytes;
    if (Incomplete(result)) ++totals_.incomplete;
  } else {
    ++totals_.failures;
  }
  if (events_.fileDone) events_.fileDone(item, result);
}

// Makes folders[depth] and those above it that are not made yet; false, said once, when one
// cannot be made.
bool TreeRecovery::Made(std::vector<OutputFolder>& folders, size_t depth) {
  OutputFolder& folder = folders[depth];
  if (!folder.path.empty() || folder.failed) return !folder.failed;
  if (depth == 0) {
    const std::string problem = MakeFolders(folder.name);
    folder.failed = !problem.empty();
    if (folder.failed) Problem(problem);
    else folder.path = folder.name;
  } else {
    folder.failed = !Made(folders, depth - 1) || !MakeNumberedFolder(folders[depth - 1], folder);
  }
  return !folder.failed;
}

// Makes folder in parent under the first name not used there yet. A folder that a run before
// this one made is used again, so its files stay and those saved now are numbered beside
// them; a file, or a link, in the way is passed over like a used name.
bool TreeRecovery::MakeNumberedFolder(OutputFolder& parent, OutputFolder& folder) {
  constexpr uint32_t kMaxNamesTurnedDown = 1u << 24;  // an end for a file system that has every name
  for (uint32_t turnedDown = 0; turnedDown < kMaxNamesTurnedDown; ++turnedDown) {
    const std::string name = parent.taken.FirstFree(folder.name);
    const std::string path = parent.path + "/" + name;
    const bool made = ::mkdir(path.c_str(), 0777) == 0;
    if (!made && errno != EEXIST) {
      Problem("cannot make the folder " + path + ": " + SystemErrorText(errno));
      return false;
    }
    parent.taken.Take(name);
    struct stat info {};
    if (made || (::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))) {
      folder.path = path;
      return true;
    }
  }
  Problem("cannot make the folder " + parent.path + "/" + folder.name + ": every name is taken");
  return false;
}
