#pragma once
// The progress of a long operation, such as saving a large file. The window installs a service
// that shows a dialog with a Cancel button once the operation has run for a moment; tests
// install one that records and cancels on cue. Without either nothing is shown and nothing
// cancels.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Service.h"

// One operation's progress, from Begin until it is destroyed (which takes the display away).
class ProgressReport {
 public:
  virtual ~ProgressReport() = default;
  // Tells how far the operation has come: done of total bytes (total 0: not known). Returns
  // false once the user has asked to cancel.
  virtual bool Update(uint64_t done, uint64_t total) = 0;
};

class ProgressService {
 public:
  virtual ~ProgressService() = default;
  // Starts reporting an operation described by label (e.g. "Saving photo.jpg").
  virtual std::unique_ptr<ProgressReport> Begin(const std::string& label) = 0;
};

ServiceSlot<ProgressService>& ProgressSlot();

// Begins a report through the installed service.
std::unique_ptr<ProgressReport> BeginProgress(const std::string& label);
