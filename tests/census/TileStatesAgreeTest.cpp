// Every program gives the same answer to "which tiles does this task have":
// one table of tile files, each built on disk, judged by the census, the
// viewer's scanner, tilejoin's holes and "orvenna-cli status"; one run
// with faults whose holes "status" lists and "fill" fetches, after which the
// viewer and tilejoin agree that none is left; and one task of a shape whose
// tiles, and only those, every program takes as the task's.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QBuffer>
#include <QImage>

#include <chrono>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>

#include "combiner/Combiner.h"
#include "core/task/TaskFiles.h"
#include "core/download/HttpClient.h"
#include "core/platform/Files.h"
#include "core/platform/MainThreadQueue.h"
#include "core/platform/Numbers.h"
#include "core/run/OpenedTask.h"
#include "core/run/RunController.h"
#include "core/run/TaskControls.h"
#include "core/task/Commonfunc.h"
#include "core/task/ShapeFile.h"
#include "core/task/TaskFile.h"
#include "core/task/TileShape.h"
#include "core/task/TileCensus.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileImages.h"
#include "tests/support/TileServer.h"
#include "tests/support/WorkerHarness.h"
#include "viewer/TaskWatch.h"

namespace {

using namespace std::chrono_literals;
using task::TileState;
using testsupport::Reply;

struct NoProgress final : combiner::Progress {
  void Report(const std::string&, double) override {}
  bool CancelRequested() const override { return false; }
};

// The key of a state in the JSON of "status".
const char* JsonKey(TileState state) {
  switch (state) {
    case TileState::Saved: return "saved";
    case TileState::Blank: return "blank";
    case TileState::GivenUp: return "givenUp";
    case TileState::Missing: return "missing";
    case TileState::Unreadable: return "unreadable";
  }
  return "";
}

std::string JpegOfSide(int side) {
  QImage image(side, side, QImage::Format_RGB32);
  image.fill(Qt::darkCyan);
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "JPEG");
  return buffer.data().toStdString();
}

class TileStatesAgree : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { download::HttpClient::GlobalInit(); }

  TileStatesAgree() {
    testsupport::MakeBlankImage(program_.Path(), testsupport::ProgramBlankImage());
    testsupport::WriteFileBytes(config_.File("config.ini"), "[Proxy]\r\nUseProxy=1\r\nProxyServer=127.0.0.1\r\nProxyPort=" +
                                                                platform::FormatInteger(server_.Port()) + "\r\n");
  }

  // A task of the block in folder, its files written as Start writes them.
  std::unique_ptr<task::MDTask> MakeTask(const std::string& folder, const testsupport::TileBlock& block) {
    std::filesystem::create_directories(folder);
    parameters_.push_back(std::make_unique<task::TaskParameters>(testsupport::BlockParameters(folder, block)));
    task::TaskParameters& p = *parameters_.back();
    auto made = std::make_unique<task::MDTask>(p);
    made->CreateImageFolder();
    task::WriteTaskFile(*made, Run());
    task::WriteExtentList(*made, Run());
    task::WriteLogHeader(*made, Run());
    task::CreateFailedList(*made, Run());
    return made;
  }

  // A fresh run of eight workers through the loopback server as the proxy.
  task::RunSettings Run() const {
    task::RunSettings run = testsupport::BlockRun(8);
    run.Proxy.UseProxy = true;
    run.Proxy.ProxyServer = "127.0.0.1";
    run.Proxy.ProxyPort = platform::FormatInteger(server_.Port());
    return run;
  }

  testsupport::ProcessResult Cli(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), ORVENNA_CLI_PROGRAM);
    arguments.push_back("--config=" + config_.File("config.ini"));
    return testsupport::RunProcess(arguments);
  }

  // The viewer's state of every tile of the task, once its scanner knows them all.
  std::vector<viewer::TileState> ViewerStates(const task::MDTask& task) const {
    const auto loaded = viewer::TaskWatch::Open(task.TaskFileName(), program_.Path(), 20ms);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (loaded->States().Count(viewer::TileState::Unknown) > 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(5ms);
    }
    std::vector<viewer::TileState> states;
    for (int64_t index = 0; index < loaded->States().Size(); ++index) states.push_back(loaded->States().At(index));
    return states;
  }

  // tilejoin's holes of the task: its side list's lines.
  std::vector<std::string> TilejoinHoles(const task::MDTask& task, const std::string& output) const {
    combiner::CombineOptions options;
    options.TaskPath = task.TaskFileName();
    options.OutputPath = output;
    options.Overviews = false;
    options.ProgramFolder = program_.Path();
    NoProgress progress;
    const combiner::CombineResult result = combiner::Combine(options, progress);
    return result.HoleListPath.empty() ? std::vector<std::string>{} : platform::ReadTextLines(result.HoleListPath);
  }

  testsupport::TempDir program_;
  testsupport::TempDir config_;
  testsupport::TempDir save_;
  testsupport::TileServer server_;
  std::vector<std::unique_ptr<task::TaskParameters>> parameters_;
};

TEST_F(TileStatesAgree, EveryProgramJudgesEveryKindOfTileFileAlike) {
  enum class Place { File, Folder, NoFile, FileForTileFolder, Pipe, Socket };
  struct Case {
    const char* name;
    Place place;
    std::string bytes;
    bool listed;
    TileState state;
    std::string reason;
  };
  const std::string blank = testsupport::ProgramBlankImage();
  const Case cases[] = {
      {"a real tile", Place::File, testsupport::TileImage("real"), false, TileState::Saved, ""},
      {"the blank image, listed", Place::File, blank, true, TileState::GivenUp, ""},
      {"the blank image, not listed", Place::File, blank, false, TileState::Blank, ""},
      {"the blank plus one byte", Place::File, blank + '\0', false, TileState::Saved, ""},
      {"0 bytes", Place::File, "", false, TileState::Unreadable, "0 bytes"},
      {"an HTML page named .jpg", Place::File, "<html><body>Over quota</body></html>", false, TileState::Unreadable,
       "not an image"},
      {"a truncated JPEG", Place::File, testsupport::TileImage("cut").substr(0, 200), false, TileState::Unreadable,
       "truncated"},
      {"a PNG in a JPEG task", Place::File, testsupport::TileImage("png", "png"), false, TileState::Unreadable,
       "a PNG image, not JPEG"},
      {"a 512 px tile", Place::File, JpegOfSide(512), false, TileState::Unreadable, "512 x 512 pixels, not 256 x 256"},
      {"a folder in the way", Place::Folder, "", false, TileState::Unreadable, "a folder"},
      // Opened for reading, a named pipe would wait for a writer: every program would hang.
      {"a named pipe in the way", Place::Pipe, "", false, TileState::Unreadable, "not a regular file"},
      {"a socket in the way", Place::Socket, "", false, TileState::Unreadable, "not a regular file"},
      // The image is whole; what a server added after its end changes nothing.
      {"a JPEG followed by padding", Place::File, testsupport::TileImage("padded") + std::string(300, '\0'), false,
       TileState::Saved, ""},
      {"a file where the tile folder should be", Place::FileForTileFolder, "", false, TileState::Missing, ""},
      {"listed, its file now a real image", Place::File, testsupport::TileImage("later"), true, TileState::Saved, ""},
      {"listed, no file", Place::NoFile, "", true, TileState::GivenUp, ""},
      {"no file, not listed", Place::NoFile, "", false, TileState::Missing, ""},
  };
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A task of one tile each, so a case may replace the tile folder.
    const std::string folder = save_.Path() + "case" + std::to_string(++number) + "/";
    const std::unique_ptr<task::MDTask> task = MakeTask(folder, {6742, 3101, 1, 1, 13});
    const std::string path = task->TileFilePath(6742, 3101);
    switch (c.place) {
      case Place::File: testsupport::WriteFileBytes(path, c.bytes); break;
      case Place::Folder: std::filesystem::create_directory(path); break;
      case Place::NoFile: break;
      case Place::Pipe: ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); break;
      case Place::Socket: {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        ASSERT_LT(path.size(), sizeof address.sun_path);
        path.copy(address.sun_path, path.size());
        const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        ::close(listener);  // the socket file stays
        break;
      }
      case Place::FileForTileFolder:
        std::filesystem::remove(task->ImageFolder.substr(0, task->ImageFolder.size() - 1));
        testsupport::WriteFileBytes(task->ImageFolder.substr(0, task->ImageFolder.size() - 1), "not a folder");
        break;
    }
    if (c.listed) platform::WriteTextLines(task->FailedListFileName, {task::FailedRecord(*task, 6742, 3101)});
    const bool hole = task::IsHole(c.state);
    const std::string holeLine =
        task->TileFileName(6742, 3101) + " " + task::TileStateName(c.state) + (c.reason.empty() ? "" : ": " + c.reason);

    const task::TileVerdict verdict = task::TileCensus(*task, program_.Path()).Judge(6742, 3101);
    EXPECT_EQ(verdict.State, c.state) << task::TileStateName(verdict.State);
    EXPECT_EQ(verdict.Reason, c.reason);

    EXPECT_EQ(ViewerStates(*task), std::vector<viewer::TileState>{viewer::StateOf(c.state)});

    EXPECT_EQ(TilejoinHoles(*task, folder + "out.tif"), hole ? std::vector<std::string>{holeLine} : std::vector<std::string>{});

    const testsupport::ProcessResult status = Cli({"status", task->TaskFileName(), "--json", "-"});
    EXPECT_EQ(status.ExitStatus, hole ? 1 : 0) << status.Err;
    EXPECT_NE(status.Out.find(std::string("\"") + JsonKey(c.state) + "\": 1"), std::string::npos) << status.Out;
    if (hole) {
      EXPECT_NE(status.Out.find("\"state\": \"" + std::string(task::TileStateName(c.state)) + "\", \"reason\": \"" +
                                c.reason + "\""),
                std::string::npos)
          << status.Out;
    }
    if (c.place == Place::Pipe) {
      // Fill fetches the tile and cannot put it there: it says so and ends
      // rather than wait for a reader of the pipe.
      server_.SetDefault(Reply::Ok(testsupport::TileImage("fill")));
      const testsupport::ProcessResult fill = Cli({"fill", task->TaskFileName()});
      EXPECT_EQ(fill.ExitStatus, 4) << fill.Err;
      EXPECT_NE(fill.Err.find("Stopped: Cannot create file " + path + ": not a regular file\n"), std::string::npos)
          << fill.Err;
    }
  }
}

TEST_F(TileStatesAgree, StatusListsTheHolesOfARunWithFaultsAndFillLeavesNone) {
  // Six tiles, walk numbers 1 to 6: a server error, an empty answer, an error
  // page, no tile (404: a blank, no hole), a connection reset every time,
  // and a good tile.
  const testsupport::TileBlock block{6742, 3101, 2, 3, 13};
  const std::unique_ptr<task::MDTask> made = MakeTask(save_.Path(), block);
  const task::TileRange range = made->Range();
  const auto pathOf = [&](int64_t p) {
    const task::TilePosition tile = range.AtWalkNumber(p);
    return testsupport::UrlPath(made->TileURL(tile.X, tile.Y));
  };
  server_.Script(pathOf(1), {Reply::StatusOnly(500, "Internal Server Error")});
  server_.Script(pathOf(2), {Reply::Ok("")});
  server_.Script(pathOf(3), {Reply::Ok("<html>busy</html>").WithHeader("Content-Type", "text/html")});
  server_.Script(pathOf(4), {Reply::StatusOnly(404, "Not Found")});
  server_.Script(pathOf(5), {Reply::WithFault(testsupport::Fault::Reset)});

  {
    platform::MainThreadQueue queue;
    struct : run::RunObserver {
      void LogLinesAdded(std::size_t) override {}
      void FailedLinesAdded(std::size_t) override {}
    } observer;
    run::RunEnvironment environment;
    environment.Queue = &queue;
    environment.ProgramFolder = program_.Path();
    environment.Pace = testsupport::ScaledPacing(10);
    environment.Run = Run();
    run::RunController run(made->Record(), std::move(environment), observer);
    run.Prepare();
    run.StartWorkers();
    std::optional<run::CloseReport> closed;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!closed && std::chrono::steady_clock::now() < deadline) {
      queue.WaitForPending(10ms);
      queue.RunPending();
      closed = run.Tick();
    }
    ASSERT_TRUE(closed);
    EXPECT_EQ(run.GivenUpReasons(), (std::map<std::string, int64_t>{
                                        {"HTTP 500", 1}, {"0 bytes", 1}, {"not an image", 1}, {"connection reset", 1}}));
    EXPECT_EQ(server_.RequestsFor(pathOf(5)).size(), static_cast<std::size_t>(download::kResetsBeforeGivingUp));
  }

  const testsupport::ProcessResult status = Cli({"status", made->TaskFileName()});
  EXPECT_EQ(status.ExitStatus, 1) << status.Err;
  EXPECT_NE(status.Out.find("Task: 6 tiles: 1 saved, 1 blank, 4 given up, 0 missing, 0 unreadable\n"), std::string::npos)
      << status.Out;
  for (const int64_t p : {1, 2, 3, 5}) {
    const task::TilePosition tile = range.AtWalkNumber(p);
    EXPECT_NE(status.Out.find("  " + made->TileFileName(tile.X, tile.Y) + " given up\n"), std::string::npos) << p;
  }
  EXPECT_NE(status.Out.find("fill the holes with: orvenna-cli fill " + made->TaskFileName()), std::string::npos);

  // The server has recovered, but for the tile it has not.
  for (const int64_t p : {1, 2, 3, 5}) server_.Script(pathOf(p), {Reply::Ok(testsupport::TileImage("filled"))});
  const std::size_t before = server_.RequestCount();
  const testsupport::ProcessResult fill = Cli({"fill", made->TaskFileName()});
  EXPECT_EQ(fill.ExitStatus, 0) << fill.Err;
  EXPECT_EQ(server_.RequestCount() - before, 4u) << "only the holes are fetched";
  EXPECT_NE(fill.Err.find("Task: 6 tiles: 5 saved, 1 blank, 0 given up, 0 missing, 0 unreadable\n"), std::string::npos)
      << fill.Err;
  EXPECT_EQ(platform::ReadTextLines(made->FailedListFileName), std::vector<std::string>{}) << "saved tiles leave the list";
  const std::vector<std::string> log = platform::ReadTextLines(made->LogFileName);
  EXPECT_EQ(std::count(log.begin(), log.end(), "Filling the holes: 4 tiles"), 1);

  EXPECT_EQ(Cli({"status", made->TaskFileName(), "-q"}).ExitStatus, 0);
  for (const viewer::TileState state : ViewerStates(*made)) EXPECT_FALSE(viewer::IsHole(state));
  EXPECT_EQ(TilejoinHoles(*made, save_.Path() + "out.tif"), std::vector<std::string>{});
}

// A multipolygon over a block of 5 x 5 tiles at zoom 13: a triangle in the
// north-west, and in the south-east a square with a hole that holds one
// whole tile. Written as a vector file, made a task by "orvenna-cli new",
// run, emptied of one tile and filled: the walk, the extent list, "status",
// the viewer, tilejoin and the continue test all take the same tiles.
TEST_F(TileStatesAgree, AShapedTaskHasTheSameTilesInEveryProgram) {
  constexpr int32_t kX0 = 6742, kY0 = 3101, kZoom = 13;
  const auto corner = [](double column, double row) {
    return task::LonLatPoint{task::TileXToLongitude(kX0 + column, kZoom), task::TileYToLatitude(kY0 + row, kZoom)};
  };
  const auto square = [&](double from, double to) {
    return task::Ring{corner(from, from), corner(to, from), corner(to, to), corner(from, to)};
  };
  task::Shape shape;
  shape.Polygons.push_back({{corner(0.5, 0.5), corner(2.5, 0.5), corner(0.5, 2.5)}, {}});
  shape.Polygons.push_back({square(2.2, 4.8), {square(2.9, 4.1)}});
  const std::string vectorFile = save_.File("site.geojson");
  testsupport::WriteFileBytes(vectorFile, task::ShapeGeoJson(shape));

  // The one rule, TileShape (exact against a per-tile test in its own tests).
  const task::TileShape rule(shape, kZoom);
  std::set<std::pair<int32_t, int32_t>> expected;
  for (int32_t y = kY0; y < kY0 + 5; ++y) {
    for (int32_t x = kX0; x < kX0 + 5; ++x) {
      if (rule.Contains(x, y)) expected.insert({x, y});
    }
  }
  ASSERT_FALSE(expected.count({kX0 + 3, kY0 + 3})) << "the hole's tile";
  ASSERT_FALSE(expected.count({kX0 + 4, kY0})) << "beside the triangle";
  const auto tiles = static_cast<int64_t>(expected.size());
  ASSERT_LT(tiles, 25);

  server_.SetDefault(Reply::Ok(testsupport::TileImage("shaped")));
  const std::string folder = save_.Path() + "maps";
  const testsupport::ProcessResult made = Cli({"new", "--name", "site", "--type", "photo", "--folder", folder,
                                               "--zoom", "13", "--area-file", vectorFile, "--run"});
  ASSERT_EQ(made.ExitStatus, 0) << made.Err;
  const std::unique_ptr<run::OpenedTask> opened = run::OpenedTask::Open(folder + "/site.otsk");
  const task::MDTask& t = opened->Task;
  const task::TileRange box = t.Range();
  ASSERT_EQ(std::vector<int32_t>({box.MinX, box.MinY, box.MaxX, box.MaxY}),
            std::vector<int32_t>({kX0, kY0, kX0 + 4, kY0 + 4}))
      << "the shape's box, the task file's rectangle";
  ASSERT_TRUE(opened->Parameters.AreaShape);
  EXPECT_EQ(*opened->Parameters.AreaShape, shape) << "kept beside the task, read back whole";
  EXPECT_EQ(t.TotalImages, tiles);

  // Asked for, saved and listed: the shape's tiles and nothing else.
  std::set<std::pair<int32_t, int32_t>> asked;
  for (int32_t y = kY0; y < kY0 + 5; ++y) {
    for (int32_t x = kX0; x < kX0 + 5; ++x) {
      if (!server_.RequestsFor(testsupport::UrlPath(t.TileURL(x, y))).empty()) asked.insert({x, y});
    }
  }
  EXPECT_EQ(asked, expected);
  EXPECT_EQ(server_.RequestCount(), expected.size());
  const std::vector<std::string> extents = platform::ReadTextLines(t.ListFileName);
  ASSERT_EQ(static_cast<int64_t>(extents.size()), tiles + 1);
  for (std::size_t i = 1; i < extents.size(); ++i) {
    const std::string name = extents[i].substr(0, extents[i].find(':'));
    const std::optional<task::TilePosition> tile = t.TileOfFileName(name);
    ASSERT_TRUE(tile) << extents[i];
    EXPECT_TRUE(expected.count({tile->X, tile->Y})) << extents[i];
  }
  const std::vector<std::string> taskFile = platform::ReadTextLines(t.TaskFileName());
  EXPECT_EQ(std::vector<std::string>(taskFile.end() - 3, taskFile.end()),
            (std::vector<std::string>{"[Shape]", "File=site_area.geojson", ""}));
  const std::string tilesText = platform::FormatInteger(tiles);
  EXPECT_NE(Cli({"status", t.TaskFileName()}).Out.find("Task: " + tilesText + " tiles: " + tilesText + " saved, 0 blank"),
            std::string::npos);

  // A tile lost: one hole, which fill alone fetches.
  const auto [lostX, lostY] = *expected.begin();
  std::filesystem::remove(t.TileFilePath(lostX, lostY));
  const testsupport::ProcessResult status = Cli({"status", t.TaskFileName()});
  EXPECT_EQ(status.ExitStatus, 1);
  EXPECT_NE(status.Out.find("  " + t.TileFileName(lostX, lostY) + " missing\n"), std::string::npos) << status.Out;
  EXPECT_NE(status.Out.find(", 1 missing, "), std::string::npos) << status.Out;
  const std::size_t before = server_.RequestCount();
  const testsupport::ProcessResult fill = Cli({"fill", t.TaskFileName()});
  EXPECT_EQ(fill.ExitStatus, 0) << fill.Err;
  EXPECT_EQ(server_.RequestCount() - before, 1u);
  const testsupport::ProcessResult again = Cli({"run", t.TaskFileName()});
  EXPECT_EQ(again.ExitStatus, 0) << again.Err;
  EXPECT_NE(again.Err.find("No holes"), std::string::npos) << again.Err;
  EXPECT_EQ(server_.RequestCount() - before, 1u);

  // The viewer: the shape's tiles saved, the others outside, none a hole.
  const std::vector<viewer::TileState> states = ViewerStates(t);
  const task::TileRange range = t.Range();
  for (std::size_t index = 0; index < states.size(); ++index) {
    const task::TilePosition tile = range.AtWalkNumber(static_cast<int64_t>(index) + 1);
    EXPECT_EQ(states[index], expected.count({tile.X, tile.Y}) ? viewer::TileState::Saved : viewer::TileState::Outside)
        << tile.X << "," << tile.Y;
  }
  // tilejoin: no hole to list, the outside masked.
  combiner::CombineOptions options;
  options.TaskPath = t.TaskFileName();
  options.OutputPath = save_.File("site.tif");
  options.Overviews = false;
  options.ProgramFolder = program_.Path();
  NoProgress progress;
  const combiner::CombineResult joined = combiner::Combine(options, progress);
  EXPECT_EQ(joined.Holes.Total(), 0);
  EXPECT_EQ(joined.Outside, 25 - tiles);
  EXPECT_NE(combiner::SummaryText(joined).find(" 0 holes, " + platform::FormatInteger(25 - tiles) + " outside the shape)"),
            std::string::npos);

  // Another shape over the same box is another task; the same one goes on.
  run::TaskControls controls = run::ControlsFromTaskFile(t.TaskFileName());
  ASSERT_TRUE(controls.Shape);
  task::TaskParameters record = opened->Parameters;
  EXPECT_TRUE(run::ShouldContinueTask(controls, record));
  task::Shape other = shape;
  other.Polygons.pop_back();
  record.AreaShape = std::make_shared<const task::Shape>(other);
  EXPECT_FALSE(run::ShouldContinueTask(controls, record));
  record.AreaShape = nullptr;
  EXPECT_FALSE(run::ShouldContinueTask(controls, record));

  // Without its shape file the task is refused, never taken as its box.
  std::filesystem::remove(folder + "/site_area.geojson");
  const testsupport::ProcessResult refused = Cli({"run", t.TaskFileName()});
  EXPECT_EQ(refused.ExitStatus, 2);
  EXPECT_NE(refused.Err.find("The task's shape file " + folder + "/site_area.geojson cannot be read: "), std::string::npos)
      << refused.Err;
  EXPECT_EQ(server_.RequestCount() - before, 1u);
}

}  // namespace
