#include "fs/Completeness.h"

#include <algorithm>

const char* CompletenessWord(const DataCompleteness& completeness) {
  switch (completeness.kind()) {
    case DataCompleteness::Kind::kWhole: return "whole";
    case DataCompleteness::Kind::kShort: return "short";
    case DataCompleteness::Kind::kNone: return "none";
  }
  return "";
}

const char* ShortfallKey(DataShortfall shortfall) {
  switch (shortfall) {
    case DataShortfall::kNone: return "";
    case DataShortfall::kLoop: return "loop";
    case DataShortfall::kEarlyEnd: return "early-end";
    case DataShortfall::kBadClusterMark: return "bad-cluster";
    case DataShortfall::kOutsideVolume: return "outside-volume";
    case DataShortfall::kFreeInChain: return "free-cluster";
    case DataShortfall::kFirstClusterTaken: return "first-cluster-taken";
    case DataShortfall::kVolumeEnds: return "volume-end";
    case DataShortfall::kBeyondSource: return "beyond-source";
    case DataShortfall::kUnreadable: return "unreadable";
  }
  return "";
}

std::string ShortfallText(DataShortfall shortfall) {
  switch (shortfall) {
    case DataShortfall::kNone: return "";
    case DataShortfall::kLoop: return "its chain comes back to a cluster it passed";
    case DataShortfall::kEarlyEnd: return "its chain ends before its size does";
    case DataShortfall::kBadClusterMark: return "its chain runs into a bad-cluster mark";
    case DataShortfall::kOutsideVolume: return "its chain leads outside the volume";
    case DataShortfall::kFreeInChain: return "its chain runs into a free cluster";
    case DataShortfall::kFirstClusterTaken: return "its first cluster belongs to another file now";
    case DataShortfall::kVolumeEnds: return "the volume ends before its data does";
    case DataShortfall::kBeyondSource: return "part of it lies beyond the end of the source";
    case DataShortfall::kUnreadable: return "sectors of it could not be read";
  }
  return "";
}

std::string CompletenessText(const DataCompleteness& completeness) {
  if (completeness.whole()) return CompletenessWord(completeness);
  std::string bytes = std::to_string(completeness.delivered);
  if (completeness.expected != 0) bytes += " of " + std::to_string(completeness.expected);
  std::string text = std::string(CompletenessWord(completeness)) + ": " + bytes + " bytes (" +
                     ShortfallText(completeness.shortfall);
  if (completeness.standIns != 0) {
    const std::string standIns = std::to_string(completeness.standIns) + " bytes";
    text += completeness.shortfall == DataShortfall::kFreeInChain
                ? "; " + standIns + " more were taken from the clusters that follow it"
                : "; " + standIns + " of zeros stand in for what is missing";
  }
  return text + ")";
}

std::string DirectoryShortfallText(DataShortfall why) {
  if (why == DataShortfall::kNone || why == DataShortfall::kLoop) return "";
  return ShortfallText(why) + "; the rest of it was not read";
}

bool CompletenessSink::Write(const uint8_t* data, size_t n) {
  written_ += n;
  return inner_ == nullptr || inner_->Write(data, n);
}

bool CompletenessSink::WriteZeros(uint64_t n) {
  written_ += n;
  return inner_ == nullptr || inner_->WriteZeros(n);
}

void CompletenessSink::NoteShortfall(DataShortfall why, uint64_t standIns) {
  tally_.Note(why, standIns);
  if (inner_ != nullptr) inner_->NoteShortfall(why, standIns);
}

DataCompleteness CompletenessSink::Result() const {
  DataCompleteness result;
  result.expected = expected_;
  result.delivered = written_ - std::min(written_, tally_.standIns);
  result.shortfall = tally_.first;
  result.standIns = std::min(written_, tally_.standIns);
  if (result.shortfall == DataShortfall::kNone && result.delivered < expected_) {
    result.shortfall = DataShortfall::kEarlyEnd;
  }
  return result;
}
