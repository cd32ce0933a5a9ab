#pragma once
// Stand-ins for the folder dialog and the busy cursor that install themselves for their
// lifetime: the dialog answers from a script, the cursor counts.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/FolderDialog.h"
#include "platform/WaitCursor.h"

class ScriptedFolderDialog final : public FolderDialogService {
 public:
  ScriptedFolderDialog() : guard_(FolderDialogSlot(), *this) {}

  // Answers given in turn (nullopt: cancelled); when they run out, cancelled.
  std::deque<std::optional<std::string>> answers;
  std::vector<std::string> prompts;

  std::optional<std::string> ChooseFolder(const std::string& prompt) override {
    prompts.push_back(prompt);
    if (answers.empty()) return std::nullopt;
    std::optional<std::string> answer = answers.front();
    answers.pop_front();
    return answer;
  }

 private:
  ScopedService<FolderDialogService> guard_;
};

class CountingWaitCursor final : public WaitCursorService {
 public:
  CountingWaitCursor() : guard_(WaitCursorSlot(), *this) {}

  int depth = 0;  // shown and not yet restored
  int shown = 0;  // every Show so far

  void Show() override {
    ++depth;
    ++shown;
  }
  void Restore() override { --depth; }

 private:
  ScopedService<WaitCursorService> guard_;
};
