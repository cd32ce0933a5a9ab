#include "platform/FolderDialog.h"

namespace {

class CancelledFolderDialog final : public FolderDialogService {
 public:
  std::optional<std::string> ChooseFolder(const std::string& /*prompt*/) override { return std::nullopt; }
};

}  // namespace

ServiceSlot<FolderDialogService>& FolderDialogSlot() {
  static CancelledFolderDialog fallback;
  static ServiceSlot<FolderDialogService> slot(fallback);
  return slot;
}

std::optional<std::string> ChooseFolder(const std::string& prompt) {
  return FolderDialogSlot().get().ChooseFolder(prompt);
}
