#include "support/qt/Pictures.h"

#include <QBuffer>
#include <QColor>

QImage GradientPicture(int width, int height) {
  QImage picture(width, height, QImage::Format_RGB32);
  for (int x = 0; x < width; ++x) {
    const int red = 255 * (width - 1 - x) / std::max(1, width - 1);
    for (int y = 0; y < height; ++y) picture.setPixel(x, y, qRgb(red, 0, 255 - red));
  }
  return picture;
}

Bytes PictureFile(const std::string& format, int width, int height) {
  if (format == "gif") {
    TempDir dir;
    const std::string png = dir / "picture.png";
    WriteFileBytes(png, PictureFile("png", width, height));
    RunCommand("convert " + ShellQuote(png) + " " + ShellQuote(dir / "picture.gif"));
    return ReadFileBytes(dir / "picture.gif");
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  GradientPicture(width, height).save(&buffer, format.c_str(), format == "jpg" ? 90 : -1);
  return Bytes(bytes.begin(), bytes.end());
}
