// `brindle-cli hash`: MD5, SHA-1 and SHA-256 of entries, of every file below a folder, or of
// the whole source, in coreutils' formats: "HASH  NAME" for one algorithm, the --tag form
// "SHA256 (NAME) = HASH" for several.

#include "cli/Commands.h"
#include "cli/EntryPath.h"
#include "cli/Names.h"
#include "hash/Hashing.h"

namespace {

void PrintHashes(const std::vector<Digest>& digests, const std::string& name) {
  const std::string printable = PrintableText(name);
  for (const Digest& digest : digests) {
    if (digests.size() == 1) std::printf("%s  %s\n", digest.hex.c_str(), printable.c_str());
    else std::printf("%s (%s) = %s\n", HashTag(digest.algorithm), printable.c_str(), digest.hex.c_str());
  }
}

// The source's hashes, and whether they agree with those its evidence file records.
int HashWholeSource(CliSession& session, const CliOptions& options, const std::vector<HashAlgorithm>& algorithms) {
  const Hashes hashes = HashSource(session.reader(), algorithms);
  PrintHashes(hashes.digests, options.arguments[0]);
  const SourceMedium* medium = session.reader().medium();
  int code = kExitSuccess;
  if (medium != nullptr) {
    const uint64_t left = medium->Size() - hashes.bytes;
    if (left > 0) PrintError("the last " + std::to_string(left) + " bytes, less than a sector, are not hashed");
    const std::map<std::string, std::string> recorded = medium->RecordedHashes();
    for (const Digest& digest : hashes.digests) {
      const auto found = recorded.find(HashName(digest.algorithm));
      if (found == recorded.end()) continue;
      const bool same = found->second == digest.hex;
      const std::string text = std::string(HashTag(digest.algorithm)) + " recorded in the evidence file: " +
                               found->second + (same ? " (matches)" : " (does NOT match)");
      if (same) std::printf("%s\n", text.c_str());
      else PrintError(text);
      if (!same) code = kExitSource;
    }
  }
  return FinishCommand(session, false, code);
}

}  // namespace

int HashCommand(const CliOptions& options) {
  const std::vector<HashAlgorithm> algorithms = ChosenAlgorithms(options);
  CliSession session(options);
  if (const int code = session.Open(options.arguments[0]); code != kExitSuccess) return code;
  if (options.wholeSource) {
    if (options.arguments.size() > 1) {
      PrintError("hash --source takes no ENTRY");
      return kExitUsage;
    }
    return HashWholeSource(session, options, algorithms);
  }
  if (options.arguments.size() < 2) {
    PrintError("name the entries to hash, or --source for the whole source");
    return kExitUsage;
  }
  int code = kExitSuccess;
  TreeWalk walk(
      true,
      [&](const WalkItem& item) {
        if (!item.entry.IsFolder()) PrintHashes(HashEntry(item.entry, algorithms).digests, item.displayPath);
      },
      PrintError, [](const TDirectoryEntry& child) { return child.name; });
  for (size_t i = 1; i < options.arguments.size(); ++i) {
    ResolvedEntry entry = ResolveEntry(session.partitions(), options.arguments[i]);
    if (entry.entry == nullptr) {
      PrintError(entry.error);
      code = kExitNoEntry;
      continue;
    }
    if (!entry.entry->IsFolder()) {
      PrintHashes(HashEntry(*entry.entry, algorithms).digests, entry.displayPath);
      continue;
    }
    for (const auto& partition : session.partitions()) {
      if (partition->number == entry.partition) {
        walk.WalkChildren(*partition, *entry.entry, entry.displayPath, entry.indexPath);
      }
    }
  }
  if (code == kExitSuccess && walk.CutDirectories() > 0) code = kExitSource;
  return FinishCommand(session, false, code);
}
