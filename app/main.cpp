// brindle: the window. It offers the drives of this machine and disk image files, opens the
// chosen one read-only and shows its FAT and exFAT volumes as one tree, live and deleted
// entries alike, with properties, a hex dump, a preview and saving.
//
//   brindle [IMAGE] [--sector-size N] [--codepage NAME]

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "app/BrindleApplication.h"
#include "app/StartOptions.h"
#include "app/TForm1.h"
#include "app/WindowLanguage.h"
#include "app/udisks/UDisksDrives.h"
#include "platform/qt/QtServices.h"
#include "platform/qt/QtShellServices.h"

int main(int argc, char** argv) {
  const CommandLine command = ReadCommandLine(argc, argv);
  if (!command.startWindow) {
    std::fputs(command.output.c_str(), stdout);
    std::fputs(command.errorText.c_str(), stderr);
    return command.exitCode;
  }
  if (!DisplayAvailable(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"))) {
    std::fputs(kNoDisplayMessage, stderr);
    return kExitNoDisplay;
  }

  // The command line was read above: the toolkit gets none of it, so that an image named like
  // one of its options stays an image. It takes its settings from the environment.
  int toolkitArgc = 1;
  BrindleApplication application(toolkitArgc, argv);
  const WindowTranslation language(UserWindowLanguage());
  QtPlatformServices services;
  QtShellServices shell;
  try {
    // The drives as UDisks2 lists and opens them, without root; sysfs's where it does not answer.
    TForm1 form(std::make_unique<DesktopDrives>(QDBusConnection::systemBus()));
    form.show();
    if (command.options.image) {
      form.OpenImageFile(*command.options.image, command.options.sectorSize, command.options.codePage);
    }
    return QApplication::exec();
  } catch (const std::exception& error) {
    // Nothing more can be done; unlike an error in a handler, this one ends the program.
    ShowException(error);
    return EXIT_FAILURE;
  }
}
