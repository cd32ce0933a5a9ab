#pragma once
// The commands of brindle-cli. Each takes the parsed options, opens the source itself and
// returns the process's exit code.

#include "cli/CliSession.h"
#include "fs/TreeWalk.h"
#include "hash/Digest.h"

int ListPartitionsCommand(const CliOptions& options);
int LsCommand(const CliOptions& options);
int InfoCommand(const CliOptions& options);
int CatCommand(const CliOptions& options);
int SaveCommand(const CliOptions& options);
int RecoverCommand(const CliOptions& options);
int HashCommand(const CliOptions& options);
int ReportCommand(const CliOptions& options);
// ls --bodyfile and ls --csv.
int ListReportCommand(const CliOptions& options);

// The exit code once a command's work is done: what the evidence file could not vouch for and
// the read errors on the way are said, and make it a source error, or an output error for
// the commands whose output they spoil.
int FinishCommand(CliSession& session, bool writesData, int code = kExitSuccess);
// The algorithms --algorithm names, in order; all three when none is named.
std::vector<HashAlgorithm> ChosenAlgorithms(const CliOptions& options);

// The line `ls --json` prints for an item: one JSON object with its index, path, name, state,
// size, modified, created, attributes, whether it is a folder that opens, and how complete a
// file's data is (kind, delivered, expected, reason; null for a folder), in this order.
// Bytes that are not UTF-8 (8.3 names keep their code page's bytes) become U+FFFD.
std::string ListingJson(const WalkItem& item);
