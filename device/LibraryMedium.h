#pragma once
// What the media of the evidence libraries (libewf, libsmraw, libvhdi, libvmdk, libqcow) have
// in common. The libraries share one shape: a handle that is opened, read at an offset and
// freed, and errors that are objects of their own with a text. A handle may not be read from
// two threads at once, so every read takes the medium's lock: the window browses while a save
// or a scan reads in the background.
//
// Each library is described by a traits struct: its kName, Handle, Error, and static functions
// Read, Close, Free, Backtrace (the error's messages, innermost first) and FreeError.

#include <sys/types.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "device/SourceMedium.h"

// The innermost message of a library error, which says what went wrong, after the library's
// name instead of the function that reports it: "libvhdi: unsupported signature". Frees the
// error.
template <typename Library>
std::string LibraryErrorText(typename Library::Error*& error) {
  const std::string name = std::string(Library::kName) + ": ";
  if (error == nullptr) return name + "unknown error";
  char text[4096] = {};
  Library::Backtrace(error, text, sizeof text - 1);
  Library::FreeError(&error);
  std::string message(text, ::strnlen(text, sizeof text));
  message = message.substr(0, message.find('\n'));
  // "libvhdi_file_footer_read_data: unsupported signature." → "unsupported signature"
  if (const size_t colon = message.find(": "); colon != std::string::npos && message.compare(0, 3, "lib") == 0) {
    message.erase(0, colon + 2);
  }
  while (!message.empty() && (message.back() == '.' || message.back() == ' ')) message.pop_back();
  return name + (message.empty() ? "unknown error" : message);
}

template <typename Library>
class LibraryMedium : public SourceMedium {
 public:
  using Handle = typename Library::Handle;
  using Error = typename Library::Error;

  // Takes handle, opened, on a medium of size bytes.
  LibraryMedium(Handle* handle, uint64_t size, std::string description)
      : handle_(handle), size_(size), description_(std::move(description)) {}
  ~LibraryMedium() override {
    Library::Close(handle_, nullptr);
    Library::Free(&handle_, nullptr);
  }
  LibraryMedium(const LibraryMedium&) = delete;
  LibraryMedium& operator=(const LibraryMedium&) = delete;

  size_t ReadAt(uint8_t* dest, size_t count, uint64_t position, MediumFault& fault) override {
    const std::lock_guard<std::mutex> lock(mutex_);
    return ReadLocked(dest, count, position, fault);
  }
  uint64_t Size() const override { return size_; }
  uint32_t RecordedSectorSize() const override { return sectorSize_; }
  std::string Description() const override { return description_; }
  std::vector<std::string> Notes() const override {
    const std::lock_guard<std::mutex> lock(mutex_);
    return notes_;
  }

  void SetRecordedSectorSize(uint32_t size) { sectorSize_ = size; }
  void AddNote(std::string note) {
    const std::lock_guard<std::mutex> lock(mutex_);
    notes_.push_back(std::move(note));
  }

 protected:
  // A read with the lock held: the library reads until count bytes are read, the medium ends
  // or it fails, and says why.
  size_t ReadLocked(uint8_t* dest, size_t count, uint64_t position, MediumFault& fault) {
    fault = MediumFault{};
    size_t done = 0;
    while (done < count && position + done < size_) {
      Error* error = nullptr;
      const ssize_t got = Library::Read(handle_, dest + done, count - done, static_cast<off64_t>(position + done), &error);
      if (got > 0) {
        done += static_cast<size_t>(got);
        continue;
      }
      if (got < 0) fault = MediumFault{EIO, LibraryErrorText<Library>(error)};
      break;
    }
    return done;
  }

  Handle* handle_;
  mutable std::mutex mutex_;  // held for every use of handle_ after opening, and for notes_
  std::vector<std::string> notes_;

 private:
  uint64_t size_;
  uint32_t sectorSize_ = 0;
  std::string description_;
};
