#pragma once
// The commands of brindle-cli. Each takes the parsed options, opens the source itself and
// returns the process's exit code.

#include "cli/CliSession.h"

int ListPartitionsCommand(const CliOptions& options);
int LsCommand(const CliOptions& options);
int InfoCommand(const CliOptions& options);
int CatCommand(const CliOptions& options);
int SaveCommand(const CliOptions& options);
int RecoverCommand(const CliOptions& options);

// Text made valid for a JSON string: quotes, backslashes and control characters escaped,
// invalid UTF-8 bytes replaced by U+FFFD. Includes the surrounding quotes.
std::string JsonString(const std::string& text);
