#pragma once
// Files told by their content alone, where no directory entry names them any more: a scan
// looks at the first bytes of every cluster that nothing claims, asks RecognizeStart whether a
// file of a kind people keep on cards and sticks may begin there, and then MeasureFile follows
// that format's own structure (JPEG markers, PNG chunks, box and chunk sizes, the ZIP end
// record, ...) to learn how long the file is and whether it checks. Nothing here knows of
// volumes or clusters: the bytes come through a CarveSource, which may skip what other files
// hold. Every length read from the bytes is untrusted and bounded by the source's limit.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

enum class CarvedKind {
  kJpeg, kPng, kGif, kBmp, kTiff, kCr2, kNef, kArw, kDng, kOrf,
  kHeic, kMp4, kMov, k3gp, kAvi, kWav, kWebp, kMkv, kWebm, kMpeg,
  kMp3, kFlac, kOgg, kPdf, kZip, kDocx, kXlsx, kPptx, kOdt, kEpub,
  kDoc, kXls, kPpt,
};

// What a kind is to a person looking for their files.
enum class MediaClass { kPicture, kVideo, kSound, kDocument, kArchive };

struct CarvedType {
  CarvedKind kind;
  const char* extension;    // of a found file's name: "jpg"
  const char* description;  // "JPEG picture"
  MediaClass mediaClass;
};

// The facts of every kind, in the order of CarvedKind.
const CarvedType& TypeOf(CarvedKind kind);

// The bytes a file may be made of, counted from its first byte.
class CarveSource {
 public:
  virtual ~CarveSource() = default;
  // Copies up to count bytes from offset into dest and returns how many it copied: fewer at
  // the limit, none beyond it or where the medium could not be read.
  virtual size_t Read(uint64_t offset, uint8_t* dest, size_t count) = 0;
  // How far the bytes may go: no file found here is longer.
  virtual uint64_t Limit() const = 0;
};

// The kind of file that may begin with these bytes (the start of a cluster, as many of its
// bytes as it has, up to 4096), or nothing. Cheap enough to be asked for every cluster of a
// volume; a yes is only a candidate for MeasureFile. Where the first bytes cannot tell the
// kinds of a family apart, the answer is the family's broadest kind and MeasureFile narrows it:
// kZip for Office Open XML files, kTiff for Nikon, Sony and DNG raw files, kDoc for every OLE2
// compound file.
std::optional<CarvedKind> RecognizeStart(const uint8_t* head, size_t size);

// A date and time recorded inside a file (a photo's EXIF DateTimeOriginal), as its fields
// stand; the local time of the camera.
struct CarvedTime {
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

struct CarveResult {
  CarvedKind kind;   // the kind found, perhaps narrower than the one asked for (ZIP: DOCX)
  uint64_t length = 0;
  // Whether the structure checks all the way to length: a file that is not whole is offered
  // as such or not at all, never as a whole one.
  bool whole = false;
  std::optional<CarvedTime> recordedTime;  // pictures: when the picture was taken
};

// Follows the structure of a file of kind from its first byte and tells its length; nothing
// when the bytes do not even begin such a file. Reads at most source.Limit() bytes and ends on
// every input, whatever lengths it claims. The kind of the result is the one the structure
// tells within kind's family (an OLE2 file with none of a Word, Excel or PowerPoint stream
// stays kDoc; a Canon CR3, an ISO media file of its own brand, is kMp4). A file that is not
// whole has as its length the bytes that still read as the file, at most the limit. An MPEG
// program stream without its end code that runs up to the limit may go on beyond it, so it is
// not whole there.
std::optional<CarveResult> MeasureFile(CarvedKind kind, CarveSource& source);

// Where a picture keeps a smaller picture of itself: the EXIF thumbnail of a JPEG, the
// embedded preview of a camera raw file (a JPEG). offset and length within the file.
struct EmbeddedPreview {
  uint64_t offset = 0;
  uint64_t length = 0;
};
std::optional<EmbeddedPreview> FindEmbeddedPreview(CarvedKind kind, CarveSource& source);
