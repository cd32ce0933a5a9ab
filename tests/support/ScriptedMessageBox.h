#pragma once
// A message-box service that answers from a script and remembers what it was shown. It
// installs itself for its lifetime.

#include <deque>
#include <string>
#include <vector>

#include "platform/MessageBox.h"

class ScriptedMessageBox final : public MessageBoxService {
 public:
  struct Shown {
    std::string text;
    std::string caption;
    unsigned flags = 0;
  };

  ScriptedMessageBox() : guard_(*this) {}

  // Answers given in turn; when they run out, OK, readErrorAnswer or No.
  std::deque<int> answers;
  // The answer to a read error (Abort, Retry or Ignore) once the script has run out.
  int readErrorAnswer = kIdAbort;
  std::vector<Shown> shown;

  int Show(const std::string& text, const std::string& caption, unsigned flags) override {
    shown.push_back({text, caption, flags});
    if (!answers.empty()) {
      const int answer = answers.front();
      answers.pop_front();
      return answer;
    }
    if (flags == kMbAbortRetryIgnoreWarning) return readErrorAnswer;
    if (flags == kMbYesNoQuestion) return kIdNo;
    return kIdOk;
  }

 private:
  ScopedMessageBoxService guard_;
};
