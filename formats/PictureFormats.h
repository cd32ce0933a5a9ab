#pragma once
// The picture types the preview knows, recognised by their first bytes. A buffer too short
// for every byte a test reads does not match.

#include <cstddef>
#include <cstdint>

enum class PictureFormat { kJpeg, kGif, kPng, kBmp };

struct FormatRecognizer {
  PictureFormat format;
  const char* description;
  const char* extension;
  bool (*RecognizeImage)(const uint8_t* data, size_t length);
};

bool RecognizeJpeg(const uint8_t* data, size_t length);
bool RecognizeGif(const uint8_t* data, size_t length);
bool RecognizePng(const uint8_t* data, size_t length);
bool RecognizeBmp(const uint8_t* data, size_t length);

// The recognizers in the order the preview tries them: JPEG, GIF, PNG, BMP.
inline constexpr FormatRecognizer kPictureRecognizers[] = {
    {PictureFormat::kJpeg, "JPEG picture", "jpg", RecognizeJpeg},
    {PictureFormat::kGif, "GIF picture", "gif", RecognizeGif},
    {PictureFormat::kPng, "PNG picture", "png", RecognizePng},
    {PictureFormat::kBmp, "Bitmap picture", "bmp", RecognizeBmp},
};

// The first recognizer that matches, or nullptr.
const FormatRecognizer* RecognizePicture(const uint8_t* data, size_t length);
