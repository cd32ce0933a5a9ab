// Split raw images through libsmraw: the medium's bytes cut into segment files of one size,
// named as split or a forensic imager names them (card.001, card.002, ...; xaa, xab, ...).
// They have nothing of their own to be recognised by, so a file is taken for the first
// segment of one when its name is a segment's and the next segment is beside it.

#include <libsmraw.h>

#include <memory>

#include "device/EvidenceOpeners.h"
#include "device/LibraryMedium.h"

namespace {

struct Smraw {
  static constexpr const char* kName = "libsmraw";
  using Handle = libsmraw_handle_t;
  using Error = libsmraw_error_t;
  static ssize_t Read(Handle* h, void* buffer, size_t size, off64_t offset, Error** error) {
    return libsmraw_handle_read_buffer_at_offset(h, buffer, size, offset, error);
  }
  static int Close(Handle* h, Error** error) { return libsmraw_handle_close(h, error); }
  static int Free(Handle** h, Error** error) { return libsmraw_handle_free(h, error); }
  static int Backtrace(Error* error, char* text, size_t size) { return libsmraw_error_backtrace_sprint(error, text, size); }
  static void FreeError(Error** error) { libsmraw_error_free(error); }
};

// The names libsmraw_glob found, freed with it.
class SegmentNames {
 public:
  ~SegmentNames() {
    if (names != nullptr) libsmraw_glob_free(names, count, nullptr);
  }
  char** names = nullptr;
  int count = 0;
};

}  // namespace

EvidenceOpening OpenSplitRaw(const std::string& named) {
  // libsmraw wants a folder in the name to tell the stem from ("xaa" alone has none).
  const std::string path = named.find('/') == std::string::npos ? "./" + named : named;
  SegmentNames segments;
  libsmraw_error_t* error = nullptr;
  if (libsmraw_glob(path.c_str(), path.size(), &segments.names, &segments.count, &error) != 1) {
    libsmraw_error_free(&error);
    return {};
  }
  // libsmraw takes a single file for a one-segment image; that is a plain image, unless the
  // segments go on after a gap.
  const std::string last = segments.count > 0 ? segments.names[segments.count - 1] : path;
  const std::optional<SegmentGap> gap = FindSegmentGap(last, NextRawSegmentName);
  if (segments.count < 2 && !gap) return {};

  const std::string name = BaseName(path);
  libsmraw_handle_t* handle = nullptr;
  size64_t size = 0;
  if (libsmraw_handle_initialize(&handle, &error) != 1) {
    return {nullptr, "The split raw image \"" + name + "\" cannot be read: " + LibraryErrorText<Smraw>(error) + "."};
  }
  const bool opened = libsmraw_handle_open(handle, segments.names, segments.count, LIBSMRAW_OPEN_READ, &error) == 1;
  if (!opened || libsmraw_handle_get_media_size(handle, &size, &error) != 1) {
    const std::string reason = LibraryErrorText<Smraw>(error);
    if (opened) libsmraw_handle_close(handle, nullptr);
    libsmraw_handle_free(&handle, nullptr);
    return {nullptr, "The split raw image \"" + name + "\" cannot be read: " + reason + "."};
  }
  const std::string count = std::to_string(segments.count);
  auto medium = std::make_unique<LibraryMedium<Smraw>>(
      handle, size, "split raw image, " + count + (segments.count == 1 ? " segment" : " segments"));
  if (gap) {
    medium->AddNote("The split raw image \"" + name + "\" is incomplete: its segment \"" + BaseName(gap->missing) +
                    "\" is missing (\"" + BaseName(gap->present) + "\" is there); only the " + count +
                    " segment(s) up to \"" + BaseName(last) + "\" are read, " + std::to_string(size) + " bytes.");
  }
  return {std::move(medium), ""};
}
