#include "cli/Commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <nlohmann/json.hpp>
#include <optional>

#include "cli/EntryPath.h"
#include "cli/Manifest.h"
#include "cli/Names.h"
#include "device/SystemError.h"
#include "save/SaveEntry.h"
#include "save/TreeRecovery.h"
#include "scan/LostAndFound.h"

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

// How complete a file's data is; nothing for a folder, whose data is its entries (a walk says
// what it could not read of those), and whose chain a damaged volume can make as long as the
// volume, for each folder.
std::optional<DataCompleteness> ListedCompleteness(TDirectoryEntry& e) {
  if (e.IsFolder()) return std::nullopt;
  return e.Completeness();
}

void PrintListing(const WalkItem& item, const CliOptions& options) {
  TDirectoryEntry& e = item.entry;
  if (options.deletedOnly && !e.IsDeleted() && e.Origin() == EntryOrigin::kLive) return;
  if (options.json) {
    std::printf("%s\n", ListingJson(item).c_str());
    return;
  }
  std::string modified = ModifiedListed(e);
  if (modified.empty()) modified = "-";
  const std::optional<DataCompleteness> data = ListedCompleteness(e);
  std::printf("%-12s %-9s %10llu %-5s  %-22s  %s\n", item.indexPath.c_str(), ListedState(e),
              static_cast<unsigned long long>(e.DataLength()), data ? CompletenessWord(*data) : "-", modified.c_str(),
              item.displayPath.c_str());
}

// The name of a file that came out short, on standard error, with how it is short.
void SayIncomplete(const std::string& displayPath, const DataCompleteness& completeness) {
  PrintError(displayPath + ": " + CompletenessText(completeness));
}

// The exit code a read of one file that delivered what completeness says gives: an output error
// when nothing of its data could be had, kExitIncomplete when some.
int CompletenessCode(const DataCompleteness& completeness) {
  switch (completeness.kind()) {
    case DataCompleteness::Kind::kWhole: return kExitSuccess;
    case DataCompleteness::Kind::kShort: return kExitIncomplete;
    case DataCompleteness::Kind::kNone: return kExitOutput;
  }
  return kExitSuccess;
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
// output error for the commands whose output they spoil (also where files came out short for
// them).
int Finish(CliSession& session, bool writesData, int code = kExitSuccess) {
  // What the evidence file could not vouch for, found while the command read.
  const bool doubtful = session.TellMediumNotes() > 0;
  if ((code == kExitSuccess || code == kExitIncomplete) && session.faults().Count() > 0) {
    PrintError(std::to_string(session.faults().Count()) + " read error(s) on the source");
    return writesData ? kExitOutput : kExitSource;
  }
  if ((code == kExitSuccess || code == kExitIncomplete) && doubtful && writesData) return kExitOutput;
  return code;
}

// A command that shows or walks whole volumes fails with a source error when one of them was
// found damaged (its notes were said when the source was opened), unless something else
// failed.
int VolumeNotesCode(const CliSession& session, int code) {
  return code == kExitSuccess && session.HasVolumeNotes() ? kExitSource : code;
}

// Runs the lost-and-found scan of partition, with a progress line on a terminal, and says on
// standard error how many clusters it could not read. Nothing when the partition has none.
TDirectoryEntry* ScanLost(TPartition& partition) {
  auto* lost = dynamic_cast<LostAndFoundNode*>(partition.lostAndFound.get());
  if (lost == nullptr) return nullptr;
  const bool showProgress = ::isatty(STDERR_FILENO) == 1;
  if (showProgress && !lost->Scanned()) {
    const std::string n = std::to_string(partition.number);
    lost->progress = [n](uint64_t scanned, uint64_t total, uint64_t found) {
      std::fprintf(stderr, "\r\033[Kpartition %s: scanned %llu of %llu MiB, %llu found", n.c_str(),
                   static_cast<unsigned long long>(scanned >> 20), static_cast<unsigned long long>(total >> 20),
                   static_cast<unsigned long long>(found));
      return true;
    };
  }
  const bool fresh = !lost->Scanned();
  EnsureChildren(*lost);
  lost->progress = nullptr;
  if (showProgress && fresh) std::fprintf(stderr, "\r\033[K");
  if (fresh && lost->totals().unreadableClusters != 0) {
    PrintError("partition " + std::to_string(partition.number) + ": " +
               std::to_string(lost->totals().unreadableClusters) + " cluster(s) could not be read and were skipped");
  }
  return lost;
}

// Saves every file of every partition into a folder tree of the same shape, with a progress
// line on a terminal.
class RecoveryOnTerminal {
 public:
  RecoveryOnTerminal(const CliOptions& options, const std::string& folder)
      : folder_(folder),
        showProgress_(::isatty(STDERR_FILENO) == 1),
        manifest_(options.manifest ? std::make_unique<ChecksumManifest>(folder) : nullptr),
        recovery_(folder, options.deletedOnly, Events()) {}

  void RecoverPartition(TPartition& partition) { recovery_.RecoverPartition(partition); }
  // The partition's "Lost and found", into FOLDER/partition-N/Lost and found.
  void RecoverLost(TPartition& partition) {
    TDirectoryEntry* lost = ScanLost(partition);
    if (lost == nullptr) return;
    recovery_.RecoverFolder(partition, *lost, folder_ + "/partition-" + std::to_string(partition.number) + "/" + lost->name,
                            LostDisplayPath(partition), LostIndexPath(partition));
  }
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
    std::printf("Saved %llu files (%llu bytes); %llu incomplete; %llu failures.\n",
                static_cast<unsigned long long>(totals.saved), static_cast<unsigned long long>(totals.bytes),
                static_cast<unsigned long long>(totals.incomplete), static_cast<unsigned long long>(totals.failures));
    if (totals.failures != 0 || syncError != 0 || !manifestWritten) return kExitOutput;
    return totals.incomplete != 0 ? kExitIncomplete : kExitSuccess;
  }

 private:
  TreeRecovery::Events Events() {
    TreeRecovery::Events events;
    if (manifest_) events.copy = [this](const WalkItem& item) { return manifest_->Begin(item); };
    events.fileDone = [this](const WalkItem& item, const SaveResult& result) {
      if (manifest_) manifest_->Done(result);
      const bool failed = result.outcome == SaveOutcome::kFailed;
      if (showProgress_ && (failed || Incomplete(result))) std::fprintf(stderr, "\r\033[K");
      if (failed) PrintBoxText(SaveFailureText(result));
      if (Incomplete(result)) SayIncomplete(item.displayPath, result.completeness);
      if (!showProgress_) return;
      const TreeRecovery::Totals& totals = recovery_.totals();
      std::fprintf(stderr, "\r\033[K%llu files, %llu bytes: %.60s", static_cast<unsigned long long>(totals.saved),
                   static_cast<unsigned long long>(totals.bytes), item.displayPath.c_str());
    };
    events.problem = [](const std::string& text) { PrintError(text); };
    events.caption = [](const TDirectoryEntry& child) { return PrintedName(child.name); };
    return events;
  }

  std::string folder_;
  bool showProgress_;
  std::unique_ptr<ChecksumManifest> manifest_;  // with --manifest; before recovery_, whose events use it
  TreeRecovery recovery_;
};

// errorCode when a bound cut directories short (each was named on standard error) and nothing
// worse happened; else code.
int CutCode(int cutDirectories, int errorCode, int code) {
  if (cutDirectories == 0 || (code != kExitSuccess && code != kExitIncomplete)) return code;
  PrintError(std::to_string(cutDirectories) + " directory(ies) not read whole");
  return errorCode;
}

}  // namespace

int FinishCommand(CliSession& session, bool writesData, int code) { return Finish(session, writesData, code); }

std::string ListingJson(const WalkItem& item) {
  TDirectoryEntry& e = item.entry;
  nlohmann::ordered_json line = {
      {"index", item.indexPath},
      {"path", item.displayPath},
      {"name", e.name},
      {"state", ListedState(e)},
      {"size", e.DataLength()},
      {"modified", ModifiedListed(e)},
      {"created", CreatedListed(e)},
      {"attributes", e.attributesText},
      {"folder", e.IsFolder()},
      {"data", nullptr},
  };
  if (const std::optional<DataCompleteness> data = ListedCompleteness(e)) {
    line["data"] = {{"kind", CompletenessWord(*data)},
                    {"delivered", data->delivered},
                    {"expected", data->expected},
                    {"reason", ShortfallKey(data->shortfall)}};
  }
  return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

int ListPartitionsCommand(const CliOptions& options) {
  CliSession session(options);
  if (const int code = session.Open(options.arguments[0]); code != kExitSuccess) return code;
  for (const auto& partition : session.partitions()) {
    std::printf("%d: %s\n", partition->number, PrintableText(partition->GetDescription()).c_str());
  }
  return VolumeNotesCode(session, Finish(session, false));
}

int LsCommand(const CliOptions& options) {
  if (options.bodyfile || options.csv) return ListReportCommand(options);
  CliSession session(options);
  if (const int code = session.Open(options.arguments[0]); code != kExitSuccess) return code;
  TreeWalk walk(
      options.recursive, [&](const WalkItem& item) { PrintListing(item, options); }, PrintError,
      [](const TDirectoryEntry& child) { return PrintedName(child.name); });
  if (options.arguments.size() < 2) {
    for (const auto& partition : session.partitions()) {
      const std::string n = std::to_string(partition->number);
      const bool tree = !options.lost || options.deletedOnly;
      if (tree && partition->rootEntry) walk.WalkChildren(*partition, *partition->rootEntry, n + ":/", n + "#");
      if (!options.lost) continue;
      if (TDirectoryEntry* lost = ScanLost(*partition)) {
        walk.WalkChildren(*partition, *lost, LostDisplayPath(*partition), LostIndexPath(*partition));
      }
    }
    return VolumeNotesCode(session, Finish(session, false, CutCode(walk.CutDirectories(), kExitSource, kExitSuccess)));
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
  return VolumeNotesCode(session, Finish(session, false, CutCode(walk.CutDirectories(), kExitSource, kExitSuccess)));
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
  DataCompleteness found;
  if (!entry.entry->StreamChecked(out, 0, found)) {
    PrintError("cannot write to standard output: " + SystemErrorText(out.error()));
    return kExitOutput;
  }
  if (!found.whole()) SayIncomplete(entry.displayPath, found);
  return Finish(session, true, CompletenessCode(found));
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
  if (Incomplete(result)) SayIncomplete(entry.displayPath, result.completeness);
  return Finish(session, true, CompletenessCode(result.completeness));
}

int RecoverCommand(const CliOptions& options) {
  CliSession session(options);
  if (const int code = session.Open(options.arguments[0]); code != kExitSuccess) return code;
  if (const std::string problem = MakeFolders(options.arguments[1]); !problem.empty()) {
    PrintError(problem);
    return kExitOutput;
  }
  RecoveryOnTerminal recovery(options, options.arguments[1]);
  for (const auto& partition : session.partitions()) {
    if (!options.lost || options.deletedOnly) recovery.RecoverPartition(*partition);
    if (options.lost) recovery.RecoverLost(*partition);
  }
  return VolumeNotesCode(session,
                         Finish(session, true, CutCode(recovery.CutDirectories(), kExitOutput, recovery.Finish())));
}
