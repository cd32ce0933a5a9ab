#pragma once
// What every command of brindle-cli shares: the options, the opened source with its
// partitions, and the answer to read faults that the options give.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "device/ReadFaults.h"
#include "fs/OpenedSource.h"

// Exit codes, as --help lists them.
enum ExitCode : int {
  kExitSuccess = 0,
  kExitUsage = 2,
  kExitSource = 3,     // the source cannot be opened or read, or holds no partition we read
  kExitNoEntry = 4,    // the entry named does not exist or is ambiguous
  kExitOutput = 5,     // output could not be written completely, or a save was declined
  kExitIncomplete = 6, // everything was written, but some files hold less than all of their data
};

struct CliOptions {
  std::string command;  // empty: list the partitions
  std::vector<std::string> arguments;
  std::string sectorSize = "512";
  bool sectorSizeGiven = false;  // --sector-size was given: it is obeyed, whatever boot sectors say
  std::string codePage = "437";  // --codepage: the OEM code page of 8.3 names and FAT labels
  FaultAnswer onReadError = FaultAnswer::kIgnore;
  bool recursive = false;
  bool deletedOnly = false;
  bool lost = false;  // ls, recover: the "Lost and found" of each partition
  bool json = false;
  bool force = false;
  bool bodyfile = false;     // ls: The Sleuth Kit's body file
  bool csv = false;          // ls: a table for a spreadsheet
  bool manifest = false;     // recover: SHA256SUMS beside what was saved
  bool dfxml = false;        // report: DFXML
  bool wholeSource = false;  // hash: the whole source rather than entries
  std::vector<std::string> algorithms;  // hash, report: --algorithm, in the order given
  // --search: "" when not given (the search runs when the tables lead to no volume), "shallow"
  // (the 1 MiB and track boundaries) or "deep" (every sector), over the space no table covers.
  std::string search;
};

// Answers every read fault as --on-read-error says and names it on standard error as it
// happens: "Read failed at sector N: reason (ignored: ...)".
class CliFaultPolicy final : public FaultPolicy {
 public:
  explicit CliFaultPolicy(FaultAnswer answer) : answer_(answer) {}
  FaultAnswer Decide(const ReadFault& fault) override;

 private:
  FaultAnswer answer_;
};

// The source opened read-only and the partitions found on it.
class CliSession {
 public:
  // platformRead: a stand-in for pread, for tests.
  explicit CliSession(const CliOptions& options, PlatformRead platformRead = nullptr);
  // Opens the source (a block device or an image file) and runs discovery; returns an exit
  // code other than success after saying why on standard error. What was found out about the
  // sector size, and the notes of the volumes found, are said there too.
  int Open(const std::string& source);

  PartitionList& partitions() { return source_->partitions(); }
  TSectorReader& reader() { return source_->reader(); }
  // What reads could not read, so far.
  const FaultLog& faults() const { return faults_; }
  // Whether a volume found has notes (TPartition::notes): one the source cuts short, say.
  bool HasVolumeNotes() const { return source_ && !source_->volumeNotes().empty(); }
  // Says on standard error what is wrong with the evidence file read (a segment missing, data
  // that does not match its checksums), as far as it has not said it yet; returns how many
  // notes it told.
  size_t TellMediumNotes();
  OpenedSource& source() { return *source_; }

 private:
  // Searches the source for lost volumes and says how many it found.
  void Search(SearchDepth depth);

  const CliOptions& options_;
  CliFaultPolicy policy_;
  FaultLog faults_;
  PlatformRead platformRead_;
  std::unique_ptr<OpenedSource> source_;
  size_t notesTold_ = 0;
};

// Prints "brindle-cli: " and the message to standard error, fit for a terminal (see
// PrintableMessage): names in it are to be made printable by the caller.
void PrintError(const std::string& message);

// Prints a message written for a box on one line: its own line breaks become blanks, and a
// line break inside the quoted name it may hold is escaped with the name's other control
// characters.
void PrintBoxText(const std::string& text);
