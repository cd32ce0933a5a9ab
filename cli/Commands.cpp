#include "cli/Commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <nlohmann/json.hpp>

#include "browser/SaveEntry.h"
#include "cli/EntryPath.h"
#include "cli/Names.h"
#include "device/SystemError.h"

namespace {

// A time as listings show it when the node keeps no text for it (a folder's): date, time and
// hundredths; "" where the medium records none.
std::string TimeText(const std::optional<RecordedTime>& time) {
  if (!time) return "";
  return FormatDosTimestamp(time->stamp, time->hundredths);
}

// A file's times as the window shows them; a folder's from what its entry records.
std::string ModifiedListed(const TDirectoryEntry& e) {
  return e.modifiedText.empty() ? TimeText(e.ModifiedTime()) : e.modifiedText;
}

std::string CreatedListed(const TDirectoryEntry& e) {
  return e.createdText.empty() ? TimeText(e.CreatedTime()) : e.createdText;
}

void PrintListing(const WalkItem& item, const CliOptions& options) {
  const TDirectoryEntry& e = item.entry;
  if (options.deletedOnly && !e.IsDeleted()) return;
  if (options.json) {
    std::printf("%s\n", ListingJson(item).c_str());
    return;
  }
  std::string modified = ModifiedListed(e);
  if (modified.empty()) modified = "-";
  std::printf("%-12s %-9s %10llu  %-22s  %s\n", item.indexPath.c_str(), ListedState(e),
              static_cast<unsigned long long>(e.DataLength()), modified.c_str(), item.displayPath.c_str());
}

// Opens the source and resolves the entry argument; returns an exit code, success when entry
// holds the entry.
int OpenEntry(CliSession& session, const std::string& source, const std::string& name, ResolvedEntry& entry) {
  if (const int code = session.Open(source); code != kExitSuccess) return code;
  entry = ResolveEntry(session.partitions(), name);
  if (entry.entry == nullptr) {
    PrintError(entry.error);
    return kExitNoEntry;
  }
  return kExitSuccess;
}

// The exit code once the work is done: read errors on the way make it a source error, or an
// output error for the commands whose output they spoil.
int Finish(CliSession& session, bool writesData, int code = kExitSuccess) {
  if (code == kExitSuccess && session.messages().readErrors > 0) {
    PrintError(std::to_string(session.messages().readErrors) + " read error(s) on the source");
    return writesData ? kExitOutput : kExitSource;
  }
  return code;
}

// Makes folder and the folders above it that are missing.
bool MakeFolders(const std::string& folder) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
      PrintError("cannot make the folder " + part + ": " + SystemErrorText(errno));
      return false;
    }
    if (slash == std::string::npos) break;
  }
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    PrintError("cannot make the folder " + folder + ": a file of that name is in the way");
    return false;
  }
  return true;
}

// Saves every file of the tree into a folder tree of the same shape.
class Recovery {
 public:
  Recovery(const CliOptions& options, const std::string& folder)
      : options_(options), folder_(folder), showProgress_(::isatty(STDERR_FILENO) == 1) {}

  void RecoverPartition(TPartition& partition, int number) {
    if (!partition.rootEntry) return;
    std::vector<OutputFolder> folders(1);  // folders[d]: where entries at depth d go
    folders[0].name = folder_ + "/partition-" + std::to_string(number);
    TreeWalk walk(true, [&](const WalkItem& item) { Visit(item, folders); });
    walk.WalkChildren(partition, *partition.rootEntry, std::to_string(number) + ":/", std::to_string(number) + "#");
    cutDirectories_ += walk.CutDirectories();
  }

  int CutDirectories() const { return cutDirectories_; }

  int Finish() {
    if (showProgress_) std::fprintf(stderr, "\r\033[K");
    // Files are not flushed one by one: the whole recovery goes to the disk at once.
    const int syncError = SyncFileSystem(folder_);
    if (syncError != 0) PrintError("cannot write the recovered files out to the disk: " + SystemErrorText(syncError));
    std::printf("Saved %llu files (%llu bytes); %llu failures.\n", static_cast<unsigned long long>(saved_),
                static_cast<unsigned long long>(bytes_), static_cast<unsigned long long>(failures_));
    return failures_ == 0 && syncError == 0 ? kExitSuccess : kExitOutput;
  }

 private:
  // A folder of the output on the way down the tree. It is made when the first file below it
  // is saved, so that folders without files to save leave none; under its entry's name or,
  // where this run has used that name for a file or folder already, a numbered one.
  struct OutputFolder {
    std::string name;  // the safe name of its entry; the whole path for a partition's top
    std::string path;  // where it was made; empty until then
    bool failed = false;
    TakenNames taken;  // the names used in it
  };

  void Visit(const WalkItem& item, std::vector<OutputFolder>& folders) {
    const size_t depth = static_cast<size_t>(item.depth);
    folders.resize(depth + 1);
    if (item.entry.IsFolder()) {
      folders.emplace_back().name = SafeFileName(item.entry.FileName());
      return;
    }
    if (options_.deletedOnly && !item.entry.IsDeleted()) return;
    if (!Made(folders, depth)) {
      ++failures_;
      return;
    }
    OutputFolder& folder = folders[depth];
    std::string path;
    uint64_t written = 0;
    if (SaveEntryAsNewFile(item.entry, folder.path, folder.taken, &path, &written, RecordedName(item.entry)) ==
        SaveOutcome::kSaved) {
      ++saved_;
      bytes_ += written;
    } else {
      ++failures_;
    }
    if (showProgress_) {
      std::fprintf(stderr, "\r\033[K%llu files, %llu bytes: %.60s", static_cast<unsigned long long>(saved_),
                   static_cast<unsigned long long>(bytes_), item.displayPath.c_str());
    }
  }

  // Makes folders[depth] and those above it that are not made yet; false, said once, when one
  // cannot be made.
  bool Made(std::vector<OutputFolder>& folders, size_t depth) {
    OutputFolder& folder = folders[depth];
    if (!folder.path.empty() || folder.failed) return !folder.failed;
    if (depth == 0) {
      folder.failed = !MakeFolders(folder.name);
      if (!folder.failed) folder.path = folder.name;
    } else {
      folder.failed = !Made(folders, depth - 1) || !MakeNumberedFolder(folders[depth - 1], folder);
    }
    return !folder.failed;
  }

  // Makes folder in parent under the first name not used there yet. A folder that a run before
  // this one made is used again, so its files stay and those saved now are numbered beside
  // them; a file, or a link, in the way is passed over like a used name.
  static bool MakeNumberedFolder(OutputFolder& parent, OutputFolder& folder) {
    constexpr uint32_t kMaxNamesTurnedDown = 1u << 24;  // an end for a file system that has every name
    for (uint32_t turnedDown = 0; turnedDown < kMaxNamesTurnedDown; ++turnedDown) {
      const std::string name = parent.taken.FirstFree(folder.name);
      const std::string path = parent.path + "/" + name;
      const bool made = ::mkdir(path.c_str(), 0777) == 0;
      if (!made && errno != EEXIST) {
        PrintError("cannot make the folder " + PrintableText(path) + ": " + SystemErrorText(errno));
        return false;
      }
      parent.taken.Take(name);
      struct stat info {};
      if (made || (::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))) {
        folder.path = path;
        return true;
      }
    }
    PrintError("cannot make the folder " + PrintableText(parent.path + "/" + folder.name) + ": every name is taken");
    return false;
  }

  const CliOptions& options_;
  std::string folder_;
  bool showProgress_;
  uint64_t saved_ = 0;
  uint64_t bytes_ = 0;
  uint64_t failures_ = 0;
  int cutDirectories_ = 0;
};

// errorCode when a bound cut directories short (each was named on standard error) and nothing
// worse happened; else code.
int CutCode(int cutDirectories, int errorCode, int code) {
  if (cutDirectories == 0 || code != kExitSuccess) return code;
  PrintError(std::to_string(cutDirectories) + " directory(ies) not read whole");
  return errorCode;
}

}  // namespace

std::string ListingJson(const WalkItem& item) {
  const TDirectoryEntry& e = item.entry;
  const nlohmann::ordered_json line = {
      {"index", item.indexPath},
      {"path", item.displayPath},
      {"name", e.name},
      {"state", ListedState(e)},
      {"size", e.DataLength()},
      {"modified", ModifiedListed(e)},
      {"created", CreatedListed(e)},
      {"attributes", e.attributesText},
      {"folder", e.IsFolder()},
  };
  return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

int ListPartitionsCommand(const CliOptions& options) {
  CliSession session(options);
  if (const int code = session.Open(options.arguments[0]); code != kExitSuccess) return code;
  for (const auto& partition : session.partitions()) {
    std::printf("%d: %s\n", partition->number, PrintableText(partition->GetDescription()).c_str());
  }
  return Finish(session, false);
}

int LsCommand(const CliOptions& options) {
  CliSession session(options);
  if (const int code = session.Open(options.arguments[0]); code != kExitSuccess) return code;
  TreeWalk walk(options.recursive, [&](const WalkItem& item) { PrintListing(item, options); });
  if (options.arguments.size() < 2) {
    for (const auto& partition : session.partitions()) {
      const std::string n = std::to_string(partition->number);
      if (partition->rootEntry) walk.WalkChildren(*partition, *partition->rootEntry, n + ":/", n + "#");
    }
    return Finish(session, false, CutCode(walk.CutDirectories(), kExitSource, kExitSuccess));
  }
  ResolvedEntry entry = ResolveEntry(session.partitions(), options.arguments[1]);
  if (entry.entry == nullptr) {
    PrintError(entry.error);
    return kExitNoEntry;
  }
  if (entry.entry->IsFolder()) {
    for (const auto& partition : session.partitions()) {
      if (partition->number != entry.partition) continue;
      walk.WalkChildren(*partition, *entry.entry, entry.displayPath, entry.indexPath);
      break;
    }
  } else {
    PrintListing(WalkItem{*entry.entry, entry.displayPath, entry.indexPath, 0}, options);
  }
  return Finish(session, false, CutCode(walk.CutDirectories(), kExitSource, kExitSuccess));
}

int InfoCommand(const CliOptions& options) {
  CliSession session(options);
  ResolvedEntry entry;
  if (const int code = OpenEntry(session, options.arguments[0], options.arguments[1], entry); code != kExitSuccess) {
    return code;
  }
  RecordingInfoList list;
  entry.entry->FillInfo(list);
  for (const RecordingInfoList::Row& row : list.rows) {
    std::printf("%s: %s\n", PrintableText(row.caption).c_str(), PrintableText(row.value).c_str());
  }
  return Finish(session, false);
}

int CatCommand(const CliOptions& options) {
  CliSession session(options);
  ResolvedEntry entry;
  if (const int code = OpenEntry(session, options.arguments[0], options.arguments[1], entry); code != kExitSuccess) {
    return code;
  }
  std::signal(SIGPIPE, SIG_IGN);
  FdSink out(STDOUT_FILENO);
  if (!entry.entry->StreamData(out, 0)) {
    PrintError("cannot write to standard output: " + SystemErrorText(out.error()));
    return kExitOutput;
  }
  return Finish(session, true);
}

int SaveCommand(const CliOptions& options) {
  CliSession session(options);
  ResolvedEntry entry;
  if (const int code = OpenEntry(session, options.arguments[0], options.arguments[1], entry); code != kExitSuccess) {
    return code;
  }
  std::string path;
  const SaveOutcome outcome = SaveEntry(*entry.entry, options.arguments[2], &path, nullptr, RecordedName(*entry.entry));
  if (outcome != SaveOutcome::kSaved) return kExitOutput;
  std::printf("%s\n", PrintableText(path).c_str());
  return Finish(session, true);
}

int RecoverCommand(const CliOptions& options) {
  CliSession session(options);
  if (const int code = session.Open(options.arguments[0]); code != kExitSuccess) return code;
  if (!MakeFolders(options.arguments[1])) return kExitOutput;
  Recovery recovery(options, options.arguments[1]);
  for (const auto& partition : session.partitions()) recovery.RecoverPartition(*partition, partition->number);
  return Finish(session, true, CutCode(recovery.CutDirectories(), kExitOutput, recovery.Finish()));
}
