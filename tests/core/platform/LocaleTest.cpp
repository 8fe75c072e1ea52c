#include "core/platform/Locale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <optional>
#include <regex>
#include <string>

#include "core/platform/Numbers.h"
#include "tests/support/GermanLocale.h"

namespace {

using testsupport::GermanLocale;

TEST(Locale, CLocaleHasAPointAndUsStyleDates) {
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(platform::DesktopDecimalSeparator(), '.');
  EXPECT_TRUE(std::regex_match(platform::CurrentDateTimeText(),
                               std::regex(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d)")))
      << platform::CurrentDateTimeText();
}

TEST(Locale, FollowsTheDesktopsRegionalSettings) {
  GermanLocale german;
  if (!german.active()) GTEST_SKIP() << "no German locale on this machine";
  EXPECT_EQ(platform::DesktopDecimalSeparator(), ',');
  EXPECT_TRUE(std::regex_match(platform::CurrentDateTimeText(),
                               std::regex(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d)")))
      << platform::CurrentDateTimeText();
}

TEST(Locale, NumbersIgnoreTheRegionalSettings) {
  GermanLocale german;
  if (!german.active()) GTEST_SKIP() << "no German locale on this machine";
  EXPECT_EQ(platform::ParseDecimal("116.3"), 116.3);
  EXPECT_EQ(platform::ParseDecimal("116,3"), std::nullopt);
  EXPECT_EQ(platform::ParseLeadingDecimal("33.48"), 33.48);
  EXPECT_EQ(platform::FormatGeneral(116.3, '.'), "116.3");
  EXPECT_EQ(platform::FormatGeneral(1.5e-5, '.'), "1.5E-5");
  EXPECT_EQ(platform::FormatFixed(116.279296875, 20, 14), "  116.27929687500000");
  EXPECT_EQ(platform::FormatInteger(-1234567), "-1234567");
}

}  // namespace
