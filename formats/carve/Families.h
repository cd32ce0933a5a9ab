#pragma once
// What each format family offers the dispatch in Carving.cpp: a recogniser of its start, a
// measurement that follows its structure (and tells the narrower kind where the structure
// does), and, for pictures, where a smaller picture of itself is kept. One file per family.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "formats/carve/ByteReader.h"
#include "formats/carve/Carving.h"

namespace carve {

// A result whose structure checked up to length, and one that broke off or ran past the limit
// at length (the bytes that still read as the file).
inline CarveResult Whole(CarvedKind kind, uint64_t length) { return {kind, length, true, std::nullopt}; }
inline CarveResult Partial(CarvedKind kind, uint64_t length) { return {kind, length, false, std::nullopt}; }

// head: the first size bytes of a cluster. Each recogniser reads only within them.
std::optional<CarvedKind> RecognizeJpegStart(const uint8_t* head, size_t size);
std::optional<CarvedKind> RecognizePngStart(const uint8_t* head, size_t size);
std::optional<CarvedKind> RecognizeGifStart(const uint8_t* head, size_t size);
std::optional<CarvedKind> RecognizeBmpStart(const uint8_t* head, size_t size);
std::optional<CarvedKind> RecognizeTiffStart(const uint8_t* head, size_t size);
std::optional<CarvedKind> RecognizeIsoMediaStart(const uint8_t* head, size_t size);
std::optional<CarvedKind> RecognizeRiffStart(const uint8_t* head, size_t size);
std::optional<CarvedKind> RecognizeEbmlStart(const uint8_t* head, size_t size);
std::optional<CarvedKind> RecognizeMpegStart(const uint8_t* head, size_t size);
std::optional<CarvedKind> RecognizeMp3Start(const uint8_t* head, size_t size);
std::optional<CarvedKind> RecognizeFlacStart(const uint8_t* head, size_t size);
std::optional<CarvedKind> RecognizeOggStart(const uint8_t* head, size_t size);
std::optional<CarvedKind> RecognizePdfStart(const uint8_t* head, size_t size);
std::optional<CarvedKind> RecognizeZipStart(const uint8_t* head, size_t size);
std::optional<CarvedKind> RecognizeOle2Start(const uint8_t* head, size_t size);

std::optional<CarveResult> MeasureJpeg(ByteReader& reader);
std::optional<CarveResult> MeasurePng(ByteReader& reader);
std::optional<CarveResult> MeasureGif(ByteReader& reader);
std::optional<CarveResult> MeasureBmp(ByteReader& reader);
std::optional<CarveResult> MeasureTiff(ByteReader& reader);
std::optional<CarveResult> MeasureIsoMedia(ByteReader& reader);
std::optional<CarveResult> MeasureRiff(ByteReader& reader);
std::optional<CarveResult> MeasureEbml(ByteReader& reader);
std::optional<CarveResult> MeasureMpeg(ByteReader& reader);
std::optional<CarveResult> MeasureMp3(ByteReader& reader);
std::optional<CarveResult> MeasureFlac(ByteReader& reader);
std::optional<CarveResult> MeasureOgg(ByteReader& reader);
std::optional<CarveResult> MeasurePdf(ByteReader& reader);
std::optional<CarveResult> MeasureZip(ByteReader& reader);
std::optional<CarveResult> MeasureOle2(ByteReader& reader);

// Whether a JPEG picture that a viewer can show (not the lossless kind raw data is kept in)
// begins at offset.
bool JpegIsShowableAt(ByteReader& reader, uint64_t offset);

std::optional<EmbeddedPreview> FindJpegThumbnail(ByteReader& reader);
std::optional<EmbeddedPreview> FindTiffPreview(ByteReader& reader);

}  // namespace carve
