#pragma once
// The DOS date, time and attribute fields that FAT directory slots and exFAT file entries
// share, and the texts both families show for them.

#include <cstdint>
#include <string>

// A DOS date word (bits 15-9 year since 1980, 8-5 month, 4-0 day) and time word (bits 15-11
// hour, 10-5 minute, 4-0 seconds / 2), taken apart. Nothing is range-checked: a damaged field
// shows as the numbers it holds.
struct DosDateTime {
  unsigned year = 1980;
  unsigned month = 0;
  unsigned day = 0;
  unsigned hour = 0;
  unsigned minute = 0;
  unsigned seconds = 0;
};

DosDateTime DecodeDosDateTime(uint16_t date, uint16_t time);

// "yyyy/mm/dd".
std::string FormatDosDate(const DosDateTime& stamp);

// "hh:mm:ss" with the hundredths added to the seconds as up to two decimals ("08:05:09.37").
std::string FormatDosTime(const DosDateTime& stamp, unsigned hundredths);

// "yyyy/mm/dd, hh:mm:ss.##": the date, then the time with its hundredths, as listings and the
// information rows of both families show a timestamp.
std::string FormatDosTimestamp(const DosDateTime& stamp, unsigned hundredths);

// The attribute letters R H S V D A for bits 0 to 5, then " 0x40" and " 0x80" for the two
// bits that have no letter.
std::string FormatDosAttributes(uint8_t attributes);
