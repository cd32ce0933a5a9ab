#pragma once
// The application object. An exception that escapes an event handler must not cross Qt's
// event loop: it ends here and is shown in a message box, as the application's general error
// report, and the application goes on.

#include <QApplication>

class BrindleApplication final : public QApplication {
 public:
  BrindleApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;
};

// Shows what went wrong in a message box under the application's title.
void ShowException(const std::exception& error);
