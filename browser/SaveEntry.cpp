#include "browser/SaveEntry.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "device/SystemError.h"
#include "platform/MessageBox.h"

namespace {

constexpr size_t kMaxKeptExtension = 16;
constexpr int kMaxNumberedNames = 10000;
constexpr int kMaxTemporaryNames = 100;

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The first at most maxBytes bytes of text, not cutting a UTF-8 character in two.
std::string CutAtCharacter(const std::string& text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  size_t cut = maxBytes;
  while (cut > 0 && IsUtf8Continuation(text[cut])) --cut;
  return text.substr(0, cut);
}

// Splits "name.ext" into "name" and ".ext"; a leading dot or a long tail is no extension.
std::pair<std::string, std::string> SplitExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || name.size() - dot > kMaxKeptExtension) return {name, ""};
  return {name.substr(0, dot), name.substr(dot)};
}

std::string WithNumber(const std::string& safeName, int number) {
  const auto [stem, extension] = SplitExtension(safeName);
  const std::string suffix = " (" + std::to_string(number) + ")" + extension;
  return CutAtCharacter(stem, kMaxFileNameBytes - suffix.size()) + suffix;
}

void ReportSaveFailure(const std::string& path, const std::string& reason) {
  ShowMessageBox("The file \"" + path + "\" could not be saved:\n" + reason, "Error", kMbOkWarning);
}

// A temporary file in the target folder that holds the complete data before it gets its
// name; it is removed again unless it was placed.
class PendingFile {
 public:
  PendingFile() = default;
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  ~PendingFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
  }

  // Creates the file in folder under a name of its own, with the permissions a new file gets
  // there (mode 0666 less the umask); returns 0 or the errno of the failure.
  int Create(const std::string& folder) {
    for (int attempt = 0; attempt < kMaxTemporaryNames; ++attempt) {
      uint64_t random = 0;
      ::arc4random_buf(&random, sizeof random);
      char suffix[20];
      std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random));
      std::string name = folder + "/.brindle-save-" + suffix;
      fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd_ >= 0) {
        path_ = std::move(name);
        return 0;
      }
      if (errno != EEXIST) return errno;
    }
    return EEXIST;
  }

  int fd() const { return fd_; }

  // Closes the file, flushing it to the disk first when durable; returns 0 or the errno.
  int Close(bool durable) {
    int error = durable && ::fsync(fd_) != 0 ? errno : 0;
    if (::close(fd_) != 0 && error == 0) error = errno;
    fd_ = -1;
    return error;
  }

  // Gives the file its final path; without replace an existing path is EEXIST.
  int Place(const std::string& target, bool replace) {
    const int error = Move(target, replace);
    if (error == 0) path_.clear();
    return error;
  }

 private:
  int Move(const std::string& target, bool replace) {
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

  int fd_ = -1;
  std::string path_;
};

// Writes the data to the pending file and tells the progress callback; a false from it
// cancels the save.
class SaveSink final : public ByteSink {
 public:
  SaveSink(int fd, uint64_t total, const SaveProgress& progress) : file_(fd), total_(total), progress_(progress) {}

  bool Write(const uint8_t* data, size_t n) override { return file_.Write(data, n) && Report(); }

  bool Report() {
    cancelled_ = progress_ && !progress_(file_.written(), total_);
    return !cancelled_;
  }
  bool cancelled() const { return cancelled_; }
  int error() const { return file_.error() != 0 ? file_.error() : EIO; }
  uint64_t written() const { return file_.written(); }

 private:
  FdSink file_;
  uint64_t total_;
  const SaveProgress& progress_;
  bool cancelled_ = false;
};

unsigned DaysInMonth(unsigned year, unsigned month) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// The name the file is saved under, made safe.
std::string SavedFileName(const TDirectoryEntry& entry, const SaveName& as) {
  return SafeFileName(as.name.empty() ? entry.name : as.name);
}

// Gives the written file its modification time, when there is one; returns 0 or the errno.
int StampFile(int fd, const SaveName& as) {
  if (!as.modified) return 0;
  const timespec times[2] = {{0, UTIME_OMIT}, *as.modified};  // access time, modification time
  return ::futimens(fd, times) == 0 ? 0 : errno;
}

// Streams all of the entry's data into fd. Returns kSaved, kCancelled, or kFailed after telling
// the user why; written receives the count.
SaveOutcome StreamEntry(TDirectoryEntry& entry, int fd, const std::string& path, const SaveProgress& progress,
                        uint64_t& written) {
  SaveSink sink(fd, entry.DataLength(), progress);
  try {
    if (!sink.Report()) return SaveOutcome::kCancelled;
    if (entry.StreamData(sink, 0)) {
      written = sink.written();
      return SaveOutcome::kSaved;
    }
  } catch (const std::bad_alloc&) {
    ReportSaveFailure(path, "There is not enough memory to hold its data.");
    return SaveOutcome::kFailed;
  }
  if (sink.cancelled()) return SaveOutcome::kCancelled;
  ReportSaveFailure(path, SystemErrorText(sink.error()));
  return SaveOutcome::kFailed;
}

}  // namespace

std::string SafeFileName(const std::string& name) {
  std::string safe = name;
  for (char& c : safe) {
    if (c == '/' || c == '\0') c = '_';
  }
  if (safe.empty() || safe == "." || safe == "..") return "_";
  if (safe.size() > kMaxFileNameBytes) {
    const auto [stem, extension] = SplitExtension(safe);
    safe = CutAtCharacter(stem, kMaxFileNameBytes - extension.size()) + extension;
  }
  return safe;
}

SaveName RecordedName(const TDirectoryEntry& entry) {
  const std::optional<RecordedTime> time = entry.ModifiedTime();
  return SaveName{entry.FileName(), time ? MomentOf(*time) : std::nullopt};
}

std::optional<timespec> MomentOf(const RecordedTime& time) {
  const DosDateTime& stamp = time.stamp;
  if (stamp.month < 1 || stamp.month > 12 || stamp.day < 1 || stamp.day > DaysInMonth(stamp.year, stamp.month) ||
      stamp.hour > 23 || stamp.minute > 59 || stamp.seconds > 59 || time.hundredths > 199) {
    return std::nullopt;
  }
  std::tm fields{};
  fields.tm_year = static_cast<int>(stamp.year) - 1900;
  fields.tm_mon = static_cast<int>(stamp.month) - 1;
  fields.tm_mday = static_cast<int>(stamp.day);
  fields.tm_hour = static_cast<int>(stamp.hour);
  fields.tm_min = static_cast<int>(stamp.minute);
  fields.tm_sec = static_cast<int>(stamp.seconds + time.hundredths / 100);  // 60 is the next minute
  fields.tm_isdst = -1;  // the local rules say whether summer time applies
  const time_t seconds =
      time.utcOffsetMinutes ? ::timegm(&fields) - time_t{*time.utcOffsetMinutes} * 60 : std::mktime(&fields);
  if (seconds == static_cast<time_t>(-1)) return std::nullopt;
  return timespec{seconds, static_cast<long>(time.hundredths % 100) * 10'000'000};
}

SaveOutcome SaveEntry(TDirectoryEntry& entry, const std::string& folder, std::string* savedPath,
                      const SaveProgress& progress, const SaveName& as) {
  const std::string path = folder + "/" + SavedFileName(entry, as);
  if (savedPath) *savedPath = path;
  struct stat info {};
  const bool replace = ::lstat(path.c_str(), &info) == 0;
  if (replace) {
    const std::string question = "The file \"" + path + "\" already exists.\nDo you want to replace it?";
    if (ShowMessageBox(question, kApplicationTitle, kMbYesNoQuestion) != kIdYes) return SaveOutcome::kDeclined;
  }
  PendingFile file;
  int error = file.Create(folder);
  if (error == 0) {
    uint64_t written = 0;
    const SaveOutcome streamed = StreamEntry(entry, file.fd(), path, progress, written);
    if (streamed != SaveOutcome::kSaved) return streamed;
    error = StampFile(file.fd(), as);
    if (error == 0) error = file.Close(true);
    // A file that turned up while the data was read is not one the user agreed to replace.
    if (error == 0) error = file.Place(path, replace);
  }
  if (error != 0) {
    ReportSaveFailure(path, SystemErrorText(error));
    return SaveOutcome::kFailed;
  }
  return SaveOutcome::kSaved;
}

SaveOutcome SaveEntryAsNewFile(TDirectoryEntry& entry, const std::string& folder, std::string* savedPath,
                               uint64_t* bytesWritten, const SaveName& as) {
  const std::string safeName = SavedFileName(entry, as);
  std::string path = folder + "/" + safeName;
  if (savedPath) *savedPath = path;
  PendingFile file;
  uint64_t written = 0;
  int error = file.Create(folder);
  if (error == 0) {
    const SaveOutcome streamed = StreamEntry(entry, file.fd(), path, nullptr, written);
    if (streamed != SaveOutcome::kSaved) return streamed;
    error = StampFile(file.fd(), as);
    if (error == 0) error = file.Close(false);
  }
  for (int number = 1; error == 0; ++number) {
    error = file.Place(path, false);
    if (error != EEXIST || number > kMaxNumberedNames) break;
    path = folder + "/" + WithNumber(safeName, number);
    error = 0;
  }
  if (savedPath) *savedPath = path;
  if (error != 0) {
    ReportSaveFailure(path, SystemErrorText(error));
    return SaveOutcome::kFailed;
  }
  if (bytesWritten) *bytesWritten = written;
  return SaveOutcome::kSaved;
}

int SyncFileSystem(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = ::syncfs(fd) == 0 ? 0 : errno;
  ::close(fd);
  return error;
}
