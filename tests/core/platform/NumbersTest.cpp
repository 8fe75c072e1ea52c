#include "core/platform/Numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using platform::FormatFixed;
using platform::FormatGeneral;
using platform::FormatInteger;
using platform::ParseDecimal;
using platform::ParseInteger;
using platform::ParseLeadingDecimal;
using platform::ParseLeadingFloat;

constexpr double kInf = std::numeric_limits<double>::infinity();

struct IntegerCase {
  const char* text;
  std::optional<int32_t> expected;
};

TEST(ParseInteger, AcceptsDecimalAndHexForms) {
  const IntegerCase cases[] = {
      {"0", 0},
      {"123", 123},
      {"-123", -123},
      {"+7", 7},
      {"  42", 42},
      {"\t5", 5},
      {"007", 7},
      {"-0", 0},
      {"2147483647", 2147483647},
      {"-2147483648", std::numeric_limits<int32_t>::min()},
      {"$1F", 31},
      {"$ff", 255},
      {"x10", 16},
      {"X10", 16},
      {"0x10", 16},
      {"0X1a", 26},
      {"0x7FFFFFFF", 2147483647},
      {"$0", 0},
      {" $A", 10},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseInteger(c.text), c.expected) << '"' << c.text << '"';
  }
}

TEST(ParseInteger, RejectsEverythingElse) {
  const char* cases[] = {
      "",           "   ",    "2147483648", "-2147483649", "99999999999999999999",
      "$80000000",  "$FFFFFFFF", "0x100000000", "-$10",     "-0x10",
      "+x10",       "$",      "0x",         "x",           "X",
      "12 ",        "1a",     "30.5",       "1e3",         "yes",
      "- 5",        "$-5",    "$+5",        "0x 5",        "00x5",
      "1,000",      "+",      "-",          "$g",          "0xg",
      "--1",        "1 2",
  };
  for (const char* text : cases) {
    EXPECT_EQ(ParseInteger(text), std::nullopt) << '"' << text << '"';
  }
}

TEST(FormatInteger, PlainDecimal) {
  EXPECT_EQ(FormatInteger(0), "0");
  EXPECT_EQ(FormatInteger(6742), "6742");
  EXPECT_EQ(FormatInteger(-5), "-5");
  EXPECT_EQ(FormatInteger(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
}

struct DecimalCase {
  const char* text;
  std::optional<double> expected;
};

TEST(ParseDecimal, AcceptsTheCoordinateGrammar) {
  const DecimalCase cases[] = {
      {"116.3", 116.3},   {"-33.5", -33.5}, {"+1.5", 1.5},       {"  2", 2.0},
      {"\t2", 2.0},       {".5", 0.5},      {"5.", 5.0},         {"-.5", -0.5},
      {"1e3", 1000.0},    {"1E-2", 0.01},   {"2.5e+3", 2500.0},  {"0", 0.0},
      {"180", 180.0},     {"-85", -85.0},   {"0007.50", 7.5},    {"1e-999", 0.0},
      {"180.0001", 180.0001},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseDecimal(c.text), c.expected) << '"' << c.text << '"';
  }
}

TEST(ParseDecimal, RejectsAnythingBesidesOneNumber) {
  const char* cases[] = {"",    " ",    "1.2.3", "1,5", "1e",   "1e+",  "e5",  ".",
                         "-",   "+",    "1 ",    "1x",  "nan",  "inf",  "0x10", "1e999",
                         "--1", "1. 5", "1 e5",  "+-1", "1e5.", "1e 5", "1.5 ", "$1"};
  for (const char* text : cases) {
    EXPECT_EQ(ParseDecimal(text), std::nullopt) << '"' << text << '"';
  }
}

TEST(ParseDecimal, ReadsBackEveryDoubleExactly) {
  std::mt19937_64 random(12345);
  for (int i = 0; i < 20000; ++i) {
    double value;
    const uint64_t bits = random();
    std::memcpy(&value, &bits, sizeof value);
    if (!std::isfinite(value)) continue;
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);  // oracle, C locale
    const auto parsed = ParseDecimal(text);
    ASSERT_TRUE(parsed.has_value()) << text;
    EXPECT_EQ(*parsed, value) << text;
  }
}

TEST(ParseLeadingDecimal, TakesTheLongestLeadingNumber) {
  const struct {
    const char* text;
    double expected;
  } cases[] = {
      {"33.48", 33.48}, {"33,48", 33.0}, {"12abc", 12.0},   {"", 0.0},       {"abc", 0.0},
      {"  7.5xyz", 7.5}, {"-1.5", -1.5}, {"1e2x", 100.0},   {"1e", 1.0},     {"1e+", 1.0},
      {"1.5E-1z", 0.15}, {".5", 0.5},    {"-", 0.0},        {"+.e", 0.0},    {"5.e3", 5000.0},
      {"1e999", kInf},   {"-1e999", -kInf}, {"1e-999", 0.0}, {"30 seconds", 30.0}, {"x12", 0.0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseLeadingDecimal(c.text), c.expected) << '"' << c.text << '"';
  }
}

TEST(ParseLeadingFloat, RoundsTheLeadingNumberOnceToSinglePrecision) {
  constexpr float kInfF = std::numeric_limits<float>::infinity();
  const struct {
    const char* text;
    float expected;
  } cases[] = {
      // The grammar of ParseLeadingDecimal.
      {"33.48", 33.48f}, {"33,48", 33.0f}, {"  7.5xyz", 7.5f}, {"", 0.0f}, {"abc", 0.0f}, {"1e", 1.0f},
      {"1e+", 1.0f}, {"1.5E-1z", 0.15f}, {".5", 0.5f}, {"+.e", 0.0f}, {"5.e3", 5000.0f}, {"-1.5", -1.5f},
      // A hair above (or below) the midpoint of two floats: through a double
      // these tie to the even neighbour, the wrong one.
      {"1.00001460313797", 1.00001466274261474609375f},
      {"1.00000661611557", 1.00000655651092529296875f},
      {"10.00000810623169", 10.00000858306884765625f},
      // Range: beyond FLT_MAX once rounded, subnormals, total underflow.
      {"3.4028235e38", std::numeric_limits<float>::max()},
      {"3.4028236e38", kInfF}, {"-1e39", -kInfF}, {"1e999", kInfF},
      {"1e-40", 1e-40f}, {"7.1e-46", std::numeric_limits<float>::denorm_min()},
      {"7e-46", 0.0f}, {"1e-999", 0.0f},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseLeadingFloat(c.text), c.expected) << '"' << c.text << '"';
  }
  EXPECT_TRUE(std::signbit(ParseLeadingFloat("-1e-50")));

  // Just above every midpoint tried: strtof (C locale) rounds once, as must we.
  std::mt19937 random(2024);
  std::uniform_real_distribution<float> magnitude(1e-3f, 1e6f);
  for (int i = 0; i < 20000; ++i) {
    const float low = magnitude(random);
    const double midpoint = (double{low} + double{std::nextafter(low, kInfF)}) / 2;  // exact
    char text[96];
    std::snprintf(text, sizeof text, "%.60f1", midpoint);
    ASSERT_EQ(ParseLeadingFloat(text), std::strtof(text, nullptr)) << text;
  }
}

struct GeneralCase {
  double value;
  const char* expected;
};

TEST(FormatGeneral, FifteenSignificantDigitsWithTheFixedRange) {
  const GeneralCase cases[] = {
      {116.3, "116.3"},
      {116.5, "116.5"},
      {40.0, "40"},
      {39.8, "39.8"},
      {116.279296875, "116.279296875"},
      {40.0107871404655, "40.0107871404655"},
      {40.010787140465523, "40.0107871404655"},
      {39.774769485295487, "39.7747694852955"},
      {0.0001, "0.0001"},
      {0.00005, "5E-5"},
      {0.000001, "1E-6"},
      {1.5e-5, "1.5E-5"},
      {0.0, "0"},
      {-0.0, "0"},
      {1e15, "1E15"},
      {1e14, "100000000000000"},
      {123456789012345.0, "123456789012345"},
      {123456789012345.6, "123456789012346"},
      {999999999999999.4, "999999999999999"},
      {999999999999999.9, "1E15"},  // rounds up into the scientific range
      {1000000000000005.0, "1E15"},  // exact tie, to even
      {1000000000000015.0, "1.00000000000002E15"},  // exact tie, to even
      {0.30000000000000004, "0.3"},
      {1.0 / 3.0, "0.333333333333333"},
      {2.0 / 3.0, "0.666666666666667"},
      {100.0, "100"},
      {-116.3, "-116.3"},
      {-0.00005, "-5E-5"},
      {-1e15, "-1E15"},
      {1e100, "1E100"},
      {1.23456789012345e-10, "1.23456789012345E-10"},
      {5e-324, "4.94065645841247E-324"},
      {0.00012345, "0.00012345"},
      {kInf, "INF"},
      {-kInf, "-INF"},
      {std::numeric_limits<double>::quiet_NaN(), "NAN"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatGeneral(c.value, '.'), c.expected) << c.value;
  }
}

TEST(FormatGeneral, LimitsApplyAfterRounding) {
  // Just below 0.0001 rounds to 0.0001 at 15 digits, so it stays fixed.
  EXPECT_EQ(FormatGeneral(std::nextafter(0.0001, 0.0), '.'), "0.0001");
  EXPECT_EQ(FormatGeneral(0.000099999999999, '.'), "9.9999999999E-5");
}

TEST(FormatGeneral, UsesTheGivenDecimalMark) {
  EXPECT_EQ(FormatGeneral(116.3, ','), "116,3");
  EXPECT_EQ(FormatGeneral(1.5e-5, ','), "1,5E-5");
  EXPECT_EQ(FormatGeneral(40.0, ','), "40");
  EXPECT_EQ(FormatGeneral(-0.0001, ','), "-0,0001");
}

// The C library's "%.15G" in the C locale rounds the same way; only its
// exponent is written differently ("E-05", "E+15").
std::string GeneralByOracle(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15G", value);
  std::string s = text;
  const auto e = s.find('E');
  if (e == std::string::npos) return s;
  std::string exponent = s.substr(e + 1);
  const bool negative = exponent[0] == '-';
  exponent.erase(0, 1);
  exponent.erase(0, exponent.find_first_not_of('0'));
  return s.substr(0, e + 1) + (negative ? "-" : "") + exponent;
}

TEST(FormatGeneral, AgreesWithTheCLibraryOnRandomValues) {
  std::mt19937_64 random(777);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  std::uniform_int_distribution<int> exponent(-8, 18);
  for (int i = 0; i < 20000; ++i) {
    double value = mantissa(random) * std::pow(10.0, exponent(random));
    if (i % 2) value = -value;
    if (i % 7 == 0) value = std::round(value * 1000.0) / 1000.0;  // short decimals
    if (value == 0) continue;  // the C library writes "-0"; the table pins zero
    ASSERT_EQ(FormatGeneral(value, '.'), GeneralByOracle(value)) << value;
  }
}

TEST(FormatFixed, PrintfStyleWidthAndPrecision) {
  EXPECT_EQ(FormatFixed(116.279296875, 20, 14), "  116.27929687500000");
  EXPECT_EQ(FormatFixed(-33.5, 20, 14), "  -33.50000000000000");
  EXPECT_EQ(FormatFixed(40.0107871404655, 20, 14), "   40.01078714046550");
  EXPECT_EQ(FormatFixed(0.125, 0, 2), "0.12");  // exact tie, to even
  EXPECT_EQ(FormatFixed(0.375, 0, 2), "0.38");
  EXPECT_EQ(FormatFixed(123456789.5, 5, 1), "123456789.5");  // never cut
  EXPECT_EQ(FormatFixed(2.5, 3, 0), "  2");
  EXPECT_EQ(FormatFixed(1e300, 20, 14).size(), 301u + 15u);
}

TEST(FormatFixed, AgreesWithTheCLibraryOnRandomValues) {
  std::mt19937_64 random(4242);
  std::uniform_real_distribution<double> coordinate(-180.0, 180.0);
  for (int i = 0; i < 20000; ++i) {
    const double value = coordinate(random);
    char text[64];
    std::snprintf(text, sizeof text, "%20.14f", value);
    ASSERT_EQ(FormatFixed(value, 20, 14), text) << value;
  }
}

}  // namespace
