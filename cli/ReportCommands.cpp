// The commands that write reports: `ls --bodyfile`, `ls --csv` and `report --dfxml`.

#include <algorithm>

#include "cli/Commands.h"
#include "cli/EntryPath.h"
#include "cli/Names.h"
#include "cli/Reports.h"

namespace {

// The walk of a listing, over every partition or below the entry named, visiting each item
// with the partition it lies in and naming it in display paths as caption does; an exit
// code, not success when the entry cannot be found.
int WalkListed(CliSession& session, const CliOptions& options, const TreeWalk::Caption& caption,
               const std::function<void(TPartition&, const WalkItem&)>& visit, int& cutDirectories) {
  TPartition* current = nullptr;
  TreeWalk walk(
      options.recursive, [&](const WalkItem& item) { visit(*current, item); }, PrintError, caption);
  if (options.arguments.size() < 2) {
    for (const auto& partition : session.partitions()) {
      const std::string n = std::to_string(partition->number);
      current = partition.get();
      if (partition->rootEntry) walk.WalkChildren(*partition, *partition->rootEntry, n + ":/", n + "#");
    }
    cutDirectories = walk.CutDirectories();
    return kExitSuccess;
  }
  ResolvedEntry entry = ResolveEntry(session.partitions(), options.arguments[1]);
  if (entry.entry == nullptr) {
    PrintError(entry.error);
    return kExitNoEntry;
  }
  for (const auto& partition : session.partitions()) {
    if (partition->number != entry.partition) continue;
    current = partition.get();
    if (entry.entry->IsFolder()) walk.WalkChildren(*partition, *entry.entry, entry.displayPath, entry.indexPath);
    else visit(*partition, WalkItem{*entry.entry, entry.displayPath, entry.indexPath, 0});
  }
  cutDirectories = walk.CutDirectories();
  return kExitSuccess;
}

std::vector<HashAlgorithm> AlgorithmsOf(const CliOptions& options) {
  std::vector<HashAlgorithm> algorithms;
  for (const std::string& name : options.algorithms) {
    const std::optional<HashAlgorithm> algorithm = HashFromName(name);
    if (algorithm && std::find(algorithms.begin(), algorithms.end(), *algorithm) == algorithms.end()) {
      algorithms.push_back(*algorithm);
    }
  }
  return algorithms;
}

}  // namespace

std::vector<HashAlgorithm> ChosenAlgorithms(const CliOptions& options) {
  std::vector<HashAlgorithm> algorithms = AlgorithmsOf(options);
  if (algorithms.empty()) algorithms.assign(std::begin(kAllHashes), std::end(kAllHashes));
  return algorithms;
}

int ListReportCommand(const CliOptions& options) {
  if (options.bodyfile + options.csv + options.json > 1) {
    PrintError("--bodyfile, --csv and --json do not go together");
    return kExitUsage;
  }
  CliSession session(options);
  if (const int code = session.Open(options.arguments[0]); code != kExitSuccess) return code;
  if (options.csv) std::fputs(CsvHeader().c_str(), stdout);
  ReportPaths paths;
  int cut = 0;
  // A body file names entries as fls does, by their names on the medium (the long name of a
  // FAT file alone); the table by their captions, as ls does.
  const TreeWalk::Caption caption = options.csv ? TreeWalk::Caption([](const TDirectoryEntry& child) {
    return PrintableText(child.name);
  })
                                                : TreeWalk::Caption([](const TDirectoryEntry& child) { return child.FileName(); });
  const int code = WalkListed(
      session, options, caption,
      [&](TPartition&, const WalkItem& item) {
        if (options.deletedOnly && !item.entry.IsDeleted()) return;
        const std::string line =
            options.csv ? CsvLine(item) : BodyFileLine(item, paths.PathOf(item), ReportedSize(item.entry));
        std::fputs(line.c_str(), stdout);
      },
      cut);
  if (code != kExitSuccess) return code;
  if (cut > 0) PrintError(std::to_string(cut) + " directory(ies) not read whole");
  return FinishCommand(session, false, cut > 0 ? kExitSource : kExitSuccess);
}

int ReportCommand(const CliOptions& options) {
  if (!options.dfxml) {
    PrintError("report needs --dfxml, the one report it writes");
    return kExitUsage;
  }
  CliSession session(options);
  if (const int code = session.Open(options.arguments[0]); code != kExitSuccess) return code;
  const TSectorReader& reader = session.reader();
  const uint32_t sectorSize = reader.bytesPerSector();
  DfxmlWriter dfxml(stdout, AlgorithmsOf(options));
  const SourceMedium* medium = reader.medium();
  dfxml.BeginSource(options.arguments[0], medium != nullptr ? medium->Size() : 0, sectorSize,
                    medium != nullptr ? medium->Description() : "");
  int cut = 0;
  for (const auto& partition : session.partitions()) {
    if (!partition->rootEntry) continue;
    dfxml.BeginVolume(*partition, sectorSize);
    ReportPaths paths;
    const uint64_t volumeOffset = uint64_t{partition->firstSector} * sectorSize;
    TreeWalk walk(
        true, [&](const WalkItem& item) { dfxml.FileObject(item, paths.PathOf(item), sectorSize, volumeOffset); },
        PrintError, [](const TDirectoryEntry& child) { return child.FileName(); });
    const std::string n = std::to_string(partition->number);
    walk.WalkChildren(*partition, *partition->rootEntry, n + ":/", n + "#");
    cut += walk.CutDirectories();
    dfxml.EndVolume();
  }
  dfxml.End();
  if (cut > 0) PrintError(std::to_string(cut) + " directory(ies) not read whole");
  return FinishCommand(session, false, cut > 0 ? kExitSource : kExitSuccess);
}
