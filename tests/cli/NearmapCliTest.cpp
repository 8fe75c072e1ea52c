// orvenna-cli with the Nearmap API, as a user runs it: the real program
// against a loopback stand-in of the API's tile and coverage endpoints, the
// key in the settings file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/download/FailureRules.h"
#include "core/download/NearmapCoverage.h"
#include "core/platform/Files.h"
#include "core/platform/Numbers.h"
#include "core/task/Commonfunc.h"
#include "core/task/TaskFile.h"
#include "tests/support/NearmapStandIn.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileImages.h"

namespace {

using testsupport::NearmapStandIn;
using testsupport::ProcessResult;
using testsupport::Reply;

const std::string kKey = "K3Y-0f9e";

std::string Coordinate(double value) { return platform::FormatGeneral(value, '.'); }

class NearmapCliTest : public ::testing::Test {
 protected:
  NearmapCliTest() { SetKey(kKey); }

  void SetKey(const std::string& key) {
    testsupport::WriteFileBytes(config_.File("config.ini"),
                                "[NearmapApi]\r\nBaseUrl=" + api_.BaseUrl() + "\r\nSecret=" + key + "\r\n");
  }

  ProcessResult Run(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), ORVENNA_CLI_PROGRAM);
    arguments.push_back("--config=" + config_.File("config.ini"));
    return testsupport::RunProcess(arguments);
  }

  // The rectangle of tiles 6742..6743 x 3101..3102 at zoom 13, each edge
  // inside a border tile.
  static std::vector<std::string> Area() {
    return {"--left", Coordinate(task::TileXToLongitude(6742.5, 13)), "--right",
            Coordinate(task::TileXToLongitude(6743.5, 13)), "--top", Coordinate(task::TileYToLatitude(3101.5, 13)),
            "--bottom", Coordinate(task::TileYToLatitude(3102.5, 13))};
  }
  ProcessResult New(const std::string& name, std::vector<std::string> more) const {
    std::vector<std::string> arguments = {"new", "--name", name, "--type", "nearmap", "--zoom", "13",
                                          "--folder", save_.Path(), "--run"};
    const std::vector<std::string> area = Area();
    arguments.insert(arguments.end(), area.begin(), area.end());
    arguments.insert(arguments.end(), more.begin(), more.end());
    return Run(arguments);
  }
  std::string Tile(const std::string& name, const std::string& prefix, int32_t x, int32_t y) const {
    return testsupport::ReadFileBytes(save_.Path() + name + "/" + prefix + "_" + std::to_string(x) + "_" +
                                      std::to_string(y) + "_13.jpg");
  }

  // No request named the key; every request carried it in its header.
  void ExpectKeyInHeadersOnly() {
    for (const testsupport::RecordedRequest& request : api_.Server().Requests()) {
      EXPECT_EQ(request.Target.find(kKey), std::string::npos) << request.Target;
      EXPECT_EQ(request.Headers.at("authorization"), "Apikey " + kKey) << request.Target;
    }
  }
  // No file the program left holds the key.
  void ExpectKeyInNoFile() const {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(save_.Path())) {
      if (!entry.is_regular_file()) continue;
      EXPECT_EQ(testsupport::ReadFileBytes(entry.path().string()).find(kKey), std::string::npos) << entry.path();
    }
  }

  testsupport::TempDir config_;
  testsupport::TempDir save_;
  NearmapStandIn api_{kKey, {{"s2019", "2019-02-03"}, {"s2023", "2023-11-30"}, {"s2021", "2021-06-01"}}};
};

TEST_F(NearmapCliTest, SurveysOfARectangleAreListedNewestFirst) {
  std::vector<std::string> arguments = {"surveys"};
  const std::vector<std::string> area = Area();
  arguments.insert(arguments.end(), area.begin(), area.end());
  const ProcessResult list = Run(arguments);
  ASSERT_EQ(list.ExitStatus, 0) << list.Err;
  EXPECT_EQ(list.Out, "s2023\t2023-11-30\ns2021\t2021-06-01\ns2019\t2019-02-03\n");
  EXPECT_EQ(list.Err, "3 surveys cover the area.\n");
  ASSERT_EQ(api_.Server().RequestCount(), 1u);
  // The rectangle's corners as a closed ring of lon,lat pairs.
  const std::string path = api_.Server().Requests()[0].Path;
  const std::string prefix = "/coverage/v2/poly/", suffix = "?limit=1000";
  ASSERT_EQ(path.rfind(prefix, 0), 0u) << path;
  ASSERT_TRUE(path.ends_with(suffix)) << path;
  std::string numbers = path.substr(prefix.size(), path.size() - prefix.size() - suffix.size());
  std::replace(numbers.begin(), numbers.end(), ',', '\n');
  const std::vector<std::string> ring = platform::SplitLines(numbers);
  const double w = std::stod(area[1]), e = std::stod(area[3]), n = std::stod(area[5]), s = std::stod(area[7]);
  const std::vector<double> corners = {w, n, e, n, e, s, w, s, w, n};
  ASSERT_EQ(ring.size(), corners.size()) << path;
  for (std::size_t i = 0; i < corners.size(); ++i) EXPECT_NEAR(std::stod(ring[i]), corners[i], 1e-9) << path;
  ExpectKeyInHeadersOnly();

  arguments.insert(arguments.end(), {"--json", "-"});
  const ProcessResult json = Run(arguments);
  EXPECT_EQ(json.ExitStatus, 0) << json.Err;
  EXPECT_EQ(json.Out,
            "{\"surveys\": [{\"id\": \"s2023\", \"captureDate\": \"2023-11-30\"}, {\"id\": \"s2021\", \"captureDate\": "
            "\"2021-06-01\"}, {\"id\": \"s2019\", \"captureDate\": \"2019-02-03\"}], \"total\": 3}\n");

  // A key the service refuses, a rectangle Start would refuse, no key.
  SetKey("WRONG");
  const ProcessResult refused = Run(arguments);
  EXPECT_EQ(refused.ExitStatus, 3);
  EXPECT_EQ(refused.Err, std::string("orvenna-cli: ") + download::kKeyRefusedMessage + " (HTTP 401)\n");
  arguments[2] = "200";
  const ProcessResult outside = Run(arguments);
  EXPECT_EQ(outside.ExitStatus, 2);
  EXPECT_EQ(outside.Err, "Left Longitude should be between -180 and 180.\n");
  SetKey("");
  const std::size_t asked = api_.Server().RequestCount();
  arguments[2] = area[1];
  const ProcessResult keyless = Run(arguments);
  EXPECT_EQ(keyless.ExitStatus, 2);
  EXPECT_EQ(keyless.Err, std::string("orvenna-cli: ") + download::kNoApiKeyMessage + "\n");
  EXPECT_EQ(api_.Server().RequestCount(), asked) << "nothing is asked without a key";
}

// The README's first task, shrunk to four tiles: a date picks the newest
// survey captured on or before it, the task keeps it, its faults go as for
// any source, and its failed list is fetched again with the key.
TEST_F(NearmapCliTest, ADateChoosesItsSurveyWhichTheTaskKeeps) {
  const std::string survey = "/tiles/v3/surveys/s2021/Vert/13/";
  api_.Override(survey + "6743/3101.jpg", {Reply::StatusOnly(404, "Not Found")});
  api_.Override(survey + "6742/3102.jpg", {Reply::StatusOnly(429, "Too Many Requests").WithHeader("Retry-After", "1"),
                                           Reply::Ok(NearmapStandIn::Tile("s2021", "Vert", 13, 6742, 3102))});
  // A server error is asked again after a pause; an error page sent as a
  // success is no tile, and with it the tile has had its three tries.
  const Reply page = Reply::Ok("<html>busy</html>").WithHeader("Content-Type", "text/html");
  api_.Override(survey + "6743/3102.jpg", {Reply::StatusOnly(500, "Internal Server Error"), page, page,
                                           Reply::Ok(NearmapStandIn::Tile("s2021", "Vert", 13, 6743, 3102))});
  const ProcessResult run = New("t", {"--date", "20220101", "-v"});
  EXPECT_EQ(run.ExitStatus, 1) << run.Err << run.Out;
  EXPECT_EQ(Tile("t", "na", 6742, 3101), NearmapStandIn::Tile("s2021", "Vert", 13, 6742, 3101));
  EXPECT_EQ(Tile("t", "na", 6742, 3102), NearmapStandIn::Tile("s2021", "Vert", 13, 6742, 3102));
  EXPECT_EQ(Tile("t", "na", 6743, 3101), testsupport::ProgramBlankImage()) << "404: no imagery there";
  EXPECT_NE(run.Out.find("The server asks to wait 1 s (HTTP 429)->http://"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find(" HTTP 500, asking again in 1."), std::string::npos) << run.Out;

  const task::StoredTask stored = task::TaskFile(save_.Path() + "t.otsk").Read(0);
  EXPECT_EQ(stored.MapsType, 21);
  EXPECT_EQ(stored.HistoryDate, "20220101");
  EXPECT_EQ(stored.Nearmap, (task::NearmapImagery{"Vert", "s2021", "2021-06-01"}));

  // The dry run names the survey the date resolves to.
  std::vector<std::string> dry = {"new", "--name", "d", "--type", "nearmap", "--zoom", "13",
                                  "--folder", save_.Path(), "--date", "20220101", "--dry-run"};
  const std::vector<std::string> area = Area();
  dry.insert(dry.end(), area.begin(), area.end());
  const ProcessResult planned = Run(dry);
  EXPECT_EQ(planned.ExitStatus, 0) << planned.Err;
  EXPECT_NE(planned.Out.find("Imagery: survey s2021 captured 2021-06-01 (the newest on or before 20220101), Vert\n"),
            std::string::npos)
      << planned.Out;

  // Given up, and fetched again from the failed list with the key.
  const ProcessResult retry = Run({"retry", save_.Path() + "t_failed.ftl"});
  EXPECT_EQ(retry.ExitStatus, 0) << retry.Err << retry.Out;
  EXPECT_EQ(Tile("t", "na", 6743, 3102), NearmapStandIn::Tile("s2021", "Vert", 13, 6743, 3102));
  const ProcessResult status = Run({"status", save_.Path() + "t.otsk"});
  EXPECT_EQ(status.ExitStatus, 0) << status.Err << status.Out;
  EXPECT_NE(status.Out.find("Task: 4 tiles: 3 saved, 1 blank, 0 given up"), std::string::npos) << status.Out;

  // Continued: the same survey, without asking for the list again.
  const std::size_t before = api_.Server().RequestCount();
  const ProcessResult again = Run({"run", save_.Path() + "t.otsk"});
  EXPECT_EQ(again.ExitStatus, 0) << again.Err;
  EXPECT_EQ(api_.Server().RequestCount(), before) << "every tile is done and the survey is pinned";
  for (const testsupport::RecordedRequest& request : api_.Server().Requests()) {
    if (request.Path.rfind("/coverage/", 0) != 0) {
      EXPECT_EQ(request.Path.rfind(survey, 0), 0u) << request.Path;
    }
  }

  // The latest imagery of an oblique direction, and a survey named by its id.
  EXPECT_EQ(New("north", {"--direction", "north"}).ExitStatus, 0);
  EXPECT_EQ(Tile("north", "nan", 6743, 3102), NearmapStandIn::Tile("s2023", "North", 13, 6743, 3102));
  EXPECT_EQ(New("old", {"--survey", "s2019"}).ExitStatus, 0);
  EXPECT_EQ(Tile("old", "na", 6742, 3101), NearmapStandIn::Tile("s2019", "Vert", 13, 6742, 3101));
  EXPECT_EQ(task::TaskFile(save_.Path() + "old.otsk").Read(0).HistoryDate, "20190203");
  const ProcessResult unknown = New("none", {"--survey", "s1999"});
  EXPECT_EQ(unknown.ExitStatus, 2);
  EXPECT_EQ(unknown.Err, "No survey s1999 covers this area.\n");
  const ProcessResult early = New("early", {"--date", "20180101"});
  EXPECT_EQ(early.ExitStatus, 2);
  EXPECT_EQ(early.Err, "No survey of this area was captured on or before 20180101.\n");

  ExpectKeyInHeadersOnly();
  ExpectKeyInNoFile();
}

TEST_F(NearmapCliTest, ARefusedKeyStopsTheRunAtOnceWithItsMessage) {
  SetKey("WRONG");
  const ProcessResult run = New("t", {});
  EXPECT_EQ(run.ExitStatus, 3) << run.Err;
  EXPECT_NE(run.Err.find(std::string("Stopped: ") + download::kKeyRefusedMessage + " (HTTP 401)"), std::string::npos)
      << run.Err;
  EXPECT_EQ(run.Err.find("banned"), std::string::npos) << run.Err;
  // One request a worker: none is repeated once the key is refused.
  EXPECT_EQ(api_.Server().RequestCount(), 4u);
  const std::vector<std::string> log = platform::ReadTextLines(save_.Path() + "t_log.txt");
  EXPECT_NE(std::find(log.begin(), log.end(), download::kKeyRefusedMessage), log.end());

  // With a date, the survey list is refused before anything is written.
  const ProcessResult dated = New("dated", {"--date", "20220101"});
  EXPECT_EQ(dated.ExitStatus, 3);
  EXPECT_EQ(dated.Err, std::string(download::kKeyRefusedMessage) + " (HTTP 401)\n");
  EXPECT_FALSE(platform::FileExists(save_.Path() + "dated.otsk"));
}

}  // namespace
