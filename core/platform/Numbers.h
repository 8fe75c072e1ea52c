// Locale-free number parsing and formatting. The GUI changes the C locale, so
// nothing here uses printf, strtod or streams.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A whole number: leading blanks (spaces, tabs), then an optional sign and
// decimal digits, or (without a sign) a hexadecimal number introduced by "$",
// "x" or "0x" (either case of x); nothing after the digits, not even a blank;
// within the 32-bit signed range (so "$FFFFFFFF" fails rather than wrapping).
std::optional<int32_t> ParseInteger(std::string_view text);

// Plain decimal text of a whole number, "-" for negative values, no padding.
std::string FormatInteger(int64_t value);

// A decimal number: leading blanks, optional sign, digits with at most one '.'
// (".5" and "5." count), optional exponent ("e" or "E", optional sign, digits).
// Nothing may follow, not even a blank. A value beyond the double range fails;
// one too small for it reads as zero.
std::optional<double> ParseDecimal(std::string_view text);

// The longest leading decimal number of text after leading blanks (the form
// of ParseDecimal; an "e" without exponent digits is not part of it); 0 when
// the text does not begin with one, infinity beyond the double range. Never
// fails.
double ParseLeadingDecimal(std::string_view text);

// The same number rounded once, straight to single precision: narrowing the
// double would round twice and land one float step off for a text lying a
// hair off the midpoint of two floats. Beyond the float range +-infinity,
// below it a subnormal or a signed zero, as strtof gives.
float ParseLeadingFloat(std::string_view text);

// General form with at most 15 significant digits, rounded to nearest (exact
// ties to even): trailing zeros and a trailing mark dropped; fixed notation
// for magnitudes from 0.0001 below 1e15 (after rounding), otherwise
// scientific as "1.5E-5" / "1E15". Zero is "0"; infinities and NaN are "INF",
// "-INF" and "NAN".
std::string FormatGeneral(double value, char decimalMark);

// printf-style "%<width>.<precision>f" with '.' as decimal mark: fixed
// notation rounded to precision places, padded with blanks on the left.
std::string FormatFixed(double value, int width, int precision);

// A duration as "H:MM:SS", rounded to the second; 0:00:00 for a negative one.
std::string FormatDuration(double seconds);

}  // namespace platform
