// brindle-cli: Brindle's command-line companion. It opens a source read-only, finds its FAT
// and exFAT volumes and lists, describes, prints and saves their entries, deleted ones
// included, exactly as the window shows them.

#include <getopt.h>

#include <cstdio>
#include <cstring>
#include <set>

#include "cli/Commands.h"

namespace {

constexpr const char* kHelp = R"(Usage:
  brindle-cli [OPTIONS] SOURCE                 list the FAT and exFAT partitions found
  brindle-cli ls [-r] [--deleted] [--json] SOURCE [ENTRY]
                                               list the entries of a directory (the root of
                                               every partition when ENTRY is left out)
  brindle-cli info SOURCE ENTRY                show an entry's properties
  brindle-cli cat SOURCE ENTRY                 write an entry's bytes to standard output
  brindle-cli save [--force] SOURCE ENTRY FOLDER
                                               save an entry into FOLDER under its name
  brindle-cli recover [--deleted] SOURCE FOLDER
                                               save every file of every partition into
                                               FOLDER, mirroring the directory tree

SOURCE is a disk image file or a block device (e.g. /dev/sdb), opened read-only; nothing is
ever written to it.

ENTRY names an entry of a partition by the number the partition list shows, which is the
number Linux gives it: 1 to 4 for the entries of a classic partition table, 5 on for the
logical drives of an extended partition, the entry's index for a GUID partition table (GPT),
and 1 for a volume without a partition table:
  N:/DIR/NAME   display names from the root, joined by "/" (e.g. 1:/DOCS/LETTER.TXT);
                N:/ is the root
  N#i/j/k       the child indexes from the root, as `ls` prints them; always unambiguous
A file with a long name is shown as "LONG NAME - SHORT~1.EXT" on FAT volumes, and a deleted
file with the first character of its short name replaced by "_".

Options:
  -r, --recursive      ls: list directories below too, live and deleted ones that can be opened
      --deleted        ls: show only deleted entries; recover: save only deleted files
      --json           ls: one JSON object per line (index, path, name, state, size,
                       modified, created, attributes)
      --force          save: replace a file of the same name in FOLDER
      --sector-size N  sector size of an image file in bytes, 512 to 65536 (default 512)
      --on-read-error abort|ignore
                       what to do when the source cannot be read: abort gives up the read
                       (its bytes come out as zeros), ignore reads around the bad sectors
                       and gives zeros only for those (default: ignore). Either way the
                       error is reported on standard error and the exit code says so.
  -h, --help           show this help

recover never replaces a file: a name that is taken gets a number ("name (1).ext"). Entries
of partition N go to FOLDER/partition-N/. It prints a summary (files saved, bytes, failures)
and, on a terminal, its progress on standard error.

Exit codes:
  0  success
  2  bad usage
  3  the source cannot be opened or read, or holds no FAT or exFAT partition
  4  the entry does not exist, or its name is ambiguous
  5  the output could not be written completely (a failed or declined save, a read error
     in the data written, a write error)
)";

void UsageError(const std::string& message) {
  PrintError(message);
  std::fprintf(stderr, "Try 'brindle-cli --help' for more information.\n");
}

struct CommandShape {
  const char* name;
  size_t minArguments;
  size_t maxArguments;
  const char* usage;
  std::set<std::string> options;
};

const CommandShape kCommands[] = {
    {"", 1, 1, "brindle-cli [OPTIONS] SOURCE", {}},
    {"ls", 1, 2, "brindle-cli ls [-r] [--deleted] [--json] SOURCE [ENTRY]", {"recursive", "deleted", "json"}},
    {"info", 2, 2, "brindle-cli info SOURCE ENTRY", {}},
    {"cat", 2, 2, "brindle-cli cat SOURCE ENTRY", {}},
    {"save", 3, 3, "brindle-cli save [--force] SOURCE ENTRY FOLDER", {"force"}},
    {"recover", 2, 2, "brindle-cli recover [--deleted] SOURCE FOLDER", {"deleted"}},
};

}  // namespace

int main(int argc, char** argv) {
  CliOptions options;
  std::set<std::string> given;
  const option longOptions[] = {
      {"recursive", no_argument, nullptr, 'r'},     {"deleted", no_argument, nullptr, 'd'},
      {"json", no_argument, nullptr, 'j'},          {"force", no_argument, nullptr, 'f'},
      {"sector-size", required_argument, nullptr, 's'}, {"on-read-error", required_argument, nullptr, 'e'},
      {"help", no_argument, nullptr, 'h'},          {nullptr, 0, nullptr, 0},
  };
  opterr = 0;
  int c;
  while ((c = getopt_long(argc, argv, "rh", longOptions, nullptr)) != -1) {
    switch (c) {
      case 'r': options.recursive = true; given.insert("recursive"); break;
      case 'd': options.deletedOnly = true; given.insert("deleted"); break;
      case 'j': options.json = true; given.insert("json"); break;
      case 'f': options.force = true; given.insert("force"); break;
      case 's': options.sectorSize = optarg; break;
      case 'e':
        if (std::strcmp(optarg, "abort") == 0) options.onReadError = ReadErrorAnswer::kAbort;
        else if (std::strcmp(optarg, "ignore") == 0) options.onReadError = ReadErrorAnswer::kIgnore;
        else return UsageError("--on-read-error takes abort or ignore, not \"" + std::string(optarg) + "\""), kExitUsage;
        break;
      case 'h': std::fputs(kHelp, stdout); return kExitSuccess;
      default:
        UsageError(optopt ? "unknown option -" + std::string(1, static_cast<char>(optopt))
                          : "unknown option " + std::string(argv[optind - 1]));
        return kExitUsage;
    }
  }
  std::vector<std::string> positional(argv + optind, argv + argc);
  if (positional.empty()) {
    UsageError("no source given");
    return kExitUsage;
  }
  const CommandShape* shape = &kCommands[0];
  for (const CommandShape& candidate : kCommands) {
    if (*candidate.name && positional[0] == candidate.name) {
      shape = &candidate;
      positional.erase(positional.begin());
    }
  }
  options.command = shape->name;
  options.arguments = positional;
  if (positional.size() < shape->minArguments || positional.size() > shape->maxArguments) {
    UsageError(std::string(positional.size() < shape->minArguments ? "missing" : "too many") +
               " arguments; usage: " + shape->usage);
    return kExitUsage;
  }
  for (const std::string& option : given) {
    if (!shape->options.count(option)) {
      UsageError("--" + option + " does not go with " + (*shape->name ? shape->name : "listing partitions") +
                 "; usage: " + shape->usage);
      return kExitUsage;
    }
  }

  if (options.command.empty()) return ListPartitionsCommand(options);
  if (options.command == "ls") return LsCommand(options);
  if (options.command == "info") return InfoCommand(options);
  if (options.command == "cat") return CatCommand(options);
  if (options.command == "save") return SaveCommand(options);
  return RecoverCommand(options);
}
