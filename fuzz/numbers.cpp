// The number parsers and formatters of the platform layer.
// Input: a text, then (from the end) a double's bits, an integer, a width, a
// precision and the decimal mark.
//
// Invariants: ParseInteger follows its grammar (a reference reader) and reads
// FormatInteger back; ParseDecimal, ParseLeadingDecimal and ParseLeadingFloat
// give what strtod/strtof of the C locale give on the part of the text our
// grammar covers; FormatGeneral writes printf's "%.15G" (with the exponent
// shortened and the given mark) and reads back to the value rounded to 15
// significant digits, which is the value itself where 15 digits hold it;
// FormatFixed is printf's "%*.*f", at least width long. NaN, infinities and
// subnormals go through all of them. Besides the text, ParseLeadingFloat
// reads texts a hair off a float midpoint, which random texts hardly hit.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "core/platform/Numbers.h"
#include "fuzz/FuzzSupport.h"

namespace {

using fuzz::Quote;

template <typename Real>
bool SameBits(Real a, Real b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string Show(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

void CheckIntegers(const std::string& text, int64_t integer) {
  const auto parsed = platform::ParseInteger(text);
  const auto reference = fuzz::ReferenceInteger(text);
  FUZZ_CHECK(parsed == reference, "ParseInteger(" + Quote(text) + ")");
  FUZZ_CHECK(platform::FormatInteger(integer) == std::to_string(integer), std::to_string(integer));
  const auto narrow = static_cast<int32_t>(integer);
  FUZZ_CHECK(platform::ParseInteger(" \t" + platform::FormatInteger(narrow)) == narrow, std::to_string(narrow));
}

void CheckDecimals(const std::string& text) {
  // ParseDecimal: all of the text after blanks is one number within range.
  const std::string number = text.substr(std::min(text.size(), text.find_first_not_of(" \t")));
  std::optional<double> expected;
  if (!number.empty() && fuzz::CutBeforeStrtodExtras(number) == number) {
    char* end = nullptr;
    const double value = std::strtod(number.c_str(), &end);
    if (end == number.c_str() + number.size() && !std::isinf(value)) expected = value;
  }
  const auto parsed = platform::ParseDecimal(text);
  FUZZ_CHECK(parsed.has_value() == expected.has_value() && (!parsed || SameBits(*parsed, *expected)),
             "ParseDecimal(" + Quote(text) + ") = " + (parsed ? Show(*parsed) : "none"));

  const double leading = platform::ParseLeadingDecimal(text);
  FUZZ_CHECK(SameBits(leading, fuzz::ReferenceLeadingDouble(text)),
             "ParseLeadingDecimal(" + Quote(text) + ") = " + Show(leading));
  const float single = platform::ParseLeadingFloat(text);
  FUZZ_CHECK(SameBits(single, fuzz::ReferenceLeadingFloat(text)),
             "ParseLeadingFloat(" + Quote(text) + ") = " + Show(single));
}

// A text a hair above the midpoint of the float nearest value and the next:
// read through a double it would tie to the even one of the two.
void CheckFloatMidpoint(double value) {
  const float low = static_cast<float>(value);
  const float high = std::nextafter(low, std::numeric_limits<float>::infinity());
  if (!std::isfinite(low) || !std::isfinite(high)) return;
  char text[256];
  // Exact in a double, and all of its digits printed; then one more.
  const int length = std::snprintf(text, sizeof text - 1, "%.200e", (double{low} + double{high}) / 2);
  char* const exponent = std::strchr(text, 'e');
  std::memmove(exponent + 1, exponent, static_cast<std::size_t>(text + length - exponent) + 1);
  *exponent = '1';
  FUZZ_CHECK(SameBits(platform::ParseLeadingFloat(text), std::strtof(text, nullptr)),
             "ParseLeadingFloat(" + Quote(text) + ")");
}

void CheckGeneral(double value, char mark) {
  const std::string text = platform::FormatGeneral(value, mark);
  std::string expected;
  if (std::isnan(value)) {
    expected = "NAN";
  } else if (std::isinf(value)) {
    expected = value < 0 ? "-INF" : "INF";
  } else if (value == 0) {
    expected = "0";
  } else {
    char printed[64];
    std::snprintf(printed, sizeof printed, "%.15G", value);
    // "1.5E-05" -> "1.5E-5", "1E+15" -> "1E15".
    for (const char* p = printed; *p != '\0'; ++p) {
      if (*p == '.') {
        expected += mark;
      } else if (*p == 'E') {
        expected += 'E';
        if (*++p == '-') expected += '-';
        ++p;
        while (*p == '0' && p[1] != '\0') ++p;
        expected += p;
        break;
      } else {
        expected += *p;
      }
    }
  }
  FUZZ_CHECK(text == expected, "FormatGeneral(" + Show(value) + ") = " + Quote(text) + ", not " + Quote(expected));
  if (!std::isfinite(value)) return;

  // Read back: the value rounded to 15 significant digits (beyond the
  // double range once rounded, nothing).
  char rounded15[64];
  std::snprintf(rounded15, sizeof rounded15, "%.14e", value);
  const double rounded = std::strtod(rounded15, nullptr);
  std::string dotted = text;
  std::replace(dotted.begin(), dotted.end(), mark, '.');
  const auto parsed = platform::ParseDecimal(dotted);
  FUZZ_CHECK(std::isinf(rounded) ? !parsed : parsed && *parsed == rounded,
             Quote(text) + " reads back as " + (parsed ? Show(*parsed) : "none") + ", not " + Show(rounded));
}

void CheckFixed(double value, int width, int precision) {
  const std::string text = platform::FormatFixed(value, width, precision);
  std::vector<char> printed(400);
  std::snprintf(printed.data(), printed.size(), "%*.*f", std::max(width, 0), std::max(precision, 0), value);
  FUZZ_CHECK(text == printed.data(), "FormatFixed(" + Show(value) + ", " + std::to_string(width) + ", " +
                                         std::to_string(precision) + ") = " + Quote(text));
  FUZZ_CHECK(text.size() >= static_cast<std::size_t>(std::max(width, 0)), Quote(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const auto bits = input.ConsumeIntegral<uint64_t>();
  const auto integer = input.ConsumeIntegral<int64_t>();
  const int width = input.ConsumeIntegralInRange(-2, 40);
  const int precision = input.ConsumeIntegralInRange(-2, 24);
  const char mark = input.ConsumeBool() ? ',' : '.';
  const std::string text = input.ConsumeRemainingBytesAsString();

  double value;
  std::memcpy(&value, &bits, sizeof value);
  CheckIntegers(text, integer);
  CheckDecimals(text);
  CheckGeneral(value, mark);
  CheckFixed(value, width, precision);
  CheckFloatMidpoint(value);
  if (const auto parsed = platform::ParseDecimal(text)) {
    CheckGeneral(*parsed, mark);
    CheckFixed(*parsed, width, precision);
  }
  return 0;
}
