#pragma once
// The busy cursor of long operations. It is shown through a WaitCursor guard only, so that it
// is restored on every path, early returns and exceptions included. The window installs a
// service that changes the pointer; without one nothing is shown.

#include "platform/Service.h"

class WaitCursorService {
 public:
  virtual ~WaitCursorService() = default;
  // Shows the busy cursor. Calls nest: each Show is undone by one Restore.
  virtual void Show() = 0;
  virtual void Restore() = 0;
};

ServiceSlot<WaitCursorService>& WaitCursorSlot();

// Shows the busy cursor for its lifetime, through the service installed when it was made.
class WaitCursor {
 public:
  WaitCursor() : service_(WaitCursorSlot().get()) { service_.Show(); }
  ~WaitCursor() { service_.Restore(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  WaitCursorService& service_;
};
