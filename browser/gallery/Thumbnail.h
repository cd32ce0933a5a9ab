#pragma once
// A gallery's thumbnail of one picture's bytes, and whether the picture is whole. The small
// picture comes from the picture's own smaller copy where it keeps one (a JPEG's EXIF
// thumbnail, a camera raw file's preview), else from a decode that the decoder itself scales
// down (libjpeg decodes at 1/2 to 1/8 of the size). Whether the picture is whole comes from
// its structure (formats/carve follows it to its end) and from the decode: a picture that
// decodes only in part is damaged and shows what decoded. A header that claims a picture
// beyond the readers' allocation limit is not decoded at all. Runs on any thread.

#include <QImage>

#include <cstddef>
#include <cstdint>

enum class PictureState {
  kUnknown,     // not looked at yet
  kWhole,
  kDamaged,     // decodes in part, or its structure breaks off
  kUnreadable,  // not a picture, or one too large to decode
};

struct Thumbnail {
  QImage image;  // at most side × side; null when nothing could be shown
  PictureState state = PictureState::kUnknown;
};

// The thumbnail of a picture whose data is size bytes at data; recordedLength is the length
// its entry records (a file delivered shorter is damaged).
Thumbnail MakeThumbnail(const uint8_t* data, size_t size, uint64_t recordedLength, int side);
