// tilejoin started as a user starts it: exit statuses, the summary, progress
// on a terminal, errors on standard error, and a stop signal mid-combine.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "core/platform/Files.h"
#include "tests/combiner/SyntheticTask.h"
#include "tests/support/Process.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TempDir.h"

namespace {

using namespace std::chrono_literals;
using testsupport::ProcessResult;

ProcessResult Tilejoin(std::vector<std::string> arguments, bool terminal = false) {
  arguments.insert(arguments.begin(), TILEJOIN_PROGRAM);
  testsupport::ChildProcess process(arguments, terminal);
  return process.Wait();
}

bool Contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

TEST(TilejoinProgram, ExitStatusSaysCompleteWithHolesOrFailed) {
  combinertest::MixedTask mixed;
  const std::string task = mixed.Task().TaskPath();

  const ProcessResult holes = Tilejoin({task, "-o", mixed.Output("map.tif")}, /*terminal=*/true);
  EXPECT_EQ(holes.ExitStatus, 1) << holes.Err;
  EXPECT_TRUE(Contains(holes.Out, "Wrote " + mixed.Output("map.tif"))) << holes.Out;
  EXPECT_TRUE(Contains(holes.Out, "24 (19 as downloaded, 1 decoded and encoded, 4 holes)")) << holes.Out;
  EXPECT_TRUE(Contains(holes.Out, "1 missing, 1 given up, 2 unreadable; listed in " + mixed.Output("map_holes.txt")));
  EXPECT_TRUE(Contains(holes.Err, "\r\x1b[KCombining tiles: ")) << holes.Err;
  EXPECT_TRUE(Contains(holes.Err, "Writing overviews: 100.0%")) << holes.Err;

  // The tiles of a part without holes: complete. Quiet prints nothing.
  const task::TileRange r = mixed.Task().Range();
  const std::string part = "tiles:" + std::to_string(r.MinX) + "," + std::to_string(r.MinY + 1) + "," +
                           std::to_string(r.MinX + 1) + "," + std::to_string(r.MinY + 2);
  const ProcessResult complete = Tilejoin({task, "--area", part, "-o", mixed.Output("part.png"), "-q"});
  EXPECT_EQ(complete.ExitStatus, 0) << complete.Err;
  EXPECT_EQ(complete.Out, "");
  EXPECT_EQ(complete.Err, "");

  struct Failure {
    std::vector<std::string> Arguments;
    std::string Says;
  };
  testsupport::TempDir other;
  testsupport::WriteFileBytes(other.File("broken.otsk"), "[Task]\r\nZoom=99\r\n");
  const Failure failures[] = {
      {{other.File("none.otsk"), "-o", mixed.Output("x.tif")}, "Cannot open file"},
      {{other.File("broken.otsk"), "-o", mixed.Output("x.tif")}, "tilejoin: "},
      {{task, "-o", mixed.Output("no/such/folder/x.tif")}, "there is no folder"},
      {{task, "-o", mixed.Output("x.tif"), "--area", "tiles:0,0,1,1"}, "not inside the task's tiles"},
      {{task, "-o", mixed.Output("x.tif"), "--format", "gif"}, "Try 'tilejoin --help'"},
      {{task, "-o", mixed.Output("x.webp")}, "cannot tell the format of '" + mixed.Output("x.webp") +
                                                 "' by its name: give --format, or end it in .tif, .tiff, .jpg, "
                                                 ".jpeg, .png, .mbtiles, .gpkg or .kmz"},
      {{task, "-o", task, "--format", "gtiff"}, "is a file of the task itself"},
  };
  for (const Failure& failure : failures) {
    const ProcessResult result = Tilejoin(failure.Arguments);
    EXPECT_EQ(result.ExitStatus, 2) << failure.Says;
    EXPECT_TRUE(Contains(result.Err, failure.Says)) << result.Err;
  }
  // An output that cannot be written (here a file-size limit, as a full disk
  // would) is a failure of the system, status 4 as orvenna-cli gives it.
  ProcessResult full;
  {
    testsupport::FileSizeLimit limit(4096);
    full = Tilejoin({task, "-o", mixed.Output("full.png")});
  }
  EXPECT_EQ(full.ExitStatus, 4) << full.Err;
  EXPECT_TRUE(Contains(full.Err, "tilejoin: ")) << full.Err;
  EXPECT_EQ(testsupport::Entries(mixed.OutputFolder()),
            (std::set<std::string>{"map.tif", "map_holes.ftl", "map_holes.txt", "part.png", "part.pgw", "part.prj",
                                   "part.png.aux.xml"}));

  // Progress into a pipe or a file: a line now and then, and the end of
  // every step, so that it ends with the finished state.
  const ProcessResult piped = Tilejoin({task, "-o", mixed.Output("piped.tif")});
  EXPECT_EQ(piped.ExitStatus, 1) << piped.Err;
  EXPECT_TRUE(Contains(piped.Err, "Combining tiles: 100.0%\nWriting overviews: 100.0%\n")) << piped.Err;
  EXPECT_TRUE(piped.Err.size() > 26 && piped.Err.substr(piped.Err.size() - 27) == "\nMasking the holes: 100.0%\n")
      << piped.Err;
  EXPECT_TRUE(Contains(piped.Out, "Elapsed: ")) << piped.Out;

  const ProcessResult help = Tilejoin({"--help"});
  EXPECT_EQ(help.ExitStatus, 0);
  EXPECT_TRUE(Contains(help.Out, "Usage: tilejoin")) << help.Out;
}

TEST(TilejoinProgram, AStopSignalEndsTheCombineAndLeavesNothing) {
  testsupport::TempDir dir;
  combinertest::SyntheticTask task(dir.Path(), 20, 20);
  task.WriteAllTiles();
  platform::CreateDir(dir.File("out"));
  testsupport::ChildProcess process({TILEJOIN_PROGRAM, task.TaskPath(), "-o", dir.File("out/map.png"), "--srs", "4326"},
                                    /*terminal=*/true);
  ASSERT_TRUE(testsupport::WaitFor([&] { return Contains(process.ErrSoFar(), "Combining tiles"); }, 20s));
  process.Signal(SIGINT);
  const ProcessResult result = process.Wait();
  EXPECT_EQ(result.ExitStatus, 130) << result.Err;
  EXPECT_TRUE(Contains(result.Err, "interrupted; nothing was written")) << result.Err;
  EXPECT_TRUE(testsupport::Entries(dir.File("out")).empty());
}

}  // namespace
