#include "app/SourceWizard.h"

#include "fs/Discovery.h"
#include "platform/MessageBox.h"
#include "platform/WaitCursor.h"

std::optional<SourceChoice> ChosenSource(const SourcePage& page) {
  if (!page.driveListShown) return SourceChoice{page.imageFile, false, false, page.bytesPerSector, page.codePage};
  if (!page.selectedDrive) return std::nullopt;
  return SourceChoice{page.selectedDrive->devicePath, true, page.selectedDrive->group == kGroupLogicalDrives, "512",
                      page.codePage};
}

OpenResult OpenChosenSource(TSectorReader& reader, ReaderRef* readerRef, const SourcePage& page,
                            const std::function<bool(const OemCodePage&)>& scan) {
  reader.Close();
  const std::optional<SourceChoice> choice = ChosenSource(page);
  if (!choice) return OpenResult::kNothingChosen;
  std::string unusable;
  const std::optional<OemCodePage> codePage = OemCodePage::FromName(choice->codePage, unusable);
  if (!codePage) {
    ShowMessageBox(unusable, kApplicationTitle, kMbOkWarning);
    return OpenResult::kNotOpened;
  }
  {
    WaitCursor wait;
    if (!OpenSource(reader, *choice)) return OpenResult::kNotOpened;
  }
  if (scan(*codePage)) return OpenResult::kPartitionsFound;
  const std::string hint = DescribeUnreadTable(readerRef);
  ShowMessageBox(kNoPartitionsMessage + (hint.empty() ? "" : "\n" + hint), kApplicationTitle, kMbOkWarning);
  return OpenResult::kNoPartitions;
}
