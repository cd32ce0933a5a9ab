#include "platform/MessageBox.h"

#include <cstdio>

#include "platform/Service.h"

namespace {

// Used when nobody has installed a service: there is no one to ask, so the message goes to
// standard error and the answer is the one that changes nothing.
class StderrMessageBox final : public MessageBoxService {
 public:
  int Show(const std::string& text, const std::string& caption, unsigned flags) override {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return UnansweredResult(flags);
  }
};

StderrMessageBox defaultService;
ServiceSlot<MessageBoxService> slot(defaultService);

}  // namespace

int UnansweredResult(unsigned flags) {
  switch (flags) {
    case kMbAbortRetryIgnoreWarning: return kIdAbort;
    case kMbYesNoQuestion: return kIdNo;
    default: return kIdOk;
  }
}

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  return slot.get().Show(text, caption, flags);
}

void SetMessageBoxService(MessageBoxService* service) { slot.Install(service); }

ScopedMessageBoxService::ScopedMessageBoxService(MessageBoxService& service) : previous_(slot.Install(&service)) {}

ScopedMessageBoxService::~ScopedMessageBoxService() { slot.Install(previous_); }
