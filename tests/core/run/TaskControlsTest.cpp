#include "core/run/TaskControls.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "core/platform/Files.h"
#include "tests/support/TempDir.h"

namespace run {
namespace {

using testsupport::TempDir;
using testsupport::WriteFileBytes;

constexpr char kSep = platform::kPathSeparator;

TaskControls WorkedControls(const std::string& savePath) {
  TaskControls c;
  c.TaskName = "newtask.otsk";
  c.MapsTypePosition = 0;
  c.LeftLongitude = "116.3";
  c.RightLongitude = "116.5";
  c.TopLatitude = "40.0";
  c.BottomLatitude = "39.8";
  c.Zoom = "13";
  c.SavePath = savePath;
  return c;
}

std::shared_ptr<const task::Shape> ShapeOf(task::Ring ring) {
  auto shape = std::make_shared<task::Shape>();
  shape->Polygons.push_back({std::move(ring), {}});
  return shape;
}

// ---- reading and checking the controls ----

TEST(ReadTaskControls, FillsTheRecord) {
  TempDir dir;
  TaskControls c = WorkedControls(dir.Path() + "maps");
  c.MapsTypePosition = 2;
  c.HistoryDate = "20090105";
  run::ProxySettings proxy{true, "proxy.local", "3128", "walker", "pw"};
  const ControlsCheck check = ReadTaskControls(c, proxy);
  ASSERT_TRUE(check.Parameters) << check.Message;
  EXPECT_EQ(check.Message, "");
  const task::TaskParameters& p = *check.Parameters;
  EXPECT_EQ(p.LeftLongitude, 116.3);
  EXPECT_EQ(p.RightLongitude, 116.5);
  EXPECT_EQ(p.TopLatitude, 40.0);
  EXPECT_EQ(p.BottomLatitude, 39.8);
  EXPECT_EQ(p.Zoom, 13);
  const task::RunSettings& run = check.Run;
  EXPECT_EQ(run.ThreadCount, 8);
  EXPECT_EQ(run.ThreadSlots, 8);
  EXPECT_EQ(p.MapsType, task::kMapTerrain);
  EXPECT_EQ(p.HistoryDate, "20090105");
  EXPECT_EQ(p.SavePath, dir.Path() + "maps" + kSep);
  EXPECT_EQ(p.TaskName, "newtask.otsk");
  EXPECT_TRUE(run.Proxy.UseProxy);
  EXPECT_EQ(run.Proxy.ProxyServer, "proxy.local");
  EXPECT_EQ(run.Proxy.ProxyPort, "3128");
  EXPECT_EQ(run.Proxy.ProxyUsername, "walker");
  EXPECT_EQ(run.Proxy.ProxyPassword, "pw");
  EXPECT_FALSE(run.ContinueTask);
  EXPECT_TRUE(platform::DirectoryExists(dir.Path() + "maps"));
}

TEST(ReadTaskControls, MapTypeCodesByPosition) {
  TempDir dir;
  const int32_t codes[] = {task::kMapPhoto, task::kMapStreet, task::kMapTerrain};
  for (int position = 0; position < 3; ++position) {
    TaskControls c = WorkedControls(dir.Path());
    c.MapsTypePosition = position;
    const ControlsCheck check = ReadTaskControls(c, {});
    ASSERT_TRUE(check.Parameters);
    EXPECT_EQ(check.Parameters->MapsType, codes[position]);
    EXPECT_EQ(task::ListPositionFromMapsType(codes[position]), position);
  }
  EXPECT_EQ(task::ListPositionFromMapsType(0), -1);
}

TEST(ReadTaskControls, SavePathGetsOneSeparator) {
  TempDir dir;
  for (const std::string& typed : {dir.Path() + "a", dir.Path() + "b" + kSep}) {
    const ControlsCheck check = ReadTaskControls(WorkedControls(typed), {});
    ASSERT_TRUE(check.Parameters) << check.Message;
    EXPECT_EQ(check.Parameters->SavePath, platform::IncludeTrailingDelimiter(typed));
    EXPECT_EQ(check.Parameters->SavePath.back(), kSep);
    EXPECT_NE(check.Parameters->SavePath[check.Parameters->SavePath.size() - 2], kSep);
  }
}

TEST(ReadTaskControls, TaskNameGetsTheExtension) {
  const struct {
    const char* typed;
    const char* name;
  } cases[] = {
      {"abc", "abc.otsk"},
      {"abc.txt", "abc.txt.otsk"},
      {"ABC.OTSK", "ABC.OTSK.otsk"},
      {"abc.otsk", "abc.otsk"},
      {"", ".otsk"},
      {"a.otsk.b", "a.otsk.b.otsk"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    TaskControls controls = WorkedControls(dir.Path());
    controls.TaskName = c.typed;
    const ControlsCheck check = ReadTaskControls(controls, {});
    ASSERT_TRUE(check.Parameters) << check.Message;
    EXPECT_EQ(check.Parameters->TaskName, c.name) << c.typed;
  }
}

TEST(ReadTaskControls, CoordinateTexts) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"12,5", 12.5}, {"12.5", 12.5}, {"  12.5", 12.5}, {"-12", -12.0},
      {"+1e1", 10.0}, {"1,5E1", 15.0}, {".5", 0.5},     {"-180", -180.0},
  };
  TempDir dir;
  for (const auto& c : cases) {
    TaskControls controls = WorkedControls(dir.Path());
    controls.LeftLongitude = c.text;
    controls.RightLongitude = "20";
    const ControlsCheck check = ReadTaskControls(controls, {});
    ASSERT_TRUE(check.Parameters) << c.text << ": " << check.Message;
    EXPECT_EQ(check.Parameters->LeftLongitude, c.value) << c.text;
  }
}

struct Refusal {
  const char* name;
  std::function<void(TaskControls&)> change;
  std::string message;
};

TEST(ReadTaskControls, RefusalsInTheirOrder) {
  const std::string input = "Longitude or latitude input error!";
  const std::string zoom = "Zoom level should be between 1 and 21.";
  const Refusal cases[] = {
      {"empty zoom", [](TaskControls& c) { c.Zoom = ""; }, zoom},
      {"zoom text", [](TaskControls& c) { c.Zoom = "thirteen"; }, zoom},
      {"zoom 0", [](TaskControls& c) { c.Zoom = "0"; }, zoom},
      {"zoom 22", [](TaskControls& c) { c.Zoom = "22"; }, zoom},
      {"zoom 31", [](TaskControls& c) { c.Zoom = "31"; }, zoom},
      // What Open task puts in the controls from an empty or garbage file.
      {"damaged task file: coordinates before zoom",
       [](TaskControls& c) {
         c.LeftLongitude = c.RightLongitude = c.TopLatitude = c.BottomLatitude = "";
         c.Zoom = "0";
       },
       input},
      {"coordinate order before zoom",
       [](TaskControls& c) {
         c.TopLatitude = "5";
         c.BottomLatitude = "10";
         c.Zoom = "40";
       },
       "Bottom Latitude should less than Top Latitude!"},
      {"map type", [](TaskControls& c) { c.MapsTypePosition = 3; }, "Please select a map type."},
      {"empty folder", [](TaskControls& c) { c.SavePath = ""; }, "Please select a path to save the images."},
      {"empty folder before bad coordinates",
       [](TaskControls& c) {
         c.SavePath = "";
         c.LeftLongitude = "x";
         c.TopLatitude = "99";
       },
       "Please select a path to save the images."},
      {"bar in folder", [](TaskControls& c) { c.SavePath += "a|b"; }, "The save folder and the task name cannot hold \"|\"."},
      {"bar in name", [](TaskControls& c) { c.TaskName = "a|b"; }, "The save folder and the task name cannot hold \"|\"."},
      {"empty left", [](TaskControls& c) { c.LeftLongitude = ""; }, input},
      {"empty bottom", [](TaskControls& c) { c.BottomLatitude = ""; }, input},
      {"two marks", [](TaskControls& c) { c.RightLongitude = "1,234.5"; }, input},
      {"letters", [](TaskControls& c) { c.TopLatitude = "40N"; }, input},
      {"trailing blank", [](TaskControls& c) { c.TopLatitude = "40 "; }, input},
      {"two numbers", [](TaskControls& c) { c.TopLatitude = "40 41"; }, input},
      {"bare exponent", [](TaskControls& c) { c.TopLatitude = "4e"; }, input},
      {"infinity", [](TaskControls& c) { c.TopLatitude = "inf"; }, input},
      {"input error before range",
       [](TaskControls& c) {
         c.LeftLongitude = "500";
         c.BottomLatitude = "a";
       },
       input},
      {"left 180.0001", [](TaskControls& c) { c.LeftLongitude = "180.0001"; },
       "Left Longitude should be between -180 and 180."},
      {"left -181", [](TaskControls& c) { c.LeftLongitude = "-181"; }, "Left Longitude should be between -180 and 180."},
      {"left huge", [](TaskControls& c) { c.LeftLongitude = "1e300"; }, "Left Longitude should be between -180 and 180."},
      {"right 181", [](TaskControls& c) { c.RightLongitude = "181"; }, "Right Longitude should be between -180 and 180."},
      {"right -180.5", [](TaskControls& c) { c.RightLongitude = "-180,5"; },
       "Right Longitude should be between -180 and 180."},
      {"top 85.5", [](TaskControls& c) { c.TopLatitude = "85.5"; }, "Top Latitude should be between -85 and 85."},
      {"top -86", [](TaskControls& c) { c.TopLatitude = "-86"; }, "Top Latitude should be between -85 and 85."},
      {"bottom -85.01", [](TaskControls& c) { c.BottomLatitude = "-85.01"; },
       "Bottom Latitude should be between -85 and 85."},
      {"bottom 90", [](TaskControls& c) { c.BottomLatitude = "90"; }, "Bottom Latitude should be between -85 and 85."},
      {"left range before right range",
       [](TaskControls& c) {
         c.LeftLongitude = "200";
         c.RightLongitude = "200";
       },
       "Left Longitude should be between -180 and 180."},
      {"right range before top range",
       [](TaskControls& c) {
         c.RightLongitude = "200";
         c.TopLatitude = "90";
       },
       "Right Longitude should be between -180 and 180."},
      {"top range before bottom range",
       [](TaskControls& c) {
         c.TopLatitude = "90";
         c.BottomLatitude = "90";
       },
       "Top Latitude should be between -85 and 85."},
      {"bottom range before order",
       [](TaskControls& c) {
         c.LeftLongitude = "10";
         c.RightLongitude = "5";
         c.BottomLatitude = "-90";
       },
       "Bottom Latitude should be between -85 and 85."},
      {"left 10 right 5",
       [](TaskControls& c) {
         c.LeftLongitude = "10";
         c.RightLongitude = "5";
       },
       "Left Longitude should less than Right Longitude!"},
      {"longitude order before latitude order",
       [](TaskControls& c) {
         c.LeftLongitude = "10";
         c.RightLongitude = "5";
         c.TopLatitude = "5";
         c.BottomLatitude = "10";
       },
       "Left Longitude should less than Right Longitude!"},
      {"top 5 bottom 10",
       [](TaskControls& c) {
         c.TopLatitude = "5";
         c.BottomLatitude = "10";
       },
       "Bottom Latitude should less than Top Latitude!"},
      // A shape is refused as a box would be: a ring across the 180th
      // meridian has points beyond it, one beyond the Mercator limit too.
      {"a shape across the 180th meridian", [](TaskControls& c) { c.Shape = ShapeOf({{179.9, 10}, {180.2, 10}, {180.2, 9.8}}); },
       "Right Longitude should be between -180 and 180."},
      {"a shape to the pole", [](TaskControls& c) { c.Shape = ShapeOf({{116.3, 40}, {116.5, 40}, {116.4, 89}}); },
       "Top Latitude should be between -85 and 85."},
      {"a shape without a polygon", [](TaskControls& c) { c.Shape = std::make_shared<const task::Shape>(); },
       "The task's shape has no polygon."},
      {"a bad shape after a bad rectangle",
       [](TaskControls& c) {
         c.LeftLongitude = "200";
         c.Shape = std::make_shared<const task::Shape>();
       },
       "Left Longitude should be between -180 and 180."},
  };
  TempDir dir;
  for (const Refusal& r : cases) {
    TaskControls controls = WorkedControls(dir.Path() + "maps");
    r.change(controls);
    const ControlsCheck check = ReadTaskControls(controls, {});
    EXPECT_FALSE(check.Parameters) << r.name;
    EXPECT_EQ(check.Message, r.message) << r.name;
  }
}

TEST(ReadTaskControls, BoundsAreInclusive) {
  const struct {
    const char *left, *right, *top, *bottom;
  } cases[] = {
      {"180", "180", "85", "85"},
      {"-180", "-180", "-85", "-85"},
      {"-180", "180", "85", "-85"},
      {"5", "5", "3", "3"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    TaskControls controls = WorkedControls(dir.Path());
    controls.LeftLongitude = c.left;
    controls.RightLongitude = c.right;
    controls.TopLatitude = c.top;
    controls.BottomLatitude = c.bottom;
    const ControlsCheck check = ReadTaskControls(controls, {});
    EXPECT_TRUE(check.Parameters) << c.left << " " << c.right << " " << c.top << " " << c.bottom << ": "
                                  << check.Message;
  }
}

TEST(ReadTaskControls, FolderIsCreatedEvenWhenCoordinatesAreBad) {
  TempDir dir;
  TaskControls controls = WorkedControls(dir.Path() + "fresh");
  controls.LeftLongitude = "";
  EXPECT_EQ(ReadTaskControls(controls, {}).Message, "Longitude or latitude input error!");
  EXPECT_TRUE(platform::DirectoryExists(dir.Path() + "fresh"));

  controls = WorkedControls(dir.Path() + "fresh2");
  controls.TopLatitude = "5";
  controls.BottomLatitude = "10";
  EXPECT_EQ(ReadTaskControls(controls, {}).Message, "Bottom Latitude should less than Top Latitude!");
  EXPECT_TRUE(platform::DirectoryExists(dir.Path() + "fresh2"));
}

TEST(ReadTaskControls, FolderThatCannotBeCreated) {
  TempDir dir;
  WriteFileBytes(dir.File("plain"), "a file, not a folder");
  const std::string typed[] = {
      dir.Path() + "no" + kSep + "such",               // parent missing: one level only
      dir.Path() + "no" + kSep + "such" + kSep,        // as typed, separator kept
      dir.Path() + "plain" + kSep + "sub",             // parent is a file
      dir.Path() + "plain",                            // a file of that name
  };
  for (const std::string& folder : typed) {
    TaskControls controls = WorkedControls(folder);
    controls.LeftLongitude = "bad";
    const ControlsCheck check = ReadTaskControls(controls, {});
    EXPECT_FALSE(check.Parameters);
    EXPECT_EQ(check.Message, "Create directory " + folder + " Failed.");
  }
  EXPECT_FALSE(platform::DirectoryExists(dir.Path() + "no"));
}

// ---- continue test ----

class ContinueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    controls = WorkedControls(dir.Path());
    const ControlsCheck check = ReadTaskControls(controls, {});
    ASSERT_TRUE(check.Parameters) << check.Message;
    params = *check.Parameters;
  }

  void WriteTaskFile(const std::string& body) { WriteFileBytes(dir.File("newtask.otsk"), body); }

  static std::string Stored(const std::string& left = "116.3", const std::string& zoom = "Zoom=13\r\n",
                            const std::string& mapsType = "MapsType=11\r\n", const std::string& date = "") {
    return "[MapsType]\r\n" + mapsType + "HistoryDate=" + date +
           "\r\n\r\n[AREA]\r\nLeftLongitude=" + left +
           "\r\nRightLongitude=116.5\r\nTopLatitude=40.0\r\nBottomLatitude=39.8\r\n\r\n[Zoom]\r\n" + zoom +
           "\r\n[THREADS]\r\nT1X=6747\r\n";
  }

  TempDir dir;
  TaskControls controls;
  task::TaskParameters params;
};

TEST_F(ContinueTest, NoTaskFile) { EXPECT_FALSE(ShouldContinueTask(controls, params)); }

TEST_F(ContinueTest, MatchingFileContinues) {
  WriteTaskFile(Stored());
  EXPECT_TRUE(ShouldContinueTask(controls, params));
}

TEST_F(ContinueTest, EachComparedFieldMustMatch) {
  struct Case {
    const char* name;
    std::string file;
    std::function<void(TaskControls&, task::TaskParameters&)> change;
  };
  const auto none = [](TaskControls&, task::TaskParameters&) {};
  const Case cases[] = {
      {"maps type", Stored("116.3", "Zoom=13\r\n", "MapsType=12\r\n"), none},
      {"maps type missing", Stored("116.3", "Zoom=13\r\n", ""), none},
      {"left as a number", Stored("116.30"), none},
      {"left typed differently", Stored(), [](TaskControls& c, task::TaskParameters&) { c.LeftLongitude = "116,3"; }},
      {"right", Stored(), [](TaskControls& c, task::TaskParameters&) { c.RightLongitude = "116.50"; }},
      {"top", Stored(), [](TaskControls& c, task::TaskParameters&) { c.TopLatitude = "40"; }},
      {"bottom", Stored(), [](TaskControls& c, task::TaskParameters&) { c.BottomLatitude = " 39.8"; }},
      {"zoom", Stored("116.3", "Zoom=14\r\n"), none},
      {"zoom missing", Stored("116.3", ""), none},
      {"zoom not a number", Stored("116.3", "Zoom=13a\r\n"), none},
      {"task name typed without extension", Stored(), [](TaskControls& c, task::TaskParameters&) { c.TaskName = "newtask"; }},
      {"history date", Stored("116.3", "Zoom=13\r\n", "MapsType=11\r\n", "20090105"), none},
      {"history date typed", Stored(), [](TaskControls& c, task::TaskParameters&) { c.HistoryDate = "20090105"; }},
  };
  for (const Case& c : cases) {
    WriteTaskFile(c.file);
    TaskControls typed = controls;
    task::TaskParameters p = params;
    c.change(typed, p);
    EXPECT_FALSE(ShouldContinueTask(typed, p)) << c.name;
  }
}

TEST_F(ContinueTest, StoredTextsReadByTheSettingsRules) {
  // Names without regard to case, values trimmed and unquoted, hexadecimal zoom.
  WriteTaskFile(
      "[mapstype]\r\nmapstype=$B\r\nhistorydate=\"20090105\"\r\n[area]\r\nleftlongitude=  116.3\r\n"
      "RIGHTLONGITUDE='116.5'\r\nTopLatitude=40.0\r\nBottomLatitude=39.8\r\n[ZOOM]\r\nzoom=0xD\r\n");
  controls.HistoryDate = "20090105";
  EXPECT_TRUE(ShouldContinueTask(controls, params));
}

TEST_F(ContinueTest, FolderAndNameParts) {
  // A task name that reaches into a sub-folder fails the folder comparison.
  ASSERT_TRUE(platform::CreateDir(dir.File("sub")));
  controls.TaskName = std::string("sub") + kSep + "newtask.otsk";
  const ControlsCheck check = ReadTaskControls(controls, {});
  ASSERT_TRUE(check.Parameters);
  WriteFileBytes(dir.File("sub") + kSep + "newtask.otsk", Stored());
  EXPECT_FALSE(ShouldContinueTask(controls, *check.Parameters));
}

}  // namespace
}  // namespace run
