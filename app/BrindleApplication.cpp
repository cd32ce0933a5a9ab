#include "app/BrindleApplication.h"

#include <exception>
#include <new>

#include "platform/MessageBox.h"

BrindleApplication::BrindleApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QString::fromLatin1(kApplicationTitle));
  // The desktop entry the window belongs to: on Wayland its app id, which gives the window the
  // entry's name and icon in the panel and the task switcher.
  setDesktopFileName(QStringLiteral("brindle"));
}

bool BrindleApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ShowException(error);
  }
  return false;
}

void ShowException(const std::exception& error) {
  const bool outOfMemory = dynamic_cast<const std::bad_alloc*>(&error) != nullptr;
  ShowMessageBox(outOfMemory ? "There is not enough memory to complete this operation." : error.what(),
                 kApplicationTitle, kMbOkWarning);
}
