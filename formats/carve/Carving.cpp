#include "formats/carve/Carving.h"

#include <array>
#include <bit>

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

// A family of formats: how its start is recognised, how a file of it is measured, the
// longest file of it believed, and the bytes its files can begin with. Formats whose walks
// read every byte (JPEG's entropy data, the frames of MP3, FLAC and MPEG streams, ZIP's
// entries) get caps near the largest such files a camera or a person makes; those whose walks
// step from header to header get more.
struct Family {
  std::optional<CarvedKind> (*recognize)(const uint8_t* head, size_t size);
  std::optional<CarveResult> (*measure)(carve::ByteReader& reader);
  uint64_t maxLength;
  const char* firstBytes;  // every byte a file of the family can begin with
  size_t firstByteCount;
};

template <size_t N>
constexpr Family Make(std::optional<CarvedKind> (*recognize)(const uint8_t*, size_t),
                      std::optional<CarveResult> (*measure)(carve::ByteReader&), uint64_t maxLength,
                      const char (&firstBytes)[N]) {
  return {recognize, measure, maxLength, firstBytes, N - 1};
}

// In the order the start of a cluster is tried: the longest and surest signatures first, the
// MP3 frame sync, the loosest, last. (ISO media files begin with their first box's size,
// whose high byte is 0 in every start recognised.)
constexpr Family kFamilies[] = {
    Make(carve::RecognizeJpegStart, carve::MeasureJpeg, 256 * kMiB, "\xFF"),
    Make(carve::RecognizePngStart, carve::MeasurePng, 1 * kGiB, "\x89"),
    Make(carve::RecognizeGifStart, carve::MeasureGif, 256 * kMiB, "G"),
    Make(carve::RecognizeTiffStart, carve::MeasureTiff, 4 * kGiB, "IM"),
    Make(carve::RecognizeIsoMediaStart, carve::MeasureIsoMedia, 256 * kGiB, "\0"),
    Make(carve::RecognizeRiffStart, carve::MeasureRiff, 256 * kGiB, "R"),
    Make(carve::RecognizeEbmlStart, carve::MeasureEbml, 256 * kGiB, "\x1A"),
    Make(carve::RecognizeFlacStart, carve::MeasureFlac, 4 * kGiB, "f"),
    Make(carve::RecognizeOggStart, carve::MeasureOgg, 16 * kGiB, "O"),
    Make(carve::RecognizePdfStart, carve::MeasurePdf, 2 * kGiB, "%"),
    Make(carve::RecognizeZipStart, carve::MeasureZip, 64 * kGiB, "P"),
    Make(carve::RecognizeOle2Start, carve::MeasureOle2, 4 * kGiB, "\xD0"),
    Make(carve::RecognizeMpegStart, carve::MeasureMpeg, 64 * kGiB, "\0"),
    Make(carve::RecognizeBmpStart, carve::MeasureBmp, 4 * kGiB, "B"),
    Make(carve::RecognizeMp3Start, carve::MeasureMp3, 2 * kGiB, "\xFFI"),
};
constexpr size_t kFamilyCount = std::size(kFamilies);

// For every first byte, the families whose files can begin with it, as bits in the order above:
// most clusters are tried against none or one.
constexpr std::array<uint16_t, 256> MakeFirstByteTable() {
  std::array<uint16_t, 256> table{};
  for (size_t f = 0; f < kFamilyCount; ++f) {
    for (size_t i = 0; i < kFamilies[f].firstByteCount; ++i) {
      table[static_cast<uint8_t>(kFamilies[f].firstBytes[i])] |= static_cast<uint16_t>(1u << f);
    }
  }
  return table;
}
constexpr std::array<uint16_t, 256> kByFirstByte = MakeFirstByteTable();
static_assert(kFamilyCount <= 16);

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
  if (head == nullptr || size == 0) return std::nullopt;
  for (uint16_t candidates = kByFirstByte[head[0]]; candidates != 0; candidates &= candidates - 1) {
    const Family& family = kFamilies[std::countr_zero(candidates)];
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
