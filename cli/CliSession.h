#pragma once
// What every command of brindle-cli shares: the options, the opened source with its
// partitions, and a message-box service that writes to standard error and answers the
// reader's questions from the options.

#include <cstdio>
#include <string>
#include <vector>

#include "device/SectorReader.h"
#include "fs/Discovery.h"
#include "fs/Source.h"
#include "platform/MessageBox.h"

// Exit codes, as --help lists them.
enum ExitCode : int {
  kExitSuccess = 0,
  kExitUsage = 2,
  kExitSource = 3,     // the source cannot be opened or read, or holds no partition we read
  kExitNoEntry = 4,    // the entry named does not exist or is ambiguous
  kExitOutput = 5,     // output could not be written completely, or a save was declined
};

enum class ReadErrorAnswer { kAbort, kIgnore };

struct CliOptions {
  std::string command;  // empty: list the partitions
  std::vector<std::string> arguments;
  std::string sectorSize = "512";
  bool sectorSizeGiven = false;  // --sector-size was given: it is obeyed, whatever boot sectors say
  std::string codePage = "437";  // --codepage: the OEM code page of 8.3 names and FAT labels
  ReadErrorAnswer onReadError = ReadErrorAnswer::kIgnore;
  bool recursive = false;
  bool deletedOnly = false;
  bool json = false;
  bool force = false;
};

// Writes every message to standard error as "brindle-cli: text" and answers questions from
// the options: a read error with Abort or Ignore, replacing a file with Yes only under --force.
class CliMessageBox final : public MessageBoxService {
 public:
  explicit CliMessageBox(const CliOptions& options) : options_(options) {}
  int Show(const std::string& text, const std::string& caption, unsigned flags) override;
  int readErrors = 0;
  int declinedReplacements = 0;

 private:
  const CliOptions& options_;
};

// The source opened read-only and the partitions found on it.
class CliSession {
 public:
  explicit CliSession(const CliOptions& options);
  // Opens the source (a block device or an image file) and runs discovery; returns an exit
  // code other than success after saying why on standard error. An image opened without
  // --sector-size on which no partition agrees with 512-byte sectors is opened again with the
  // other sizes a boot sector can state, and the first that finds one that agrees is kept and
  // named on standard error. A partition whose boot sector states another size than the one
  // the source is read with is named there too.
  int Open(const std::string& source);

  PartitionList& partitions() { return partitions_; }
  CliMessageBox& messages() { return messages_; }
  TSectorReader& reader() { return reader_; }

 private:
  // Opens the source with the chosen sector size and runs discovery; false when it cannot be opened.
  bool Discover(const SourceChoice& choice);
  bool AnyAgreesWithSectorSize() const;
  void TryStatedSectorSizes(SourceChoice choice);
  void NoteDisagreements(bool imageFile) const;

  const CliOptions& options_;
  CliMessageBox messages_;
  ScopedMessageBoxService messageGuard_;
  TSectorReader reader_;
  ReaderRef readerRef_{&reader_};
  PartitionList partitions_;
};

// Prints "brindle-cli: " and the message to standard error, fit for a terminal (see
// PrintableMessage): names in it are to be made printable by the caller.
void PrintError(const std::string& message);
