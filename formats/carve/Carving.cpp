#include "formats/carve/Carving.h"

#include <array>

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

}  // namespace

const CarvedType& TypeOf(CarvedKind kind) { return kTypes[static_cast<size_t>(kind)]; }

// The recognizers and measurements come with the carving of each format; until then nothing
// is recognised.
std::optional<CarvedKind> RecognizeStart(const uint8_t* /*head*/, size_t /*size*/) { return std::nullopt; }

std::optional<CarveResult> MeasureFile(CarvedKind /*kind*/, CarveSource& /*source*/) { return std::nullopt; }

std::optional<EmbeddedPreview> FindEmbeddedPreview(CarvedKind /*kind*/, CarveSource& /*source*/) {
  return std::nullopt;
}
