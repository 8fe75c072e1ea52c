// A pasted box in its forms, the margin in metres, the outward rounding,
// Start's refusal with why, and the text a coordinate is written in.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "core/area/Area.h"
#include "core/platform/Numbers.h"
#include "core/run/TaskControls.h"
#include "core/task/Unitclasstask.h"

namespace {

using area::Area;

TEST(Area, PastedBoxesInTheirForms) {
  const Area beijing{116.3, 39.8, 116.5, 40};
  const struct {
    const char* text;
    std::optional<Area> expected;
  } cases[] = {
      {"116.3,39.8,116.5,40", beijing},
      {" 116.3, 39.8, 116.5, 40.0\n", beijing},
      {"116.3 39.8 116.5 40", beijing},
      {"40.0, 116.3\n39.8, 116.5", beijing},     // two corners "lat, lon"
      {"39.8, 116.5\r\n40.0, 116.3\r\n", beijing},  // the other two, CR LF
      {"40,116.3 39.8,116.5", beijing},
      {"40, 116.3; 39.8, 116.5", beijing},
      {"-1e1,-5,+3.5,2", Area{-10, -5, 3.5, 2}},
      {"170,-10,-170,10", Area{170, -10, -170, 10}},  // kept for the check to refuse
      {"", std::nullopt},
      {"116.3,39.8,116.5", std::nullopt},
      {"116.3,39.8,116.5,40,1", std::nullopt},
      {"116,3 39,8 116,5 40", std::nullopt},  // commas as decimal marks: eight numbers
      {"N40 E116 N39 E117", std::nullopt},
      {"1.2.3,4,5,6", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(area::ParseAreaText(c.text), c.expected) << c.text;
  }
}

TEST(Area, MarginIsAtLeastItsMetresEverywhereAndRoundingKeepsTheWholeArea) {
  const Area equator{10, -0.5, 11, 0.5};
  const Area grown = area::WithMargin(equator, 1000);
  EXPECT_NEAR(grown.North - equator.North, 1000 / 111319.49, 1e-12);
  EXPECT_NEAR(equator.South - grown.South, 1000 / 111319.49, 1e-12);
  // At 60 degrees a degree of longitude is half as long: twice the degrees.
  const Area north = area::WithMargin(Area{10, 59, 11, 60}, 1000);
  EXPECT_NEAR(11 - north.West + (north.East - 11) - 1, 4 * 1000 / 111319.49, 1e-9);
  EXPECT_EQ(area::WithMargin(equator, 0), equator);
  EXPECT_EQ(area::WithMargin(equator, -5), equator);

  const Area odd{116.30000049, 39.79999951, 116.50000001, 40.0000000001};
  EXPECT_EQ(area::RoundedOutward(odd), (Area{116.3, 39.799999, 116.500001, 40.000001}));
  EXPECT_EQ(area::RoundedToNearest(odd), (Area{116.3, 39.8, 116.5, 40}));
}

TEST(Area, RefusedAsStartRefusesItWithWhyFirst) {
  EXPECT_EQ(area::AreaRefusal(Area{116.3, 39.8, 116.5, 40}), "");
  const std::string across = area::AreaRefusal(Area{170, -10, -170, 10});
  EXPECT_EQ(across.rfind("The area crosses the 180th meridian", 0), 0u) << across;
  EXPECT_NE(across.find("(Left Longitude should less than Right Longitude!)"), std::string::npos) << across;
  const std::string polar = area::AreaRefusal(Area{10, 80, 20, 85.04});
  EXPECT_EQ(polar.rfind("The area reaches beyond 85 degrees", 0), 0u) << polar;
  EXPECT_NE(polar.find("(Top Latitude should be between -85 and 85.)"), std::string::npos) << polar;
  EXPECT_EQ(area::AreaRefusal(Area{181, 0, 182, 1}), "Left Longitude should be between -180 and 180.");
  EXPECT_EQ(area::AreaRefusal(Area{1, 2, 2, 1}), "Bottom Latitude should less than Top Latitude!");
}

// The text the window fills in is the text the task file keeps, so Start
// compares them equal.
TEST(Area, CoordinateTextIsTheTaskFilesText) {
  for (const double value : {116.3, -0.000001, 39.799999, 180.0, -85.0, 0.1 + 0.2}) {
    task::TaskParameters parameters;
    const std::string text = area::CoordinateText(value);
    const std::optional<double> parsed = run::ParseCoordinate(text);
    ASSERT_TRUE(parsed) << text;
    parameters.LeftLongitude = *parsed;
    parameters.RightLongitude = *parsed;
    parameters.TopLatitude = 1;
    parameters.BottomLatitude = 1;
    parameters.TaskName = "t.otsk";
    const task::MDTask task(parameters);
    EXPECT_EQ(task.General(*parsed), text);
  }
}

}  // namespace
