// Virtual disks: VHD and VHDX through libvhdi, VMDK through libvmdk, qcow and qcow2 through
// libqcow. A disk that only records changes to another (a differencing VHD, a qcow2 image with
// a backing file, a VMDK with a parent) holds too little to be read on its own: it is refused
// with its reason.

#include <libqcow.h>
#include <libvhdi.h>
#include <libvmdk.h>

#include <memory>

#include "device/EvidenceOpeners.h"
#include "device/LibraryMedium.h"

namespace {

struct Vhdi {
  static constexpr const char* kName = "libvhdi";
  using Handle = libvhdi_file_t;
  using Error = libvhdi_error_t;
  static ssize_t Read(Handle* h, void* buffer, size_t size, off64_t offset, Error** error) {
    return libvhdi_file_read_buffer_at_offset(h, buffer, size, offset, error);
  }
  static int Close(Handle* h, Error** error) { return libvhdi_file_close(h, error); }
  static int Free(Handle** h, Error** error) { return libvhdi_file_free(h, error); }
  static int Backtrace(Error* error, char* text, size_t size) { return libvhdi_error_backtrace_sprint(error, text, size); }
  static void FreeError(Error** error) { libvhdi_error_free(error); }
};

struct Vmdk {
  static constexpr const char* kName = "libvmdk";
  using Handle = libvmdk_handle_t;
  using Error = libvmdk_error_t;
  static ssize_t Read(Handle* h, void* buffer, size_t size, off64_t offset, Error** error) {
    return libvmdk_handle_read_buffer_at_offset(h, buffer, size, offset, error);
  }
  static int Close(Handle* h, Error** error) { return libvmdk_handle_close(h, error); }
  static int Free(Handle** h, Error** error) { return libvmdk_handle_free(h, error); }
  static int Backtrace(Error* error, char* text, size_t size) { return libvmdk_error_backtrace_sprint(error, text, size); }
  static void FreeError(Error** error) { libvmdk_error_free(error); }
};

struct Qcow {
  static constexpr const char* kName = "libqcow";
  using Handle = libqcow_file_t;
  using Error = libqcow_error_t;
  static ssize_t Read(Handle* h, void* buffer, size_t size, off64_t offset, Error** error) {
    return libqcow_file_read_buffer_at_offset(h, buffer, size, offset, error);
  }
  static int Close(Handle* h, Error** error) { return libqcow_file_close(h, error); }
  static int Free(Handle** h, Error** error) { return libqcow_file_free(h, error); }
  static int Backtrace(Error* error, char* text, size_t size) { return libqcow_error_backtrace_sprint(error, text, size); }
  static void FreeError(Error** error) { libqcow_error_free(error); }
};

// A handle of Library from initialize to free, until a medium takes it over.
template <typename Library>
class PendingHandle {
 public:
  using Handle = typename Library::Handle;
  ~PendingHandle() {
    if (handle == nullptr) return;
    if (opened) Library::Close(handle, nullptr);
    Library::Free(&handle, nullptr);
  }
  // The medium of size bytes that takes the handle over.
  std::unique_ptr<LibraryMedium<Library>> Medium(uint64_t size, std::string description) {
    auto medium = std::make_unique<LibraryMedium<Library>>(handle, size, std::move(description));
    handle = nullptr;
    return medium;
  }
  Handle* handle = nullptr;
  bool opened = false;
};

std::string Cannot(const char* kind, const std::string& path, const std::string& reason) {
  return std::string("The ") + kind + " \"" + BaseName(path) + "\" cannot be read: " + reason + ".";
}

}  // namespace

EvidenceOpening OpenVhd(const std::string& path) {
  PendingHandle<Vhdi> file;
  libvhdi_error_t* error = nullptr;
  if (libvhdi_file_initialize(&file.handle, &error) != 1 ||
      !(file.opened = libvhdi_file_open(file.handle, path.c_str(), LIBVHDI_OPEN_READ, &error) == 1)) {
    return {nullptr, Cannot("VHD virtual disk", path, LibraryErrorText<Vhdi>(error) + " (it may be cut short)")};
  }
  int fileType = 0;
  uint32_t diskType = 0;
  libvhdi_file_get_file_type(file.handle, &fileType, nullptr);
  const char* kind = fileType == LIBVHDI_FILE_TYPE_VHDX ? "VHDX virtual disk" : "VHD virtual disk";
  if (libvhdi_file_get_disk_type(file.handle, &diskType, nullptr) == 1 && diskType == LIBVHDI_DISK_TYPE_DIFFERENTIAL) {
    return {nullptr, Cannot(kind, path, "it is a differencing disk, which holds only the changes to its parent disk")};
  }
  size64_t size = 0;
  uint32_t sectorSize = 0;
  if (libvhdi_file_get_media_size(file.handle, &size, &error) != 1) {
    return {nullptr, Cannot(kind, path, LibraryErrorText<Vhdi>(error))};
  }
  libvhdi_file_get_bytes_per_sector(file.handle, &sectorSize, nullptr);
  auto medium = file.Medium(size, kind);
  medium->SetRecordedSectorSize(sectorSize);
  return {std::move(medium), ""};
}

EvidenceOpening OpenVmdk(const std::string& path) {
  constexpr const char* kKind = "VMDK virtual disk";
  PendingHandle<Vmdk> disk;
  libvmdk_error_t* error = nullptr;
  if (libvmdk_handle_initialize(&disk.handle, &error) != 1 ||
      !(disk.opened = libvmdk_handle_open(disk.handle, path.c_str(), LIBVMDK_OPEN_READ, &error) == 1)) {
    return {nullptr, Cannot(kKind, path, LibraryErrorText<Vmdk>(error) + " (it may be cut short)")};
  }
  // A descriptor names its extent files beside it; a sparse disk holds its one extent itself.
  if (libvmdk_handle_open_extent_data_files(disk.handle, &error) != 1) {
    return {nullptr, Cannot(kKind, path, LibraryErrorText<Vmdk>(error) + " (an extent file it names is missing?)")};
  }
  uint32_t parent = 0;
  if (libvmdk_handle_get_parent_content_identifier(disk.handle, &parent, nullptr) == 1 && parent != 0xFFFFFFFFu) {
    return {nullptr, Cannot(kKind, path, "it holds only the changes to a parent disk")};
  }
  size64_t size = 0;
  if (libvmdk_handle_get_media_size(disk.handle, &size, &error) != 1) {
    return {nullptr, Cannot(kKind, path, LibraryErrorText<Vmdk>(error))};
  }
  return {disk.Medium(size, kKind), ""};
}

EvidenceOpening OpenQcow(const std::string& path) {
  constexpr const char* kKind = "qcow virtual disk";
  PendingHandle<Qcow> file;
  libqcow_error_t* error = nullptr;
  if (libqcow_file_initialize(&file.handle, &error) != 1 ||
      !(file.opened = libqcow_file_open(file.handle, path.c_str(), LIBQCOW_OPEN_READ, &error) == 1)) {
    return {nullptr, Cannot(kKind, path, LibraryErrorText<Qcow>(error) + " (it may be cut short)")};
  }
  uint32_t version = 0;
  libqcow_file_get_format_version(file.handle, &version, nullptr);
  // Version 3 is qcow2 with extensions.
  const std::string kind = version >= 2 ? "qcow2 virtual disk" : kKind;
  uint32_t encryption = LIBQCOW_ENCRYPTION_METHOD_NONE;
  if (libqcow_file_get_encryption_method(file.handle, &encryption, nullptr) == 1 &&
      encryption != LIBQCOW_ENCRYPTION_METHOD_NONE) {
    return {nullptr, Cannot(kind.c_str(), path, "it is encrypted")};
  }
  size_t backingName = 0;
  if (libqcow_file_get_utf8_backing_filename_size(file.handle, &backingName, nullptr) == 1 && backingName > 1) {
    return {nullptr, Cannot(kind.c_str(), path, "it holds only the changes to its backing file")};
  }
  size64_t size = 0;
  if (libqcow_file_get_media_size(file.handle, &size, &error) != 1) {
    return {nullptr, Cannot(kind.c_str(), path, LibraryErrorText<Qcow>(error))};
  }
  return {file.Medium(size, kind), ""};
}
