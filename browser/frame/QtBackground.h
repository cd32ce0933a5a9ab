#pragma once
// The window's long operations on threads of their own. Each shows, once it has run for a
// moment, a progress dialog that does not block the window, with its label, how far it has
// come and a Cancel button; the window goes on repainting and answering the user meanwhile.
// A read fault of an operation is put to the user on the window's thread, in the same box as
// a fault of the window's own reads, while the operation waits for the answer; a cancelled
// operation waits no more and gives the read up.

#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

#include "browser/Background.h"

class QWidget;

class QtBackground final : public QObject, public BackgroundService {
 public:
  // owner: the window the dialogs belong to. An operation that ends within showAfterMs
  // shows none.
  explicit QtBackground(QWidget* owner, int showAfterMs = 500);
  ~QtBackground() override;

  void Start(const std::string& label, Work work, Done done) override;
  void StartQuiet(const std::string& label, Work work, Done done) override;
  bool Busy() const override { return !tasks_.empty(); }
  std::string Doing() const override;
  void CancelAndWait() override;

 private:
  struct Task;
  class WindowThreadPolicy;

  // Every 50 ms: the dialogs follow their operations, and ended operations are finished.
  void Poll();
  void ShowProgress(Task& task);
  void Run(const std::string& label, Work work, Done done, bool quiet);
  // Takes the task out, lets its thread go and runs its done.
  void Finish(Task* task);

  QWidget* owner_;
  int showAfterMs_;
  QTimer timer_;
  std::vector<std::unique_ptr<Task>> tasks_;
};
