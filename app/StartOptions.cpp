#include "app/StartOptions.h"

#include <CLI/CLI.hpp>

#include <sstream>

#include "device/SectorReader.h"
#include "platform/CodePageCheck.h"
#include "platform/SectorSizeCheck.h"
#include "platform/VersionTable.h"

namespace {

constexpr const char* kHelp = R"(Usage: brindle [IMAGE] [--sector-size N] [--codepage NAME]

Brindle shows the FAT12, FAT16, FAT32 and exFAT volumes of a disk image or a drive as one
tree, live and deleted entries alike, and saves any entry to a file. It opens its source
read-only and never writes to it.

  IMAGE             a disk image file (or a block device, such as /dev/sdb) to open at once,
                    as if it had been chosen on the window's "高级" page and Next pressed;
                    without it the window starts by offering the drives of this machine
  --sector-size N   the sector size of IMAGE in bytes, 512 to 65536 (default 512)
  --codepage NAME   the OEM code page that the 8.3 names and FAT labels of IMAGE are stored
                    in: 437 (the default), 850, 1252, cp850, windows-1252, ...
  -h, --help        show this help
      --version     show the version

The window needs a display (X11 or Wayland). Without one, run it under a virtual display
(xvfb-run -a brindle IMAGE), or use brindle-cli, which reads the same sources on a terminal.
)";

std::string Version() {
  const VersionTable& table = VersionTable::Program();
  std::string text = "brindle " + table.Query(kFileVersionPath).value_or("") + "\n";
  if (const auto copyright = table.Query(kLegalCopyrightPath)) text += *copyright + "\n";
  return text;
}

bool IsSet(const char* variable) { return variable != nullptr && *variable != '\0'; }

bool PlatformUsable(const std::string& platform, const char* display, const char* waylandDisplay) {
  if (platform == "xcb") return IsSet(display);
  if (platform.rfind("wayland", 0) == 0) return IsSet(waylandDisplay);
  return true;  // offscreen, vnc, eglfs, linuxfb ...: no display server needed
}

}  // namespace

CommandLine ReadCommandLine(int argc, const char* const* argv) {
  CommandLine command;
  CLI::App app{"", "brindle"};
  app.set_help_flag("-h,--help");
  app.set_version_flag("--version", std::string());
  std::string image;
  app.add_option("IMAGE", image);
  app.add_option("--sector-size", command.options.sectorSize)->check(SectorSizeCheck("N"));
  app.add_option("--codepage", command.options.codePage)->check(CodePageCheck("NAME"));
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    command.output = kHelp;
  } catch (const CLI::CallForVersion&) {
    command.output = Version();
  } catch (const CLI::ParseError& error) {
    command.exitCode = kExitUsage;
    command.errorText = std::string("brindle: ") + error.what() + "\nTry 'brindle --help' for more information.\n";
  }
  command.startWindow = command.output.empty() && command.errorText.empty();
  if (command.startWindow && app.count("IMAGE") > 0) command.options.image = image;
  return command;
}

bool DisplayAvailable(const char* qpaPlatform, const char* display, const char* waylandDisplay) {
  // QT_QPA_PLATFORM may name several platforms to try in turn: "wayland;xcb".
  std::istringstream platforms(IsSet(qpaPlatform) ? qpaPlatform : "");
  bool named = false;
  for (std::string platform; std::getline(platforms, platform, ';');) {
    platform = platform.substr(0, platform.find(':'));  // "xcb:option=value"
    if (platform.empty()) continue;
    named = true;
    if (PlatformUsable(platform, display, waylandDisplay)) return true;
  }
  return !named && (IsSet(display) || IsSet(waylandDisplay));
}
