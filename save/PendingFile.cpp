#include "save/PendingFile.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

constexpr int kMaxTemporaryNames = 100;
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr size_t kSignalCount = std::size(kCleanupSignals);

// The named files a signal has to remove. A signal handler can reach nothing but static
// storage, so this is the one place where saving keeps state outside its objects: a fixed
// table that the handler only reads, filled and emptied with the signals held. The handlers are
// in place only while the table holds a path.
struct CleanupSlot {
  volatile sig_atomic_t used = 0;
  char path[PATH_MAX] = {};
};
CleanupSlot cleanupSlots[8];
int slotsInUse = 0;
struct sigaction previousActions[kSignalCount];
bool handlerInstalled[kSignalCount] = {};

extern "C" void RemovePendingFiles(int signal) {
  for (const CleanupSlot& slot : cleanupSlots) {
    if (slot.used) ::unlink(slot.path);
  }
  // SA_RESETHAND put the default action back: raised again, the signal ends the process as it
  // would have without this handler, when the handler returns.
  ::raise(signal);
}

// Holds the cleanup signals back in this thread for its lifetime, so that a signal cannot come
// between two steps that must happen together.
class HeldSignals {
 public:
  HeldSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kCleanupSignals) sigaddset(&set, signal);
    pthread_sigmask(SIG_BLOCK, &set, &old_);
  }
  ~HeldSignals() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
  HeldSignals(const HeldSignals&) = delete;
  HeldSignals& operator=(const HeldSignals&) = delete;

 private:
  sigset_t old_;
};

// Only a signal whose action is the default, ending the process, gets the handler: one that is
// ignored ends nothing, and one with a handler of its own leaves the process to that handler,
// and the file to the destructor.
void InstallHandlers() {
  for (size_t i = 0; i < kSignalCount; ++i) {
    if (::sigaction(kCleanupSignals[i], nullptr, &previousActions[i]) != 0) continue;
    if ((previousActions[i].sa_flags & SA_SIGINFO) != 0 || previousActions[i].sa_handler != SIG_DFL) continue;
    struct sigaction ours {};
    ours.sa_handler = RemovePendingFiles;
    sigfillset(&ours.sa_mask);
    ours.sa_flags = SA_RESETHAND;
    handlerInstalled[i] = ::sigaction(kCleanupSignals[i], &ours, nullptr) == 0;
  }
}

void RestoreHandlers() {
  for (size_t i = 0; i < kSignalCount; ++i) {
    if (!handlerInstalled[i]) continue;
    struct sigaction now {};
    if (::sigaction(kCleanupSignals[i], nullptr, &now) == 0 && (now.sa_flags & SA_SIGINFO) == 0 &&
        now.sa_handler == RemovePendingFiles) {
      ::sigaction(kCleanupSignals[i], &previousActions[i], nullptr);
    }
    handlerInstalled[i] = false;
  }
}

// Enters path in the table; returns its slot, or -1 when the table is full. Call with the
// signals held.
int AddCleanup(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (size_t i = 0; i < std::size(cleanupSlots); ++i) {
    CleanupSlot& slot = cleanupSlots[i];
    if (slot.used) continue;
    std::memcpy(slot.path, path.c_str(), path.size() + 1);
    slot.used = 1;
    if (slotsInUse++ == 0) InstallHandlers();
    return static_cast<int>(i);
  }
  return -1;
}

// Call with the signals held.
void RemoveCleanup(int slot) {
  if (slot < 0) return;
  cleanupSlots[slot].used = 0;
  if (--slotsInUse == 0) RestoreHandlers();
}

std::string TemporaryName(const std::string& folder) {
  uint64_t random = 0;
  ::arc4random_buf(&random, sizeof random);
  char suffix[20];
  std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random));
  return folder + "/.brindle-save-" + suffix;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

PendingFile::~PendingFile() {
  if (fd_ >= 0) ::close(fd_);
  if (path_.empty() && cleanupSlot_ < 0) return;
  HeldSignals held;
  if (!path_.empty()) ::unlink(path_.c_str());
  RemoveCleanup(cleanupSlot_);
}

int PendingFile::Create(const std::string& folder) {
  fd_ = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd_ >= 0) return 0;
  // EOPNOTSUPP (ENOSYS, EINVAL from some): the file system has no unnamed files; EISDIR: the
  // kernel does not know O_TMPFILE and saw only the O_DIRECTORY in it. Any other failure would
  // befall a named file as well.
  if (errno != EOPNOTSUPP && errno != ENOSYS && errno != EINVAL && errno != EISDIR) return errno;
  return CreateNamed(folder);
}

int PendingFile::CreateNamed(const std::string& folder) {
  for (int attempt = 0; attempt < kMaxTemporaryNames; ++attempt) {
    std::string name = TemporaryName(folder);
    // The name is in the table before the file exists and until it is gone, so that there is
    // no moment when a signal could leave it behind.
    HeldSignals held;
    fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      path_ = std::move(name);
      cleanupSlot_ = AddCleanup(path_);
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

int PendingFile::Complete(bool durable) {
  int error = durable && ::fsync(fd_) != 0 ? errno : 0;
  // A named file is closed before it gets its name, so that an error that only closing reports
  // (a network file system's) stops it from getting one.
  if (named()) {
    const int closeError = CloseFile();
    if (error == 0) error = closeError;
  }
  return error;
}

int PendingFile::CloseFile() {
  const int error = ::close(fd_) == 0 ? 0 : errno;
  fd_ = -1;
  return error;
}

int PendingFile::Place(const std::string& target, bool replace) {
  if (named()) {
    HeldSignals held;  // the name changes and the table follows, in one step
    const int error = MoveNamed(target, replace);
    if (error == 0) {
      path_.clear();
      RemoveCleanup(cleanupSlot_);
      cleanupSlot_ = -1;
    }
    return error;
  }
  int error = replace ? ReplaceWithUnnamed(target) : LinkUnnamed(target);
  if (error != 0) return error;
  // An error that only closing reports means the data may not all be there: a file that took a
  // free name gives it up again.
  error = CloseFile();
  if (error != 0 && !replace) ::unlink(target.c_str());
  return error;
}

// linkat through /proc/self/fd is the way open(2) gives to name an O_TMPFILE file; without
// /proc, AT_EMPTY_PATH does the same where the process may use it. Neither replaces a file.
int PendingFile::LinkUnnamed(const std::string& target) const {
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
  if (errno != ENOENT || ::access("/proc/self/fd", X_OK) == 0) return errno;
  return ::linkat(fd_, "", AT_FDCWD, target.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
}

// A name cannot be taken over by linkat: the file gets a name of its own first and then takes
// the target's place with rename. With the signals held in between, an interrupt cannot leave
// that name behind.
int PendingFile::ReplaceWithUnnamed(const std::string& target) const {
  HeldSignals held;
  for (int attempt = 0; attempt < kMaxTemporaryNames; ++attempt) {
    const std::string name = TemporaryName(FolderOf(target));
    const int error = LinkUnnamed(name);
    if (error == EEXIST) continue;
    if (error != 0) return error;
    if (::rename(name.c_str(), target.c_str()) == 0) return 0;
    const int renameError = errno;
    ::unlink(name.c_str());
    return renameError;
  }
  return EEXIST;
}

int PendingFile::MoveNamed(const std::string& target, bool replace) const {
  if (replace) return ::rename(path_.c_str(), target.c_str()) == 0 ? 0 : errno;
  if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system that cannot refuse to replace: a hard link cannot replace either.
  if (::link(path_.c_str(), target.c_str()) == 0) {
    ::unlink(path_.c_str());
    return 0;
  }
  if (errno == EEXIST) return EEXIST;
  struct stat info {};
  if (::lstat(target.c_str(), &info) == 0) return EEXIST;
  return ::rename(path_.c_str(), target.c_str()) == 0 ? 0 : errno;
}
