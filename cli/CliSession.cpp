#include "cli/CliSession.h"

#include <unistd.h>

#include <algorithm>
#include <optional>

#include "cli/Names.h"
#include "scan/LostAndFound.h"

void PrintError(const std::string& message) {
  std::fprintf(stderr, "brindle-cli: %s\n", PrintableMessage(message, true).c_str());
}

// A line break between the first and the last double quote lies in a quoted name ("The file
// "..." could not be saved") and is escaped with the name's other control characters.
void PrintBoxText(const std::string& message) {
  std::string text = message;
  const size_t firstQuote = text.find('"');
  const size_t lastQuote = text.rfind('"');
  for (size_t i = 0; i < text.size(); ++i) {
    const bool quoted = firstQuote != std::string::npos && firstQuote < i && i < lastQuote;
    if (text[i] == '\n' && !quoted) text[i] = ' ';
  }
  std::fprintf(stderr, "brindle-cli: %s\n", PrintableText(text).c_str());
}

FaultAnswer CliFaultPolicy::Decide(const ReadFault& fault) {
  const bool abort = answer_ == FaultAnswer::kAbort;
  PrintBoxText(ReadFaultText(fault) + (abort ? " (aborted)" : " (ignored: unreadable sectors read as zeros)"));
  return answer_;
}

CliSession::CliSession(const CliOptions& options, PlatformRead platformRead)
    : options_(options), policy_(options.onReadError), platformRead_(std::move(platformRead)) {}

int CliSession::Open(const std::string& path) {
  SourceChoice choice = SourceFromPath(path, options_.sectorSize);
  choice.sectorSizeFixed = options_.sectorSizeGiven;
  choice.codePage = options_.codePage;
  OpenSettings settings;
  settings.faultPolicy = &policy_;
  settings.faultLog = &faults_;
  settings.platformRead = platformRead_;
  OpenFailure failure;
  source_ = OpenedSource::Open(choice, settings, failure);
  if (!source_) {
    if (!failure.text.empty()) PrintBoxText(failure.text);
    else if (choice.isDevice) PrintError("Cannot read " + path + ".");  // a drive without a medium says nothing else
    return kExitSource;
  }
  TellMediumNotes();
  if (!options_.search.empty()) {
    Search(options_.search == "deep" ? SearchDepth::kEverySector : SearchDepth::kBoundaries);
  } else if (source_->partitions().empty()) {
    PrintError("The partition tables lead to no FAT or exFAT volume: searching the source for lost volumes.");
    Search(SearchDepth::kBoundaries);
  }
  if (source_->partitions().empty()) {
    const std::string message = source_->NoPartitionsMessage();
    for (size_t start = 0; start <= message.size();) {
      const size_t end = std::min(message.find('\n', start), message.size());
      PrintError(message.substr(start, end - start));
      start = end + 1;
    }
    return kExitSource;
  }
  for (const std::string& note : source_->Notes("--sector-size ")) PrintError(note);
  // Scanned only when a command opens it.
  for (const auto& partition : source_->partitions()) AddLostAndFound(*partition);
  return kExitSuccess;
}

// On a terminal, how far the search has come is shown on standard error as it goes.
void CliSession::Search(SearchDepth depth) {
  const bool showProgress = ::isatty(STDERR_FILENO) == 1;
  int shown = -1;
  const size_t found = source_->SearchLostVolumes(depth, [&](uint64_t done, uint64_t total) {
    const int percent = total != 0 ? static_cast<int>(done * 100 / total) : 100;
    if (showProgress && percent != shown) std::fprintf(stderr, "\r\033[KSearching for lost volumes: %d%%", shown = percent);
    return true;
  });
  if (showProgress) std::fprintf(stderr, "\r\033[K");
  PrintError("The search found " + std::to_string(found) + " lost volume(s).");
}

size_t CliSession::TellMediumNotes() {
  const SourceMedium* medium = source_ ? source_->reader().medium() : nullptr;
  if (medium == nullptr) return 0;
  const std::vector<std::string> notes = medium->Notes();
  const size_t before = notesTold_;
  for (; notesTold_ < notes.size(); ++notesTold_) PrintBoxText(notes[notesTold_]);
  return notesTold_ - before;
}
