#include "formats/carve/Carving.h"

#include <array>

#include "formats/carve/ByteReader.h"
#include "formats/carve/Families.h"

namespace {

constexpr std::array<CarvedType, 33> kTypes = {{
    {CarvedKind::kJpeg, "jpg", "JPEG picture", MediaClass::kPicture},
    {CarvedKind::kPng, "png", "PNG picture", MediaClass::kPicture},
    {CarvedKind::kGif, "gif", "GIF picture", MediaClass::kPicture},
    {CarvedKind::kBmp, "bmp", "Bitmap picture", MediaClass::kPicture},
    {CarvedKind::kTiff, "tif", "TIFF picture", MediaClass::kPicture},
    {CarvedKind::kCr2, "cr2", "Canon raw picture", MediaClass::kPicture},
    {CarvedKind::kNef, "nef", "Nikon raw picture", MediaClass::kPicture},
    {CarvedKind::kArw, "arw", "Sony raw picture", MediaClass::kPicture},
    {CarvedKind::kDng, "dng", "DNG raw picture", MediaClass::kPicture},
    {CarvedKind::kOrf, "orf", "Olympus raw picture", MediaClass::kPicture},
    {CarvedKind::kHeic, "heic", "HEIF picture", MediaClass::kPicture},
    {CarvedKind::kMp4, "mp4", "MP4 video", MediaClass::kVideo},
    {CarvedKind::kMov, "mov", "QuickTime video", MediaClass::kVideo},
    {CarvedKind::k3gp, "3gp", "3GP video", MediaClass::kVideo},
    {CarvedKind::kAvi, "avi", "AVI video", MediaClass::kVideo},
    {CarvedKind::kWav, "wav", "WAV sound", MediaClass::kSound},
    {CarvedKind::kWebp, "webp", "WebP picture", MediaClass::kPicture},
    {CarvedKind::kMkv, "mkv", "Matroska video", MediaClass::kVideo},
    {CarvedKind::kWebm, "webm", "WebM video", MediaClass::kVideo},
    {CarvedKind::kMpeg, "mpg", "MPEG video", MediaClass::kVideo},
    {CarvedKind::kMp3, "mp3", "MP3 sound", MediaClass::kSound},
    {CarvedKind::kFlac, "flac", "FLAC sound", MediaClass::kSound},
    {CarvedKind::kOgg, "ogg", "Ogg sound", MediaClass::kSound},
    {CarvedKind::kPdf, "pdf", "PDF document", MediaClass::kDocument},
    {CarvedKind::kZip, "zip", "ZIP archive", MediaClass::kArchive},
    {CarvedKind::kDocx, "docx", "Word document", MediaClass::kDocument},
    {CarvedKind::kXlsx, "xlsx", "Excel workbook", MediaClass::kDocument},
    {CarvedKind::kPptx, "pptx", "PowerPoint presentation", MediaClass::kDocument},
    {CarvedKind::kOdt, "odt", "OpenDocument text", MediaClass::kDocument},
    {CarvedKind::kEpub, "epub", "EPUB book", MediaClass::kDocument},
    {CarvedKind::kDoc, "doc", "Word 97 document", MediaClass::kDocument},
    {CarvedKind::kXls, "xls", "Excel 97 workbook", MediaClass::kDocument},
    {CarvedKind::kPpt, "ppt", "PowerPoint 97 presentation", MediaClass::kDocument},
}};

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kGiB = 1024 * kMiB;

// A family of formats: how its start is recognised, how a file of it is measured, and the
// longest file of it believed. Formats whose walks read every byte (JPEG's entropy data, the
// frames of MP3, FLAC and MPEG streams, ZIP's entries) get caps near the largest such files
// a camera or a person makes; those whose walks step from header to header get more.
struct Family {
  std::optional<CarvedKind> (*recognize)(const uint8_t* head, size_t size);
  std::optional<CarveResult> (*measure)(carve::ByteReader& reader);
  uint64_t maxLength;
};

// In the order the start of a cluster is tried: the longest and surest signatures first, the
// MP3 frame sync, the loosest, last.
constexpr Family kFamilies[] = {
    {carve::RecognizeJpegStart, carve::MeasureJpeg, 256 * kMiB},
    {carve::RecognizePngStart, carve::MeasurePng, 1 * kGiB},
    {carve::RecognizeGifStart, carve::MeasureGif, 256 * kMiB},
    {carve::RecognizeTiffStart, carve::MeasureTiff, 4 * kGiB},
    {carve::RecognizeIsoMediaStart, carve::MeasureIsoMedia, 256 * kGiB},
    {carve::RecognizeRiffStart, carve::MeasureRiff, 256 * kGiB},
    {carve::RecognizeEbmlStart, carve::MeasureEbml, 256 * kGiB},
    {carve::RecognizeFlacStart, carve::MeasureFlac, 4 * kGiB},
    {carve::RecognizeOggStart, carve::MeasureOgg, 16 * kGiB},
    {carve::RecognizePdfStart, carve::MeasurePdf, 2 * kGiB},
    {carve::RecognizeZipStart, carve::MeasureZip, 64 * kGiB},
    {carve::RecognizeOle2Start, carve::MeasureOle2, 4 * kGiB},
    {carve::RecognizeMpegStart, carve::MeasureMpeg, 64 * kGiB},
    {carve::RecognizeBmpStart, carve::MeasureBmp, 4 * kGiB},
    {carve::RecognizeMp3Start, carve::MeasureMp3, 2 * kGiB},
};

const Family& FamilyOf(CarvedKind kind) {
  switch (kind) {
    case CarvedKind::kJpeg: return kFamilies[0];
    case CarvedKind::kPng: return kFamilies[1];
    case CarvedKind::kGif: return kFamilies[2];
    case CarvedKind::kTiff:
    case CarvedKind::kCr2:
    case CarvedKind::kNef:
    case CarvedKind::kArw:
    case CarvedKind::kDng:
    case CarvedKind::kOrf: return kFamilies[3];
    case CarvedKind::kHeic:
    case CarvedKind::kMp4:
    case CarvedKind::kMov:
    case CarvedKind::k3gp: return kFamilies[4];
    case CarvedKind::kAvi:
    case CarvedKind::kWav:
    case CarvedKind::kWebp: return kFamilies[5];
    case CarvedKind::kMkv:
    case CarvedKind::kWebm: return kFamilies[6];
    case CarvedKind::kFlac: return kFamilies[7];
    case CarvedKind::kOgg: return kFamilies[8];
    case CarvedKind::kPdf: return kFamilies[9];
    case CarvedKind::kZip:
    case CarvedKind::kDocx:
    case CarvedKind::kXlsx:
    case CarvedKind::kPptx:
    case CarvedKind::kOdt:
    case CarvedKind::kEpub: return kFamilies[10];
    case CarvedKind::kDoc:
    case CarvedKind::kXls:
    case CarvedKind::kPpt: return kFamilies[11];
    case CarvedKind::kMpeg: return kFamilies[12];
    case CarvedKind::kBmp: return kFamilies[13];
    case CarvedKind::kMp3: return kFamilies[14];
  }
  return kFamilies[0];
}

bool IsPicture(CarvedKind kind) { return TypeOf(kind).mediaClass == MediaClass::kPicture; }

}  // namespace

const CarvedType& TypeOf(CarvedKind kind) { return kTypes[static_cast<size_t>(kind)]; }

std::optional<CarvedKind> RecognizeStart(const uint8_t* head, size_t size) {
  if (head == nullptr) return std::nullopt;
  for (const Family& family : kFamilies) {
    if (const std::optional<CarvedKind> kind = family.recognize(head, size)) return kind;
  }
  return std::nullopt;
}

std::optional<CarveResult> MeasureFile(CarvedKind kind, CarveSource& source) {
  const Family& family = FamilyOf(kind);
  carve::ByteReader reader(source, family.maxLength);
  std::optional<CarveResult> result = family.measure(reader);
  if (result && result->length == 0) return std::nullopt;
  // No file found here is longer than the bytes it may be made of.
  if (result && result->length > reader.Limit()) {
    result->length = reader.Limit();
    result->whole = false;
  }
  if (result && !IsPicture(result->kind)) result->recordedTime.reset();
  return result;
}

std::optional<EmbeddedPreview> FindEmbeddedPreview(CarvedKind kind, CarveSource& source) {
  const Family& family = FamilyOf(kind);
  carve::ByteReader reader(source, family.maxLength);
  if (kind == CarvedKind::kJpeg) return carve::FindJpegThumbnail(reader);
  if (&family == &FamilyOf(CarvedKind::kTiff)) return carve::FindTiffPreview(reader);
  return std::nullopt;
}
