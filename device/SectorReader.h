#pragma once
// The one reader through which every byte of the medium is read. It opens an image file or a
// block device read-only, knows its sector size and sector count, and serves sectors and byte
// runs through a read-ahead window of up to 256 sectors. It never writes. What it reads is a
// SourceMedium (device/SourceMedium.h): the file or device itself, or the medium an evidence
// file holds (device/EvidenceMedia.h), which it tells apart by content.
//
// Reads may come from several threads at once: the window's thread browses while a save or a
// scan reads in the background. Each thread that runs such an operation opens a ReadSession,
// which gives it a read-ahead window of its own and the fault policy and log of its operation;
// the reader's own window serves every other thread, one read at a time. The descriptor and the
// geometry are set when the source is opened and only read afterwards.

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/FileMedium.h"
#include "device/ReadFaults.h"
#include "device/SourceMedium.h"

// The geometry of the last source opened. This platform knows the sector size and the size in
// bytes; the other fields stay zero.
struct DiskGeometry {
  int64_t cylinders = 0;
  uint32_t mediaType = 0;
  uint32_t tracksPerCylinder = 0;
  uint32_t sectorsPerTrack = 0;
  uint32_t bytesPerSector = 0;
  int64_t diskSize = 0;
};

class TSectorReader;

// The cell through which partitions and nodes reach the one reader. Its owner creates it
// before anything that reads and frees it after them; nobody else owns the reader.
struct ReaderRef {
  TSectorReader* reader = nullptr;
};

// Sector sizes an image may be opened with.
inline constexpr uint32_t kMinSectorSize = 512;
inline constexpr uint32_t kMaxSectorSize = 65536;
// Capacity of the read-ahead window in sectors.
inline constexpr uint32_t kMaxBufferSectors = 256;
// The most a read straight into the caller's buffer asks of the medium at once (or the
// window's size, where that is larger).
inline constexpr uint64_t kMaxDirectReadBytes = uint64_t{1} << 20;

// Why a source could not be opened, in the words the user is shown.
struct OpenFailure {
  enum class Kind {
    kNone,         // nothing to say: a drive without a medium in it
    kSystemError,  // the system refused; text ends with its reason
    kUnusable,     // the user's choice cannot be used (a sector size out of range)
  };
  Kind kind = Kind::kNone;
  std::string text;
};

// One read-ahead window and what reads through it answer to.
struct ReadWindow {
  uint32_t bufferSectors = kMaxBufferSectors;
  std::unique_ptr<uint8_t[]> buffer;
  uint32_t bufferFirst = 0;
  uint32_t bufferEnd = 0;
  const uint8_t* currentData = nullptr;
  uint32_t currentSector = 0;
  FaultPolicy* policy = nullptr;
  FaultLog* log = nullptr;
};

class TSectorReader {
 public:
  TSectorReader();
  ~TSectorReader();
  TSectorReader(const TSectorReader&) = delete;
  TSectorReader& operator=(const TSectorReader&) = delete;

  // Opening, in this order: Close, then OpenImage or OpenDevice (or OpenDeviceDescriptor or
  // OpenMedium), then PrepareBuffer. A failed open leaves the reader closed and says why in
  // openFailure(). Nothing may read while the reader opens or closes.
  // An image file is read as the evidence file its content says it is, if it is one.
  bool OpenImage(const std::string& path, const std::string& sectorSizeText);
  bool OpenDevice(const std::string& path, bool isLogicalDrive);
  // A block device already open as fd (handed over by a service that opened it for us), which
  // the reader owns from now on, whatever becomes of the open.
  bool OpenDeviceDescriptor(int fd);
  // A medium of any kind, read with sectors of the size the text gives (as OpenImage reads it).
  bool OpenMedium(std::unique_ptr<SourceMedium> medium, const std::string& sectorSizeText);
  void PrepareBuffer();
  void Close();
  const OpenFailure& openFailure() const { return openFailure_; }

  // What reads on threads without a session do with a fault: until set, they give up the read
  // (Abort) and note it in the reader's own log.
  void SetFaultHandling(FaultPolicy& policy, FaultLog& log);
  FaultLog& faultLog() const { return *mainWindow_.log; }
  // The log that reads of the calling thread note their faults in: its session's, else the
  // reader's own.
  FaultLog& faultLogOfThisThread() const { return *WindowOfThisThread().log; }

  // Makes sector the current one: currentData() then points at its bytes until the next call
  // on this thread.
  bool ReadSector(uint32_t sector);
  // Copies count bytes that begin byteOffset bytes into sector cursor to dest, then moves the
  // cursor and byteOffset past them. On failure dest is zero-filled and the cursor and
  // byteOffset stay where they were. Long runs of whole sectors that the window does not hold
  // are read straight into dest, in reads of the window's size. byteOffset is one for all
  // threads: reads from other threads use ReadAt.
  bool ReadBytes(uint8_t* dest, uint32_t count, uint32_t& cursor);
  // Copies count bytes that begin offset bytes into sector to dest; on failure dest is
  // zero-filled. As ReadBytes, without a cursor.
  bool ReadAt(uint32_t sector, uint32_t offset, uint8_t* dest, uint32_t count);
  // The same, but any whole sectors the window does not hold go straight into dest, however
  // few: for file data, which is read once and would only push the tables and directories
  // read around it out of the window.
  bool ReadDirectAt(uint32_t sector, uint8_t* dest, uint32_t count);

  // The first sector from sector on that may hold data: sector itself, unless the medium knows
  // the sectors from there on to be a hole that reads as zeros (SourceMedium::DataFrom);
  // totalSectors() when nothing but a hole follows.
  uint64_t DataSectorFrom(uint64_t sector) const;

  // Where the next ReadBytes starts inside the cursor sector; callers set it to 0 before a
  // read at a sector of their own choosing.
  uint32_t byteOffset = 0;
  // Replaced by tests to make chosen reads fail or come up short; set before reads begin.
  PlatformRead platformRead;

  bool IsOpen() const { return medium_ != nullptr; }
  // The descriptor of a plain file or device; -1 when closed or reading an evidence file.
  int deviceHandle() const { return medium_ ? medium_->Descriptor() : -1; }
  // What the reader reads; nothing while it is closed.
  const SourceMedium* medium() const { return medium_.get(); }
  uint32_t bytesPerSector() const { return geometry_.bytesPerSector; }
  uint32_t totalSectors() const { return totalSectors_; }
  const DiskGeometry& geometry() const { return geometry_; }
  // The window of the calling thread: its session's, else the reader's own.
  uint32_t bufferSectors() const { return WindowOfThisThread().bufferSectors; }
  uint32_t bufferFirst() const { return WindowOfThisThread().bufferFirst; }
  uint32_t bufferEnd() const { return WindowOfThisThread().bufferEnd; }
  const uint8_t* currentData() const { return WindowOfThisThread().currentData; }
  uint32_t currentSector() const { return WindowOfThisThread().currentSector; }

 private:
  friend class ReadSession;

  // The calling thread's window, with the lock of the reader's own window held while it is
  // that one.
  class WindowAccess;

  ReadWindow& WindowOfThisThread() const;
  void Register(ReadWindow& window);
  void Unregister(ReadWindow& window);
  void SizeWindow(ReadWindow& window) const;

  bool Readable(uint32_t sector) const;
  static bool Holds(const ReadWindow& window, uint32_t sector);
  bool ReadSectorIn(ReadWindow& window, uint32_t sector);
  bool ReadFrom(ReadWindow& window, uint8_t* dest, uint32_t count, uint32_t sector, uint32_t offset,
                uint32_t directSectors);
  bool FillWindow(ReadWindow& window, uint32_t sector);
  bool ReadRun(ReadWindow& window, uint8_t* dest, uint32_t first, uint32_t count);
  bool SetSectorSize(const std::string& sectorSizeText);
  bool Fail(OpenFailure::Kind kind, std::string text);
  bool FailWithError(const std::string& prefix);

  std::unique_ptr<SourceMedium> medium_;
  DiskGeometry geometry_;
  uint32_t totalSectors_ = 0;
  OpenFailure openFailure_;

  FixedFaultPolicy abortFaults_{FaultAnswer::kAbort};
  FaultLog ownLog_;
  mutable ReadWindow mainWindow_;
  mutable std::recursive_mutex mainMutex_;  // held for every read through mainWindow_
  mutable std::mutex sessionsMutex_;
  std::vector<std::pair<std::thread::id, ReadWindow*>> sessions_;
};

// The reads of one operation on one thread: for its lifetime, every read the thread makes
// through reader goes through a window of its own and hands its faults to policy, noting them
// in log. One session per thread at a time.
class ReadSession {
 public:
  ReadSession(TSectorReader& reader, FaultPolicy& policy, FaultLog& log);
  ~ReadSession();
  ReadSession(const ReadSession&) = delete;
  ReadSession& operator=(const ReadSession&) = delete;

 private:
  TSectorReader& reader_;
  ReadWindow window_;
};

// The value of a sector-size text: leading white space, an optional sign, then the digits up
// to the first non-digit; no digits give 0. Values beyond the int32 range saturate.
int64_t ParseSectorSizeText(const std::string& text);
