#include "app/SourceWizard.h"

#include "browser/Background.h"
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
  std::optional<SourceChoice> choice = ChosenSource(page);
  if (!choice) return opened;
  // Asked before the busy cursor: the service may ask the user for a password first.
  DriveOpening handed;
  if (choice->isDevice && page.drives != nullptr) handed = page.drives->Open(*page.selectedDrive);
  if (handed.kind == DriveOpening::Kind::kRefused) {
    opened.result = OpenResult::kNotOpened;
    ShowMessageBox(handed.message, handed.caption, kMbOkWarning);
    return opened;
  }
  choice->descriptor = handed.descriptor.get();
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
    const std::string offer = opened.source->NoPartitionsMessage() + "\n\n" + kSearchOffer;
    const bool accepted = ShowMessageBox(offer, kApplicationTitle, kMbYesNoQuestion) == kIdYes;
    opened.result = accepted ? OpenResult::kSearchAccepted : OpenResult::kNoPartitions;
    return opened;
  }
  opened.result = OpenResult::kPartitionsFound;
  scan(*opened.source);
  return opened;
}

void SearchSource(OpenedSource& source, SearchDepth depth, std::function<void(SearchOutcome)> done) {
  auto outcome = std::make_shared<SearchOutcome>();
  Background().Start(
      kSearchLabel,
      [&source, depth, outcome](Operation& operation) {
        const ReadSession session(source.reader(), operation.policy(), operation.faults());
        outcome->found = source.SearchLostVolumes(
            depth, [&operation](uint64_t done, uint64_t total) { return operation.Advance(done, total); });
        outcome->cancelled = operation.Cancelled();
      },
      [outcome, done = std::move(done)](Operation&) { done(*outcome); });
}
