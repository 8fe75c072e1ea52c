// Locale-free number parsing and formatting. The GUI changes the C locale, so
// nothing here uses printf, strtod or streams.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A whole number: leading blanks, then an optional sign and decimal digits, or
// (without a sign) a hexadecimal number introduced by "$", "x" or "0x" (either
// case of x); nothing after the digits; within the 32-bit signed range.
std::optional<int32_t> ParseInteger(std::string_view text);

// A decimal number: leading blanks, optional sign, digits with at most one '.',
// optional exponent ("e" or "E", optional sign, digits). Nothing may follow.
std::optional<double> ParseDecimal(std::string_view text);

// The longest leading decimal number of text after leading blanks; 0 when the
// text does not begin with one. Never fails.
double ParseLeadingDecimal(std::string_view text);

// General form with at most 15 significant digits, rounded to nearest (exact
// ties to even): trailing zeros and a trailing mark dropped; fixed notation
// for magnitudes from 0.0001 below 1e15 (after rounding), otherwise
// scientific as "1.5E-5" / "1E15". Zero is "0".
std::string FormatGeneral(double value, char decimalMark);

// printf-style "%<width>.<precision>f" with '.' as decimal mark.
std::string FormatFixed(double value, int width, int precision);

}  // namespace platform
