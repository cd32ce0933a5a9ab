// brindle-cli: Brindle's command-line companion. It opens a source read-only, finds its FAT
// and exFAT volumes and lists, describes, prints and saves their entries, deleted ones
// included, exactly as the window shows them.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "platform/CodePageCheck.h"
#include "cli/Commands.h"
#include "hash/Digest.h"
#include "platform/SectorSizeCheck.h"
#include "platform/VersionTable.h"

namespace {

constexpr const char* kHelp = R"(Usage:
  brindle-cli [OPTIONS] SOURCE                 list the FAT and exFAT partitions found
  brindle-cli ls [-r] [--deleted] [--lost] [--json] SOURCE [ENTRY]
                                               list the entries of a directory (the root of
                                               every partition when ENTRY is left out)
  brindle-cli info SOURCE ENTRY                show an entry's properties
  brindle-cli cat SOURCE ENTRY                 write an entry's bytes to standard output
  brindle-cli save [--force] SOURCE ENTRY FOLDER
                                               save an entry into FOLDER under its name
  brindle-cli recover [--deleted] [--lost] [--manifest] SOURCE FOLDER
                                               save every file of every partition into
                                               FOLDER, mirroring the directory tree
  brindle-cli ls -r --bodyfile SOURCE [ENTRY]  The Sleuth Kit's body file, for mactime
  brindle-cli ls [-r] --csv SOURCE [ENTRY]     a table for a spreadsheet
  brindle-cli hash [--algorithm NAME]... SOURCE ENTRY...
                                               MD5, SHA-1 and SHA-256 of entries (every
                                               file below a folder)
  brindle-cli hash --source [--algorithm NAME]... SOURCE
                                               the same of the whole source
  brindle-cli report --dfxml [--algorithm NAME]... SOURCE
                                               DFXML of every partition, as fiwalk writes it

SOURCE is a disk image file or a block device (e.g. /dev/sdb), opened read-only; nothing is
ever written to it. Evidence files are read as the media they hold, recognised by their
content whatever their names: EnCase images (E01; the other segment files are found beside
the first), split raw images (card.001, card.002, ... or xaa, xab, ...: name the first),
VHD and VHDX, VMDK (a sparse disk, or a descriptor with its extents beside it) and qcow or
qcow2 virtual disks. What is wrong with one (a segment file missing, data that does not
match its checksums) is said on standard error, and what can be read is read.

ENTRY names an entry of a partition by the number the partition list shows, which is the
number Linux gives it: 1 to 4 for the entries of a classic partition table, 5 on for the
logical drives of an extended partition, the entry's index for a GUID partition table (GPT),
and 1 for a volume without a partition table:
  N:/DIR/NAME   names from the root, joined by "/"; N:/ is the root. Each name is the
                entry's caption as `ls` shows it, or, in upper or lower case alike, its
                caption, its long name alone or its short name alone: 1:/DOCS/letter.txt,
                1:/docs/LETTER.TXT and 1:/DOCS/letter.txt - LETTER.TXT name the same file.
                A name that fits several entries is refused with a list of them.
  N#i/j/k       the child indexes from the root, as `ls` prints them; always unambiguous
A file with a long name is shown as "LONG NAME - SHORT~1.EXT" on FAT volumes, and a deleted
file with the first character of its short name replaced by "_". A blank that begins or ends a
name is shown "\ " (an 8.3 name may begin with one), and an entry without a name as
"<no name>"; either can be typed back. Short (8.3) names and FAT
volume labels are decoded from the volume's OEM code page (--codepage, 437 unless named); a
byte the code page gives no character, or any other byte of a name or label that is not
UTF-8, is shown as U+FFFD. Control characters are escaped as `ls -b` escapes them (\n, \t,
\033, ...) and a backslash is doubled, so that each entry is one line (--json gives names as
they are, in JSON's escapes).

Options:
  -r, --recursive      ls: list directories below too, live and deleted ones that can be opened
      --deleted        ls: show only deleted entries; recover: save only deleted files
                       (everything in a deleted folder counts as deleted)
      --lost           ls, recover: the "Lost and found" of every partition instead of its
                       tree: folders that no folder of the tree leads to any more (a
                       formatted card's old folders), and files found by their content in
                       clusters nothing else claims, in a folder per type, named
                       f<first cluster>.<type>. With --deleted, the deleted entries of the
                       tree too. The scan reads the whole data area once; on a terminal it
                       shows its progress on standard error, and clusters it cannot read
                       are skipped and counted there. Found entries are named
                       N:/$LostAndFound/... or N#L/...
      --json           ls: one JSON object per line (index, path, name, state, size,
                       modified, created, attributes, folder, data)
      --force          save: replace a file of the same name in FOLDER
      --manifest       recover: write SHA256SUMS beside the partition folders, in
                       coreutils' format, of the bytes as they were saved: run
                       `sha256sum -c SHA256SUMS` in FOLDER to check them
      --bodyfile       ls: The Sleuth Kit's body file (3.x) instead of the listing, for
                       `mactime -b`: MD5|name|inode|mode|UID|GID|size|atime|mtime|ctime|crtime,
                       times in seconds since 1970 (FAT times taken as local time). Deleted
                       entries are marked as fls -m marks them, with the suffix (deleted),
                       and found ones placed under N:/$OrphanFiles; the inode field is the
                       N#i/j index written N-i-j
      --csv            ls: comma-separated values with a header line (RFC 4180)
      --dfxml          report: DFXML on standard output: a volume element per partition
                       and a fileobject per entry, with its byte runs on the source
      --algorithm NAME hash, report: md5, sha1 or sha256; give it once for each. hash
                       computes all three without it, report none
      --source         hash: the whole source, sector by sector; an EnCase image's
                       recorded MD5 and SHA-1 are checked against it
      --sector-size N  sector size of an image file in bytes, 512 to 65536. Without it,
                       512; when no partition's boot sector agrees with that, the sizes
                       1024, 2048 and 4096 are tried and the one that fits is named on
                       standard error
      --search[=deep]  search the source for volumes that no partition table leads to (a
                       table overwritten, an entry deleted), in the space no table entry
                       covers: at every 1 MiB and 63-sector boundary, or with deep at every
                       sector. Without it the search runs by itself, at the boundaries, when
                       the tables lead to no volume, and says so on standard error. Volumes
                       found are listed after the table's, numbered on from its last number.
      --codepage NAME  the OEM code page that 8.3 names and FAT volume labels are stored in,
                       a single-byte one as ICU names it: 437 (the default), 850, 852, 866,
                       1252, cp850, ibm-850, windows-1252, ... Long names and exFAT names
                       are Unicode and need none.
      --on-read-error abort|ignore
                       what to do when the source cannot be read: abort gives up the read
                       (its bytes come out as zeros), ignore reads around the bad sectors
                       and gives zeros only for those (default: ignore). Either way the
                       error is reported on standard error and the exit code says so.
  -h, --help           show this help
      --version        show the version of brindle-cli

recover never replaces a file: a name that is taken, by a file or a folder, gets a number
("name (1).ext"; a folder DIR becomes DIR (1) likewise), and folders that an earlier run made
are used again. Entries
of partition N go to FOLDER/partition-N/. A file gets its name only once it is complete; the
files are not flushed to the disk one by one, but all together at the end (syncfs), before
the summary (files saved, bytes, incomplete files, failures) is printed. On a terminal it shows its progress on
standard error.

ls -r and recover walk a damaged volume in bounded memory and time: a cluster chain that comes
back to a cluster it passed ends there, and so does a folder's chain that runs into clusters
already read as a folder; both are named on standard error. A folder cut short by a limit of
its file system (an exFAT folder may hold 256 MiB) or by damage (its chain runs into a
bad-cluster mark, say) is named there too, and the exit code says so (3 for ls, 5 for
recover). A volume that the source ends inside of is named on standard error when the source
is opened; what the source holds of it is read, and listing the partitions, ls and recover
exit with 3 when nothing else went wrong.

Damage is said, never hidden. ls marks how complete each file's data is, after its size:
whole, short (some of its bytes cannot be had) or none (nothing of them can); info says how
many bytes of how many, and why: its chain loops, ends before its size does, runs into a
bad-cluster mark or a free cluster, or leads outside the volume; a deleted file's first
cluster belongs to another file now; the volume ends, or the source ends, before its data
does; sectors could not be read. A live FAT chain that runs into a free cluster is read on
from the clusters that follow, and zeros stand in for sectors that could not be read or lie
beyond the end of the source: the file keeps its length, and it still counts as short. cat,
save and recover name every file that comes out short on standard error, with how it is
short (1:/A.BIN: short: 8192 of 16384 bytes, and why), and recover counts them in its
summary. A file none of whose data can be had is not saved (an empty file would pass
for a recovered one): it counts as a failure, with the reason.

save and recover name a file as it was named: its long name alone, else its short name (a
deleted one with "_" for its lost first character), not the "LONG - SHORT" caption. They
give it the modification time its entry records: FAT times are taken as local time, exFAT
times at their UTC offset where one is recorded.

cat, save and recover stream the data, in bounded memory, whatever the size of the file
(exFAT files of 4 GiB and more included). A file gets its name only once it is complete (save
flushes it to the disk first): until then it has no name (O_TMPFILE), or, on file systems
without such files, a name of its own (.brindle-save-XXXXXXXXXXXXXXXX) that is removed when
the save fails or SIGINT, SIGTERM or SIGHUP ends it. An interrupted save or recover leaves no
partial file behind.

Exit codes:
  0  success
  2  bad usage
  3  the source cannot be opened or read, or holds no FAT or exFAT partition, or a folder
     listed was cut short, or a volume listed or recovered is cut short by the source
  4  the entry does not exist, or its name is ambiguous
  5  the output could not be written completely (a failed or declined save, a file none of
     whose data can be had, a read error in the data written, a write error, a folder
     recovered was cut short)
  6  saved, some incomplete: everything was written, but a file cat, save or recover gave
     holds less than all of its data (each was named on standard error)
)";

void UsageError(const std::string& message) {
  PrintError(message);
  std::fprintf(stderr, "Try 'brindle-cli --help' for more information.\n");
}

void PrintVersion() {
  const VersionTable& table = VersionTable::Program();
  std::printf("brindle-cli %s\n", table.Query(kFileVersionPath).value_or("").c_str());
  if (const auto copyright = table.Query(kLegalCopyrightPath)) std::printf("%s\n", copyright->c_str());
}

CLI::Validator ReadErrorAnswerCheck() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        return text == "abort" || text == "ignore" ? "" : "takes abort or ignore, not \"" + text + "\"";
      },
      "abort|ignore");
}

// One way of running brindle-cli: its name ("" for listing partitions), its usage line, the
// positional arguments it takes (the required ones first) and the flags that go with it.
struct CommandShape {
  const char* name;
  const char* usage;
  std::vector<const char*> arguments;
  size_t required;
  std::set<std::string> flags;
};

const CommandShape kCommands[] = {
    {"", "brindle-cli [OPTIONS] SOURCE", {"SOURCE"}, 1, {}},
    {"ls", "brindle-cli ls [-r] [--deleted] [--lost] [--json|--bodyfile|--csv] SOURCE [ENTRY]", {"SOURCE", "ENTRY"}, 1,
     {"--recursive", "--deleted", "--lost", "--json", "--bodyfile", "--csv"}},
    {"info", "brindle-cli info SOURCE ENTRY", {"SOURCE", "ENTRY"}, 2, {}},
    {"cat", "brindle-cli cat SOURCE ENTRY", {"SOURCE", "ENTRY"}, 2, {}},
    {"save", "brindle-cli save [--force] SOURCE ENTRY FOLDER", {"SOURCE", "ENTRY", "FOLDER"}, 3, {"--force"}},
    {"recover", "brindle-cli recover [--deleted] [--lost] [--manifest] SOURCE FOLDER", {"SOURCE", "FOLDER"}, 2,
     {"--deleted", "--lost", "--manifest"}},
    {"hash", "brindle-cli hash [--source] [--algorithm NAME]... SOURCE [ENTRY...]", {"SOURCE", "ENTRY..."}, 1,
     {"--source", "--algorithm"}},
    {"report", "brindle-cli report --dfxml [--algorithm NAME]... SOURCE", {"SOURCE"}, 1, {"--dfxml", "--algorithm"}},
};

struct Flag {
  const char* names;
  const char* longName;
  bool CliOptions::*field;
};

const Flag kFlags[] = {
    {"-r,--recursive", "--recursive", &CliOptions::recursive},
    {"--deleted", "--deleted", &CliOptions::deletedOnly},
    {"--lost", "--lost", &CliOptions::lost},
    {"--json", "--json", &CliOptions::json},
    {"--force", "--force", &CliOptions::force},
    {"--bodyfile", "--bodyfile", &CliOptions::bodyfile},
    {"--csv", "--csv", &CliOptions::csv},
    {"--manifest", "--manifest", &CliOptions::manifest},
    {"--dfxml", "--dfxml", &CliOptions::dfxml},
    {"--source", "--source", &CliOptions::wholeSource},
};

CLI::Validator AlgorithmCheck() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        return HashFromName(text) ? "" : "takes md5, sha1 or sha256, not \"" + text + "\"";
      },
      "md5|sha1|sha256");
}

// The command line as CLI11 parses it: listing the partitions is the program itself, the other
// commands are its subcommands. Every option may stand before or after a command's name, as
// long as it goes with that command.
class CommandLine {
 public:
  CommandLine() {
    app_.set_help_flag("-h,--help");
    app_.set_version_flag("--version", std::string());
    app_.require_subcommand(0, 1);
    for (const CommandShape& shape : kCommands) {
      Command& command = commands_.emplace_back();
      command.app = *shape.name ? app_.add_subcommand(shape.name) : &app_;
      command.app->allow_extras();
      AddOptions(*command.app);
      // An argument named "X..." takes as many as are given.
      for (const std::string name : shape.arguments) {
        CLI::Option* argument = command.app->add_option(name);
        if (name.ends_with("...")) argument->expected(0, -1)->allow_extra_args();
        command.arguments.push_back(argument);
      }
    }
  }

  // Parses argv; returns the exit code to end with, or -1 when options() holds a command to run.
  int Parse(int argc, char** argv) {
    try {
      app_.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
      std::fputs(kHelp, stdout);
      return kExitSuccess;
    } catch (const CLI::CallForVersion&) {
      PrintVersion();
      return kExitSuccess;
    } catch (const CLI::ParseError& error) {
      return Usage(error.what());
    }
    const size_t chosen = ChosenIndex();
    const CommandShape& shape = kCommands[chosen];
    if (const std::string wrong = WrongArgument(shape); !wrong.empty()) return Usage(wrong);
    options_.command = shape.name;
    for (const CLI::Option* argument : commands_[chosen].arguments) {
      for (const std::string& value : argument->results()) options_.arguments.push_back(value);
    }
    if (options_.arguments.size() < shape.required) {
      return Usage(chosen == 0 ? std::string("no source given") : std::string("missing arguments; usage: ") + shape.usage);
    }
    return -1;
  }

  const CliOptions& options() const { return options_; }

 private:
  struct Command {
    CLI::App* app = nullptr;
    std::vector<CLI::Option*> arguments;  // the positionals, in order
  };

  void AddOptions(CLI::App& app) {
    for (const Flag& flag : kFlags) app.add_flag(flag.names, options_.*flag.field);
    app.add_option_function<std::string>("--sector-size", [this](const std::string& size) {
         options_.sectorSize = size;
         options_.sectorSizeGiven = true;
       })
        ->check(SectorSizeCheck("BYTES"))
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option_function<std::string>("--algorithm", [this](const std::string& name) {
         options_.algorithms.push_back(name);
       })
        ->check(AlgorithmCheck())
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_flag("--search{shallow}", options_.search)
        ->check(CLI::IsMember({"shallow", "deep"}))
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("--codepage", options_.codePage)
        ->check(CodePageCheck("NAME"))
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option_function<std::string>("--on-read-error", [this](const std::string& answer) {
         options_.onReadError = answer == "abort" ? FaultAnswer::kAbort : FaultAnswer::kIgnore;
       })
        ->check(ReadErrorAnswerCheck())
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  }

  size_t ChosenIndex() const {
    for (size_t i = 1; i < commands_.size(); ++i) {
      if (commands_[i].app->parsed()) return i;
    }
    return 0;
  }

  // An unknown option, a flag that does not go with the command, or an argument too many;
  // empty when there is none.
  std::string WrongArgument(const CommandShape& shape) const {
    const std::string usage = std::string("; usage: ") + shape.usage;
    const std::vector<std::string> extras = app_.remaining(true);
    for (const std::string& extra : extras) {
      if (extra.size() > 1 && extra[0] == '-') return "unknown option " + extra.substr(0, extra.find('='));
    }
    for (const Command& command : commands_) {
      std::vector<const char*> given;
      for (const Flag& flag : kFlags) given.push_back(flag.longName);
      given.push_back("--algorithm");
      for (const char* name : given) {
        if (command.app->get_option(name)->count() > 0 && shape.flags.count(name) == 0) {
          return name + std::string(" does not go with ") + (*shape.name ? shape.name : "listing partitions") + usage;
        }
      }
    }
    // The arguments of a command do not spill over into the listing's SOURCE.
    const bool listingSourceTaken = &shape != &kCommands[0] && commands_[0].arguments[0]->count() > 0;
    return extras.empty() && !listingSourceTaken ? "" : "too many arguments" + usage;
  }

  static int Usage(const std::string& message) {
    UsageError(message);
    return kExitUsage;
  }

  CLI::App app_{"", "brindle-cli"};
  std::vector<Command> commands_;  // in the order of kCommands
  CliOptions options_;
};

}  // namespace

int main(int argc, char** argv) {
  CommandLine commandLine;
  if (const int code = commandLine.Parse(argc, argv); code >= 0) return code;
  const CliOptions& options = commandLine.options();
  if (options.command.empty()) return ListPartitionsCommand(options);
  if (options.command == "ls") return LsCommand(options);
  if (options.command == "info") return InfoCommand(options);
  if (options.command == "cat") return CatCommand(options);
  if (options.command == "save") return SaveCommand(options);
  if (options.command == "hash") return HashCommand(options);
  if (options.command == "report") return ReportCommand(options);
  return RecoverCommand(options);
}
