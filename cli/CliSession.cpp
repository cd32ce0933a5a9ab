#include "cli/CliSession.h"

#include "fs/Source.h"

void PrintError(const std::string& message) { std::fprintf(stderr, "brindle-cli: %s\n", message.c_str()); }

namespace {

// Message texts are written for a box; on one line the break becomes a blank.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n') c = ' ';
  }
  return text;
}

}  // namespace

int CliMessageBox::Show(const std::string& text, const std::string& /*caption*/, unsigned flags) {
  switch (flags) {
    case kMbAbortRetryIgnoreWarning: {
      ++readErrors;
      const bool abort = options_.onReadError == ReadErrorAnswer::kAbort;
      PrintError(OneLine(text) + (abort ? " (aborted)" : " (ignored: unreadable sectors read as zeros)"));
      return abort ? kIdAbort : kIdIgnore;
    }
    case kMbYesNoQuestion:
      if (options_.force) return kIdYes;
      ++declinedReplacements;
      PrintError(OneLine(text) + " Not replaced: use --force to replace it.");
      return kIdNo;
    default:
      PrintError(OneLine(text));
      return kIdOk;
  }
}

CliSession::CliSession(const CliOptions& options)
    : options_(options), messages_(options), messageGuard_(messages_) {}

int CliSession::Open(const std::string& source) {
  const SourceChoice choice = SourceFromPath(source, options_.sectorSize);
  if (!OpenSource(reader_, choice)) {
    if (choice.isDevice) PrintError("Cannot read " + source + ".");  // a drive without a medium says nothing else
    return kExitSource;
  }
  DiscoverPartitions(&readerRef_, partitions_);
  if (!partitions_.empty()) return kExitSuccess;
  PrintError(kNoPartitionsMessage);
  if (const std::string hint = DescribeUnreadTable(&readerRef_); !hint.empty()) PrintError(hint);
  return kExitSource;
}
