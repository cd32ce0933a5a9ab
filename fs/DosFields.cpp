#include "fs/DosFields.h"

#include "fs/Text.h"

DosDateTime DecodeDosDateTime(uint16_t date, uint16_t time) {
  DosDateTime stamp;
  stamp.year = 1980u + (date >> 9);
  stamp.month = (date >> 5) & 0x0Fu;
  stamp.day = date & 0x1Fu;
  stamp.hour = time >> 11;
  stamp.minute = (time >> 5) & 0x3Fu;
  stamp.seconds = (time & 0x1Fu) * 2u;
  return stamp;
}

std::string FormatDosDate(const DosDateTime& stamp) {
  return std::to_string(stamp.year) + "/" + TwoDigits(stamp.month) + "/" + TwoDigits(stamp.day);
}

std::string FormatDosTime(const DosDateTime& stamp, unsigned hundredths) {
  return TwoDigits(stamp.hour) + ":" + TwoDigits(stamp.minute) + ":" + FormatSeconds(stamp.seconds, hundredths);
}

std::string FormatDosTimestamp(const DosDateTime& stamp, unsigned hundredths) {
  return FormatDosDate(stamp) + ", " + FormatDosTime(stamp, hundredths);
}

std::string FormatDosAttributes(uint8_t attributes) {
  static constexpr const char* kLetters[8] = {"R", "H", "S", "V", "D", "A", " 0x40", " 0x80"};
  std::string text;
  for (unsigned bit = 0; bit < 8; ++bit) {
    if (attributes & (1u << bit)) text += kLetters[bit];
  }
  return text;
}
