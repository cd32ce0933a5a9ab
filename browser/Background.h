#pragma once
// The window's long operations, such as saves and scans: each runs away from the window's
// thread where the window provides one, so that the window repaints and can be used while it
// runs, with its progress shown and a Cancel button. Its read faults are answered as the
// window answers them, by asking the user on the window's thread. Without a window (tests,
// or no service installed) an operation runs at once on the calling thread, its faults asked
// through the message-box service and its progress shown through the progress service.

#include <functional>
#include <string>
#include <utility>

#include "fs/Operation.h"
#include "platform/Service.h"

class BackgroundService {
 public:
  using Work = std::function<void(Operation& operation)>;
  using Done = std::function<void(Operation& operation)>;

  virtual ~BackgroundService() = default;
  // Runs work with an operation of its own, showing label with the operation's progress and
  // a Cancel button, then done on the calling thread. work reads through a ReadSession of its
  // own (see Operation).
  virtual void Start(const std::string& label, Work work, Done done) = 0;
  // The same for an operation the window follows in its status line alone, such as a search
  // while the user types: no dialog comes up to take the keyboard from them.
  virtual void StartQuiet(const std::string& label, Work work, Done done) {
    Start(label, std::move(work), std::move(done));
  }
  // Whether an operation started here has not finished yet.
  virtual bool Busy() const = 0;
  // What runs, in words ("Saving ...: 12 files: 1:/a"); empty when nothing does.
  virtual std::string Doing() const { return {}; }
  // Asks every running operation to stop and waits until each has ended and its done has run.
  virtual void CancelAndWait() = 0;
};

ServiceSlot<BackgroundService>& BackgroundSlot();
BackgroundService& Background();
