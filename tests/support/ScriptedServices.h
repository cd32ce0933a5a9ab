#pragma once
// Stand-ins for the folder dialog, the busy cursor and progress that install themselves for
// their lifetime: the dialog answers from a script, the cursor counts, progress records and
// cancels on cue.

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FolderDialog.h"
#include "platform/Progress.h"
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

class RecordingProgress final : public ProgressService {
 public:
  RecordingProgress() : guard_(ProgressSlot(), *this) {}

  struct Step {
    uint64_t done;
    uint64_t total;
    bool operator==(const Step&) const = default;
  };
  std::vector<std::string> labels;
  std::vector<Step> steps;
  int open = 0;           // reports begun and not yet ended
  int cancelAfter = -1;   // the number of updates after which Cancel is "pressed"; -1: never

  std::unique_ptr<ProgressReport> Begin(const std::string& label) override {
    labels.push_back(label);
    return std::make_unique<Report>(*this);
  }

 private:
  class Report final : public ProgressReport {
   public:
    explicit Report(RecordingProgress& owner) : owner_(owner) { ++owner_.open; }
    ~Report() override { --owner_.open; }
    bool Update(uint64_t done, uint64_t total) override {
      owner_.steps.push_back({done, total});
      return owner_.cancelAfter < 0 || static_cast<int>(owner_.steps.size()) < owner_.cancelAfter;
    }

   private:
    RecordingProgress& owner_;
  };

  ScopedService<ProgressService> guard_;
};
