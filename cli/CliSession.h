#pragma once
// What every command of brindle-cli shares: the options, the opened source with its
// partitions, and a message-box service that writes to standard error and answers the
// reader's questions from the options.

#include <cstdio>
#include <string>
#include <vector>

#include "device/SectorReader.h"
#include "fs/Discovery.h"
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
  // code other than success after saying why on standard error.
  int Open(const std::string& source);

  PartitionList& partitions() { return partitions_; }
  CliMessageBox& messages() { return messages_; }
  TSectorReader& reader() { return reader_; }

 private:
  const CliOptions& options_;
  CliMessageBox messages_;
  ScopedMessageBoxService messageGuard_;
  TSectorReader reader_;
  ReaderRef readerRef_{&reader_};
  PartitionList partitions_;
};

// Prints "brindle-cli: " and the message to standard error.
void PrintError(const std::string& message);
