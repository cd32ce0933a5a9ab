#pragma once
// Pictures made at test time: JPEG, PNG and BMP written by Qt, GIF by ImageMagick (Qt reads GIF
// but does not write it). Each is a left-to-right gradient from red to blue.

#include <QImage>

#include <string>

#include "support/TestFiles.h"

// The picture all the files hold.
QImage GradientPicture(int width, int height);

// The bytes of that picture in the given format: "jpg", "png", "bmp" or "gif".
Bytes PictureFile(const std::string& format, int width, int height);
