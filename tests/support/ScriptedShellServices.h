#pragma once
// Stand-ins for the file-open dialog, the desktop's web-address handler and the report of a
// save that install themselves for their lifetime: the dialog answers from a script, the
// others record.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileDialog.h"
#include "platform/SummaryBox.h"
#include "platform/UrlOpener.h"

class ScriptedFileDialog final : public FileDialogService {
 public:
  ScriptedFileDialog() : guard_(FileDialogSlot(), *this) {}

  struct Asked {
    std::string title;
    std::vector<std::string> nameFilters;
  };
  // Answers given in turn (nullopt: cancelled); when they run out, cancelled.
  std::deque<std::optional<std::string>> answers;
  std::vector<Asked> asked;

  std::optional<std::string> ChooseFileToOpen(const std::string& title,
                                              const std::vector<std::string>& nameFilters) override {
    asked.push_back({title, nameFilters});
    if (answers.empty()) return std::nullopt;
    std::optional<std::string> answer = answers.front();
    answers.pop_front();
    return answer;
  }

 private:
  ScopedService<FileDialogService> guard_;
};

class RecordingUrlOpener final : public UrlOpenerService {
 public:
  RecordingUrlOpener() : guard_(UrlOpenerSlot(), *this) {}

  std::vector<std::string> opened;

  bool OpenUrl(const std::string& url) override {
    opened.push_back(url);
    return true;
  }

 private:
  ScopedService<UrlOpenerService> guard_;
};

// Records every report of a save and answers whether the folder is to be opened.
class RecordingSummaryBox final : public SummaryBoxService {
 public:
  RecordingSummaryBox() : guard_(SummaryBoxSlot(), *this) {}

  struct Shown {
    std::string caption;
    std::string text;
    std::string details;
  };
  std::vector<Shown> shown;
  bool openFolder = false;

  bool Show(const std::string& caption, const std::string& text, const std::string& details) override {
    shown.push_back({caption, text, details});
    return openFolder;
  }

 private:
  ScopedService<SummaryBoxService> guard_;
};
