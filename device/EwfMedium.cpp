// EnCase images (E01, Ex01) through libewf. libewf reads the chunks of a set of segment files
// back into the medium's bytes; where it has no data for a chunk (a segment file missing or
// cut short) it gives zeros, and where a chunk does not match its checksum, the bytes as the
// image holds them. Either way it notes the sectors as checksum errors: those become notes
// that say which sectors they are, while what can be read is read.

#include <libewf.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <utility>

#include "device/EvidenceOpeners.h"
#include "device/LibraryMedium.h"

namespace {

struct Ewf {
  static constexpr const char* kName = "libewf";
  using Handle = libewf_handle_t;
  using Error = libewf_error_t;
  static ssize_t Read(Handle* h, void* buffer, size_t size, off64_t offset, Error** error) {
    return libewf_handle_read_random(h, buffer, size, offset, error);
  }
  static int Close(Handle* h, Error** error) { return libewf_handle_close(h, error); }
  static int Free(Handle** h, Error** error) { return libewf_handle_free(h, error); }
  static int Backtrace(Error* error, char* text, size_t size) { return libewf_error_backtrace_sprint(error, text, size); }
  static void FreeError(Error** error) { libewf_error_free(error); }
};

// The names libewf_glob found, freed with it.
class SegmentNames {
 public:
  ~SegmentNames() {
    if (names != nullptr) libewf_glob_free(names, count, nullptr);
  }
  char** names = nullptr;
  int count = 0;
};

std::string Hex(const uint8_t* bytes, size_t count) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

class EwfMedium final : public LibraryMedium<Ewf> {
 public:
  EwfMedium(libewf_handle_t* handle, uint64_t size, std::string description, std::string name)
      : LibraryMedium(handle, size, std::move(description)), name_(std::move(name)) {}

  size_t ReadAt(uint8_t* dest, size_t count, uint64_t position, MediumFault& fault) override {
    const std::lock_guard<std::mutex> lock(mutex_);
    const size_t done = ReadLocked(dest, count, position, fault);
    NoteChecksumErrors();
    return done;
  }

  std::map<std::string, std::string> RecordedHashes() const override { return hashes_; }

  void FindHashes() {
    uint8_t md5[16] = {};
    uint8_t sha1[20] = {};
    if (libewf_handle_get_md5_hash(handle_, md5, sizeof md5, nullptr) == 1) hashes_["md5"] = Hex(md5, sizeof md5);
    if (libewf_handle_get_sha1_hash(handle_, sha1, sizeof sha1, nullptr) == 1) hashes_["sha1"] = Hex(sha1, sizeof sha1);
  }

 private:
  // A note for each run of sectors that libewf has newly marked as having no data or data
  // that does not match its checksum. Called with the lock held.
  void NoteChecksumErrors() {
    uint32_t count = 0;
    if (libewf_handle_get_number_of_checksum_errors(handle_, &count, nullptr) != 1) return;
    for (; noted_ < count && noted_ < kMaxNotedRuns; ++noted_) {
      uint64_t first = 0;
      uint64_t sectors = 0;
      if (libewf_handle_get_checksum_error(handle_, noted_, &first, &sectors, nullptr) != 1 || sectors == 0) continue;
      // libewf notes a run again each time it is read.
      if (!namedRuns_.insert({first, sectors}).second) continue;
      notes_.push_back("The EnCase image \"" + name_ + "\" holds no data, or data that does not match its checksum, "
                       "for sectors " + std::to_string(first) + " to " + std::to_string(first + sectors - 1) +
                       " (of " + std::to_string(RecordedSectorSize() != 0 ? RecordedSectorSize() : 512) +
                       " bytes): they are read as the image gives them, zeros where it holds nothing.");
    }
  }

  static constexpr uint32_t kMaxNotedRuns = 100;
  std::string name_;
  uint32_t noted_ = 0;
  std::set<std::pair<uint64_t, uint64_t>> namedRuns_;
  std::map<std::string, std::string> hashes_;
};

}  // namespace

EvidenceOpening OpenEwf(const std::string& path) {
  const std::string name = BaseName(path);
  const std::string cannot = "The EnCase image \"" + name + "\" cannot be read: ";
  SegmentNames segments;
  libewf_error_t* error = nullptr;
  // libewf finds the other segment files by the first one's extension; a file renamed to
  // another is opened alone.
  std::string alone = path;
  char* aloneNames[] = {alone.data()};
  char** names = aloneNames;
  int count = 1;
  if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &segments.names, &segments.count, &error) == 1 &&
      segments.count > 0) {
    names = segments.names;
    count = segments.count;
  } else {
    libewf_error_free(&error);
  }
  libewf_handle_t* handle = nullptr;
  if (libewf_handle_initialize(&handle, &error) != 1) return {nullptr, cannot + LibraryErrorText<Ewf>(error) + "."};
  if (libewf_handle_open(handle, names, count, LIBEWF_OPEN_READ, &error) != 1) {
    const std::string reason = LibraryErrorText<Ewf>(error);
    libewf_handle_free(&handle, nullptr);
    return {nullptr, cannot + reason + "."};
  }
  size64_t size = 0;
  uint32_t sectorSize = 0;
  if (libewf_handle_get_media_size(handle, &size, &error) != 1) {
    const std::string reason = LibraryErrorText<Ewf>(error);
    libewf_handle_close(handle, nullptr);
    libewf_handle_free(&handle, nullptr);
    return {nullptr, cannot + reason + "."};
  }
  libewf_handle_get_bytes_per_sector(handle, &sectorSize, nullptr);
  const bool corrupted = libewf_handle_segment_files_corrupted(handle, nullptr) == 1;
  const std::string last = names[count - 1];
  const std::string files = std::to_string(count) + (count == 1 ? " segment file" : " segment files");
  auto medium = std::make_unique<EwfMedium>(handle, size, "EnCase image, " + files, name);
  medium->SetRecordedSectorSize(sectorSize);
  if (const std::optional<SegmentGap> gap = FindSegmentGap(last, NextEwfSegmentName)) {
    medium->AddNote("The EnCase image \"" + name + "\" is incomplete: its segment file \"" + BaseName(gap->missing) +
                    "\" is missing (\"" + BaseName(gap->present) + "\" is there); only the " + files +
                    " up to \"" + BaseName(last) + "\" are read.");
  } else if (corrupted) {
    medium->AddNote("The EnCase image \"" + name + "\" is damaged or incomplete: a segment file after \"" +
                    BaseName(last) + "\" is missing, or " +
                    (count == 1 ? "\"" + name + "\"" : "one of its " + files) + " was cut short.");
  }
  medium->FindHashes();
  return {std::move(medium), ""};
}
