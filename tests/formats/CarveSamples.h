#pragma once
// Files of every kind that carving recognises, made once per test program: by the tools
// people's files come from (ImageMagick, exiftool, ffmpeg, zip, gsf, Ghostscript, qpdf) where
// a tool writes the kind, and laid out here by the format's rules where none does (the camera
// raw formats other than DNG). Each comes with a way to damage it that its structure shows.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "formats/carve/Carving.h"
#include "support/TestFiles.h"

struct CarveSample {
  std::string name;
  CarvedKind recognised;  // what RecognizeStart says of its first cluster
  CarvedKind measured;    // what MeasureFile tells from its structure
  Bytes bytes;
  // The same file with one part of its structure damaged.
  std::function<Bytes(const Bytes&)> damage;
  // How many bytes may be cut off its end before it no longer checks (a PDF's last line end).
  size_t spareTail = 0;
  std::optional<CarvedTime> taken;
};

// Every sample; made on first use, kept for the rest of the program.
const std::vector<CarveSample>& CarveSamples();
const CarveSample& CarveSampleNamed(const std::string& name);

// The bytes of a small JPEG made by ImageMagick (used as an embedded preview).
const Bytes& SmallJpeg();

// A CarveSource over bytes: reads stop at limit (the bytes' size unless smaller), and every
// byte read is counted.
class BytesSource : public CarveSource {
 public:
  explicit BytesSource(Bytes bytes) : bytes_(std::move(bytes)), limit_(bytes_.size()) {}
  BytesSource(Bytes bytes, uint64_t limit) : bytes_(std::move(bytes)), limit_(limit) {}

  size_t Read(uint64_t offset, uint8_t* dest, size_t count) override;
  uint64_t Limit() const override { return limit_; }
  uint64_t BytesRead() const { return read_; }
  size_t Reads() const { return reads_; }

 private:
  Bytes bytes_;
  uint64_t limit_;
  uint64_t read_ = 0;
  size_t reads_ = 0;
};

// Where pattern first occurs in bytes from from on, or npos.
size_t FindBytes(const Bytes& bytes, const std::string& pattern, size_t from = 0);
