#pragma once
// What `brindle` is asked on its command line, and whether it has a display to show its window
// on. Both are answered before the toolkit starts, so that --help, --version, a bad argument
// and a missing display get a plain message on a terminal instead of a toolkit error.

#include <optional>
#include <string>

struct StartOptions {
  std::optional<std::string> image;  // opened at once, as if chosen on the "高级" page
  std::string sectorSize = "512";
  std::string codePage = "437";
};

struct CommandLine {
  bool startWindow = true;  // false: print output and errorText, and end with exitCode
  int exitCode = 0;
  std::string output;
  std::string errorText;
  StartOptions options;
};

inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoDisplay = 1;

CommandLine ReadCommandLine(int argc, const char* const* argv);

// Whether the toolkit can show a window: a Qt platform that needs no display server (offscreen,
// vnc, eglfs, linuxfb ...) was chosen with QT_QPA_PLATFORM, or the X11 or Wayland display that
// the chosen (or default) platform needs is named by DISPLAY or WAYLAND_DISPLAY. Null stands for
// an unset variable.
bool DisplayAvailable(const char* qpaPlatform, const char* display, const char* waylandDisplay);

// What `brindle` says when there is no display, with the ways on.
inline constexpr const char* kNoDisplayMessage =
    "brindle: there is no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
    "Start it from a desktop session, or under a virtual X display:\n"
    "  xvfb-run -a brindle [IMAGE]\n"
    "or use brindle-cli, which reads the same sources on a terminal:\n"
    "  brindle-cli --help\n";
