#include "core/platform/Locale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <memory>
#include <optional>
#include <regex>
#include <string>

#include "core/platform/Numbers.h"
#include "tests/support/TempDir.h"

namespace {

// Switches the process to a German locale (decimal comma, day.month.year) for
// one test. Machines without a prebuilt one get it compiled into a throwaway
// folder, found through LOCPATH.
class GermanLocale {
 public:
  GermanLocale() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"}) {
      if (std::setlocale(LC_ALL, name) != nullptr) {
        active_ = true;
        return;
      }
    }
    static std::unique_ptr<testsupport::TempDir> compiled;
    if (!compiled) {
      compiled = std::make_unique<testsupport::TempDir>();
      const std::string command = "localedef -i de_DE -f UTF-8 '" + compiled->Path() +
                                  "de_DE.UTF-8' >/dev/null 2>&1";
      if (std::system(command.c_str()) != 0) return;
    }
    ::setenv("LOCPATH", compiled->Path().c_str(), 1);
    active_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  }
  ~GermanLocale() {
    std::setlocale(LC_ALL, "C");
    ::unsetenv("LOCPATH");
  }
  bool active() const { return active_; }

 private:
  bool active_ = false;
};

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
