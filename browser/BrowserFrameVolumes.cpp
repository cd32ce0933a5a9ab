// The frame's search for lost volumes beside those it shows: a partition deleted from the
// table next to a live one, or a volume in space no entry covers. The search reads the source
// in the background and makes the volumes it finds there; they join the tree on the window's
// thread when it ends.

#include <algorithm>

#include "browser/Background.h"
#include "browser/BrowserFrame.h"
#include "platform/MessageBox.h"

namespace {

constexpr const char* kVolumeSearchLabel = "Searching for lost volumes";

std::string FoundText(size_t found) {
  return "The search found " + std::to_string(found) + " lost volume(s).";
}

}  // namespace

bool BrowserFrame::CanSearchLostVolumes() const { return source_ != nullptr && !Background().Busy(); }

void BrowserFrame::SearchLostVolumes(SearchDepth depth) {
  if (!CanSearchLostVolumes()) return;
  OpenedSource* source = source_;
  std::vector<SectorRange> covered = VolumeExtents(partitions);
  int numberAfter = 0;
  for (const auto& partition : partitions) numberAfter = std::max(numberAfter, partition->number);
  auto found = std::make_shared<PartitionList>();
  Background().Start(
      kVolumeSearchLabel,
      [source, covered = std::move(covered), numberAfter, depth, found](Operation& operation) {
        const ReadSession session(source->reader(), operation.policy(), operation.faults());
        *found = source->SearchBeside(covered, numberAfter, depth, [&operation](uint64_t done, uint64_t total) {
          return operation.Advance(done, total);
        });
      },
      [this, found](Operation&) {
        // Volumes found while the partitions go, go with them.
        if (ending_) return;
        {
          const TreeUpdate bracket(view_);  // painted before the box comes up
          for (auto& partition : *found) {
            partitions.push_back(std::move(partition));
            // A filtered tree shows them once it is whole again.
            if (!filtered_) AddVolumeNodes(*partitions.back());
          }
        }
        ShowMessageBox(FoundText(found->size()), kApplicationTitle, kMbOkWarning);
      });
}
