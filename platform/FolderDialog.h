#pragma once
// Asking the user for a folder. The window installs a dialog; tests install one that answers
// from a script. Without either nobody can be asked, and the answer is "cancelled".

#include <optional>
#include <string>

#include "platform/Service.h"

class FolderDialogService {
 public:
  virtual ~FolderDialogService() = default;
  // Asks for a folder under prompt, starting with none chosen; nullopt when the user cancels.
  virtual std::optional<std::string> ChooseFolder(const std::string& prompt) = 0;
};

ServiceSlot<FolderDialogService>& FolderDialogSlot();

// Asks through the installed service.
std::optional<std::string> ChooseFolder(const std::string& prompt);
