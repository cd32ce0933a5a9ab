#include "browser/ReadFaultQuestion.h"

#include "platform/MessageBox.h"

FaultAnswer AskingFaultPolicy::Decide(const ReadFault& fault) {
  switch (ShowMessageBox(ReadFaultText(fault), kErrorCaption, kMbAbortRetryIgnoreWarning)) {
    case kIdRetry: return FaultAnswer::kRetry;
    case kIdIgnore: return FaultAnswer::kIgnore;
    default: return FaultAnswer::kAbort;
  }
}
