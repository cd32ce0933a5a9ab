#pragma once
// What the sector reader reads from: a run of bytes with a size, whatever holds them. A plain
// image file or a block device is one; so is an evidence file (an EnCase image, a split raw
// image, a virtual disk), which a library turns back into the bytes of the medium it was
// made from. The reader knows nothing of formats: it asks for bytes at a position and hears
// what failed.
//
// Reads may come from several threads at once; a medium whose library cannot take that
// serialises them itself.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Why a read of the medium failed: the system's error number (EIO where a library gives none)
// and, where a library failed, its own words.
struct MediumFault {
  int error = 0;
  std::string text;
};

class SourceMedium {
 public:
  virtual ~SourceMedium() = default;

  // Reads up to count bytes at position into dest and returns how many were read. Fewer than
  // count only at the end of the medium, or where a read failed: then fault says why and dest
  // from the returned count on is undefined.
  virtual size_t ReadAt(uint8_t* dest, size_t count, uint64_t position, MediumFault& fault) = 0;
  // Reads the count bytes at position on their own, after a longer read failed, to tell the
  // part that cannot be read from the rest: dest gets what can be read and zeros for the
  // rest, and for what lies beyond the end. False, with fault saying why, when a part could
  // not be read. By default a part is read whole or not at all (a disk does not deliver part
  // of a sector); a medium whose reads fail in larger units than asked for (a block device's
  // page cache) reads around them.
  virtual bool ReadAlone(uint8_t* dest, size_t count, uint64_t position, MediumFault& fault);

  // The size in bytes of the medium the reads address.
  virtual uint64_t Size() const = 0;
  // The first byte at or after position that may hold data: position itself, unless the
  // medium knows the stretch from there on to be a hole that reads as zeros (the unwritten
  // parts of a sparse image file); Size() when nothing but a hole follows.
  virtual uint64_t DataFrom(uint64_t position) const { return position; }
  // The sector size the medium or its evidence file records; 0 when it records none.
  virtual uint32_t RecordedSectorSize() const { return 0; }
  // The descriptor of a plain file or device, for the checks that want it; -1 for the others.
  virtual int Descriptor() const { return -1; }
  // What the medium is, in words: "EnCase image (E01), 3 segment files".
  virtual std::string Description() const = 0;
  // What is wrong with the evidence, found out when it was opened, each in a sentence that
  // names it: a missing segment file, one cut short, data that does not match its checksums.
  virtual std::vector<std::string> Notes() const { return {}; }
  // The hashes the evidence file records of the whole medium, by algorithm name ("md5",
  // "sha1"), in lower-case hexadecimal; none where it records none.
  virtual std::map<std::string, std::string> RecordedHashes() const { return {}; }
};
