#include "device/NumberFormat.h"

#include <clocale>

std::string LocaleDecimalSeparator() {
  const std::lconv* conventions = std::localeconv();
  if (conventions && conventions->decimal_point && *conventions->decimal_point) return conventions->decimal_point;
  return ".";
}

std::string FormatUpToTwoDecimals(uint64_t numerator, uint64_t denominator) {
  if (denominator == 0) return "0";
  uint64_t whole = numerator / denominator;
  // A hundred times the remainder can pass 2^64 for a large denominator: 128 bits hold it.
  const unsigned __int128 scaled = static_cast<unsigned __int128>(numerator % denominator) * 100;
  uint64_t hundredths = static_cast<uint64_t>((scaled + denominator / 2) / denominator);
  if (hundredths == 100) {  // 0.995 and above round up to the next whole number
    ++whole;
    hundredths = 0;
  }
  std::string text = std::to_string(whole);
  if (hundredths != 0) {
    text += LocaleDecimalSeparator();
    text += static_cast<char>('0' + hundredths / 10);
    if (hundredths % 10 != 0) text += static_cast<char>('0' + hundredths % 10);
  }
  return text;
}
