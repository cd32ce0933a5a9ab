#include "app/SourceWizard.h"

#include "platform/MessageBox.h"
#include "platform/WaitCursor.h"

std::optional<SourceChoice> ChosenSource(const SourcePage& page) {
  SourceChoice choice;
  if (!page.driveListShown) {
    choice.path = page.imageFile;
    choice.sectorSizeText = page.bytesPerSector;
    choice.codePage = page.codePage;
    return choice;
  }
  if (!page.selectedDrive) return std::nullopt;
  choice.path = page.selectedDrive->devicePath;
  choice.isDevice = true;
  choice.isLogicalDrive = page.selectedDrive->group == kGroupLogicalDrives;
  choice.codePage = page.codePage;
  return choice;
}

std::vector<std::string> MediumNotes(const OpenedSource& source) {
  const SourceMedium* medium = source.reader().medium();
  return medium != nullptr ? medium->Notes() : std::vector<std::string>{};
}

OpenedChoice OpenChosenSource(const SourcePage& page, const OpenSettings& settings,
                              const std::function<void(OpenedSource&)>& scan) {
  OpenedChoice opened;
  const std::optional<SourceChoice> choice = ChosenSource(page);
  if (!choice) return opened;
  OpenFailure failure;
  {
    WaitCursor wait;
    opened.source = OpenedSource::Open(*choice, settings, failure);
  }
  if (!opened.source) {
    opened.result = OpenResult::kNotOpened;
    if (failure.kind == OpenFailure::Kind::kSystemError) ShowMessageBox(failure.text, kErrorCaption, kMbOkWarning);
    if (failure.kind == OpenFailure::Kind::kUnusable) ShowMessageBox(failure.text, kApplicationTitle, kMbOkWarning);
    return opened;
  }
  // What is wrong with an evidence file is said before anything else about it.
  if (const std::vector<std::string> notes = MediumNotes(*opened.source); !notes.empty()) {
    std::string text;
    for (const std::string& note : notes) text += (text.empty() ? "" : "\n\n") + note;
    ShowMessageBox(text, kApplicationTitle, kMbOkWarning);
  }
  if (opened.source->partitions().empty()) {
    opened.result = OpenResult::kNoPartitions;
    ShowMessageBox(opened.source->NoPartitionsMessage(), kApplicationTitle, kMbOkWarning);
    return opened;
  }
  opened.result = OpenResult::kPartitionsFound;
  scan(*opened.source);
  return opened;
}
