// tilejoin against what a user would run instead, on the same synthetic task
// (photo-like baseline JPEG tiles under the downloader's names): a world file
// per tile, gdalbuildvrt, then gdal_translate with the same creation options
// (tiled 256 x 256, YCbCr JPEG of quality 90, no overviews). Each program runs
// as a child process: wall time, CPU time and peak memory from wait4. Then
// checks that the copy path's pixels are the downloaded tiles' decoded pixels.
//
// Usage: orvenna_bench_combiner [TILES...]   (default: 1000 10000)
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "combiner/GdalSupport.h"
#include "combiner/MercatorGrid.h"
#include "core/platform/Files.h"
#include "core/platform/Numbers.h"
#include "tests/combiner/SyntheticTask.h"
#include "tests/support/TempDir.h"

namespace {

constexpr int32_t kColumns = 100;
constexpr int32_t kZoom = 16;

struct Measure {
  double Wall = 0;
  double Cpu = 0;
  double PeakMiB = 0;
  int Status = -1;
};

// Runs argv with its output discarded; its resources from wait4.
Measure RunChild(const std::vector<std::string>& argv) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  Measure measure;
  measure.Wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  measure.Cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  measure.PeakMiB = static_cast<double>(usage.ru_maxrss) / 1024;
  measure.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return measure;
}

// A tile with the texture of an aerial photograph: soft shapes and grain,
// about as large as the service's tiles once encoded.
combiner::Pixels PhotoLikeTile(int32_t x, int32_t y, std::mt19937& random) {
  combiner::Pixels pixels(combiner::kTileBytes);
  std::uniform_int_distribution<int> grain(-16, 16);
  for (int row = 0; row < 256; ++row) {
    for (int column = 0; column < 256; ++column) {
      const int gx = x * 256 + column, gy = y * 256 + row;
      const int shape = ((gx / 23 + gy / 17) % 7) * 12 + ((gx * gy / 97) % 13);
      for (int c = 0; c < 3; ++c) {
        const int value = 70 + shape + c * 25 + grain(random);
        pixels[static_cast<std::size_t>((row * 256 + column) * 3 + c)] = static_cast<uint8_t>(std::clamp(value, 0, 255));
      }
    }
  }
  return pixels;
}

std::string Fixed(double value, int precision) { return platform::FormatFixed(value, 0, precision); }

void Row(const std::string& tiles, const std::string& what, const Measure& m) {
  std::printf("%-7s %-34s %8s %8s %9s%s\n", tiles.c_str(), what.c_str(), Fixed(m.Wall, 2).c_str(),
              Fixed(m.Cpu, 2).c_str(), Fixed(m.PeakMiB, 1).c_str(), m.Status == 0 ? "" : "  (failed)");
}

void Bench(int64_t count) {
  testsupport::TempDir dir;
  const auto rows = static_cast<int32_t>((count + kColumns - 1) / kColumns);
  combinertest::SyntheticTask task(dir.Path(), kColumns, rows, kZoom, 40000, 24000);
  const task::TileRange range = task.Range();
  std::mt19937 random(1);
  double bytes = 0;
  for (int32_t y = range.MinY; y <= range.MaxY; ++y) {
    for (int32_t x = range.MinX; x <= range.MaxX; ++x) {
      const std::string jpeg = combinertest::GdalJpeg(PhotoLikeTile(x, y, random), {.Quality = 85});
      bytes += static_cast<double>(jpeg.size());
      task.WriteTile(x, y, jpeg);
    }
  }
  const std::string n = platform::FormatInteger(range.Count());
  std::printf("\n%s tiles (%d x %d), %s KiB a tile on average\n", n.c_str(), kColumns, rows,
              Fixed(bytes / static_cast<double>(range.Count()) / 1024, 1).c_str());
  std::printf("%-7s %-34s %8s %8s %9s\n", "tiles", "program", "wall s", "CPU s", "peak MiB");

  const Measure copy = RunChild({TILEJOIN_PROGRAM, task.TaskPath(), "-o", dir.File("copy.tif"), "--no-overviews", "-q"});
  Row(n, "tilejoin (copy path)", copy);
  const Measure reencode = RunChild(
      {TILEJOIN_PROGRAM, task.TaskPath(), "-o", dir.File("reencode.tif"), "--no-overviews", "--reencode", "-q"});
  Row(n, "tilejoin --reencode", reencode);

  // What GDAL needs first: a world file beside every tile (in metres).
  const auto worldStart = std::chrono::steady_clock::now();
  std::string list;
  for (int32_t y = range.MinY; y <= range.MaxY; ++y) {
    for (int32_t x = range.MinX; x <= range.MaxX; ++x) {
      const auto t = combiner::MercatorGeoTransform(task::TileRange{x, y, x, y}, kZoom);
      const std::string path = task.Task().TileFilePath(x, y);
      testsupport::WriteFileBytes(platform::RemoveFileExt(path) + ".jgw",
                                Fixed(t[1], 10) + "\n0\n0\n" + Fixed(t[5], 10) + "\n" + Fixed(t[0] + t[1] / 2, 10) +
                                    "\n" + Fixed(t[3] + t[5] / 2, 10) + "\n");
      list += path + "\n";
    }
  }
  platform::WriteFileAtomic(dir.File("tiles.txt"), list);
  Measure world;
  world.Wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - worldStart).count();
  world.Status = 0;
  const Measure vrt = RunChild({"gdalbuildvrt", "-q", "-a_srs", "EPSG:3857", "-input_file_list", dir.File("tiles.txt"),
                                dir.File("mosaic.vrt")});
  const Measure translate =
      RunChild({"gdal_translate", "-q", "-co", "TILED=YES", "-co", "BLOCKXSIZE=256", "-co", "BLOCKYSIZE=256", "-co",
                "COMPRESS=JPEG", "-co", "PHOTOMETRIC=YCBCR", "-co", "JPEG_QUALITY=90", "-co", "BIGTIFF=IF_SAFER",
                dir.File("mosaic.vrt"), dir.File("gdal.tif")});
  Measure gdal;
  gdal.Wall = vrt.Wall + translate.Wall;
  gdal.Cpu = vrt.Cpu + translate.Cpu;
  gdal.PeakMiB = std::max(vrt.PeakMiB, translate.PeakMiB);
  gdal.Status = vrt.Status != 0 ? vrt.Status : translate.Status;
  Row(n, "(world files, written in-process)", world);
  Row(n, "gdalbuildvrt", vrt);
  Row(n, "gdal_translate", translate);
  Row(n, "gdalbuildvrt + gdal_translate", gdal);
  std::printf("GDAL's tools / tilejoin copy path: wall %sx, CPU %sx\n", Fixed(gdal.Wall / copy.Wall, 1).c_str(),
              Fixed(gdal.Cpu / copy.Cpu, 1).c_str());
  std::printf("GDAL's tools / tilejoin --reencode: wall %sx, CPU %sx\n", Fixed(gdal.Wall / reencode.Wall, 2).c_str(),
              Fixed(gdal.Cpu / reencode.Cpu, 2).c_str());

  // Every tile of the copy path decodes to exactly the downloaded tile's pixels.
  combiner::Dataset mosaic = combiner::OpenDataset(dir.File("copy.tif"), false);
  int64_t identical = 0;
  for (int32_t y = range.MinY; y <= range.MaxY; ++y) {
    for (int32_t x = range.MinX; x <= range.MaxX; ++x) {
      const combiner::Pixels written = combinertest::ReadPixels(mosaic.get(), (x - range.MinX) * 256, (y - range.MinY) * 256, 256, 256);
      if (written == combinertest::DecodeWithGdal(task.TileBytes(x, y))) ++identical;
    }
  }
  std::printf("copy path: %s of %s tiles decode to the downloaded tiles' pixels\n",
              platform::FormatInteger(identical).c_str(), n.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  combiner::InitGdal();
  std::vector<int64_t> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoll(argv[i]));
  if (sizes.empty()) sizes = {1000, 10000};
  for (const int64_t size : sizes) Bench(size);
  return 0;
}
