#include "core/settings/Convert.h"

#include "core/platform/Numbers.h"

namespace settings {

std::optional<float> ConvertDegreesMinutesSeconds(std::string_view degrees,
                                                  std::string_view minutes,
                                                  std::string_view seconds) {
  const std::optional<int32_t> wholeDegrees = platform::ParseInteger(degrees);
  const std::optional<int32_t> wholeMinutes = platform::ParseInteger(minutes);
  const float secondsValue = platform::ParseLeadingFloat(seconds);
  if (!wholeDegrees || !wholeMinutes) return std::nullopt;

  // Extended precision (the x87 format with GCC on x86-64) with both factors
  // held in it, summed left to right: the shown digits depend on exactly this.
  constexpr long double kPerMinute = 1.0L / 60;
  constexpr long double kPerSecond = 1.0L / 3600;
  const long double sum = static_cast<long double>(*wholeDegrees) +
                          static_cast<long double>(*wholeMinutes) * kPerMinute +
                          kPerSecond * static_cast<long double>(secondsValue);
  return static_cast<float>(sum);
}

std::string FormatConvertedDegrees(float value, char decimalMark) {
  return platform::FormatGeneral(static_cast<double>(value), decimalMark);
}

}  // namespace settings
