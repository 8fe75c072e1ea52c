// The Nearmap API as a tile source: its addresses, prefixes and header, the
// coverage request and answer, and the survey a date or an id chooses.
#include "core/task/NearmapApi.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/run/Surveys.h"
#include "core/task/TaskFiles.h"
#include "core/task/Unitclasstask.h"

namespace task {
namespace {

TEST(NearmapApi, TilesOfEachDirectionAndSurveyHaveTheirAddressAndPrefix) {
  const NearmapAccount account{"https://gateway.example/nearmap/", 250, 3};
  const struct {
    NearmapImagery imagery;
    const char* url;
    const char* prefix;
  } cases[] = {
      {{"Vert", "", ""}, "https://gateway.example/nearmap/tiles/v3/Vert/{z}/{x}/{y}.jpg", "na"},
      {{"North", "", ""}, "https://gateway.example/nearmap/tiles/v3/North/{z}/{x}/{y}.jpg", "nan"},
      {{"East", "", ""}, "https://gateway.example/nearmap/tiles/v3/East/{z}/{x}/{y}.jpg", "nae"},
      {{"South", "a1-b2", "2021-03-04"},
       "https://gateway.example/nearmap/tiles/v3/surveys/a1-b2/South/{z}/{x}/{y}.jpg", "nas"},
      {{"West", "", ""}, "https://gateway.example/nearmap/tiles/v3/West/{z}/{x}/{y}.jpg", "naw"},
  };
  for (const auto& c : cases) {
    const TileSource source = NearmapSource(account, c.imagery);
    EXPECT_EQ(source.UrlTemplate, c.url);
    EXPECT_EQ(source.FilePrefix, c.prefix);
    EXPECT_EQ(SourceProblem(source), "") << c.url;
    EXPECT_EQ(source.PauseMs, 250);
    EXPECT_EQ(source.MaxWorkers, 3);
  }

  // The key goes in the header only: a task's URLs, records and log never
  // hold it, and its tiles never mix with the built-in types' files.
  TaskParameters p;
  p.SavePath = "/srv/";
  p.TaskName = "t.otsk";
  p.LeftLongitude = p.RightLongitude = 116.4;
  p.TopLatitude = p.BottomLatitude = 39.9;
  p.MapsType = kMapNearmapApi;
  p.Nearmap = NearmapImagery{"Vert", "a1-b2", "2021-03-04"};
  p.Source = NearmapSource(account, *p.Nearmap);
  task::RunSettings run;
  run.SourceSecret = "K3Y";
  const MDTask t(p);
  const std::string url = "https://gateway.example/nearmap/tiles/v3/surveys/a1-b2/Vert/13/6742/3101.jpg";
  EXPECT_EQ(t.FetchURL(6742, 3101, run.SourceSecret), url);
  EXPECT_EQ(t.TileURL(6742, 3101), url);
  EXPECT_EQ(t.TileFileName(6742, 3101), "na_6742_3101_13.jpg");
  EXPECT_TRUE(t.SendsApiKey());
  EXPECT_EQ(t.FetchHeaderLines(run.SourceSecret),
            (std::vector<std::string>{std::string("User-Agent: ") + kDefaultUserAgent, "Authorization: Apikey K3Y"}));
  for (const std::string& line : TaskFileLines(t, run)) EXPECT_EQ(line.find("K3Y"), std::string::npos) << line;
  const std::vector<std::string> lines = TaskFileLines(t, run);
  const std::vector<std::string> section(lines.end() - 5, lines.end());
  EXPECT_EQ(section, (std::vector<std::string>{"[NearmapApi]", "Direction=Vert", "SurveyId=a1-b2",
                                               "SurveyDate=2021-03-04", ""}));

  // What cannot go into a request is refused before one is made.
  EXPECT_EQ(NearmapProblem({"vert", "", ""}),
            "Unknown direction vert: the directions are Vert, North, East, South and West.");
  EXPECT_EQ(NearmapProblem({"Vert", "../x", ""}),
            "The survey id ../x is not one the service gives (letters, digits, - and _).");
  EXPECT_EQ(NearmapDirectionOf("nORTH"), "North");
  EXPECT_EQ(NearmapDirectionOf("Up"), std::nullopt);
  EXPECT_EQ(NearmapBaseUrlProblem("https://api.nearmap.com"), "");
  EXPECT_EQ(NearmapBaseUrlProblem("ftp://api.nearmap.com"),
            "The address of the Nearmap API must begin with http:// or https://.");
  EXPECT_EQ(NearmapBaseUrlProblem("https://api.nearmap.com/?apikey=1"),
            "The address of the Nearmap API cannot hold blanks, { } ? # or |.");
}

TEST(NearmapApi, CoverageIsAskedForTheRectangleAsAClosedRing) {
  EXPECT_EQ(CoverageUrl("https://api.nearmap.com/", {116.3, 116.5, 40.0, 39.8}),
            "https://api.nearmap.com/coverage/v2/poly/"
            "116.3,40,116.5,40,116.5,39.8,116.3,39.8,116.3,40?limit=1000");
  // Never the scientific form, whatever the magnitude.
  EXPECT_EQ(CoverageUrl("http://h", {-0.00001, 0, 1e-9, -0.5}),
            "http://h/coverage/v2/poly/-0.00001,0.000000001,0,0.000000001,0,-0.5,-0.00001,-0.5,-0.00001,0.000000001"
            "?limit=1000");
}

TEST(NearmapApi, SurveysAreReadFromTheCoverageAnswerNewestFirst) {
  const struct {
    const char* json;
    std::optional<std::vector<Survey>> surveys;
  } cases[] = {
      {R"({"surveys": [{"id": "old-1", "captureDate": "2019-02-03", "resources": {"tiles": [{"type": "Vert"}]}},
                       {"id": "new_2", "captureDate": "2023-11-30", "pixelSize": 0.075},
                       {"id": "mid", "captureDate": "2021-06-01"}], "total": 3})",
       std::vector<Survey>{{"new_2", "2023-11-30"}, {"mid", "2021-06-01"}, {"old-1", "2019-02-03"}}},
      // Entries that could not be used are left out, not the answer.
      {R"({"surveys": [{"id": "a/b", "captureDate": "2020-01-01"}, {"id": 7, "captureDate": "2020-01-01"},
                       {"id": "ok", "captureDate": "1 May 2020"}, {"captureDate": "2020-01-01"}, "x",
                       {"id": "good", "captureDate": "2020-01-02"}]})",
       std::vector<Survey>{{"good", "2020-01-02"}}},
      {R"({"surveys": [], "total": 0})", std::vector<Survey>{}},
      {R"({"total": 0})", std::nullopt},
      {R"({"surveys": {}})", std::nullopt},
      {R"(<html>Gateway timeout</html>)", std::nullopt},
      {R"({"surveys": [)", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseSurveys(c.json), c.surveys) << c.json;
}

// Start pins a task to a survey: the newest on or before the date typed, or
// the one named (its date then fills the date field).
TEST(NearmapApi, ADateOrAnIdPinsTheSurvey) {
  const std::vector<Survey> surveys = {{"c", "2023-11-30"}, {"b", "2021-06-01"}, {"a", "2019-02-03"}};
  const struct {
    const char* date;
    const char* id;
    const char* pinnedId;
    const char* dateField;
    const char* problem;
  } cases[] = {
      {"20231130", "", "c", "20231130", ""},
      {"20991231", "", "c", "20991231", ""},
      {"20231129", "", "b", "20231129", ""},
      {"20210601", "", "b", "20210601", ""},
      {"20190203", "", "a", "20190203", ""},
      {"20190202", "", "", "20190202", "No survey of this area was captured on or before 20190202."},
      {"2021-6-1", "", "", "2021-6-1", "The date 2021-6-1 is not written yyyymmdd (such as 20240131)."},
      {"", "b", "b", "20210601", ""},
      {"20000101", "a", "a", "20190203", ""},
      {"", "z", "z", "", "No survey z covers this area."},
  };
  for (const auto& c : cases) {
    run::TaskControls controls;
    controls.HistoryDate = c.date;
    controls.Nearmap = NearmapImagery{"Vert", c.id, ""};
    ASSERT_TRUE(run::NeedsSurveyList(controls)) << c.date << c.id;
    EXPECT_EQ(run::PinSurvey(controls, surveys), c.problem) << c.date << c.id;
    EXPECT_EQ(controls.Nearmap->SurveyId, c.pinnedId) << c.date << c.id;
    EXPECT_EQ(controls.HistoryDate, c.dateField) << c.date << c.id;
    if (*c.problem == '\0') {
      EXPECT_FALSE(run::NeedsSurveyList(controls)) << c.date << c.id;
    }
  }
  // The latest imagery (no date) and a pinned survey need no list.
  run::TaskControls latest;
  latest.Nearmap = NearmapImagery{};
  EXPECT_FALSE(run::NeedsSurveyList(latest));
}

}  // namespace
}  // namespace task
