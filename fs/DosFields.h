#pragma once
// The DOS date, time and attribute fields that FAT directory slots and exFAT file entries
// share, and the texts both families show for them.

#include <cstdint>
#include <string>

// A DOS date word (bits 15-9 year since 1980, 8-5 month, 4-0 day) and time word (bits 15-11
// hour, 10-5 minute, 4-0 seconds / 2), taken apart. Nothing is range-checked here: a damaged
// field holds the numbers it was given (see IsPossibleDate and IsPossibleTime).
struct DosDateTime {
  unsigned year = 1980;
  unsigned month = 0;
  unsigned day = 0;
  unsigned hour = 0;
  unsigned minute = 0;
  unsigned seconds = 0;
};

DosDateTime DecodeDosDateTime(uint16_t date, uint16_t time);

// Whether the date names a day of the calendar: a month 1 to 12, a day the month has.
bool IsPossibleDate(const DosDateTime& stamp);
// Whether the time names a moment of a day: hours to 23, minutes and seconds to 59, at most 199
// hundredths (a count of 10 ms that may add a second).
bool IsPossibleTime(const DosDateTime& stamp, unsigned hundredths);
// Whether the date fields are all zero: the date word 0, which records no date.
bool RecordsNoDate(const DosDateTime& stamp);

// What is shown for fields that name no date or no time.
inline constexpr const char* kInvalidDateText = "invalid date";
inline constexpr const char* kInvalidTimeText = "invalid time";

// "yyyy/mm/dd"; "invalid date" for one that names no day, "" for none recorded (the date word 0).
std::string FormatDosDate(const DosDateTime& stamp);

// "hh:mm:ss" with the hundredths added to the seconds as up to two decimals ("08:05:09.37");
// "invalid time" for one that names no moment of a day.
std::string FormatDosTime(const DosDateTime& stamp, unsigned hundredths);

// "yyyy/mm/dd, hh:mm:ss.##": the date, then the time with its hundredths, as listings and the
// information rows of both families show a timestamp; either part "invalid ..." where it names
// nothing. "" for a timestamp that records nothing (date and time words 0).
std::string FormatDosTimestamp(const DosDateTime& stamp, unsigned hundredths);

// The attribute letters R H S V D A for bits 0 to 5, then " 0x40" and " 0x80" for the two
// bits that have no letter.
std::string FormatDosAttributes(uint8_t attributes);
