// orvenna-cli as a user runs it: the real program, started with a settings
// file whose proxy is the loopback tile server, at the program's own pace.
#include <gtest/gtest.h>

#include <signal.h>
#ifdef TILEJOIN_PROGRAM
#include <sqlite3.h>
#endif

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/platform/Files.h"
#include "core/platform/Numbers.h"
#include "core/task/Commonfunc.h"
#include "core/run/ConfigFile.h"
#include "core/task/TaskFile.h"
#include "core/task/TileSource.h"
#include "core/task/TileRange.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TileImages.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileServer.h"

namespace {

using namespace std::chrono_literals;
using testsupport::ChildProcess;
using testsupport::ProcessResult;
using testsupport::Reply;

// Columns and rows of a block at zoom 13.
struct Block {
  int32_t X0 = 6742;
  int32_t Y0 = 3101;
  int32_t Columns = 1;
  int32_t Rows = 1;
  task::TileRange Range() const { return {X0, Y0, X0 + Columns - 1, Y0 + Rows - 1}; }
};

std::string Coordinate(double value) { return platform::FormatGeneral(value, '.'); }

std::size_t Count(const std::string& text, const std::string& piece) {
  std::size_t count = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size())) ++count;
  return count;
}

class CliTest : public ::testing::Test {
 protected:
  CliTest() {
    testsupport::WriteFileBytes(config_.File("config.ini"),
                                "[Proxy]\r\nUseProxy=1\r\nProxyServer=127.0.0.1\r\nProxyPort=" +
                                    platform::FormatInteger(server_.Port()) + "\r\n");
  }

  std::vector<std::string> Command(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), ORVENNA_CLI_PROGRAM);
    arguments.push_back("--config=" + config_.File("config.ini"));
    return arguments;
  }

  // "new" for a block; each edge lies inside a border tile.
  std::vector<std::string> New(const Block& block, std::vector<std::string> more = {}) const {
    std::vector<std::string> arguments = {
        "new", "--name", "t", "--type", "photo", "--folder", save_.Path() + "maps",
        "--left", Coordinate(task::TileXToLongitude(block.X0 + 0.5, 13)),
        "--right", Coordinate(task::TileXToLongitude(block.X0 + block.Columns - 0.5, 13)),
        "--top", Coordinate(task::TileYToLatitude(block.Y0 + 0.5, 13)),
        "--bottom", Coordinate(task::TileYToLatitude(block.Y0 + block.Rows - 0.5, 13)), "--zoom", "13"};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return Command(arguments);
  }

  std::string TaskFile() const { return save_.Path() + "maps/t.otsk"; }
  std::string Tile(int32_t x, int32_t y) const {
    return save_.Path() + "maps/t/nm_" + std::to_string(x) + "_" + std::to_string(y) + "_13.jpg";
  }
  static std::string PathOf(int32_t x, int32_t y) {
    return "/maps/hl=en&x=" + std::to_string(x) + "&y=" + std::to_string(y) + "&z=13&nml=Vert";
  }

  testsupport::TempDir config_;
  testsupport::TempDir save_;
  testsupport::TileServer server_;
};

// One row per outcome: the exit status, the summary and its JSON.
TEST_F(CliTest, ExitStatusSummaryAndJsonOfEachOutcome) {
  const Block block{6742, 3101, 2, 4};  // 8 tiles: one per worker
  struct Case {
    const char* name;
    std::vector<Reply> third;  // the replies to the tile of walk number 3
    int status;
    const char* counts;
  };
  const Case cases[] = {
      {"every tile saved", {Reply::Ok(testsupport::TileImage("tile"))}, 0, "\"saved\": 8, \"blank\": 0, \"givenUp\": 0, \"notTried\": 0"},
      {"not found: a blank", {Reply::StatusOnly(404, "Not Found")}, 0, "\"saved\": 7, \"blank\": 1, \"givenUp\": 0"},
      {"given up", {Reply::StatusOnly(500, "Internal Server Error")}, 1, "\"saved\": 7, \"blank\": 0, \"givenUp\": 1"},
      {"refused", {Reply::StatusOnly(403, "Forbidden")}, 3, "\"saved\": 7, \"blank\": 0, \"givenUp\": 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(save_.Path() + "maps");
    server_.Script(PathOf(6742, 3103), c.third);
    const std::string json = save_.File("summary.json");
    const ProcessResult result = testsupport::RunProcess(New(block, {"--run", "--json", json}));
    EXPECT_EQ(result.ExitStatus, c.status) << result.Err;
    EXPECT_NE(testsupport::ReadFileBytes(json).find(c.counts), std::string::npos) << testsupport::ReadFileBytes(json);
    EXPECT_NE(result.Err.find("Elapsed: 0:00:0"), std::string::npos) << result.Err;
    EXPECT_EQ(result.Err.find('\r'), std::string::npos) << "no redrawn line when standard error is no terminal";
    const std::vector<std::string> log = platform::ReadTextLines(save_.Path() + "maps/t_log.txt");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "Log file has been saved as " + save_.Path() + "maps/t_log.txt");
  }

  // Bad input: the window's messages, in the window's order, and status 2.
  const std::map<std::string, std::vector<std::string>> refusals = {
      {"Longitude or latitude input error!\n", {"--left", "x"}},
      {"Left Longitude should less than Right Longitude!\n", {"--left", "170"}},
      {"Zoom level should be between 1 and 21.\n", {"--zoom", "22"}},
  };
  for (const auto& [message, change] : refusals) {
    std::vector<std::string> arguments = New(block);
    const auto at = std::find(arguments.begin(), arguments.end(), change[0]);
    *(at + 1) = change[1];
    const ProcessResult result = testsupport::RunProcess(arguments);
    EXPECT_EQ(result.ExitStatus, 2);
    EXPECT_EQ(result.Err, message);
  }
  const ProcessResult usage = testsupport::RunProcess(Command({"new", "--name", "t"}));
  EXPECT_EQ(usage.ExitStatus, 2);
  EXPECT_NE(usage.Err.find("--help"), std::string::npos);
  testsupport::WriteFileBytes(save_.File("notes.txt"), "shopping list\n");
  for (const char* command : {"run", "fill", "status"}) {
    const ProcessResult notATask = testsupport::RunProcess(Command({command, save_.File("notes.txt")}));
    EXPECT_EQ(notATask.ExitStatus, 2) << command;
    EXPECT_NE(notATask.Err.find(save_.File("notes.txt") + " is not a task file"), std::string::npos) << notATask.Err;
  }
}

TEST_F(CliTest, DryRunTellsTheTilesAndWritesNothing) {
  const ProcessResult result = testsupport::RunProcess(New({6742, 3101, 6, 7}, {"--dry-run"}));
  EXPECT_EQ(result.ExitStatus, 0) << result.Err;
  EXPECT_NE(result.Out.find("Tiles: 42 (columns 6742 to 6747, rows 3101 to 3107, zoom 13)"), std::string::npos)
      << result.Out;
  EXPECT_NE(result.Out.find("Time: at least 0:00:06"), std::string::npos) << result.Out;
  EXPECT_FALSE(std::filesystem::exists(save_.Path() + "maps"));

  // A million tiles of a source without a pause: no time to promise.
  task::TileSource source;
  source.Name = "Fast";
  source.UrlTemplate = "http://" + server_.HostPort() + "/f/{z}/{x}/{y}.jpg";
  source.FilePrefix = "f";
  source.PauseMs = 0;
  source.MaxWorkers = 8;
  run::ConfigFile(config_.File("config.ini")).WriteSource(source, "");
  std::vector<std::string> arguments = New({6000, 3000, 1000, 1000}, {"--dry-run"});
  *(std::find(arguments.begin(), arguments.end(), "photo")) = "Fast";
  const ProcessResult unpaced = testsupport::RunProcess(arguments);
  EXPECT_EQ(unpaced.ExitStatus, 0) << unpaced.Err;
  EXPECT_NE(unpaced.Out.find("Tiles: 1000000 "), std::string::npos) << unpaced.Out;
  EXPECT_NE(unpaced.Out.find("Time: not known before a run: the source asks for no pause after a tile, so the server "
                             "and the network set the pace (8 workers)\n"),
            std::string::npos)
      << unpaced.Out;
  EXPECT_EQ(server_.RequestCount(), 0u);

  // The name is no path: the task's files stay in --folder.
  for (const std::string name : {"../x", "sub/x", ".."}) {
    std::vector<std::string> named = New({6742, 3101, 1, 1}, {"--run"});
    *(std::find(named.begin(), named.end(), "t")) = name;
    const ProcessResult refused = testsupport::RunProcess(named);
    EXPECT_EQ(refused.ExitStatus, 2) << name;
    EXPECT_NE(refused.Err.find("--name is the task's name, without a folder ('" + name + "')"), std::string::npos)
        << refused.Err;
  }
  EXPECT_EQ(testsupport::Entries(save_.Path()), std::set<std::string>{});
}

// --area-file takes the box of a vector file's features (grown by --margin)
// in place of the four edges; the dry run prints what it prints for them.
TEST_F(CliTest, NewTakesItsAreaFromAVectorFile) {
  const std::string file = save_.File("area.geojson");
  testsupport::WriteFileBytes(file, R"({"type":"Feature","properties":{},"geometry":{"type":"Polygon",
      "coordinates":[[[116.3,39.8],[116.5,39.8],[116.5,40.0],[116.3,40.0],[116.3,39.8]]]}})");
  const auto newOf = [&](std::vector<std::string> area) {
    std::vector<std::string> arguments = {"new", "--name", "t", "--type", "photo", "--folder", save_.Path() + "maps",
                                          "--zoom", "13", "--dry-run"};
    arguments.insert(arguments.end(), area.begin(), area.end());
    return testsupport::RunProcess(Command(arguments));
  };
  const ProcessResult typed = newOf({"--left", "116.3", "--right", "116.5", "--top", "40", "--bottom", "39.8"});
  EXPECT_EQ(typed.Out, "Task: " + save_.Path() + "maps/t.otsk\n"
                       "Tiles: 42 (columns 6742 to 6747, rows 3101 to 3107, zoom 13)\n"
                       "Disk: about 846.1 KiB (tiles at about 20.0 KiB each, extent list 4.5 KiB, log 1.6 KiB)\n"
                       "Time: at least 0:00:06 at the program's pace (8 workers, a pause of 1000 ms after each tile)\n");
  const ProcessResult fromFile = newOf({"--area-file", file});
  EXPECT_EQ(fromFile.ExitStatus, 0) << fromFile.Err;
  EXPECT_EQ(fromFile.Out, typed.Out);
  // 5 km more on every side (0.0449 degrees of latitude, 0.0586 of longitude at 40 N): the box of the
  // grown shape, whose rounded corners leave two of the box's corner tiles out.
  const ProcessResult grown = newOf({"--area-file", file, "--margin", "5000"});
  EXPECT_NE(grown.Out.find("Tiles: 78 of the shape (its box 80: columns 6741 to 6748, rows 3099 to 3108, zoom 13)"),
            std::string::npos)
      << grown.Out;

  const struct {
    std::vector<std::string> area;
    const char* says;
  } refused[] = {
      {{"--area-file", save_.File("none.kml")}, "Cannot open file "},
      {{"--area-file", file, "--left", "116.3"}, "--area-file and --left exclude each other"},
      {{"--area-file", file, "--margin", "-1"}, "--margin is a number of metres, 0 or more"},
      {{"--left", "116.3", "--right", "116.5", "--top", "40", "--bottom", "39.8", "--margin", "5"},
       "--margin goes with --area-file"},
  };
  for (const auto& c : refused) {
    const ProcessResult result = newOf(c.area);
    EXPECT_EQ(result.ExitStatus, 2) << c.says;
    EXPECT_NE(result.Err.find(c.says), std::string::npos) << result.Err;
  }
}

// Interrupted in the middle, the task is resumed by "run" without fetching
// again what was finished; every tile is there at the end.
TEST_F(CliTest, InterruptedRunIsResumedWithoutRefetching) {
  const Block block{6742, 3101, 6, 7};
  ChildProcess first(New(block, {"--run", "-v"}));
  ASSERT_TRUE([&] {
    for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;) {
      if (server_.RequestCount() >= 16) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }());
  first.Signal(SIGINT);
  const ProcessResult stopped = first.Wait();
  EXPECT_EQ(stopped.ExitStatus, 130) << stopped.Err;
  EXPECT_EQ(Count(stopped.Out, "will be terminated by user. please wait..."), 8u) << stopped.Out;
  EXPECT_EQ(Count(stopped.Out, " Finished."), 8u);

  const auto positions = task::TaskFile(TaskFile()).ReadPositions(8);
  const std::size_t before = server_.RequestCount();
  const ProcessResult resumed = testsupport::RunProcess(Command({"run", TaskFile()}));
  EXPECT_EQ(resumed.ExitStatus, 0) << resumed.Err;

  const task::TileRange range = block.Range();
  std::map<std::string, int> laterRequests;
  const auto requests = server_.Requests();
  for (std::size_t i = before; i < requests.size(); ++i) ++laterRequests[requests[i].Path];
  for (int64_t p = 1; p <= range.Count(); ++p) {
    const task::TilePosition tile = range.AtWalkNumber(p);
    const auto slot = static_cast<std::size_t>(p % 8);
    const bool finishedBefore = p <= range.ResumePoint(positions[slot]);
    EXPECT_EQ(laterRequests[PathOf(tile.X, tile.Y)], finishedBefore ? 0 : 1) << "walk number " << p;
    EXPECT_TRUE(platform::FileExists(Tile(tile.X, tile.Y))) << "walk number " << p;
  }
}

// A second signal during the stop ends the program at once; the task file
// is whole.
TEST_F(CliTest, SecondSignalEndsAtOnceWithEveryFileWhole) {
  ChildProcess run(New({6742, 3101, 6, 7}, {"--run"}));
  ASSERT_TRUE([&] {
    for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;) {
      if (server_.RequestCount() >= 8) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }());
  run.Signal(SIGINT);
  std::this_thread::sleep_for(50ms);
  run.Signal(SIGTERM);
  const ProcessResult result = run.Wait();
  EXPECT_EQ(result.ExitStatus, 130);
  // Ended before the workers' pauses ran out and the run could close.
  const std::string log = testsupport::ReadFileBytes(save_.Path() + "maps/t_log.txt");
  EXPECT_EQ(log.find("Task Stoped!"), std::string::npos);
  EXPECT_EQ(log.rfind("Project: ", 0), 0u);
  EXPECT_EQ(platform::ReadTextLines(TaskFile()).size(), 43u);
}

TEST_F(CliTest, ASecondRunOfATaskIsRefusedAndAKilledRunDoesNotBlock) {
  server_.SetDefault(Reply::Stalled("hung tile"));
  ChildProcess first(New({6742, 3101, 2, 2}, {"--run"}));
  ASSERT_TRUE([&] {
    for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;) {
      if (server_.RequestCount() >= 4) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }());
  const ProcessResult second = testsupport::RunProcess(Command({"run", TaskFile()}));
  EXPECT_EQ(second.ExitStatus, 2);
  EXPECT_EQ(second.Err, "orvenna-cli: Another run is working on this task: " + TaskFile() + "\n");

  first.Signal(SIGKILL);
  EXPECT_EQ(first.Wait().ExitStatus, 128 + SIGKILL);
  server_.SetDefault(Reply::Ok(testsupport::TileImage("tile")));
  const ProcessResult third = testsupport::RunProcess(Command({"run", TaskFile(), "-q"}));
  EXPECT_EQ(third.ExitStatus, 0) << third.Err;
  EXPECT_EQ(third.Err + third.Out, "") << "quiet: nothing but errors";
  EXPECT_FALSE(std::filesystem::exists(save_.Path() + "maps/.t.otsk.lock")) << "the lock goes with the run";
}

// "new" never loses another task's positions and lists unless told to, and
// makes a relative folder absolute, so the task's files name paths that
// work from anywhere.
TEST_F(CliTest, NewKeepsAnotherTaskUnlessForcedAndMakesARelativeFolderAbsolute) {
  std::vector<std::string> relative = New({6742, 3101, 1, 1});
  *(std::find(relative.begin(), relative.end(), "--folder") + 1) = "maps";
  relative.insert(relative.begin(), {"/usr/bin/env", "-C", save_.Path()});
  ASSERT_EQ(testsupport::RunProcess(relative).ExitStatus, 0);
  EXPECT_EQ(platform::ReadTextLines(save_.Path() + "maps/t_log.txt").front(), "Project: " + TaskFile());
  const std::string written = testsupport::ReadFileBytes(TaskFile());

  const ProcessResult refused = testsupport::RunProcess(New({6742, 3101, 2, 1}));
  EXPECT_EQ(refused.ExitStatus, 2);
  EXPECT_NE(refused.Err.find(TaskFile() + " holds another task"), std::string::npos) << refused.Err;
  EXPECT_EQ(testsupport::ReadFileBytes(TaskFile()), written);
  EXPECT_EQ(testsupport::RunProcess(New({6742, 3101, 2, 1}, {"--force"})).ExitStatus, 0);
  EXPECT_NE(testsupport::ReadFileBytes(TaskFile()), written);
}

// A file that cannot be written (a full disk, a folder that is not there) is
// a failure of the system, status 4 and no usage hint; bad input stays 2.
TEST_F(CliTest, AFileThatCannotBeWrittenIsAFailureOfTheSystem) {
  ProcessResult full;
  {
    testsupport::FileSizeLimit limit(64);
    full = testsupport::RunProcess(New({6742, 3101, 1, 1}));
  }
  EXPECT_EQ(full.ExitStatus, 4) << full.Err;
  EXPECT_EQ(full.Err.rfind("orvenna-cli: Unable to write to " + save_.Path() + "maps/t", 0), 0u) << full.Err;
  EXPECT_NE(full.Err.find(": File too large\n"), std::string::npos) << full.Err;
  EXPECT_EQ(full.Err.find("--help"), std::string::npos) << full.Err;

  // A tile that cannot be written ends the run as one: status 4, the reason
  // in the summary, not only among the log lines of -v.
  std::filesystem::remove_all(save_.Path() + "maps");
  server_.SetDefault(Reply::Ok(testsupport::TileImage("big") + std::string(16384, '\0')));
  ProcessResult tileTooBig;
  {
    testsupport::FileSizeLimit limit(8192);
    tileTooBig = testsupport::RunProcess(New({6742, 3101, 1, 1}, {"--run"}));
  }
  EXPECT_EQ(tileTooBig.ExitStatus, 4) << tileTooBig.Err;
  EXPECT_NE(tileTooBig.Err.find("Stopped: Unable to write to " + Tile(6742, 3101) + ": File too large\n"),
            std::string::npos)
      << tileTooBig.Err;
  std::filesystem::remove_all(save_.Path() + "maps");

  // A folder that cannot be made: the window's words, then the system's.
  testsupport::WriteFileBytes(save_.File("plain"), "a file, not a folder");
  std::vector<std::string> underAFile = New({6742, 3101, 1, 1}, {"--run"});
  *(std::find(underAFile.begin(), underAFile.end(), save_.Path() + "maps")) = save_.File("plain/maps");
  const ProcessResult saveFolder = testsupport::RunProcess(underAFile);
  EXPECT_EQ(saveFolder.ExitStatus, 4) << saveFolder.Err;
  EXPECT_EQ(saveFolder.Err, "Create directory " + save_.File("plain/maps") + " Failed. Not a directory.\n");
  std::filesystem::create_directories(save_.Path() + "maps");
  testsupport::WriteFileBytes(save_.Path() + "maps/t", "a file where the tiles go");
  const ProcessResult imageFolder = testsupport::RunProcess(New({6742, 3101, 1, 1}, {"--run"}));
  EXPECT_EQ(imageFolder.ExitStatus, 4) << imageFolder.Err;
  EXPECT_EQ(imageFolder.Err, "Create directory " + save_.Path() + "maps/t/ Failed. File exists.\nError: Create task failure.\n");
  std::filesystem::remove_all(save_.Path() + "maps");
  server_.SetDefault(Reply::Ok(testsupport::TileImage("tile")));

  ASSERT_EQ(testsupport::RunProcess(New({6742, 3101, 1, 1})).ExitStatus, 0);
  ProcessResult fullJson;
  {
    testsupport::FileSizeLimit limit(64);
    fullJson = testsupport::RunProcess(Command({"status", TaskFile(), "--json", save_.File("status.json")}));
  }
  EXPECT_EQ(fullJson.ExitStatus, 4) << fullJson.Err;
  EXPECT_NE(fullJson.Err.find("orvenna-cli: Unable to write to " + save_.File("status.json")), std::string::npos)
      << fullJson.Err;
  const ProcessResult noFolder =
      testsupport::RunProcess(Command({"status", TaskFile(), "--json", save_.File("none/status.json")}));
  EXPECT_EQ(noFolder.ExitStatus, 4) << noFolder.Err;
  EXPECT_NE(noFolder.Err.find("orvenna-cli: Cannot create file "), std::string::npos) << noFolder.Err;
  const ProcessResult missingTask = testsupport::RunProcess(Command({"status", save_.File("none.otsk")}));
  EXPECT_EQ(missingTask.ExitStatus, 2) << missingTask.Err;
}

// A task split in three parts, run one after another (as three machines
// would) and merged, ends as a single run of it would.
TEST_F(CliTest, PartsRunApartAndMergedGiveWhatOneRunGives) {
  const Block block{6742, 3101, 2, 6};  // three bands of two rows
  server_.Script(PathOf(6743, 3104), {Reply::StatusOnly(500, "Internal Server Error")});
  ASSERT_EQ(testsupport::RunProcess(New(block)).ExitStatus, 0);
  const std::string taskLog = testsupport::ReadFileBytes(save_.Path() + "maps/t_log.txt");

  const ProcessResult early = testsupport::RunProcess(Command({"merge", TaskFile()}));
  EXPECT_EQ(early.ExitStatus, 2);
  EXPECT_EQ(early.Err, "orvenna-cli: No parts of this task to merge: " + TaskFile() + "\n");
  for (int k = 1; k <= 3; ++k) {
    const ProcessResult part = testsupport::RunProcess(Command({"run", TaskFile(), "--part", std::to_string(k) + "/3"}));
    EXPECT_EQ(part.ExitStatus, k == 2 ? 1 : 0) << "part " << k << ": " << part.Err;
    EXPECT_NE(part.Err.find("Saved: " + std::to_string(k == 2 ? 3 : 4)), std::string::npos) << part.Err;
    const std::string own = save_.Path() + "maps/t.part" + std::to_string(k) + "of3";
    for (const char* file : {".otsk", "_log.txt", "_failed.ftl", "_list.txt"}) {
      EXPECT_TRUE(platform::FileExists(own + file)) << own << file;
    }
    if (k == 2) {
      const ProcessResult notYet = testsupport::RunProcess(Command({"merge", TaskFile()}));
      EXPECT_EQ(notYet.ExitStatus, 1);
      EXPECT_EQ(notYet.Err, "orvenna-cli: Part 3 of 3 has not run: run it with --part 3/3\n");
    }
  }
  EXPECT_EQ(testsupport::ReadFileBytes(save_.Path() + "maps/t_log.txt"), taskLog) << "the parts kept to their own files";

  // The tile given up in part 2 is the merged task's one hole.
  const ProcessResult merged = testsupport::RunProcess(Command({"merge", TaskFile()}));
  EXPECT_EQ(merged.ExitStatus, 1) << merged.Err;
  EXPECT_EQ(merged.Out, "Hole: nm_6743_3104_13.jpg given up\n");
  EXPECT_NE(merged.Err.find("fill the holes with: orvenna-cli fill " + TaskFile()), std::string::npos) << merged.Err;
  const std::string failing = Tile(6743, 3104);
  const std::string record = failing + "|http://www.nearmap.com" + PathOf(6743, 3104);
  EXPECT_EQ(platform::ReadTextLines(save_.Path() + "maps/t_failed.ftl"), std::vector<std::string>{record});
  const std::vector<std::string> log = platform::ReadTextLines(save_.Path() + "maps/t_log.txt");
  EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& l) { return l == "Task Stoped!"; }), 3);
  for (int64_t p = 1; p <= block.Range().Count(); ++p) {
    const task::TilePosition tile = block.Range().AtWalkNumber(p);
    EXPECT_TRUE(platform::FileExists(Tile(tile.X, tile.Y))) << p;
  }
  EXPECT_FALSE(platform::FileExists(save_.Path() + "maps/t.part1of3.otsk"));

  // The merged task has walked to its end: running it fetches nothing, and
  // its hole still counts.
  const std::size_t before = server_.RequestCount();
  EXPECT_EQ(testsupport::RunProcess(Command({"run", TaskFile()})).ExitStatus, 1);
  EXPECT_EQ(server_.RequestCount(), before);
}

// kill -9 once positions are saved: every tile at or before them is whole on
// disk, and the next run fetches exactly the tiles after them, each once.
TEST_F(CliTest, AKilledRunLeavesTheTilesBeforeItsPositionsWholeAndTheNextFetchesOnlyTheRest) {
  task::TileSource source;
  source.Name = "Quick";
  source.UrlTemplate = "http://" + server_.HostPort() + "/q/{z}/{x}/{y}.jpg";
  source.FilePrefix = "q";
  source.PauseMs = 25;  // slow enough to be killed after the first save (5 s), before the end
  source.MaxWorkers = 8;
  run::ConfigFile(config_.File("config.ini")).WriteSource(source, "");
  const std::string body = testsupport::TileImage("killed");
  server_.SetDefault(Reply::Ok(body));
  const Block block{6742, 3101, 48, 48};
  std::vector<std::string> arguments = New(block, {"--run"});
  *(std::find(arguments.begin(), arguments.end(), "photo")) = "Quick";
  ChildProcess first(arguments);
  std::vector<task::TilePosition> positions;
  ASSERT_TRUE([&] {
    for (auto end = std::chrono::steady_clock::now() + 60s; std::chrono::steady_clock::now() < end;) {
      if (platform::FileExists(TaskFile())) positions = task::TaskFile(TaskFile()).ReadPositions(8);
      if (!positions.empty() && std::count(positions.begin(), positions.end(), task::TilePosition{}) == 0) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }()) << "positions saved";
  first.Signal(SIGKILL);
  EXPECT_EQ(first.Wait().ExitStatus, 128 + SIGKILL);
  positions = task::TaskFile(TaskFile()).ReadPositions(8);

  const task::TileRange range = block.Range();
  const auto tile = [&](int64_t p) {
    const task::TilePosition at = range.AtWalkNumber(p);
    return save_.Path() + "maps/t/q_" + std::to_string(at.X) + "_" + std::to_string(at.Y) + "_13.jpg";
  };
  const auto saved = [&](int64_t p) { return p <= range.ResumePoint(positions[static_cast<std::size_t>(p % 8)]); };
  for (int64_t p = 1; p <= range.Count(); ++p) {
    if (saved(p)) {
      ASSERT_EQ(testsupport::ReadFileBytes(tile(p)), body) << "walk number " << p;
    }
  }

  const std::size_t before = server_.RequestCount();
  const ProcessResult resumed = testsupport::RunProcess(Command({"run", TaskFile(), "-q"}));
  EXPECT_EQ(resumed.ExitStatus, 0) << resumed.Err;
  std::map<std::string, int> laterRequests;
  const auto requests = server_.Requests();
  for (std::size_t i = before; i < requests.size(); ++i) ++laterRequests[requests[i].Path];
  int64_t left = 0;
  for (int64_t p = 1; p <= range.Count(); ++p) {
    const task::TilePosition at = range.AtWalkNumber(p);
    const std::string path = "/q/13/" + std::to_string(at.X) + "/" + std::to_string(at.Y) + ".jpg";
    EXPECT_EQ(laterRequests[path], saved(p) ? 0 : 1) << "walk number " << p;
    EXPECT_EQ(testsupport::ReadFileBytes(tile(p)), body) << "walk number " << p;
    left += saved(p) ? 0 : 1;
  }
  EXPECT_GT(left, 0) << "killed before the end";
}

// A tile source of the settings file by its name; its secret travels only to
// the server, and the re-download of its failed list gets it from the
// settings file again.
TEST_F(CliTest, ATileSourceRunsAndItsFailedListIsFetchedAgainWithTheSecret) {
  task::TileSource source;
  source.Name = "Mine";
  source.UrlTemplate = "http://" + server_.HostPort() + "/s/{z}/{x}/{y}.jpg?key={secret}";
  source.FilePrefix = "my";
  source.PauseMs = 0;
  source.MaxWorkers = 2;
  source.Referer = "https://example.org/";
  source.HeaderLines = {"X-Key: {secret}"};
  run::ConfigFile(config_.File("config.ini")).WriteSource(source, "S3CR3T");
  const std::string failing = "/s/13/6743/3102.jpg?key=S3CR3T";
  server_.SetDefault(Reply::Ok(testsupport::TileImage("jpeg")));
  // An error page sent as a success: no tile, retried three times and given
  // up (a source's server errors are waited out instead).
  const Reply page = Reply::Ok("<html>busy</html>").WithHeader("Content-Type", "text/html");
  server_.Script(failing, {page, page, page, Reply::Ok(testsupport::TileImage("jpeg"))});
  std::vector<std::string> arguments = New({6742, 3101, 2, 2});
  *(std::find(arguments.begin(), arguments.end(), "photo")) = "Mine";
  arguments.insert(arguments.end() - 1, "--run");
  const ProcessResult result = testsupport::RunProcess(arguments);
  EXPECT_EQ(result.ExitStatus, 1) << result.Err;
  EXPECT_TRUE(platform::FileExists(save_.Path() + "maps/t/my_6742_3101_13.jpg"));
  const std::string list = save_.Path() + "maps/t_failed.ftl";
  const std::string masked = "http://" + server_.HostPort() + "/s/13/6743/3102.jpg?key={secret:Mine}";
  EXPECT_EQ(platform::ReadTextLines(list), std::vector<std::string>{save_.Path() + "maps/t/my_6743_3102_13.jpg|" + masked});
  for (const char* file : {"t.otsk", "t_log.txt", "t_failed.ftl"}) {
    EXPECT_EQ(testsupport::ReadFileBytes(save_.Path() + "maps/" + file).find("S3CR3T"), std::string::npos) << file;
  }

  // The task moved to another folder: its list's tiles go there.
  std::filesystem::rename(save_.Path() + "maps", save_.Path() + "moved");
  const ProcessResult retry = testsupport::RunProcess(Command({"retry", save_.Path() + "moved/t_failed.ftl"}));
  EXPECT_EQ(retry.ExitStatus, 0) << retry.Err;
  EXPECT_EQ(platform::SplitLines(retry.Out),
            (std::vector<std::string>{"Start...",
                                      "The task was moved: " + save_.Path() + "maps/t/ is gone, its tiles go to " +
                                          save_.Path() + "moved/t/",
                                      save_.Path() + "moved/t/my_6743_3102_13.jpg:" + masked + " ->OK",
                                      "Download End."}));
  EXPECT_EQ(testsupport::ReadFileBytes(save_.Path() + "moved/t/my_6743_3102_13.jpg"), testsupport::TileImage("jpeg"));
  const auto requests = server_.RequestsFor(failing);
  ASSERT_EQ(requests.size(), 4u);
  // With the source's own headers and key, as the download sent them.
  EXPECT_EQ(requests.back().Headers.at("referer"), "https://example.org/");
  EXPECT_EQ(requests.back().Headers.at("x-key"), "S3CR3T");
  EXPECT_EQ(requests.back().Headers.at("user-agent"), task::kDefaultUserAgent);
}

TEST_F(CliTest, ProgressIsRedrawnInPlaceOnATerminal) {
  ChildProcess run(New({6742, 3101, 4, 4}, {"--run"}), /*stderrOnTerminal=*/true);
  const ProcessResult result = run.Wait();
  EXPECT_EQ(result.ExitStatus, 0) << result.Err;
  EXPECT_NE(result.Err.find("\r\x1b[K"), std::string::npos) << result.Err;
  EXPECT_NE(result.Err.find("/16 tiles of the task ("), std::string::npos) << result.Err;
  EXPECT_NE(result.Err.find("Saved: 16"), std::string::npos) << result.Err;
}

// Where standard error is no terminal (a log of a scheduled job), progress
// is a plain line every 10 seconds.
TEST_F(CliTest, ProgressIsAPlainLineEveryTenSecondsElsewhere) {
  const ProcessResult result = testsupport::RunProcess(New({6742, 3101, 10, 10}, {"--run"}));
  EXPECT_EQ(result.ExitStatus, 0) << result.Err;
  EXPECT_EQ(result.Err.find('\r'), std::string::npos);
  const std::vector<std::string> lines = platform::SplitLines(result.Err);
  const auto progress = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.find("/100 tiles of the task (") != std::string::npos && line.find(" tiles/s, ETA ") != std::string::npos;
  });
  // The run takes about 13 s: a line at 10 s (one more on a slow machine).
  EXPECT_GE(progress, 1) << result.Err;
  EXPECT_LE(progress, 2) << result.Err;
}

TEST_F(CliTest, RetryWritesTheRunsLinesToStandardOutputAndTheOutputFile) {
  server_.Script("/b.jpg", {Reply::StatusOnly(404, "Not Found")});
  const std::string host = "http://127.0.0.1:" + platform::FormatInteger(server_.Port());
  const std::string list = save_.File("t_failed.ftl");
  testsupport::WriteFileBytes(list, save_.File("a.jpg") + "|" + host + "/a.jpg\r\n" + save_.File("b.jpg") + "|" +
                                        host + "/b.jpg\r\n");
  const std::string output = save_.File("retry.txt");
  const ProcessResult result = testsupport::RunProcess(Command({"retry", list, "--output", output}));
  const std::vector<std::string> expected = {
      "Start...",
      save_.File("a.jpg") + ":" + host + "/a.jpg ->OK",
      "HTTP/1.1 404 Not Found->" + host + "/b.jpg",
      host + "/b.jpg:Error: the image is not found on server.",
      "Download End.",
  };
  EXPECT_EQ(result.ExitStatus, 1) << "a tile failed again";
  EXPECT_EQ(platform::SplitLines(result.Out), expected);
  EXPECT_EQ(platform::ReadTextLines(output), expected);
  EXPECT_EQ(testsupport::ReadFileBytes(save_.File("a.jpg")), testsupport::TileServer::DefaultBody("/a.jpg"));
}

}  // namespace

namespace {

// A run capped by --max-tiles stops with its positions saved and says why;
// status and the summary advise the same next step; a fill of every hole
// marks the walk done, so the run after it sends nothing and says so.
TEST_F(CliTest, ACappedRunThenFillThenRunFetchesEveryTileOnce) {
  const Block block{6742, 3101, 2, 4};  // 8 tiles
  const ProcessResult capped = testsupport::RunProcess(New(block, {"--run", "--max-tiles", "3"}));
  EXPECT_EQ(capped.ExitStatus, 1) << capped.Err;
  EXPECT_EQ(server_.RequestCount(), 3u);
  EXPECT_NE(capped.Err.find("Stopped: the run fetched the 3 tiles --max-tiles allows"), std::string::npos)
      << capped.Err;
  const std::string next = "continue with: orvenna-cli run " + TaskFile();
  EXPECT_NE(capped.Err.find(next), std::string::npos) << capped.Err;
  const std::vector<std::string> log = platform::ReadTextLines(save_.Path() + "maps/t_log.txt");
  EXPECT_NE(std::find(log.begin(), log.end(), "The run ended: stopped at the cap of 3 tiles a run may fetch."),
            log.end());

  const ProcessResult status = testsupport::RunProcess(Command({"status", TaskFile()}));
  EXPECT_EQ(status.ExitStatus, 1);
  EXPECT_NE(status.Out.find(next), std::string::npos) << status.Out;

  const ProcessResult fill = testsupport::RunProcess(Command({"fill", TaskFile()}));
  EXPECT_EQ(fill.ExitStatus, 0) << fill.Err;
  EXPECT_EQ(server_.RequestCount(), 8u) << "the fill fetched the 5 holes only";
  const ProcessResult run = testsupport::RunProcess(Command({"run", TaskFile()}));
  EXPECT_EQ(run.ExitStatus, 0) << run.Err;
  EXPECT_NE(run.Err.find("No holes: every tile is saved or blank. Nothing fetched."), std::string::npos) << run.Err;
  EXPECT_EQ(server_.RequestCount(), 8u) << "the run after the fill sent nothing";
  // The window's Start (a new with the same fields) continues a walk that is done.
  const ProcessResult again = testsupport::RunProcess(New(block, {"--run"}));
  EXPECT_EQ(again.ExitStatus, 0) << again.Err;
  EXPECT_EQ(server_.RequestCount(), 8u);
  const ProcessResult dry = testsupport::RunProcess(New(block, {"--dry-run"}));
  EXPECT_NE(dry.Out.find("0 to fetch (every tile is saved or blank)"), std::string::npos) << dry.Out;

  for (const char* wrong : {"0", "-2", "many"}) {
    const ProcessResult refused = testsupport::RunProcess(Command({"run", TaskFile(), "--max-tiles", wrong}));
    EXPECT_EQ(refused.ExitStatus, 2) << wrong;
    EXPECT_NE(refused.Err.find("--max-tiles is a whole number of tiles"), std::string::npos) << refused.Err;
  }
  EXPECT_EQ(server_.RequestCount(), 8u);
}

// retry sends nothing for a file that holds no failed-tile record.
TEST_F(CliTest, RetryRefusesAFileWithoutAFailedTileRecordAndSendsNothing) {
  ASSERT_EQ(testsupport::RunProcess(New({6742, 3101, 1, 2})).ExitStatus, 0);
  testsupport::WriteFileBytes(save_.File("hostname"), "vm\n");
  testsupport::WriteFileBytes(save_.File("empty.ftl"), "");
  testsupport::WriteFileBytes(save_.File("blank-line.ftl"), "\r\n");
  struct Case {
    std::string File;
    std::string Said;
  };
  const Case cases[] = {
      {TaskFile(), TaskFile() + " holds no failed-tile record"},
      {save_.File("hostname"), save_.File("hostname") + " holds no failed-tile record"},
      {save_.File("blank-line.ftl"), save_.File("blank-line.ftl") + " holds no failed-tile record"},
      {save_.File("empty.ftl"), save_.File("empty.ftl") + " is empty: it holds no failed-tile record."},
      {save_.File("missing.ftl"), save_.File("missing.ftl")},
  };
  for (const Case& c : cases) {
    const ProcessResult result = testsupport::RunProcess(Command({"retry", c.File}));
    EXPECT_EQ(result.ExitStatus, 2) << c.File;
    EXPECT_NE(result.Err.find(c.Said), std::string::npos) << result.Err;
    EXPECT_EQ(result.Out, "") << c.File;
  }
  EXPECT_EQ(server_.RequestCount(), 0u);
}

}  // namespace

namespace {

// "--zoom 11-13" makes a job: a task per level and the job file, which run,
// status and fill take as a task. Stopped in its last level and run again,
// it fetches every tile of every level once; a lost tile is a hole that
// status names and fill alone fetches; tilejoin makes one MBTiles pyramid of
// it whose job levels hold the tiles as downloaded.
TEST_F(CliTest, AJobOfThreeZoomsIsRunStoppedContinuedFilledAndJoined) {
  const Block block{6742, 3101, 6, 4};
  std::vector<std::string> arguments = New(block);
  arguments.erase(arguments.end() - 3, arguments.end());  // --zoom 13 and --config
  arguments.insert(arguments.end(), {"--zoom", "11-13", "--name", "site"});
  arguments.push_back("--config=" + config_.File("config.ini"));
  const auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> all = arguments;
    all.insert(all.end() - 1, more.begin(), more.end());
    return all;
  };
  const std::string job = save_.Path() + "maps/site.ojob";

  const ProcessResult dry = testsupport::RunProcess(with({"--dry-run"}));
  EXPECT_EQ(dry.ExitStatus, 0) << dry.Err;
  EXPECT_EQ(dry.Out.substr(0, dry.Out.find('\n', dry.Out.find("zoom 13:"))),
            "Tiles: 37 in 3 zoom levels, 11 to 13 (job " + job + ")\n"
            "  zoom 11: 4 (columns 1685 to 1686, rows 775 to 776)\n"
            "  zoom 12: 9 (columns 3371 to 3373, rows 1550 to 1552)\n"
            "  zoom 13: 24 (columns 6742 to 6747, rows 3101 to 3104)");
  EXPECT_FALSE(std::filesystem::exists(save_.Path() + "maps"));

  ChildProcess first(with({"--run"}));
  ASSERT_TRUE([&] {
    for (auto end = std::chrono::steady_clock::now() + 30s; std::chrono::steady_clock::now() < end;) {
      if (server_.RequestCount() >= 18) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }());
  first.Signal(SIGINT);
  const ProcessResult stopped = first.Wait();
  EXPECT_EQ(stopped.ExitStatus, 130) << stopped.Err;
  EXPECT_NE(stopped.Err.find("Job written: " + job + " (zooms 11 to 13)\n"), std::string::npos) << stopped.Err;
  EXPECT_EQ(platform::ReadTextLines(job),
            (std::vector<std::string>{"[Job]", "FromZoom=11", "ToZoom=13", "Task1=site_z11.otsk", "Task2=site_z12.otsk",
                                      "Task3=site_z13.otsk", ""}));

  // Saved before the stop: not asked again. A tile in flight at the stop was
  // abandoned whole, and is asked once more.
  std::set<std::string> savedBefore;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(save_.Path() + "maps")) {
    if (entry.path().extension() == ".jpg") savedBefore.insert(entry.path().filename().string());
  }
  const std::size_t beforeResume = server_.RequestCount();
  const ProcessResult resumed = testsupport::RunProcess(Command({"run", job}));
  EXPECT_EQ(resumed.ExitStatus, 0) << resumed.Err;
  std::set<std::string> asked;
  std::map<std::string, int> askedAgain;
  const std::vector<testsupport::RecordedRequest> requests = server_.Requests();
  for (std::size_t i = 0; i < requests.size(); ++i) {
    asked.insert(requests[i].Path);
    if (i >= beforeResume) ++askedAgain[requests[i].Path];
  }
  EXPECT_EQ(asked.size(), 37u);
  for (const auto& [path, times] : askedAgain) {
    EXPECT_EQ(times, 1) << path;
    const std::size_t x = path.find("&x="), y = path.find("&y="), z = path.find("&z=");
    const std::string name = "nm_" + path.substr(x + 3, y - x - 3) + "_" + path.substr(y + 3, z - y - 3) + "_" +
                             path.substr(z + 3, path.find('&', z + 1) - z - 3) + ".jpg";
    EXPECT_EQ(savedBefore.count(name), 0u) << name << " was saved before the stop";
  }

  const std::string lost = save_.Path() + "maps/site_z13/nm_6744_3102_13.jpg";
  ASSERT_TRUE(std::filesystem::remove(lost));
  const ProcessResult holes = testsupport::RunProcess(Command({"status", job}));
  EXPECT_EQ(holes.ExitStatus, 1);
  EXPECT_NE(holes.Out.find("Task: 4 tiles: 4 saved,"), std::string::npos) << holes.Out;
  EXPECT_NE(holes.Out.find("Task: 9 tiles: 9 saved,"), std::string::npos) << holes.Out;
  EXPECT_NE(holes.Out.find("Task: 24 tiles: 23 saved, 0 blank, 0 given up, 1 missing"), std::string::npos) << holes.Out;
  const std::size_t before = server_.RequestCount();
  EXPECT_EQ(testsupport::RunProcess(Command({"fill", job})).ExitStatus, 0);
  EXPECT_EQ(server_.RequestCount() - before, 1u);
  EXPECT_TRUE(platform::FileExists(lost));
  EXPECT_EQ(testsupport::RunProcess(Command({"status", job, "-q"})).ExitStatus, 0);

#ifdef TILEJOIN_PROGRAM
  // One pyramid: each level of the job holds its task's tiles byte for byte.
  const std::string joined = save_.Path() + "site.mbtiles";
  const ProcessResult join = testsupport::RunProcess({TILEJOIN_PROGRAM, job, "-o", joined});
  ASSERT_EQ(join.ExitStatus, 0) << join.Err;
  EXPECT_NE(join.Out.find("Levels above: 13 tiles as the job's tasks of those zooms downloaded them"), std::string::npos)
      << join.Out;
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(joined.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* query = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT zoom_level, tile_column, tile_row, tile_data FROM tiles", -1, &query, nullptr),
            SQLITE_OK);
  std::map<int, int> perLevel;
  while (sqlite3_step(query) == SQLITE_ROW) {
    const int zoom = sqlite3_column_int(query, 0);
    const int column = sqlite3_column_int(query, 1);
    const int row = (1 << zoom) - 1 - sqlite3_column_int(query, 2);  // TMS rows count from the south
    const std::string data(static_cast<const char*>(sqlite3_column_blob(query, 3)),
                           static_cast<std::size_t>(sqlite3_column_bytes(query, 3)));
    ++perLevel[zoom];
    if (zoom < 11) continue;  // computed: the job has no level there
    const std::string file = save_.Path() + "maps/site_z" + std::to_string(zoom) + "/nm_" + std::to_string(column) +
                             "_" + std::to_string(row) + "_" + std::to_string(zoom) + ".jpg";
    EXPECT_EQ(data, testsupport::ReadFileBytes(file)) << file;
  }
  sqlite3_finalize(query);
  sqlite3_close(db);
  EXPECT_EQ(perLevel[11], 4);
  EXPECT_EQ(perLevel[12], 9);
  EXPECT_EQ(perLevel[13], 24);
  EXPECT_GT(perLevel.begin()->first, 0);
  EXPECT_LT(perLevel.begin()->first, 11) << "levels above the job's computed, up to the task in one tile";

  // A GeoTIFF of the job: its first row of tiles (3101) is odd, so no zoom
  // lines up with its overviews; all are computed, and the summary says none
  // came from the job.
  const ProcessResult tiff = testsupport::RunProcess({TILEJOIN_PROGRAM, job, "-o", save_.Path() + "site.tif"});
  ASSERT_EQ(tiff.ExitStatus, 0) << tiff.Err;
  EXPECT_NE(tiff.Out.find("Tiles: 24 (24 as downloaded, 0 decoded and encoded, 0 holes)"), std::string::npos) << tiff.Out;
  EXPECT_EQ(tiff.Out.find("Levels above:"), std::string::npos) << tiff.Out;
#endif

  const ProcessResult refused = testsupport::RunProcess(Command({"run", job, "--max-tiles", "5"}));
  EXPECT_EQ(refused.ExitStatus, 2);
  EXPECT_NE(refused.Err.find("--max-tiles goes with a task file, not a job"), std::string::npos) << refused.Err;
}

}  // namespace
