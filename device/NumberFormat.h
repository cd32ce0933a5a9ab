#pragma once
// Numbers for people: a ratio with the "0.##" pattern, as sizes are shown.

#include <cstdint>
#include <string>

// The decimal separator of the user's locale ("." in the C locale).
std::string LocaleDecimalSeparator();

// numerator / denominator with at least one integer digit and at most two decimals, rounded
// half up, trailing zeros of the decimals dropped and no separator for a whole number. The
// separator is the one of the user's locale ("." in the C locale). A denominator of 0 gives "0".
std::string FormatUpToTwoDecimals(uint64_t numerator, uint64_t denominator);
