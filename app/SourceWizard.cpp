#include "app/SourceWizard.h"

#include "fs/Discovery.h"
#include "platform/MessageBox.h"
#include "platform/WaitCursor.h"

std::optional<SourceChoice> ChosenSource(const SourcePage& page) {
  if (!page.driveListShown) return SourceChoice{page.imageFile, false, false, page.bytesPerSector};
  if (!page.selectedDrive) return std::nullopt;
  return SourceChoice{page.selectedDrive->devicePath, true, page.selectedDrive->group == kGroupLogicalDrives, "512"};
}

OpenResult OpenChosenSource(TSectorReader& reader, ReaderRef* readerRef, const SourcePage& page,
                            const std::function<bool()>& scan) {
  reader.Close();
  const std::optional<SourceChoice> choice = ChosenSource(page);
  if (!choice) return OpenResult::kNothingChosen;
  {
    WaitCursor wait;
    if (!OpenSource(reader, *choice)) return OpenResult::kNotOpened;
  }
  if (scan()) return OpenResult::kPartitionsFound;
  const std::string hint = DescribeUnreadTable(readerRef);
  ShowMessageBox(kNoPartitionsMessage + (hint.empty() ? "" : "\n" + hint), kApplicationTitle, kMbOkWarning);
  return OpenResult::kNoPartitions;
}
