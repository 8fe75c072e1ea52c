// Deciding which tiles of a country-sized task a shape touches: a ragged
// outline of 100,000 vertices over a box of about 10 million tiles. Times the
// row-by-row decision and a walk of every tile of the box asking it, with the
// peak memory of this process; then gdal_rasterize with all-touched on the
// same outline and the same grid (the tool a GIS user would take), timed as a
// child. Prints both and their ratio.
//
//   orvenna_bench_tile_shape [folder for gdal_rasterize's files]
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>
#include <string>

#include "bench/ChildUsage.h"
#include "core/area/VectorFile.h"
#include "core/task/Commonfunc.h"
#include "core/task/TileShape.h"

namespace {

double PeakMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path() / "tile_shape_bench";
  std::filesystem::create_directories(folder);

  // A river as a user would draw it, 30 km of bends, taken with 100 m on
  // either side: its tiles against those of its bounding box.
  const task::Shape river = area::ParseShapeText(
      "LINESTRING(6.90 50.90,6.95 50.96,7.00 50.98,7.08 51.05,7.15 51.10)", 100);
  for (int32_t zoom : {15, 17, 19}) {
    const task::TileShape corridor(river, zoom);
    std::printf("corridor at zoom %d: %lld tiles, its box %lld (%.1f%%)\n", zoom,
                static_cast<long long>(corridor.Count()), static_cast<long long>(corridor.Bounds().Count()),
                100.0 * corridor.Count() / corridor.Bounds().Count());
  }

  // A coastline-like ring around central Europe: radius 4 to 6 degrees with
  // noise of every scale, at zoom 16 (a box of about 3,100 x 3,500 tiles).
  constexpr int kVertices = 100000;
  constexpr int32_t kZoom = 16;
  std::mt19937 random(12);
  std::normal_distribution<double> noise(0, 1);
  task::Ring ring;
  double wobble = 0;
  for (int i = 0; i < kVertices; ++i) {
    wobble = 0.98 * wobble + 0.05 * noise(random);
    const double angle = 2 * std::numbers::pi * i / kVertices;
    const double r = 5 + std::sin(7 * angle) * 0.6 + wobble;
    ring.push_back({10 + r * 1.4 * std::cos(angle), 50 + r * std::sin(angle)});
  }
  const task::Shape shape{{{ring, {}}}};

  const double cpuBefore = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  const task::TileShape tiles(shape, kZoom);
  const double decide = Seconds(start);
  const double decideCpu = CpuSeconds() - cpuBefore;
  const task::TileRange box = tiles.Bounds();
  const auto walkStart = std::chrono::steady_clock::now();
  int64_t inside = 0;
  for (int32_t x = box.MinX; x <= box.MaxX; ++x) {
    for (int32_t y = box.MinY; y <= box.MaxY; ++y) inside += tiles.Contains(x, y);
  }
  const double walk = Seconds(walkStart);
  std::printf("shape: %d vertices, box %lld tiles (%lld x %lld) at zoom %d, %lld tiles in the shape\n", kVertices,
              static_cast<long long>(box.Count()), static_cast<long long>(box.Columns()),
              static_cast<long long>(box.Rows()), kZoom, static_cast<long long>(tiles.Count()));
  std::printf(
      "orvenna: decided in %.3f s (%.3f s CPU), every tile of the box asked in %.3f s (%lld inside), peak %.1f MiB\n",
      decide, decideCpu, walk, static_cast<long long>(inside), PeakMiB());

  // The same outline in tile units (x east, y north as GDAL's grid wants),
  // burnt with all-touched into a byte raster of the box.
  const std::filesystem::path geojson = folder / "outline.geojson";
  {
    std::ofstream out(geojson);
    out.precision(17);
    out << R"({"type":"FeatureCollection","features":[{"type":"Feature","properties":{},"geometry":{"type":"Polygon","coordinates":[[)";
    for (std::size_t i = 0; i <= ring.size(); ++i) {
      const task::LonLatPoint& p = ring[i % ring.size()];
      out << (i ? "," : "") << "[" << static_cast<double>(task::LongitudeToGridX(p.Lon, kZoom)) << ","
          << -static_cast<double>(task::LatitudeToGridY(p.Lat, kZoom)) << "]";
    }
    out << "]]}}]}";
  }
  const std::filesystem::path raster = folder / "outline.tif";
  std::filesystem::remove(raster);
  const bench::ChildUsage gdal = bench::RunChild(
      {"gdal_rasterize", "-q", "-at", "-burn", "1", "-ot", "Byte", "-of", "GTiff", "-te", std::to_string(box.MinX),
       std::to_string(-(box.MaxY + 1.0)), std::to_string(box.MaxX + 1.0), std::to_string(-double(box.MinY)), "-ts",
       std::to_string(box.Columns()), std::to_string(box.Rows()), geojson.string(), raster.string()});
  if (gdal.Status != 0) {
    std::printf("gdal_rasterize failed (status %d)\n", gdal.Status);
    return 1;
  }
  std::printf("gdal_rasterize -at: %.3f s wall, %.3f s CPU, peak %.1f MiB\n", gdal.WallSeconds, gdal.CpuSeconds,
              gdal.PeakMiB);
  std::printf("ratio of gdal_rasterize to deciding: %.1fx wall, %.1fx CPU; with the walk of every tile: %.1fx wall\n",
              gdal.WallSeconds / decide, gdal.CpuSeconds / decideCpu, gdal.WallSeconds / (decide + walk));
  return 0;
}
