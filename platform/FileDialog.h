#pragma once
// Asking the user for a file to open. The window installs a dialog; tests install one that
// answers from a script. Without either nobody can be asked, and the answer is "cancelled".

#include <optional>
#include <string>
#include <vector>

#include "platform/Service.h"

class FileDialogService {
 public:
  virtual ~FileDialogService() = default;
  // Asks for an existing file under title, offering the name filters (the first one chosen);
  // nullopt when the user cancels.
  virtual std::optional<std::string> ChooseFileToOpen(const std::string& title,
                                                      const std::vector<std::string>& nameFilters) = 0;
};

ServiceSlot<FileDialogService>& FileDialogSlot();

// Asks through the installed service, with the filters of a filter text (see NameFilters).
std::optional<std::string> ChooseFileToOpen(const std::string& title, const std::string& filter);

// The filters of a text of description and pattern pairs, "All Files (*.*)|*.*|Images|*.img;*.bin",
// as name filters that show the description and match the patterns: "All Files (*)",
// "Images (*.img *.bin)". A description's own "(...)" gives way to the patterns. "*.*" matches
// every name, as it does where such filters come from, also names without a dot.
std::vector<std::string> NameFilters(const std::string& filter);
