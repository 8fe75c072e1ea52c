// orvenna-cli measured as a user runs it: a paced 300-tile download (20 x 15
// at zoom 13, the same tiles as the window's benchmark) from the loopback tile
// server in this process, so the CPU time and peak memory printed are the
// command line's alone; then the peak memory of "new --dry-run" and of "new"
// (the task's files written, its extent list included) for tasks of 10,000
// and 1,000,000 tiles, which should not grow with the tile count.
#include <cstdio>
#include <string>
#include <vector>

#include "bench/ChildUsage.h"
#include "core/platform/Files.h"
#include "core/platform/Numbers.h"
#include "core/task/Commonfunc.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileServer.h"

namespace {

using Usage = bench::ChildUsage;

void Print(const std::string& line) { std::fputs((line + "\n").c_str(), stdout); }

std::string Fixed(double value, int precision) { return platform::FormatFixed(value, 9, precision); }

std::string Coordinate(double value) { return platform::FormatGeneral(value, '.'); }

// "new" over columns x rows tiles at zoom 21, each edge inside a border tile.
std::vector<std::string> NewTask(const std::string& folder, const std::string& config, const std::string& name,
                                 int columns, int rows, const std::string& mode) {
  const int x0 = 1700000;
  const int y0 = 800000;
  return {ORVENNA_CLI_PROGRAM, "new", "--name", name, "--type", "photo", "--folder", folder,
          "--left", Coordinate(task::TileXToLongitude(x0 + 0.5, 21)),
          "--right", Coordinate(task::TileXToLongitude(x0 + columns - 0.5, 21)),
          "--top", Coordinate(task::TileYToLatitude(y0 + 0.5, 21)),
          "--bottom", Coordinate(task::TileYToLatitude(y0 + rows - 0.5, 21)),
          "--zoom", "21", "--config", config, "-q", mode};
}

}  // namespace

int main() {
  testsupport::TileServer server;
  testsupport::TempDir save;
  const std::string config = save.File("config.ini");
  testsupport::WriteFileBytes(config, "[Proxy]\r\nUseProxy=1\r\nProxyServer=127.0.0.1\r\nProxyPort=" +
                                          platform::FormatInteger(server.Port()) + "\r\n");

  const Usage run = bench::RunChild({ORVENNA_CLI_PROGRAM, "new", "--name", "bench", "--type", "photo", "--folder",
                             save.Path() + "paced", "--left", "116.28", "--right", "117.13", "--top", "40.00",
                             "--bottom", "39.52", "--zoom", "13", "--config", config, "-q", "--run"});
  Print("command-line run: 300 tiles, exit status " + platform::FormatInteger(run.Status) + ", " +
        platform::FormatInteger(static_cast<int64_t>(server.RequestCount())) + " requests");
  Print("wall time            " + Fixed(run.WallSeconds, 3) + " s");
  Print("program CPU time     " + Fixed(run.CpuSeconds, 3) + " s (" + Fixed(run.CpuSeconds / 300 * 1000, 3) +
        " ms a tile)");
  Print("program peak memory  " + Fixed(run.PeakMiB, 1) + " MiB");

  bool ok = run.Status == 0;
  for (const int side : {100, 1000}) {
    const std::string tiles = platform::FormatInteger(int64_t{side} * side);
    const Usage dry = bench::RunChild(NewTask(save.Path() + "dry", config, "t" + tiles, side, side, "--dry-run"));
    const Usage start = bench::RunChild(NewTask(save.Path() + "big", config, "t" + tiles, side, side, "--quiet"));
    Print(tiles + " tiles: new --dry-run peak " + Fixed(dry.PeakMiB, 1) + " MiB; new (files written) peak " +
          Fixed(start.PeakMiB, 1) + " MiB in " + Fixed(start.WallSeconds, 3) + " s");
    ok = ok && dry.Status == 0 && start.Status == 0;
  }
  return ok ? 0 : 1;
}
