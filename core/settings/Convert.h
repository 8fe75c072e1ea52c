// Degrees, minutes and seconds to decimal degrees.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace settings {

inline constexpr const char* kConvertInputError = "Input Error.";

// Degrees and minutes must be whole numbers (platform::ParseInteger); seconds
// are read leniently, rounded once to single precision
// (platform::ParseLeadingFloat), and never fail. The sum is
// formed in extended precision and narrowed to single precision. Empty when
// degrees or minutes do not read.
std::optional<float> ConvertDegreesMinutesSeconds(std::string_view degrees,
                                                  std::string_view minutes,
                                                  std::string_view seconds);

// The text the result field shows: the single-precision value widened to
// double, in the general form with the given decimal mark.
std::string FormatConvertedDegrees(float value, char decimalMark);

}  // namespace settings
