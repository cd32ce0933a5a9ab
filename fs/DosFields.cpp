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

namespace {

unsigned DaysInMonth(unsigned year, unsigned month) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

bool RecordsNoTime(const DosDateTime& stamp, unsigned hundredths) {
  return stamp.hour == 0 && stamp.minute == 0 && stamp.seconds == 0 && hundredths == 0;
}

}  // namespace

bool IsPossibleDate(const DosDateTime& stamp) {
  return stamp.month >= 1 && stamp.month <= 12 && stamp.day >= 1 && stamp.day <= DaysInMonth(stamp.year, stamp.month);
}

bool IsPossibleTime(const DosDateTime& stamp, unsigned hundredths) {
  return stamp.hour <= 23 && stamp.minute <= 59 && stamp.seconds <= 59 && hundredths <= 199;
}

bool RecordsNoDate(const DosDateTime& stamp) { return stamp.year == 1980 && stamp.month == 0 && stamp.day == 0; }

std::string FormatDosDate(const DosDateTime& stamp) {
  if (RecordsNoDate(stamp)) return "";
  if (!IsPossibleDate(stamp)) return kInvalidDateText;
  return std::to_string(stamp.year) + "/" + TwoDigits(stamp.month) + "/" + TwoDigits(stamp.day);
}

std::string FormatDosTime(const DosDateTime& stamp, unsigned hundredths) {
  if (!IsPossibleTime(stamp, hundredths)) return kInvalidTimeText;
  return TwoDigits(stamp.hour) + ":" + TwoDigits(stamp.minute) + ":" + FormatSeconds(stamp.seconds, hundredths);
}

std::string FormatDosTimestamp(const DosDateTime& stamp, unsigned hundredths) {
  if (RecordsNoDate(stamp) && RecordsNoTime(stamp, hundredths)) return "";
  // A time without its date is no moment: the date part says so.
  const std::string date = RecordsNoDate(stamp) ? kInvalidDateText : FormatDosDate(stamp);
  return date + ", " + FormatDosTime(stamp, hundredths);
}

std::string FormatDosAttributes(uint8_t attributes) {
  static constexpr const char* kLetters[8] = {"R", "H", "S", "V", "D", "A", " 0x40", " 0x80"};
  std::string text;
  for (unsigned bit = 0; bit < 8; ++bit) {
    if (attributes & (1u << bit)) text += kLetters[bit];
  }
  return text;
}
