#include "formats/PictureFormats.h"

bool RecognizeJpeg(const uint8_t* data, size_t length) {
  // Only a JPEG whose first marker after the start of image is APP0 or APP1.
  return length >= 4 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF &&
         (data[3] == 0xE0 || data[3] == 0xE1);
}

bool RecognizeGif(const uint8_t* data, size_t length) {
  // "GIF8", any byte (7 or 9), then "a".
  return length >= 6 && data[0] == 'G' && data[1] == 'I' && data[2] == 'F' && data[3] == '8' && data[5] == 'a';
}

bool RecognizePng(const uint8_t* data, size_t length) {
  return length >= 4 && data[0] == 0x89 && data[1] == 'P' && data[2] == 'N' && data[3] == 'G';
}

bool RecognizeBmp(const uint8_t* data, size_t length) {
  // "BM" and the low bytes of the two reserved header fields, which are zero.
  return length >= 9 && data[0] == 'B' && data[1] == 'M' && data[6] == 0 && data[8] == 0;
}

const FormatRecognizer* RecognizePicture(const uint8_t* data, size_t length) {
  for (const FormatRecognizer& recognizer : kPictureRecognizers) {
    if (recognizer.RecognizeImage(data, length)) return &recognizer;
  }
  return nullptr;
}
