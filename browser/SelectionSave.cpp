#include "browser/SelectionSave.h"

#include <optional>
#include <map>

#include "device/SectorReader.h"
#include "device/SystemError.h"

namespace {

std::string Plural(uint64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

SaveReport SaveItems(const std::vector<SaveItem>& items, const std::string& folder, bool deletedOnly,
                     Operation& operation) {
  SaveReport report;
  report.folder = folder;
  report.deletedOnly = deletedOnly;
  TreeRecovery::Events events;
  events.keepChildrenRead = true;
  events.stop = [&operation] { return operation.Cancelled(); };
  events.problem = [&report](const std::string& text) { report.problems.push_back(text); };
  TreeRecovery* recovery = nullptr;
  events.fileDone = [&](const WalkItem& item, const SaveResult& result) {
    if (result.outcome != SaveOutcome::kSaved) {
      report.failures.push_back(item.displayPath + ": " + (result.reason.empty() ? "not saved" : result.reason));
    } else if (Incomplete(result)) {
      report.incomplete.push_back(item.displayPath + ": " + CompletenessText(result.completeness));
    }
    const TreeRecovery::Totals& totals = recovery->totals();
    operation.SetStatus(std::to_string(totals.saved) + " files: " + item.displayPath);
    operation.Advance(totals.bytes, 0);
  };
  TreeRecovery tree(folder, deletedOnly, std::move(events));
  recovery = &tree;

  // Reads answer to the operation: its faults go to its log, its policy decides them.
  std::optional<ReadSession> session;
  for (const SaveItem& item : items) {
    if (operation.Cancelled()) break;
    if (!session && item.partition != nullptr && item.partition->readerRef != nullptr &&
        item.partition->readerRef->reader != nullptr) {
      session.emplace(*item.partition->readerRef->reader, operation.policy(), operation.faults());
    }
    if (item.entry == nullptr) tree.RecoverPartition(*item.partition);
    else tree.RecoverEntry(*item.partition, *item.entry, item.displayPath, item.indexPath);
  }
  report.syncError = tree.Finish();
  report.totals = tree.totals();
  report.cancelled = operation.Cancelled();
  // A sector stays unread unless its last fault was answered Retry (and the read then went).
  std::map<uint64_t, FaultLog::Entry> last;
  for (const FaultLog::Entry& entry : operation.faults().Entries()) last.insert_or_assign(entry.fault.sector, entry);
  for (const auto& [sector, entry] : last) {
    if (entry.answer != FaultAnswer::kRetry) report.unread.push_back(entry.fault);
  }
  return report;
}

bool EndsSilently(const SaveReport& report) {
  return report.totals.saved == 1 && report.totals.incomplete == 0 && report.failures.empty() &&
         report.problems.empty() && report.unread.empty() && !report.cancelled && report.syncError == 0;
}

std::string SummaryText(const SaveReport& report) {
  const TreeRecovery::Totals& totals = report.totals;
  std::string text = "Saved " + Plural(totals.saved, "file", "files") + " (" + Plural(totals.bytes, "byte", "bytes") +
                     ") to " + report.folder + ".";
  if (totals.saved == 0 && report.failures.empty() && !report.cancelled) {
    text += report.deletedOnly ? "\nThere were no deleted files to save." : "\nThere were no files to save.";
  }
  if (totals.incomplete != 0) text += "\n" + Plural(totals.incomplete, "file is", "files are") + " incomplete.";
  if (totals.failures != 0) text += "\n" + Plural(totals.failures, "file", "files") + " could not be saved.";
  if (!report.unread.empty()) text += "\n" + Plural(report.unread.size(), "sector", "sectors") + " could not be read.";
  if (!report.problems.empty()) text += "\n" + Plural(report.problems.size(), "folder", "folders") + " had problems.";
  if (report.syncError != 0) {
    text += "\nThe files could not be written out to the disk: " + SystemErrorText(report.syncError);
  }
  if (report.cancelled) text += "\nThe save was cancelled; the files saved until then stay.";
  return text;
}

std::string SummaryDetails(const SaveReport& report) {
  std::string details;
  const auto section = [&details](const char* title, const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    details += std::string(title) + ":\n";
    for (const std::string& line : lines) details += "  " + line + "\n";
  };
  section("Incomplete", report.incomplete);
  section("Not saved", report.failures);
  section("Folders", report.problems);
  std::vector<std::string> sectors;
  for (const ReadFault& fault : report.unread) {
    sectors.push_back("sector " + std::to_string(fault.sector) + ": " +
                      (fault.reason.empty() ? SystemErrorText(fault.error) : fault.reason));
  }
  section("Sectors not read", sectors);
  return details;
}
