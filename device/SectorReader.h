#pragma once
// The one reader through which every byte of the medium is read. It opens an image file or a
// block device read-only, knows its sector size and sector count, and serves sectors and byte
// runs through one read-ahead window of up to 256 sectors. It never writes.

#include <sys/types.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

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

// The platform's positioned read, pread(2) unless a test puts a stand-in in its place.
using PlatformRead = std::function<ssize_t(int fd, void* buffer, size_t count, off_t offset)>;

// Sector sizes an image may be opened with.
inline constexpr uint32_t kMinSectorSize = 512;
inline constexpr uint32_t kMaxSectorSize = 65536;
// Capacity of the read-ahead window in sectors.
inline constexpr uint32_t kMaxBufferSectors = 256;

class TSectorReader {
 public:
  TSectorReader();
  ~TSectorReader();
  TSectorReader(const TSectorReader&) = delete;
  TSectorReader& operator=(const TSectorReader&) = delete;

  // Opening, in this order: Close, then OpenImage or OpenDevice, then PrepareBuffer. A failed
  // open has shown its message and leaves the reader closed.
  bool OpenImage(const std::string& path, const std::string& sectorSizeText);
  bool OpenDevice(const std::string& path, bool isLogicalDrive);
  void PrepareBuffer();
  void Close();

  // Makes sector the current one: currentData() then points at its bytes until the next call.
  bool ReadSector(uint32_t sector);
  // Copies count bytes that begin byteOffset bytes into sector cursor to dest, then moves the
  // cursor and byteOffset past them. On failure dest is zero-filled and the cursor and
  // byteOffset stay where they were. Long runs of whole sectors that the window does not hold
  // are read straight into dest, in reads of the window's size.
  bool ReadBytes(uint8_t* dest, uint32_t count, uint32_t& cursor);
  // The same, but any whole sectors the window does not hold go straight into dest, however
  // few: for file data, which is read once and would only push the tables and directories
  // read around it out of the window.
  bool ReadBytesDirect(uint8_t* dest, uint32_t count, uint32_t& cursor);

  // Where the next ReadBytes starts inside the cursor sector; callers set it to 0 before a
  // read at a sector of their own choosing.
  uint32_t byteOffset = 0;
  // Replaced by tests to make chosen reads fail or come up short.
  PlatformRead platformRead;

  bool IsOpen() const { return deviceHandle_ >= 0; }
  int deviceHandle() const { return deviceHandle_; }
  uint32_t bytesPerSector() const { return geometry_.bytesPerSector; }
  uint32_t totalSectors() const { return totalSectors_; }
  const DiskGeometry& geometry() const { return geometry_; }
  uint32_t bufferSectors() const { return bufferSectors_; }
  uint32_t bufferFirst() const { return bufferFirst_; }
  uint32_t bufferEnd() const { return bufferEnd_; }
  const uint8_t* currentData() const { return currentData_; }
  uint32_t currentSector() const { return currentSector_; }

 private:
  bool Readable(uint32_t sector) const;
  bool Holds(uint32_t sector) const;
  bool ReadBytesFrom(uint8_t* dest, uint32_t count, uint32_t& cursor, uint32_t directSectors);
  bool FillWindow(uint32_t sector);
  bool ReadRun(uint8_t* dest, uint32_t first, uint32_t count);
  int ReadOneSector(uint8_t* dest, uint32_t sector);
  size_t ReadFully(int fd, uint8_t* dest, size_t length, uint64_t position, int& error);
  size_t ReadBlockDirect(uint64_t position, int& error);
  void OpenDirectReads();
  void CloseWithError(const char* prefix);

  struct FreeDeleter {
    void operator()(uint8_t* p) const { std::free(p); }
  };

  int deviceHandle_ = -1;
  // The same block device opened with O_DIRECT, its logical block size and a buffer of one
  // block aligned to it; none for an image file.
  int directHandle_ = -1;
  uint32_t directBlockSize_ = 0;
  std::unique_ptr<uint8_t, FreeDeleter> directBuffer_;
  uint32_t bufferSectors_ = kMaxBufferSectors;
  std::unique_ptr<uint8_t[]> buffer_;
  uint32_t bufferFirst_ = 0;
  uint32_t bufferEnd_ = 0;
  const uint8_t* currentData_ = nullptr;
  uint32_t currentSector_ = 0;
  DiskGeometry geometry_;
  uint32_t totalSectors_ = 0;
};

// The value of a sector-size text: leading white space, an optional sign, then the digits up
// to the first non-digit; no digits give 0. Values beyond the int32 range saturate.
int64_t ParseSectorSizeText(const std::string& text);
