#include "browser/frame/QtBackground.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QPointer>
#include <QProgressDialog>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>

#include "browser/ReadFaultQuestion.h"

namespace {

constexpr int kPollMs = 50;
constexpr int kSteps = 1000;

// One question put to the window's thread, and its answer once given. The operation may stop
// waiting for it (when cancelled); then the question is not asked at all.
struct FaultQuestion {
  std::mutex mutex;
  std::condition_variable answered;
  std::optional<FaultAnswer> answer;
  bool abandoned = false;
};

}  // namespace

// Answers an operation's read faults by asking the user on the window's thread.
class QtBackground::WindowThreadPolicy final : public FaultPolicy {
 public:
  WindowThreadPolicy(QObject& windowThread, const std::atomic<bool>& cancelled)
      : windowThread_(windowThread), cancelled_(cancelled) {}

  FaultAnswer Decide(const ReadFault& fault) override {
    if (cancelled_) return FaultAnswer::kAbort;
    auto question = std::make_shared<FaultQuestion>();
    QMetaObject::invokeMethod(
        &windowThread_,
        [question, fault] {
          {
            const std::lock_guard<std::mutex> lock(question->mutex);
            if (question->abandoned) return;
          }
          AskingFaultPolicy ask;
          const FaultAnswer answer = ask.Decide(fault);
          const std::lock_guard<std::mutex> lock(question->mutex);
          question->answer = answer;
          question->answered.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(question->mutex);
    while (!question->answer) {
      if (cancelled_) {
        question->abandoned = true;
        return FaultAnswer::kAbort;
      }
      question->answered.wait_for(lock, std::chrono::milliseconds(kPollMs));
    }
    return *question->answer;
  }

 private:
  QObject& windowThread_;
  const std::atomic<bool>& cancelled_;
};

struct QtBackground::Task {
  Task(QtBackground& owner, const std::string& text, Done whenDone)
      : policy(owner, cancelled), operation(policy), label(QString::fromStdString(text)), done(std::move(whenDone)) {
    started.start();
  }

  std::atomic<bool> cancelled{false};  // set with the operation's own flag, read by the policy
  WindowThreadPolicy policy;
  Operation operation;
  QString label;
  Done done;
  QElapsedTimer started;
  std::unique_ptr<QProgressDialog> dialog;
  std::thread thread;
  std::atomic<bool> ended{false};
  bool quiet = false;  // shows no dialog

  void Cancel() {
    cancelled = true;
    operation.Cancel();
  }
};

QtBackground::QtBackground(QWidget* owner, int showAfterMs) : owner_(owner), showAfterMs_(showAfterMs) {
  timer_.setInterval(kPollMs);
  connect(&timer_, &QTimer::timeout, this, &QtBackground::Poll);
}

QtBackground::~QtBackground() { CancelAndWait(); }

void QtBackground::Start(const std::string& label, Work work, Done done) {
  Run(label, std::move(work), std::move(done), false);
}

void QtBackground::StartQuiet(const std::string& label, Work work, Done done) {
  Run(label, std::move(work), std::move(done), true);
}

void QtBackground::Run(const std::string& label, Work work, Done done, bool quiet) {
  auto task = std::make_unique<Task>(*this, label, std::move(done));
  task->quiet = quiet;
  Task* running = task.get();
  tasks_.push_back(std::move(task));
  running->thread = std::thread([this, running, work = std::move(work)] {
    try {
      work(running->operation);
    } catch (...) {
      // An operation that fails ends like one that was cancelled: its done says what it got.
      running->Cancel();
    }
    running->ended = true;
    // Its done runs at once rather than at the next tick; dropped if the service is gone.
    QMetaObject::invokeMethod(this, [this] { Poll(); }, Qt::QueuedConnection);
  });
  if (!timer_.isActive()) timer_.start();
}

void QtBackground::Poll() {
  std::vector<Task*> ended;
  for (const auto& task : tasks_) {
    if (task->ended) ended.push_back(task.get());
    else ShowProgress(*task);
  }
  for (Task* task : ended) Finish(task);
  if (tasks_.empty()) timer_.stop();
}

void QtBackground::ShowProgress(Task& task) {
  if (!task.dialog) {
    if (task.quiet || task.started.elapsed() < showAfterMs_) return;
    task.dialog = std::make_unique<QProgressDialog>(task.label, QCoreApplication::translate("Progress", "取消"), 0, kSteps, owner_);
    QProgressDialog& dialog = *task.dialog;
    dialog.setWindowTitle(QApplication::applicationDisplayName());
    dialog.setWindowModality(Qt::NonModal);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setMinimumDuration(std::numeric_limits<int>::max());  // shown here, not by its own timer
    dialog.setMinimumWidth(360);
    connect(&dialog, &QProgressDialog::canceled, this, [&task] { task.Cancel(); });
    dialog.show();
  }
  const Operation::Progress progress = task.operation.progress();
  if (progress.total == 0) {
    task.dialog->setRange(0, 0);  // length not known: a busy bar
  } else {
    task.dialog->setRange(0, kSteps);
    task.dialog->setValue(static_cast<int>(std::min(progress.done, progress.total) * kSteps / progress.total));
  }
  const QLocale locale;
  QString amount = locale.formattedDataSize(static_cast<qint64>(progress.done));
  if (progress.total != 0) amount += " of " + locale.formattedDataSize(static_cast<qint64>(progress.total));
  const QString status = QString::fromStdString(progress.status);
  task.dialog->setLabelText(task.label + (status.isEmpty() ? "" : "\n" + status) + "\n" + amount);
}

void QtBackground::Finish(Task* task) {
  const auto found = std::find_if(tasks_.begin(), tasks_.end(), [task](const auto& t) { return t.get() == task; });
  if (found == tasks_.end()) return;
  std::unique_ptr<Task> finished = std::move(*found);
  tasks_.erase(found);
  if (finished->thread.joinable()) finished->thread.join();
  finished->dialog.reset();
  if (finished->done) finished->done(finished->operation);
}

std::string QtBackground::Doing() const {
  if (tasks_.empty()) return {};
  const Task& task = *tasks_.front();
  const std::string status = task.operation.progress().status;
  std::string doing = task.label.toStdString() + (status.empty() ? "" : ": " + status);
  if (tasks_.size() > 1) doing += " (+" + std::to_string(tasks_.size() - 1) + ")";
  return doing;
}

void QtBackground::CancelAndWait() {
  for (const auto& task : tasks_) task->Cancel();
  while (!tasks_.empty()) Finish(tasks_.front().get());
  timer_.stop();
}
