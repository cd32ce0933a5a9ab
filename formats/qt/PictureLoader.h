#pragma once
// Decoding the preview's pictures from memory with Qt's image readers: libjpeg for JPEG,
// libpng for PNG, Qt's own readers for GIF and BMP.

#include <QImage>

#include <cstddef>
#include <cstdint>

#include "formats/PictureFormats.h"

// Decodes the bytes as a picture of the given type; a null image when they are not one, are
// cut short or would need more memory than Qt's reader allows. A JPEG whose header was read
// counts as decoded even when its image data fails: the picture then has the size the header
// states and holds what could be decoded.
QImage LoadPreview(PictureFormat format, const uint8_t* data, size_t length);
