#include "cli/CliSession.h"

#include <algorithm>
#include <optional>

#include "cli/Names.h"
#include "fs/OemCodePage.h"

void PrintError(const std::string& message) {
  std::fprintf(stderr, "brindle-cli: %s\n", PrintableMessage(message, true).c_str());
}

namespace {

// A message written for a box, on one line: the box's own line breaks become blanks. A line
// break between the first and the last double quote lies in a quoted name ("The file "..."
// could not be saved") and is escaped with the name's other control characters.
void PrintBoxText(std::string text) {
  const size_t firstQuote = text.find('"');
  const size_t lastQuote = text.rfind('"');
  for (size_t i = 0; i < text.size(); ++i) {
    const bool quoted = firstQuote != std::string::npos && firstQuote < i && i < lastQuote;
    if (text[i] == '\n' && !quoted) text[i] = ' ';
  }
  std::fprintf(stderr, "brindle-cli: %s\n", PrintableText(text).c_str());
}

// The sector sizes a FAT or exFAT boot sector can state.
constexpr uint32_t kStatableSectorSizes[] = {512, 1024, 2048, 4096};

bool IsStatableSectorSize(uint32_t size) {
  return std::find(std::begin(kStatableSectorSizes), std::end(kStatableSectorSizes), size) !=
         std::end(kStatableSectorSizes);
}

}  // namespace

int CliMessageBox::Show(const std::string& text, const std::string& /*caption*/, unsigned flags) {
  switch (flags) {
    case kMbAbortRetryIgnoreWarning: {
      ++readErrors;
      const bool abort = options_.onReadError == ReadErrorAnswer::kAbort;
      PrintBoxText(text + (abort ? " (aborted)" : " (ignored: unreadable sectors read as zeros)"));
      return abort ? kIdAbort : kIdIgnore;
    }
    case kMbYesNoQuestion:
      if (options_.force) return kIdYes;
      ++declinedReplacements;
      PrintBoxText(text + " Not replaced: use --force to replace it.");
      return kIdNo;
    default:
      PrintBoxText(text);
      return kIdOk;
  }
}

CliSession::CliSession(const CliOptions& options)
    : options_(options), messages_(options), messageGuard_(messages_) {}

int CliSession::Open(const std::string& source) {
  SourceChoice choice = SourceFromPath(source, options_.sectorSize);
  choice.codePage = options_.codePage;
  if (!Discover(choice)) {
    if (choice.isDevice) PrintError("Cannot read " + source + ".");  // a drive without a medium says nothing else
    return kExitSource;
  }
  // A block device knows its own sector size; an image file has only the user's word or ours.
  if (!choice.isDevice && !options_.sectorSizeGiven && !AnyAgreesWithSectorSize()) TryStatedSectorSizes(choice);
  if (partitions_.empty()) {
    PrintError(kNoPartitionsMessage);
    if (const std::string hint = DescribeUnreadTable(&readerRef_); !hint.empty()) PrintError(hint);
    return kExitSource;
  }
  NoteDisagreements(!choice.isDevice);
  return kExitSuccess;
}

bool CliSession::Discover(const SourceChoice& choice) {
  partitions_.clear();
  std::string unusable;
  const std::optional<OemCodePage> codePage = OemCodePage::FromName(choice.codePage, unusable);
  if (!codePage) {
    PrintError(unusable);
    return false;
  }
  if (!OpenSource(reader_, choice)) return false;
  DiscoverPartitions(&readerRef_, partitions_, *codePage);
  return true;
}

bool CliSession::AnyAgreesWithSectorSize() const {
  return std::any_of(partitions_.begin(), partitions_.end(), [&](const auto& partition) {
    return partition->StatedSectorSize() == reader_.bytesPerSector();
  });
}

// The sizes the partitions found state come first; the others follow, for tables whose entries
// count sectors of another size and so lead to no boot sector at all. A size is kept only
// when a boot sector found with it states it, so a stray match cannot win. Nothing kept, the
// source is read as it was first.
void CliSession::TryStatedSectorSizes(SourceChoice choice) {
  const uint32_t first = reader_.bytesPerSector();
  std::vector<uint32_t> sizes;
  for (const auto& partition : partitions_) sizes.push_back(partition->StatedSectorSize());
  sizes.insert(sizes.end(), std::begin(kStatableSectorSizes), std::end(kStatableSectorSizes));
  std::vector<uint32_t> tried{first};
  for (const uint32_t size : sizes) {
    if (!IsStatableSectorSize(size) || std::find(tried.begin(), tried.end(), size) != tried.end()) continue;
    tried.push_back(size);
    choice.sectorSizeText = std::to_string(size);
    if (!Discover(choice)) break;
    if (AnyAgreesWithSectorSize()) {
      PrintError("The volume uses " + choice.sectorSizeText + "-byte sectors; reading it with that size.");
      return;
    }
  }
  choice.sectorSizeText = std::to_string(first);
  Discover(choice);
}

void CliSession::NoteDisagreements(bool imageFile) const {
  const uint32_t inUse = reader_.bytesPerSector();
  for (const auto& partition : partitions_) {
    const uint32_t stated = partition->StatedSectorSize();
    if (stated == inUse || !IsStatableSectorSize(stated)) continue;
    const bool empty = !partition->rootEntry || partition->rootEntry->children.empty();
    PrintError("Partition " + std::to_string(partition->number) + " states " + std::to_string(stated) +
               "-byte sectors in its boot sector, but the source is read with " + std::to_string(inUse) +
               "-byte sectors: " + (empty ? "its tree cannot be read" : "its tree may be wrong") +
               (imageFile ? "; open it with --sector-size " + std::to_string(stated) + "." : "."));
  }
}
