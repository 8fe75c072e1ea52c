// tilejoin against what a user would run instead, on the same synthetic task
// (photo-like baseline JPEG tiles under the downloader's names): a world file
// per tile, gdalbuildvrt, gdal_translate with the same creation options (tiled
// 256 x 256, YCbCr JPEG of quality 90), then gdaladdo -r average with the same
// levels and quality; and for MBTiles, gdal_translate -of MBTILES and gdaladdo
// down to the same zoom. Each program runs as a child process, the programs
// alternating, each --runs times: the median wall and CPU time, the largest
// peak memory (wait4, the programs started from a small process of their own). Then: every tile of the copy path decodes to the
// downloaded tile's pixels, and how far tilejoin's overviews lie from GDAL's.
//
// With --job: a job of three zooms joined with its levels as downloaded,
// against its deepest task alone (every level computed) and, with
// --other-tilejoin PATH, against that program on the same job.
//
// Usage: orvenna_bench_combiner [--runs N] [TILES...]   (default: 3 runs; 1000 10000)
//        orvenna_bench_combiner --job [--other-tilejoin PATH] [--runs N] [TILES...]   (default: 1000)
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "combiner/GdalSupport.h"
#include "combiner/GeoTiff.h"
#include "core/task/TileGrid.h"
#include "combiner/Pyramid.h"
#include "core/platform/Files.h"
#include "core/platform/Numbers.h"
#include "core/run/Job.h"
#include "tests/combiner/SyntheticTask.h"
#include "tests/support/TempDir.h"

namespace {

constexpr int32_t kColumns = 100;
constexpr int32_t kZoom = 16;

struct Measure {
  double Wall = 0;
  double Cpu = 0;
  double PeakMiB = 0;
  int Status = 0;
};

Measure operator+(const Measure& a, const Measure& b) {
  return {a.Wall + b.Wall, a.Cpu + b.Cpu, std::max(a.PeakMiB, b.PeakMiB), a.Status != 0 ? a.Status : b.Status};
}

// Runs argv with its output discarded; its resources from wait4.
Measure RunAndMeasure(const std::vector<std::string>& argv) {
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

// Starts the programs from a small process forked before the benchmark
// grows: a child's peak memory (ru_maxrss) includes what it was forked with.
class Spawner {
 public:
  Spawner() {
    if (::pipe(requests_) != 0 || ::pipe(answers_) != 0) std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(requests_[1]);
      ::close(answers_[0]);
      std::vector<std::string> argv;
      while (ReadArguments(argv)) {
        const Measure measure = RunAndMeasure(argv);
        if (!WriteAll(answers_[1], &measure, sizeof measure)) break;
      }
      ::_exit(0);
    }
    ::close(requests_[0]);
    ::close(answers_[1]);
  }
  ~Spawner() {
    ::close(requests_[1]);
    ::close(answers_[0]);
    ::waitpid(pid_, nullptr, 0);
  }
  Spawner(const Spawner&) = delete;
  Spawner& operator=(const Spawner&) = delete;

  Measure Run(const std::vector<std::string>& argv) {
    std::string request;
    for (const std::string& arg : argv) request += arg + '\0';
    const uint64_t size = request.size();
    Measure measure;
    measure.Status = -1;
    if (WriteAll(requests_[1], &size, sizeof size) && WriteAll(requests_[1], request.data(), request.size())) {
      ReadAll(answers_[0], &measure, sizeof measure);
    }
    return measure;
  }

 private:
  static bool WriteAll(int fd, const void* data, std::size_t size) {
    for (auto* p = static_cast<const char*>(data); size > 0;) {
      const ssize_t done = ::write(fd, p, size);
      if (done <= 0) return false;
      p += done;
      size -= static_cast<std::size_t>(done);
    }
    return true;
  }
  static bool ReadAll(int fd, void* data, std::size_t size) {
    for (auto* p = static_cast<char*>(data); size > 0;) {
      const ssize_t done = ::read(fd, p, size);
      if (done <= 0) return false;
      p += done;
      size -= static_cast<std::size_t>(done);
    }
    return true;
  }
  bool ReadArguments(std::vector<std::string>& argv) {
    uint64_t size = 0;
    if (!ReadAll(requests_[0], &size, sizeof size)) return false;
    std::string request(size, '\0');
    if (!ReadAll(requests_[0], request.data(), request.size())) return false;
    argv.clear();
    for (std::size_t start = 0; start < request.size();) {
      const std::size_t end = request.find('\0', start);
      argv.push_back(request.substr(start, end - start));
      start = end + 1;
    }
    return true;
  }

  int requests_[2] = {-1, -1};
  int answers_[2] = {-1, -1};
  pid_t pid_ = -1;
};

// The runs of one program: median wall and CPU time, largest peak.
struct Runs {
  std::vector<Measure> All;
  Measure Median() const {
    const auto middle = [&](double Measure::*field) {
      std::vector<double> values;
      for (const Measure& m : All) values.push_back(m.*field);
      std::sort(values.begin(), values.end());
      return values[values.size() / 2];
    };
    Measure m{middle(&Measure::Wall), middle(&Measure::Cpu), 0, 0};
    for (const Measure& run : All) {
      m.PeakMiB = std::max(m.PeakMiB, run.PeakMiB);
      if (run.Status != 0 && run.Status != 1) m.Status = run.Status;  // 1: written with holes
    }
    return m;
  }
};

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
  std::printf("%-7s %-44s %8s %8s %9s%s\n", tiles.c_str(), what.c_str(), Fixed(m.Wall, 2).c_str(),
              Fixed(m.Cpu, 2).c_str(), Fixed(m.PeakMiB, 1).c_str(), m.Status == 0 ? "" : "  (failed)");
}

void Ratio(const std::string& what, const Measure& gdal, const Measure& ours) {
  std::printf("%-58s wall %6sx   CPU %6sx\n", what.c_str(), Fixed(gdal.Wall / ours.Wall, 1).c_str(),
              Fixed(gdal.Cpu / ours.Cpu, 1).c_str());
}

// How far the overviews of two GeoTIFFs of one size lie apart, level by level.
void CompareOverviews(const std::string& ours, const std::string& gdals) {
  combiner::Dataset a = combiner::OpenDataset(ours, false);
  combiner::Dataset b = combiner::OpenDataset(gdals, false);
  const int levels = GDALGetOverviewCount(GDALGetRasterBand(a.get(), 1));
  std::printf("overviews, tilejoin against gdaladdo -r average (%d levels, %d in GDAL's file):\n", levels,
              GDALGetOverviewCount(GDALGetRasterBand(b.get(), 1)));
  std::printf("  %-6s %-12s %8s %8s %12s\n", "level", "size", "max", "mean", "99.9% within");
  for (int level = 0; level < levels && level < GDALGetOverviewCount(GDALGetRasterBand(b.get(), 1)); ++level) {
    std::array<int64_t, 256> histogram{};
    const int width = GDALGetRasterBandXSize(GDALGetOverview(GDALGetRasterBand(a.get(), 1), level));
    const int height = GDALGetRasterBandYSize(GDALGetOverview(GDALGetRasterBand(a.get(), 1), level));
    std::vector<uint8_t> rowA(static_cast<std::size_t>(width) * 256), rowB(rowA.size());
    for (int band = 1; band <= 3; ++band) {
      GDALRasterBandH overviewA = GDALGetOverview(GDALGetRasterBand(a.get(), band), level);
      GDALRasterBandH overviewB = GDALGetOverview(GDALGetRasterBand(b.get(), band), level);
      for (int top = 0; top < height; top += 256) {
        const int rows = std::min(256, height - top);
        if (GDALRasterIO(overviewA, GF_Read, 0, top, width, rows, rowA.data(), width, rows, GDT_Byte, 0, 0) != CE_None ||
            GDALRasterIO(overviewB, GF_Read, 0, top, width, rows, rowB.data(), width, rows, GDT_Byte, 0, 0) != CE_None) {
          std::printf("  cannot read level %d\n", level + 1);
          return;
        }
        for (std::size_t i = 0; i < static_cast<std::size_t>(width) * rows; ++i) ++histogram[std::abs(rowA[i] - rowB[i])];
      }
    }
    int64_t total = 0, sum = 0;
    int largest = 0;
    for (int d = 0; d < 256; ++d) {
      total += histogram[d];
      sum += histogram[d] * d;
      if (histogram[d] > 0) largest = d;
    }
    int within = 0;
    for (int64_t seen = 0; within < 256 && (seen += histogram[within]) < total * 999 / 1000; ++within) {
    }
    std::printf("  %-6d %-12s %8d %8s %12d\n", level + 1, (std::to_string(width) + "x" + std::to_string(height)).c_str(),
                largest, Fixed(static_cast<double>(sum) / static_cast<double>(total), 3).c_str(), within);
  }
}

void Bench(int64_t count, int runs, Spawner& spawner) {
  const auto RunChild = [&](const std::vector<std::string>& argv) { return spawner.Run(argv); };
  testsupport::TempDir dir;
  const auto rows = static_cast<int32_t>((count + kColumns - 1) / kColumns);
  combinertest::SyntheticTask task(dir.Path(), kColumns, rows, kZoom, 40000, 24000);
  const task::TileRange range = task.Range();
  std::mt19937 random(1);
  double bytes = 0;
  std::string list;
  for (int32_t y = range.MinY; y <= range.MaxY; ++y) {
    for (int32_t x = range.MinX; x <= range.MaxX; ++x) {
      const std::string jpeg = combinertest::GdalJpeg(PhotoLikeTile(x, y, random), {.Quality = 85});
      bytes += static_cast<double>(jpeg.size());
      task.WriteTile(x, y, jpeg);
    }
  }
  const std::string n = platform::FormatInteger(range.Count());
  std::printf("\n%s tiles (%d x %d), %s KiB a tile on average, %d runs each, alternating\n", n.c_str(), kColumns, rows,
              Fixed(bytes / static_cast<double>(range.Count()) / 1024, 1).c_str(), runs);

  // What GDAL needs first: a world file beside every tile (in metres).
  const auto worldStart = std::chrono::steady_clock::now();
  for (int32_t y = range.MinY; y <= range.MaxY; ++y) {
    for (int32_t x = range.MinX; x <= range.MaxX; ++x) {
      const auto t = task::MercatorGeoTransform(task::TileRange{x, y, x, y}, kZoom);
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

  // The same overview levels and quality as tilejoin's, and the same lowest zoom.
  const int levels = combiner::OverviewLevels(kColumns * 256, int64_t{rows} * 256);
  std::vector<std::string> factors;
  for (int level = 1; level <= levels; ++level) factors.push_back(std::to_string(1 << level));
  const int minZoom = combiner::ZoomHoldingInOneTile(range, kZoom);
  std::vector<std::string> zoomFactors;
  for (int zoom = kZoom - 1; zoom >= minZoom; --zoom) zoomFactors.push_back(std::to_string(1 << (kZoom - zoom)));
  const auto withFactors = [](std::vector<std::string> argv, const std::vector<std::string>& more) {
    argv.insert(argv.end(), more.begin(), more.end());
    return argv;
  };
  const std::vector<std::string> gtiffOptions = {"-co", "TILED=YES",     "-co", "BLOCKXSIZE=256",   "-co",
                                                 "BLOCKYSIZE=256", "-co", "COMPRESS=JPEG", "-co", "PHOTOMETRIC=YCBCR",
                                                 "-co", "JPEG_QUALITY=90", "-co", "BIGTIFF=IF_SAFER"};
  const std::vector<std::string> overviewQuality = {"--config", "JPEG_QUALITY_OVERVIEW", "90", "-r", "average"};

  std::map<std::string, Runs> results;
  const std::vector<std::string> order = {"tilejoin copy path, no overviews",
                                          "tilejoin default (overviews)",
                                          "tilejoin --reencode, no overviews",
                                          "tilejoin MBTiles with pyramid",
                                          "gdalbuildvrt",
                                          "gdal_translate",
                                          "gdaladdo -r average",
                                          "GDAL, no overviews",
                                          "GDAL with overviews",
                                          "gdal_translate -of MBTILES",
                                          "gdaladdo -r average (MBTiles)",
                                          "GDAL MBTiles with overviews"};
  for (int run = 0; run < runs; ++run) {
    const bool last = run + 1 == runs;
    for (const char* file : {"copy.tif", "full.tif", "reencode.tif", "map.mbtiles", "mosaic.vrt", "gdal.tif", "gdal.mbtiles"}) {
      std::remove(dir.File(file).c_str());
    }
    results[order[0]].All.push_back(RunChild({TILEJOIN_PROGRAM, task.TaskPath(), "-o", dir.File("copy.tif"), "--no-overviews", "-q"}));
    results[order[1]].All.push_back(RunChild({TILEJOIN_PROGRAM, task.TaskPath(), "-o", dir.File("full.tif"), "-q"}));
    results[order[2]].All.push_back(RunChild(
        {TILEJOIN_PROGRAM, task.TaskPath(), "-o", dir.File("reencode.tif"), "--no-overviews", "--reencode", "-q"}));
    results[order[3]].All.push_back(RunChild({TILEJOIN_PROGRAM, task.TaskPath(), "-o", dir.File("map.mbtiles"), "-q"}));
    const Measure vrt = RunChild({"gdalbuildvrt", "-q", "-a_srs", "EPSG:3857", "-input_file_list", dir.File("tiles.txt"),
                                  dir.File("mosaic.vrt")});
    std::vector<std::string> translate = {"gdal_translate", "-q"};
    translate.insert(translate.end(), gtiffOptions.begin(), gtiffOptions.end());
    const Measure copied = RunChild(withFactors(translate, {dir.File("mosaic.vrt"), dir.File("gdal.tif")}));
    const Measure added = RunChild(withFactors(withFactors({"gdaladdo", "-q"}, overviewQuality),
                                               withFactors({dir.File("gdal.tif")}, factors)));
    results[order[4]].All.push_back(vrt);
    results[order[5]].All.push_back(copied);
    results[order[6]].All.push_back(added);
    results[order[7]].All.push_back(vrt + copied);
    results[order[8]].All.push_back(vrt + copied + added);
    const Measure tiles = RunChild({"gdal_translate", "-q", "-of", "MBTILES", "-co", "TILE_FORMAT=JPEG", "-co", "QUALITY=90",
                                    dir.File("mosaic.vrt"), dir.File("gdal.mbtiles")});
    const Measure pyramid = RunChild(withFactors(withFactors({"gdaladdo", "-q"}, overviewQuality),
                                                 withFactors({dir.File("gdal.mbtiles")}, zoomFactors)));
    results[order[9]].All.push_back(tiles);
    results[order[10]].All.push_back(pyramid);
    results[order[11]].All.push_back(vrt + tiles + pyramid);
    if (!last) std::fprintf(stderr, "run %d of %d done\n", run + 1, runs);
  }

  std::printf("%-7s %-44s %8s %8s %9s\n", "tiles", "program (median of the runs)", "wall s", "CPU s", "peak MiB");
  Row(n, "(world files for GDAL, written in-process)", world);
  for (const std::string& name : order) Row(n, name, results[name].Median());
  const auto median = [&](const std::string& name) { return results[name].Median(); };
  Ratio("GDAL with overviews / tilejoin default:", median("GDAL with overviews"), median("tilejoin default (overviews)"));
  Ratio("GDAL without overviews / tilejoin copy path:", median("GDAL, no overviews"),
        median("tilejoin copy path, no overviews"));
  Ratio("GDAL without overviews / tilejoin --reencode:", median("GDAL, no overviews"),
        median("tilejoin --reencode, no overviews"));
  Ratio("GDAL MBTiles with overviews / tilejoin MBTiles:", median("GDAL MBTiles with overviews"),
        median("tilejoin MBTiles with pyramid"));
  std::printf("MBTiles zooms %d to %d\n", minZoom, kZoom);

  // Every tile of the copy path decodes to exactly the downloaded tile's pixels.
  {
    combiner::Dataset mosaic = combiner::OpenDataset(dir.File("copy.tif"), false);
    int64_t identical = 0;
    for (int32_t y = range.MinY; y <= range.MaxY; ++y) {
      for (int32_t x = range.MinX; x <= range.MaxX; ++x) {
        const combiner::Pixels written =
            combinertest::ReadPixels(mosaic.get(), (x - range.MinX) * 256, (y - range.MinY) * 256, 256, 256);
        if (written == combinertest::DecodeWithGdal(task.TileBytes(x, y))) ++identical;
      }
    }
    std::printf("copy path: %s of %s tiles decode to the downloaded tiles' pixels\n",
                platform::FormatInteger(identical).c_str(), n.c_str());
  }
  CompareOverviews(dir.File("full.tif"), dir.File("gdal.tif"));
}

// A job of three zooms (kZoom - 2 to kZoom) over count tiles of the deepest,
// every level downloaded: tilejoin of the job (the shallower levels taken as
// downloaded) against tilejoin of its deepest task alone (every level
// computed), and against another tilejoin on the same job when one is given
// (a build from before the job's levels were taken without computing them).
void BenchJob(int64_t count, int runs, Spawner& spawner, const std::string& otherTilejoin) {
  testsupport::TempDir dir;
  const auto rows = static_cast<int32_t>((count + kColumns - 1) / kColumns);
  // The corner on a tile corner of every zoom of the job: a GeoTIFF's
  // overviews line up with them.
  constexpr int32_t kX = 40000, kY = 24000;
  std::vector<std::unique_ptr<combinertest::SyntheticTask>> tasks;
  std::mt19937 random(2);
  int64_t tiles = 0;
  for (int32_t zoom = kZoom - 2; zoom <= kZoom; ++zoom) {
    const int shift = kZoom - zoom;
    const int32_t columns = ((kX + kColumns - 1) >> shift) - (kX >> shift) + 1;
    const int32_t levelRows = ((kY + rows - 1) >> shift) - (kY >> shift) + 1;
    tasks.push_back(std::make_unique<combinertest::SyntheticTask>(dir.Path(), columns, levelRows, zoom, kX >> shift,
                                                                  kY >> shift, run::JobTaskName("job", zoom)));
    const task::TileRange range = tasks.back()->Range();
    for (int32_t y = range.MinY; y <= range.MaxY; ++y) {
      for (int32_t x = range.MinX; x <= range.MaxX; ++x) {
        tasks.back()->WriteTile(x, y, combinertest::GdalJpeg(PhotoLikeTile(x, y, random), {.Quality = 85}));
      }
    }
    tiles += range.Count();
  }
  const std::string job = dir.File("job.ojob");
  run::WriteJobFile(job, {kZoom - 2, kZoom}, "job");
  const std::string deepest = tasks.back()->TaskPath();
  const std::string minZoom = std::to_string(combiner::ZoomHoldingInOneTile(tasks.back()->Range(), kZoom));
  std::printf("\njob of zooms %d to %d: %s tiles (%s at zoom %d), %d runs each, alternating\n", kZoom - 2, kZoom,
              platform::FormatInteger(tiles).c_str(), platform::FormatInteger(tasks.back()->Range().Count()).c_str(),
              kZoom, runs);

  struct Case {
    std::string Name;
    std::vector<std::string> Argv;
  };
  std::vector<Case> cases;
  for (const char* extension : {".mbtiles", ".tif"}) {
    const std::vector<std::string> more = extension == std::string(".mbtiles")
                                              ? std::vector<std::string>{"--min-zoom", minZoom, "-q"}
                                              : std::vector<std::string>{"-q"};
    const auto argv = [&](const std::string& program, const std::string& input, const std::string& output) {
      std::vector<std::string> all = {program, input, "-o", dir.File(output + extension)};
      all.insert(all.end(), more.begin(), more.end());
      return all;
    };
    cases.push_back({std::string("job") + extension + ", levels as downloaded", argv(TILEJOIN_PROGRAM, job, "job")});
    cases.push_back({std::string("deepest task alone") + extension + ", all computed",
                     argv(TILEJOIN_PROGRAM, deepest, "alone")});
    if (!otherTilejoin.empty()) {
      cases.push_back({std::string("job") + extension + ", the other tilejoin", argv(otherTilejoin, job, "other")});
      cases.push_back({std::string("deepest task alone") + extension + ", the other", argv(otherTilejoin, deepest, "alone-other")});
    }
  }
  std::map<std::string, Runs> results;
  for (int run = 0; run < runs; ++run) {
    for (const Case& c : cases) {
      std::remove(c.Argv[3].c_str());
      results[c.Name].All.push_back(spawner.Run(c.Argv));
    }
  }
  std::printf("%-7s %-44s %8s %8s %9s\n", "tiles", "program (median of the runs)", "wall s", "CPU s", "peak MiB");
  for (const Case& c : cases) Row(platform::FormatInteger(tiles), c.Name, results[c.Name].Median());
  for (const char* extension : {".mbtiles", ".tif"}) {
    const Measure ours = results[std::string("job") + extension + ", levels as downloaded"].Median();
    Ratio(std::string("all computed / job") + extension + ":",
          results[std::string("deepest task alone") + extension + ", all computed"].Median(), ours);
    if (!otherTilejoin.empty()) {
      Ratio(std::string("the other tilejoin / this one, job") + extension + ":",
            results[std::string("job") + extension + ", the other tilejoin"].Median(), ours);
      // A task that is no job: both programs should write the same bytes.
      const bool same = testsupport::ReadFileBytes(dir.File(std::string("alone") + extension)) ==
                        testsupport::ReadFileBytes(dir.File(std::string("alone-other") + extension));
      std::printf("deepest task alone%s: the two programs' files %s\n", extension, same ? "identical" : "differ");
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  Spawner spawner;
  combiner::InitGdal();
  int runs = 3;
  bool job = false;
  std::string otherTilejoin;
  std::vector<int64_t> sizes;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (argument == "--job") {
      job = true;
    } else if (argument == "--other-tilejoin" && i + 1 < argc) {
      otherTilejoin = argv[++i];
    } else {
      sizes.push_back(std::atoll(argv[i]));
    }
  }
  if (job) {
    for (const int64_t size : sizes.empty() ? std::vector<int64_t>{1000} : sizes) {
      BenchJob(size, runs, spawner, otherTilejoin);
    }
    return 0;
  }
  if (sizes.empty()) sizes = {1000, 10000};
  for (const int64_t size : sizes) Bench(size, runs, spawner);
  return 0;
}
