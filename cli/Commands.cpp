#include "cli/Commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <nlohmann/json.hpp>

#include "cli/EntryPath.h"
#include "cli/Manifest.h"
#include "cli/Names.h"
#include "device/SystemError.h"
#include "save/SaveEntry.h"
#include "save/TreeRecovery.h"

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
  // What the evidence file could not vouch for, found while the command read.
  const bool doubtful = session.TellMediumNotes() > 0;
  if (code == kExitSuccess && session.faults().Count() > 0) {
    PrintError(std::to_string(session.faults().Count()) + " read error(s) on the source");
    return writesData ? kExitOutput : kExitSource;
  }
  if (code == kExitSuccess && doubtful && writesData) return kExitOutput;
  return code;
}

// Saves every file of every partition into a folder tree of the same shape, with a progress
// line on a terminal.
class RecoveryOnTerminal {
 public:
  RecoveryOnTerminal(const CliOptions& options, const std::string& folder)
      : showProgress_(::isatty(STDERR_FILENO) == 1),
        manifest_(options.manifest ? std::make_unique<ChecksumManifest>(folder) : nullptr),
        recovery_(folder, options.deletedOnly, Events()) {}

  void RecoverPartition(TPartition& partition) { recovery_.RecoverPartition(partition); }
  int CutDirectories() const { return recovery_.totals().cutDirectories; }

  int Finish() {
    if (showProgress_) std::fprintf(stderr, "\r\033[K");
    // Files are not flushed one by one: the whole recovery goes to the disk at once.
    const int syncError = recovery_.Finish();
    if (syncError != 0) PrintError("cannot write the recovered files out to the disk: " + SystemErrorText(syncError));
    bool manifestWritten = true;
    if (manifest_) {
      std::string pathOrReason;
      manifestWritten = manifest_->Finish(pathOrReason);
      if (manifestWritten) std::printf("SHA-256 of every file saved: %s\n", PrintableText(pathOrReason).c_str());
      else PrintError(pathOrReason);
    }
    const TreeRecovery::Totals& totals = recovery_.totals();
    std::printf("Saved %llu files (%llu bytes); %llu failures.\n", static_cast<unsigned long long>(totals.saved),
                static_cast<unsigned long long>(totals.bytes), static_cast<unsigned long long>(totals.failures));
    return totals.failures == 0 && syncError == 0 && manifestWritten ? kExitSuccess : kExitOutput;
  }

 private:
  TreeRecovery::Events Events() {
    TreeRecovery::Events events;
    if (manifest_) events.copy = [this](const WalkItem& item) { return manifest_->Begin(item); };
    events.fileDone = [this](const WalkItem& item, const SaveResult& result) {
      if (manifest_) manifest_->Done(result);
      if (result.outcome == SaveOutcome::kFailed) PrintBoxText(SaveFailureText(result));
      if (!showProgress_) return;
      const TreeRecovery::Totals& totals = recovery_.totals();
      std::fprintf(stderr, "\r\033[K%llu files, %llu bytes: %.60s", static_cast<unsigned long long>(totals.saved),
                   static_cast<unsigned long long>(totals.bytes), item.displayPath.c_str());
    };
    events.problem = [](const std::string& text) { PrintError(text); };
    events.caption = [](const TDirectoryEntry& child) { return PrintableText(child.name); };
    return events;
  }

  bool showProgress_;
  std::unique_ptr<ChecksumManifest> manifest_;  // with --manifest; before recovery_, whose events use it
  TreeRecovery recovery_;
};

// errorCode when a bound cut directories short (each was named on standard error) and nothing
// worse happened; else code.
int CutCode(int cutDirectories, int errorCode, int code) {
  if (cutDirectories == 0 || code != kExitSuccess) return code;
  PrintError(std::to_string(cutDirectories) + " directory(ies) not read whole");
  return errorCode;
}

}  // namespace

int FinishCommand(CliSession& session, bool writesData, int code) { return Finish(session, writesData, code); }

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
  if (options.bodyfile || options.csv) return ListReportCommand(options);
  CliSession session(options);
  if (const int code = session.Open(options.arguments[0]); code != kExitSuccess) return code;
  TreeWalk walk(
      options.recursive, [&](const WalkItem& item) { PrintListing(item, options); }, PrintError,
      [](const TDirectoryEntry& child) { return PrintableText(child.name); });
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
  SaveOptions save;
  save.as = RecordedName(*entry.entry);
  save.replace = [&options](const std::string& path) {
    if (!options.force) PrintBoxText(ReplaceQuestion(path) + " Not replaced: use --force to replace it.");
    return options.force;
  };
  const SaveResult result = SaveEntry(*entry.entry, options.arguments[2], save);
  if (result.outcome == SaveOutcome::kFailed) PrintBoxText(SaveFailureText(result));
  if (result.outcome != SaveOutcome::kSaved) return kExitOutput;
  std::printf("%s\n", PrintableText(result.path).c_str());
  return Finish(session, true);
}

int RecoverCommand(const CliOptions& options) {
  CliSession session(options);
  if (const int code = session.Open(options.arguments[0]); code != kExitSuccess) return code;
  if (const std::string problem = MakeFolders(options.arguments[1]); !problem.empty()) {
    PrintError(problem);
    return kExitOutput;
  }
  RecoveryOnTerminal recovery(options, options.arguments[1]);
  for (const auto& partition : session.partitions()) recovery.RecoverPartition(*partition);
  return Finish(session, true, CutCode(recovery.CutDirectories(), kExitOutput, recovery.Finish()));
}
