#include "core/settings/Convert.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using settings::ConvertDegreesMinutesSeconds;
using settings::FormatConvertedDegrees;

struct ConvertCase {
  const char* degrees;
  const char* minutes;
  const char* seconds;
  const char* shown;
};

std::string Shown(const char* degrees, const char* minutes, const char* seconds) {
  const std::optional<float> value = ConvertDegreesMinutesSeconds(degrees, minutes, seconds);
  return value ? FormatConvertedDegrees(*value, '.') : "Input Error.";
}

TEST(Convert, ShowsTheSinglePrecisionResultInFull) {
  const ConvertCase cases[] = {
      {"10", "30", "0", "10.5"},
      {"45", "0", "0", "45"},
      {"0", "0", "0", "0"},
      {"151", "12", "33.48", "151.20930480957"},
      {"116", "23", "30", "116.391670227051"},
      {"-33", "30", "0", "-32.5"},  // minutes keep their own sign
      {"-33", "52", "0", "-32.1333351135254"},
      {"10", "90", "0", "11.5"},  // no range on minutes
      {"10", "30", "-30", "10.4916667938232"},
      {"1", "0", "10", "1.00277781486511"},
      {"0", "1", "0", "0.0166666675359011"},
      {"0", "0", "1", "0.000277777784503996"},
      {"0", "0", "12", "0.00333333341404796"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Shown(c.degrees, c.minutes, c.seconds), c.shown)
        << c.degrees << ' ' << c.minutes << ' ' << c.seconds;
  }
}

TEST(Convert, ReadsDegreesAndMinutesAsWholeNumbers) {
  const ConvertCase cases[] = {
      {"$10", "0", "0", "16"},
      {"0x10", "x1E", "0", "16.5"},
      {"  10", " 30", "0", "10.5"},
      {"+10", "+30", "0", "10.5"},
      {"10", "30.5", "0", "Input Error."},
      {"10.5", "0", "0", "Input Error."},
      {"", "30", "0", "Input Error."},
      {"10", "", "0", "Input Error."},
      {"ten", "0", "0", "Input Error."},
      {"10 ", "0", "0", "Input Error."},
      {"2147483648", "0", "0", "Input Error."},
      {"-$10", "0", "0", "Input Error."},
      {"10", "30", "garbage", "10.5"},  // seconds never fail
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Shown(c.degrees, c.minutes, c.seconds), c.shown)
        << c.degrees << ' ' << c.minutes << ' ' << c.seconds;
  }
}

TEST(Convert, ReadsSecondsLeniently) {
  const ConvertCase cases[] = {
      {"10", "30", "", "10.5"},
      {"151", "12", "33", "151.209167480469"},
      {"151", "12", "33,48", "151.209167480469"},  // a comma ends the number
      {"151", "12", "33abc", "151.209167480469"},
      {"151", "12", "  33", "151.209167480469"},
      {"151", "12", "3.3e1", "151.209167480469"},
      {"151", "12", "33.48xyz", "151.20930480957"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Shown(c.degrees, c.minutes, c.seconds), c.shown)
        << c.degrees << ' ' << c.minutes << ' ' << c.seconds;
  }
  EXPECT_EQ(ConvertDegreesMinutesSeconds("0", "0", "12abc"),
            ConvertDegreesMinutesSeconds("0", "0", "12"));
}

TEST(Convert, RoundsTheSecondsOnceToSinglePrecision) {
  // Each lies a hair off the midpoint of two floats; read through a double
  // it ties to the even neighbour and the result ends one step lower or higher.
  const ConvertCase cases[] = {
      {"0", "0", "1.00001460313797", "0.00027778185904026"},
      {"0", "0", "1.00000661611557", "0.000277779588941485"},
      {"0", "0", "10.00000810623169", "0.0027777801733464"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Shown(c.degrees, c.minutes, c.seconds), c.shown) << c.seconds;
  }
}

TEST(Convert, ResultUsesTheDesktopsDecimalMark) {
  EXPECT_EQ(FormatConvertedDegrees(10.5f, ','), "10,5");
  EXPECT_EQ(FormatConvertedDegrees(-32.5f, ','), "-32,5");
  EXPECT_EQ(FormatConvertedDegrees(45.0f, ','), "45");
  EXPECT_EQ(std::string(settings::kConvertInputError), "Input Error.");
}

}  // namespace
