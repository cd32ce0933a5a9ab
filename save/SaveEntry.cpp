#include "save/SaveEntry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "device/SystemError.h"
#include "save/PendingFile.h"

namespace {

constexpr size_t kMaxKeptExtension = 16;
// How many names in a row a folder may turn down for one file before the save gives up: far
// more than any real folder holds, but an end for a file system that turns down every name.
constexpr uint64_t kMaxNamesTurnedDown = uint64_t{1} << 24;

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

// Writes the data to the pending file and tells the progress callback; a false from it
// cancels the save.
class SaveSink final : public ByteSink {
 public:
  SaveSink(int fd, uint64_t total, const SaveProgress& progress, ByteSink* copy)
      : file_(fd), total_(total), progress_(progress), copy_(copy) {}

  bool Write(const uint8_t* data, size_t n) override {
    return file_.Write(data, n) && (copy_ == nullptr || copy_->Write(data, n)) && Report();
  }

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
  ByteSink* copy_;
  bool cancelled_ = false;
};

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

// Streams all of the entry's data into fd. Gives kSaved, kCancelled, or kFailed with the
// reason; counts what was written.
SaveResult StreamEntry(TDirectoryEntry& entry, int fd, const std::string& path, const SaveProgress& progress,
                       ByteSink* copy = nullptr) {
  SaveSink sink(fd, entry.DataLength(), progress, copy);
  SaveResult result{SaveOutcome::kSaved, path, "", 0, {}};
  try {
    if (!sink.Report()) {
      result.outcome = SaveOutcome::kCancelled;
    } else if (!entry.StreamChecked(sink, 0, result.completeness)) {
      result.outcome = sink.cancelled() ? SaveOutcome::kCancelled : SaveOutcome::kFailed;
      if (!sink.cancelled()) result.reason = SystemErrorText(sink.error());
    } else if (result.completeness.kind() == DataCompleteness::Kind::kNone) {
      result.outcome = SaveOutcome::kFailed;
      result.reason = "None of its data can be read: " + ShortfallText(result.completeness.shortfall) + ".";
    }
  } catch (const std::bad_alloc&) {
    result.outcome = SaveOutcome::kFailed;
    result.reason = "There is not enough memory to hold its data.";
  }
  result.bytes = sink.written();
  return result;
}

SaveResult Failed(const std::string& path, int error) {
  return SaveResult{SaveOutcome::kFailed, path, SystemErrorText(error), 0, {}};
}

}  // namespace

std::string NumberedName(const std::string& safeName, uint64_t number) {
  const auto [stem, extension] = SplitExtension(safeName);
  const std::string suffix = " (" + std::to_string(number) + ")" + extension;
  return CutAtCharacter(stem, kMaxFileNameBytes - suffix.size()) + suffix;
}

std::string TakenNames::FirstFree(const std::string& safeName) {
  if (!IsTaken(safeName)) return safeName;
  uint64_t& number = nextNumber_.try_emplace(safeName, 1).first->second;
  std::string name = NumberedName(safeName, number);
  while (IsTaken(name)) name = NumberedName(safeName, ++number);
  return name;
}

std::string SafeFileName(const std::string& name) {
  std::string safe = name;
  for (char& c : safe) {
    if (c == '/' || c == '\0') c = '_';
  }
  if (safe.empty() || safe == "." || safe == "..") return "_";
  if (safe.front() == ' ') safe.front() = '_';
  if (safe.back() == ' ') safe.back() = '_';
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
  if (!IsPossibleDate(stamp) || !IsPossibleTime(stamp, time.hundredths)) return std::nullopt;
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

std::string SaveFailureText(const SaveResult& result) {
  return "The file \"" + result.path + "\" could not be saved:\n" + result.reason;
}

std::string IncompleteSaveText(const SaveResult& result) {
  return "The file \"" + result.path + "\" was saved, but it is incomplete:\n" + CompletenessText(result.completeness) +
         ".";
}

std::string ReplaceQuestion(const std::string& path) {
  return "The file \"" + path + "\" already exists.\nDo you want to replace it?";
}

std::string SaveTargetPath(const TDirectoryEntry& entry, const std::string& folder, const SaveName& as) {
  return folder + "/" + SavedFileName(entry, as);
}

SaveResult SaveEntry(TDirectoryEntry& entry, const std::string& folder, const SaveOptions& options) {
  const std::string path = SaveTargetPath(entry, folder, options.as);
  struct stat info {};
  const bool replace = ::lstat(path.c_str(), &info) == 0;
  if (replace && !(options.replace && options.replace(path))) return SaveResult{SaveOutcome::kDeclined, path, "", 0, {}};
  PendingFile file;
  if (const int error = file.Create(folder); error != 0) return Failed(path, error);
  SaveResult result = StreamEntry(entry, file.fd(), path, options.progress);
  if (result.outcome != SaveOutcome::kSaved) return result;
  int error = StampFile(file.fd(), options.as);
  if (error == 0) error = file.Complete(true);
  // A file that turned up while the data was read is not one the user agreed to replace.
  if (error == 0) error = file.Place(path, replace);
  return error == 0 ? result : Failed(path, error);
}

SaveResult SaveEntryAsNewFile(TDirectoryEntry& entry, const std::string& folder, TakenNames& names,
                              const SaveName& as, ByteSink* copy) {
  const std::string safeName = SavedFileName(entry, as);
  std::string name = names.FirstFree(safeName);
  std::string path = folder + "/" + name;
  PendingFile file;
  if (const int error = file.Create(folder); error != 0) return Failed(path, error);
  SaveResult result = StreamEntry(entry, file.fd(), path, nullptr, copy);
  if (result.outcome != SaveOutcome::kSaved) return result;
  int error = StampFile(file.fd(), as);
  if (error == 0) error = file.Complete(false);
  // A name that the folder holds already, unknown to names, is taken there too.
  for (uint64_t turnedDown = 0; error == 0; ++turnedDown) {
    name = names.FirstFree(safeName);
    path = folder + "/" + name;
    error = file.Place(path, false);
    if (error != EEXIST) break;
    names.Take(name);
    if (turnedDown == kMaxNamesTurnedDown) break;
    error = 0;
  }
  if (error != 0) return Failed(path, error);
  names.Take(name);
  result.path = path;
  return result;
}

int SyncFileSystem(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = ::syncfs(fd) == 0 ? 0 : errno;
  ::close(fd);
  return error;
}
