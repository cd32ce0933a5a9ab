#pragma once
// The report shown when a save of many files ends: a few lines, the particulars below them,
// and a button that opens the folder the files went to. The window installs a dialog; tests
// install one that records what it was shown and answers from a script. Without either the
// report goes to standard error and nothing is opened.

#include <string>

#include "platform/Service.h"

class SummaryBoxService {
 public:
  virtual ~SummaryBoxService() = default;
  // Shows text under caption, with details (one line per file or sector, maybe many) to be
  // scrolled through; true when the user asked for the folder to be opened.
  virtual bool Show(const std::string& caption, const std::string& text, const std::string& details) = 0;
};

ServiceSlot<SummaryBoxService>& SummaryBoxSlot();

// Shows through the installed service.
bool ShowSummaryBox(const std::string& caption, const std::string& text, const std::string& details);

// A file: address for a local folder, with the bytes an address may not hold as they are
// percent-encoded, for the desktop's file manager.
std::string FolderUrl(const std::string& folder);
