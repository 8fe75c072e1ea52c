// The degrees-minutes-seconds converter over any three texts.
// Input: the degrees text, a line feed, the minutes text, a line feed and the
// seconds text (the rest).
//
// Invariants: a result exactly when degrees and minutes read as whole numbers
// (a reference reader); the result is, bit for bit, degrees + minutes x 1/60
// + 1/3600 x seconds summed here in extended precision from the reference
// readings (seconds by strtof) and rounded to single precision; the text
// shown reads back as that single-precision value, with either decimal mark.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "core/platform/Numbers.h"
#include "core/settings/Convert.h"
#include "fuzz/FuzzSupport.h"

namespace {

// The text up to the next line feed or the end; rest moves past it.
std::string NextLine(std::string_view& rest) {
  const std::size_t end = std::min(rest.find('\n'), rest.size());
  std::string line(rest.substr(0, end));
  rest.remove_prefix(std::min(end + 1, rest.size()));
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const std::string degrees = NextLine(rest);
  const std::string minutes = NextLine(rest);
  const std::string seconds(rest);
  const std::string texts = fuzz::Quote(degrees) + " " + fuzz::Quote(minutes) + " " + fuzz::Quote(seconds);

  const auto result = settings::ConvertDegreesMinutesSeconds(degrees, minutes, seconds);
  const auto wholeDegrees = fuzz::ReferenceInteger(degrees);
  const auto wholeMinutes = fuzz::ReferenceInteger(minutes);
  FUZZ_CHECK(result.has_value() == (wholeDegrees && wholeMinutes), texts);
  if (!result) return 0;

  const long double sum = static_cast<long double>(*wholeDegrees) +
                          static_cast<long double>(*wholeMinutes) * (1.0L / 60) +
                          (1.0L / 3600) * static_cast<long double>(fuzz::ReferenceLeadingFloat(seconds));
  const float expected = static_cast<float>(sum);
  char shown[96];
  std::snprintf(shown, sizeof shown, "%.9g, not %.9g", static_cast<double>(*result), static_cast<double>(expected));
  FUZZ_CHECK(std::memcmp(&*result, &expected, sizeof expected) == 0, texts + " gives " + shown);

  const std::string text = settings::FormatConvertedDegrees(*result, '.');
  std::string comma = text;
  std::replace(comma.begin(), comma.end(), '.', ',');
  FUZZ_CHECK(settings::FormatConvertedDegrees(*result, ',') == comma, text);
  if (std::isinf(*result)) {
    FUZZ_CHECK(text == (*result < 0 ? "-INF" : "INF"), text);
  } else {
    const auto readBack = platform::ParseDecimal(text);
    FUZZ_CHECK(readBack && static_cast<float>(*readBack) == *result, texts + " shows " + fuzz::Quote(text));
  }
  return 0;
}
