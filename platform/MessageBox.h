#pragma once
// The application's message boxes. Every warning and question goes through one replaceable
// service: the window installs a dialog-based one, the command line one that answers from its
// options, and tests one that answers from a script.

#include <string>

// Button sets with their icon, as callers pass them.
enum MessageBoxFlags : unsigned {
  kMbOkWarning = 48,                 // one OK button, warning icon
  kMbAbortRetryIgnoreWarning = 50,   // Abort, Retry and Ignore, warning icon
  kMbYesNoQuestion = 36,             // Yes and No, question icon
};

// The button that closed a box.
enum MessageBoxResult : int {
  kIdOk = 1,
  kIdAbort = 3,
  kIdRetry = 4,
  kIdIgnore = 5,
  kIdYes = 6,
  kIdNo = 7,
};

// Caption of the application's own boxes (warnings and questions).
inline constexpr const char* kApplicationTitle = "Brindle";
// Caption of the boxes that report a failure with the system's reason.
inline constexpr const char* kErrorCaption = "Error";

class MessageBoxService {
 public:
  virtual ~MessageBoxService() = default;
  // Shows text under caption with the buttons of flags; returns the button pressed.
  virtual int Show(const std::string& text, const std::string& caption, unsigned flags) = 0;
};

// The answer of a box closed without pressing a button: the one that changes nothing (OK,
// Abort or No).
int UnansweredResult(unsigned flags);

// Shows a message through the installed service.
int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags);

// Installs service as the one every box goes through; nullptr restores the default, which
// writes the message to standard error and answers OK, Abort or No.
void SetMessageBoxService(MessageBoxService* service);

// Installs a service for the lifetime of the guard and restores the previous one afterwards.
class ScopedMessageBoxService {
 public:
  explicit ScopedMessageBoxService(MessageBoxService& service);
  ~ScopedMessageBoxService();
  ScopedMessageBoxService(const ScopedMessageBoxService&) = delete;
  ScopedMessageBoxService& operator=(const ScopedMessageBoxService&) = delete;

 private:
  MessageBoxService* previous_;
};
