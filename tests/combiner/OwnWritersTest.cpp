// The combiner's own writers, the ones every build has (with GDAL or
// without, as on Windows): a GeoTIFF in Web Mercator read back with libtiff
// alone (its geo keys, pixel size, tie point and pixels), MBTiles and
// GeoPackage read back with SQLite; and what a build without GDAL says of
// the outputs only GDAL writes; a job's downloaded levels as the levels of a
// tile database and the overviews of a GeoTIFF.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <tiffio.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "combiner/Combiner.h"
#include "combiner/GdalSteps.h"
#include "combiner/JpegCodec.h"
#include "core/platform/Files.h"
#include "core/run/Job.h"
#include "core/task/TileGrid.h"
#include "core/task/Unitclasstask.h"
#include "core/task/TaskFiles.h"
#include "tests/support/TempDir.h"
#include "tests/support/WorkerHarness.h"

namespace {

using combiner::OutputFormat;
using combiner::OutputSrs;

class QuietProgress final : public combiner::Progress {
 public:
  void Report(const std::string&, double) override {}
  bool CancelRequested() const override { return false; }
};

// A solid tile of a colour of its own for (x, y).
combiner::Rgb ColourOf(int32_t x, int32_t y) {
  return {static_cast<uint8_t>(40 + (x * 37) % 180), static_cast<uint8_t>(40 + (y * 71) % 180),
          static_cast<uint8_t>(40 + ((x + y) * 23) % 180)};
}

// A task of 3 x 2 tiles at zoom 13, every tile a 4:2:0 JPEG of its colour
// but the one at (kMissingX, kMissingY), which was never downloaded.
constexpr int32_t kX0 = 6742, kY0 = 3101, kZoom = 13;
constexpr int32_t kMissingX = kX0 + 2, kMissingY = kY0 + 1;

struct SmallTask {
  SmallTask() {
    testsupport::TileBlock block;
    block.Columns = 3;
    block.Rows = 2;
    parameters = testsupport::BlockParameters(dir.Path(), block, "small.otsk");
    task = std::make_unique<task::MDTask>(parameters);
    task->CreateImageFolder();
    task::WriteTaskFile(*task);
    task::WriteExtentList(*task);
    task::CreateFailedList(*task);
    for (int32_t y = kY0; y < kY0 + 2; ++y) {
      for (int32_t x = kX0; x < kX0 + 3; ++x) {
        if (x == kMissingX && y == kMissingY) continue;
        const std::string bytes =
            combiner::EncodeJpeg(combiner::SolidPixels(ColourOf(x, y)), combiner::ChromaSampling{}, 90);
        testsupport::WriteFileBytes(task->TileFilePath(x, y), bytes);
      }
    }
  }
  std::string Output(const std::string& name) const { return dir.File(name); }

  testsupport::TempDir dir;
  task::TaskParameters parameters;
  std::unique_ptr<task::MDTask> task;
};

combiner::CombineOptions OptionsFor(const SmallTask& small, OutputFormat format, OutputSrs srs,
                                    const std::string& name) {
  combiner::CombineOptions options;
  options.TaskPath = small.task->TaskFileName();
  options.OutputPath = small.Output(name);
  options.Format = format;
  options.Srs = srs;
  options.Overviews = false;
  return options;
}

struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

TEST(OwnWriters, GeoTiffInWebMercatorHoldsItsGeoKeysAndTilesReadByLibtiffAlone) {
  SmallTask small;
  QuietProgress progress;
  const auto result =
      combiner::Combine(OptionsFor(small, OutputFormat::GeoTiff, OutputSrs::WebMercator, "map.tif"), progress);
  EXPECT_EQ(result.Holes.Total(), 1);
  std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpen(small.Output("map.tif").c_str(), "r"));
  ASSERT_TRUE(tiff);
  uint32_t width = 0, height = 0;
  TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
  EXPECT_EQ(width, 3u * 256);
  EXPECT_EQ(height, 2u * 256);

  // The counts are read into 32 bits zeroed first: libtiff writes 16 or 32
  // of them, as the tag is known to it or not.
  uint32_t count = 0;
  uint16_t* keys = nullptr;
  ASSERT_EQ(TIFFGetField(tiff.get(), 34735, &count, &keys), 1);
  const std::vector<uint16_t> directory(keys, keys + count);
  const std::vector<uint16_t> expected = {1,    1, 0,     5,  1024, 0, 1,  1,    1025, 0, 1,    1,
                                          1026, 34737, 25, 0, 3072, 0, 1, 3857, 3076, 0, 1, 9001};
  EXPECT_EQ(directory, expected);
  char* citation = nullptr;
  ASSERT_EQ(TIFFGetField(tiff.get(), 34737, &citation), 1);
  EXPECT_STREQ(citation, "WGS 84 / Pseudo-Mercator|");

  const task::TileRange range{kX0, kY0, kX0 + 2, kY0 + 1};
  const std::array<double, 6> t = task::MercatorGeoTransform(range, kZoom);
  count = 0;
  double* scale = nullptr;
  ASSERT_EQ(TIFFGetField(tiff.get(), 33550, &count, &scale), 1);
  ASSERT_EQ(count, 3u);
  EXPECT_DOUBLE_EQ(scale[0], task::TileSpanMetres(kZoom) / 256);
  EXPECT_DOUBLE_EQ(scale[1], task::TileSpanMetres(kZoom) / 256);
  count = 0;
  double* tie = nullptr;
  ASSERT_EQ(TIFFGetField(tiff.get(), 33922, &count, &tie), 1);
  ASSERT_EQ(count, 6u);
  EXPECT_DOUBLE_EQ(tie[3], t[0]);
  EXPECT_DOUBLE_EQ(tie[4], t[3]);

  // Each tile's centre has its colour; the missing one the fill (white).
  std::vector<uint32_t> raster(256 * 256);
  for (int32_t y = kY0; y < kY0 + 2; ++y) {
    for (int32_t x = kX0; x < kX0 + 3; ++x) {
      ASSERT_EQ(TIFFReadRGBATile(tiff.get(), static_cast<uint32_t>(x - kX0) * 256, static_cast<uint32_t>(y - kY0) * 256,
                                 raster.data()),
                1);
      const uint32_t pixel = raster[128 * 256 + 128];
      const combiner::Rgb want = x == kMissingX && y == kMissingY ? combiner::Rgb{255, 255, 255} : ColourOf(x, y);
      EXPECT_NEAR(TIFFGetR(pixel), want.R, 3) << x << "," << y;
      EXPECT_NEAR(TIFFGetG(pixel), want.G, 3) << x << "," << y;
      EXPECT_NEAR(TIFFGetB(pixel), want.B, 3) << x << "," << y;
    }
  }
}

struct Sqlite {
  explicit Sqlite(const std::string& path) { sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr); }
  ~Sqlite() { sqlite3_close(db); }
  // The first column of the first row of sql, as text; "" without a row.
  std::string Text(const std::string& sql) const {
    sqlite3_stmt* statement = nullptr;
    std::string text;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
      const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, 0));
      text.assign(bytes == nullptr ? "" : bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement, 0)));
    }
    sqlite3_finalize(statement);
    return text;
  }
  sqlite3* db = nullptr;
};

TEST(OwnWriters, TileDatabasesHoldTheDownloadedTilesAndTheirCoordinateSystem) {
  SmallTask small;
  QuietProgress progress;
  const std::string tile = testsupport::ReadFileBytes(small.task->TileFilePath(kX0 + 1, kY0));
  {
    combiner::Combine(OptionsFor(small, OutputFormat::MbTiles, OutputSrs::WebMercator, "map.mbtiles"), progress);
    const Sqlite mbtiles(small.Output("map.mbtiles"));
    EXPECT_EQ(mbtiles.Text("SELECT count(*) FROM tiles WHERE zoom_level = 13"), "5");
    EXPECT_EQ(mbtiles.Text("SELECT value FROM metadata WHERE name = 'format'"), "jpg");
    // Rows counted from the south; the tile as it was downloaded.
    const int64_t tmsRow = (int64_t{1} << kZoom) - 1 - kY0;
    EXPECT_EQ(mbtiles.Text("SELECT tile_data FROM tiles WHERE zoom_level = 13 AND tile_column = " +
                           std::to_string(kX0 + 1) + " AND tile_row = " + std::to_string(tmsRow)),
              tile);
  }
  {
    combiner::Combine(OptionsFor(small, OutputFormat::GeoPackage, OutputSrs::WebMercator, "map.gpkg"), progress);
    const Sqlite gpkg(small.Output("map.gpkg"));
    EXPECT_EQ(gpkg.Text("SELECT count(*) FROM tiles WHERE zoom_level = 13"), "5");
    EXPECT_EQ(gpkg.Text("SELECT srs_id FROM gpkg_contents"), "3857");
    const std::string wkt = gpkg.Text("SELECT definition FROM gpkg_spatial_ref_sys WHERE srs_id = 3857");
    EXPECT_EQ(wkt.rfind("PROJCS[\"WGS 84 / Pseudo-Mercator\",", 0), 0u) << wkt;
    EXPECT_NE(wkt.find("PROJECTION[\"Mercator_1SP\"]"), std::string::npos) << wkt;
    EXPECT_EQ(wkt.substr(wkt.size() - 25), "AUTHORITY[\"EPSG\",\"3857\"]]");
    const std::string geographic = gpkg.Text("SELECT definition FROM gpkg_spatial_ref_sys WHERE srs_id = 4326");
    EXPECT_EQ(geographic.rfind("GEOGCS[\"WGS 84\",", 0), 0u) << geographic;
  }
}

// Every output and coordinate choice: a build with GDAL takes them all; one
// without refuses those only GDAL writes, before any work, saying so.
TEST(OwnWriters, OutputsThatNeedGdalAreRefusedPlainlyByABuildWithoutIt) {
  struct Row {
    OutputFormat Format;
    OutputSrs Srs;
    bool Own;  // written by the combiner's own writers
    const char* Named;
  };
  const Row rows[] = {
      {OutputFormat::GeoTiff, OutputSrs::WebMercator, true, ""},
      {OutputFormat::GeoTiff, OutputSrs::Wgs84, false, "GeoTIFF in WGS 84 (EPSG:4326)"},
      {OutputFormat::Cog, OutputSrs::WebMercator, false, "Cloud-Optimized GeoTIFF"},
      {OutputFormat::Jpeg, OutputSrs::WebMercator, false, "JPEG with world file"},
      {OutputFormat::Png, OutputSrs::Wgs84, false, "PNG with world file"},
      {OutputFormat::MbTiles, OutputSrs::WebMercator, true, ""},
      {OutputFormat::GeoPackage, OutputSrs::WebMercator, true, ""},
      {OutputFormat::Kmz, OutputSrs::Wgs84, false, "KMZ for Google Earth"},
  };
  SmallTask small;
  for (const Row& row : rows) {
    SCOPED_TRACE(combiner::FormatName(row.Format));
    const bool available = row.Own || combiner::BuiltWithGdal();
    EXPECT_EQ(combiner::FormatAvailable(row.Format, row.Srs), available);
    combiner::CombineOptions options = OptionsFor(small, row.Format, row.Srs, "out");
    const std::string expected =
        available ? std::string()
                  : "This tilejoin is built without GDAL and cannot write " + std::string(row.Named) +
                        ": it writes GeoTIFF in Web Mercator, MBTiles and GeoPackage.";
    EXPECT_EQ(combiner::CheckOptions(options), "");  // the options as such are sound
    EXPECT_EQ(combiner::MissingFromThisBuild(options), expected);
    if (!available) {
      QuietProgress progress;
      EXPECT_THROW(combiner::Combine(options, progress), combiner::CombineError);
      EXPECT_FALSE(platform::FileExists(small.Output("out")));
    }
  }
}

// A job of zooms 11 to 13 over 8 x 8 tiles of zoom 13, its corner on a tile
// corner of zoom 10. The shallower zooms' tiles have colours of their own,
// unlike any mean of the tiles below, so a level taken from the job and one
// computed tell apart. Zoom 12 lacks one tile, zoom 13 another.
struct ThreeZoomJob {
  static constexpr int32_t kX = 6744, kY = 3104, kSide = 8;
  static constexpr int32_t kHoleX12 = kX / 2 + 1, kHoleY12 = kY / 2 + 1;  // no downloaded tile at zoom 12
  static constexpr int32_t kHoleX13 = kX, kHoleY13 = kY;                  // none at 13, under a tile of 12

  ThreeZoomJob() {
    for (int32_t zoom = 11; zoom <= 13; ++zoom) {
      testsupport::TileBlock block;
      block.Zoom = zoom;
      block.X0 = kX >> (13 - zoom);
      block.Y0 = kY >> (13 - zoom);
      block.Columns = block.Rows = kSide >> (13 - zoom);
      parameters.push_back(testsupport::BlockParameters(dir.Path(), block, run::JobTaskName("site", zoom)));
      auto& task = tasks.emplace_back(std::make_unique<task::MDTask>(parameters.back()));
      task->CreateImageFolder();
      task::WriteTaskFile(*task);
      task::WriteExtentList(*task);
      task::CreateFailedList(*task);
      for (int32_t y = block.Y0; y < block.Y0 + block.Rows; ++y) {
        for (int32_t x = block.X0; x < block.X0 + block.Columns; ++x) {
          if ((zoom == 12 && x == kHoleX12 && y == kHoleY12) || (zoom == 13 && x == kHoleX13 && y == kHoleY13)) continue;
          testsupport::WriteFileBytes(
              task->TileFilePath(x, y),
              combiner::EncodeJpeg(combiner::SolidPixels(Colour(x, y, zoom)), combiner::ChromaSampling{}, 90));
        }
      }
    }
    run::WriteJobFile(JobPath(), {11, 13}, "site");
  }
  static combiner::Rgb Colour(int32_t x, int32_t y, int32_t zoom) {
    if (zoom == 13) return ColourOf(x, y);
    // Saturated, where ColourOf stays within 40 to 220.
    return {static_cast<uint8_t>(zoom == 12 ? 250 : 5), static_cast<uint8_t>(10 + (x % 4) * 60),
            static_cast<uint8_t>(10 + (y % 4) * 60)};
  }
  std::string JobPath() const { return dir.File("site.ojob"); }
  std::string Tile(int32_t x, int32_t y, int32_t zoom) const {
    return testsupport::ReadFileBytes(tasks[static_cast<std::size_t>(zoom - 11)]->TileFilePath(x, y));
  }

  testsupport::TempDir dir;
  std::vector<task::TaskParameters> parameters;
  std::vector<std::unique_ptr<task::MDTask>> tasks;
};

// The pixel (px, py) of a decoded tile.
combiner::Rgb PixelAt(const combiner::Pixels& tile, int px, int py) {
  const std::size_t at = (static_cast<std::size_t>(py) * 256 + static_cast<std::size_t>(px)) * 3;
  return {tile[at], tile[at + 1], tile[at + 2]};
}

void ExpectNear(const combiner::Rgb& got, const combiner::Rgb& want, const std::string& where) {
  EXPECT_NEAR(got.R, want.R, 4) << where;
  EXPECT_NEAR(got.G, want.G, 4) << where;
  EXPECT_NEAR(got.B, want.B, 4) << where;
}

// The job's levels go into an MBTiles file byte for byte, a hole of theirs
// computed from the level below, the zoom above the job from its shallowest
// level; into a GeoTIFF as its overviews where they line up (the stored
// stream the downloaded one, decoded by libtiff to the same pixels), computed
// where they do not (an area whose corner is off the shallower zooms' grid).
TEST(OwnWriters, AJobsDownloadedLevelsAreTheTileDatabasesLevelsAndTheGeoTiffsOverviewsWhereTheyLineUp) {
  ThreeZoomJob job;
  QuietProgress progress;
  using J = ThreeZoomJob;
  const auto deepestColourUnder = [](int32_t x, int32_t y, int32_t zoom, int px, int py) {
    // The tile of zoom 13 under pixel (px, py) of tile (x, y) of zoom.
    const int shift = 13 - zoom;
    return ColourOf((x << shift) + ((px << shift) >> 8), (y << shift) + ((py << shift) >> 8));
  };

  combiner::CombineOptions options;
  options.TaskPath = job.JobPath();
  options.OutputPath = job.dir.File("site.mbtiles");
  options.Format = OutputFormat::MbTiles;
  options.MinZoom = 10;
  combiner::CombineResult result = combiner::Combine(options, progress);
  EXPECT_EQ(result.FromDownloadedLevels, 16 - 1 + 4);
  EXPECT_NE(combiner::SummaryText(result).find("Levels above: 19 tiles as the job's tasks of those zooms downloaded them"),
            std::string::npos);
  {
    const Sqlite mbtiles(options.OutputPath);
    const auto tileAt = [&](int32_t x, int32_t y, int32_t zoom) {
      return mbtiles.Text("SELECT tile_data FROM tiles WHERE zoom_level = " + std::to_string(zoom) +
                          " AND tile_column = " + std::to_string(x) +
                          " AND tile_row = " + std::to_string((1 << zoom) - 1 - y));
    };
    EXPECT_EQ(mbtiles.Text("SELECT count(*) FROM tiles WHERE zoom_level = 13"), "63");
    EXPECT_EQ(mbtiles.Text("SELECT min(zoom_level) FROM tiles"), "10");
    for (int32_t zoom = 11; zoom <= 12; ++zoom) {
      const int32_t side = J::kSide >> (13 - zoom);
      EXPECT_EQ(mbtiles.Text("SELECT count(*) FROM tiles WHERE zoom_level = " + std::to_string(zoom)),
                std::to_string(side * side));
      for (int32_t y = J::kY >> (13 - zoom); y < (J::kY >> (13 - zoom)) + side; ++y) {
        for (int32_t x = J::kX >> (13 - zoom); x < (J::kX >> (13 - zoom)) + side; ++x) {
          const std::string where = std::to_string(zoom) + "/" + std::to_string(x) + "/" + std::to_string(y);
          if (zoom == 12 && x == J::kHoleX12 && y == J::kHoleY12) {
            // Computed from zoom 13: each quarter the colour of the tile under it.
            const auto pixels = combiner::DecodeJpeg(tileAt(x, y, zoom));
            ASSERT_TRUE(pixels) << where;
            for (const auto& [px, py] : {std::pair{64, 64}, std::pair{192, 64}, std::pair{64, 192}, std::pair{192, 192}}) {
              ExpectNear(PixelAt(*pixels, px, py), deepestColourUnder(x, y, zoom, px, py), where);
            }
          } else {
            EXPECT_EQ(tileAt(x, y, zoom), job.Tile(x, y, zoom)) << where;
          }
        }
      }
    }
    // Zoom 10 from zoom 11 as downloaded, not from zoom 13.
    const auto top = combiner::DecodeJpeg(tileAt(J::kX >> 3, J::kY >> 3, 10));
    ASSERT_TRUE(top);
    for (int32_t y = 0; y < 2; ++y) {
      for (int32_t x = 0; x < 2; ++x) {
        ExpectNear(PixelAt(*top, 64 + 128 * x, 64 + 128 * y),
                   J::Colour((J::kX >> 2) + x, (J::kY >> 2) + y, 11), "zoom 10, quarter " + std::to_string(x) + "," + std::to_string(y));
      }
    }
  }

  // A GeoTIFF of the whole job: overviews 1 and 2 are zooms 12 and 11, 3 is
  // computed from 2. Then one of an area starting a column further east,
  // where no zoom lines up.
  options.OutputPath = job.dir.File("site.tif");
  options.Format = OutputFormat::GeoTiff;
  options.MinZoom.reset();
  result = combiner::Combine(options, progress);
  EXPECT_EQ(result.FromDownloadedLevels, 16 - 1 + 4);
  options.OutputPath = job.dir.File("east.tif");
  options.Area = task::TileRange{J::kX + 1, J::kY, J::kX + J::kSide - 1, J::kY + J::kSide - 1};
  const combiner::CombineResult east = combiner::Combine(options, progress);
  EXPECT_EQ(east.FromDownloadedLevels, 0);

  for (const bool whole : {true, false}) {
    SCOPED_TRACE(whole ? "whole job" : "area off the grid");
    std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpen(job.dir.File(whole ? "site.tif" : "east.tif").c_str(), "r"));
    ASSERT_TRUE(tiff);
    const int32_t firstX = whole ? J::kX : J::kX + 1;
    const auto decodedTile = [&](int64_t column, int64_t row) {
      TIFFSetField(tiff.get(), TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
      combiner::Pixels pixels(combiner::kTileBytes);
      const ttile_t index = TIFFComputeTile(tiff.get(), static_cast<uint32_t>(column * 256), static_cast<uint32_t>(row * 256), 0, 0);
      EXPECT_EQ(TIFFReadEncodedTile(tiff.get(), index, pixels.data(), static_cast<tmsize_t>(pixels.size())),
                static_cast<tmsize_t>(pixels.size()));
      return pixels;
    };
    const auto rawTile = [&](int64_t column, int64_t row) {
      const ttile_t index = TIFFComputeTile(tiff.get(), static_cast<uint32_t>(column * 256), static_cast<uint32_t>(row * 256), 0, 0);
      uint64_t* counts = nullptr;
      EXPECT_EQ(TIFFGetField(tiff.get(), TIFFTAG_TILEBYTECOUNTS, &counts), 1);
      std::string bytes(counts == nullptr ? 0 : static_cast<std::size_t>(counts[index]), '\0');
      TIFFReadRawTile(tiff.get(), index, bytes.data(), static_cast<tmsize_t>(bytes.size()));
      return bytes;
    };
    for (int level = 1; level <= 2; ++level) {
      ASSERT_EQ(TIFFSetDirectory(tiff.get(), static_cast<tdir_t>(level)), 1);
      const int32_t zoom = 13 - level;
      const int32_t side = J::kSide >> level;
      for (int32_t row = 0; row < side; ++row) {
        for (int32_t column = 0; column < side; ++column) {
          const int32_t x = (J::kX >> level) + column, y = (J::kY >> level) + row;
          const std::string where = "overview " + std::to_string(level) + ", tile " + std::to_string(column) + "," + std::to_string(row);
          const combiner::Pixels pixels = decodedTile(column, row);
          if (whole && !(zoom == 12 && x == J::kHoleX12 && y == J::kHoleY12)) {
            EXPECT_EQ(rawTile(column, row), job.Tile(x, y, zoom)) << where;
            EXPECT_TRUE(pixels == combiner::DecodeJpeg(job.Tile(x, y, zoom))) << where;
          } else {
            // Computed from the image: each pixel the mean of the tiles of
            // zoom 13 under it (here one solid colour each).
            const int32_t shift = 13 - zoom;
            for (const auto& [px, py] : {std::pair{40, 40}, std::pair{216, 40}, std::pair{40, 216}, std::pair{216, 216}}) {
              const int32_t deepX = firstX + ((column * 256 + px) << shift) / 256;
              const int32_t deepY = J::kY + ((row * 256 + py) << shift) / 256;
              if (deepX >= J::kX + J::kSide || (deepX == J::kHoleX13 && deepY == J::kHoleY13)) continue;
              ExpectNear(PixelAt(pixels, px, py), ColourOf(deepX, deepY), where);
            }
          }
        }
      }
    }
    if (whole) {
      // Overview 3 from overview 2 as downloaded: its quarters zoom 11's colours.
      ASSERT_EQ(TIFFSetDirectory(tiff.get(), 3), 1);
      const combiner::Pixels top = decodedTile(0, 0);
      for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < 2; ++x) {
          ExpectNear(PixelAt(top, 64 + 128 * x, 64 + 128 * y), J::Colour((J::kX >> 2) + x, (J::kY >> 2) + y, 11),
                     "overview 3");
        }
      }
      // The masks after the overviews: the hole of zoom 13 masked in the
      // image, but not in the downloaded tile of zoom 12 over it.
      ASSERT_EQ(TIFFSetDirectory(tiff.get(), 4), 1);
      const auto maskBits = [&](int64_t column, int64_t row) {
        std::vector<uint8_t> bits(256 * 256 / 8);
        const ttile_t index = TIFFComputeTile(tiff.get(), static_cast<uint32_t>(column * 256), static_cast<uint32_t>(row * 256), 0, 0);
        EXPECT_EQ(TIFFReadEncodedTile(tiff.get(), index, bits.data(), static_cast<tmsize_t>(bits.size())),
                  static_cast<tmsize_t>(bits.size()));
        return bits;
      };
      EXPECT_EQ(maskBits(0, 0), std::vector<uint8_t>(256 * 256 / 8, 0));
      ASSERT_EQ(TIFFSetDirectory(tiff.get(), 5), 1);
      EXPECT_EQ(maskBits(0, 0), std::vector<uint8_t>(256 * 256 / 8, 0xFF));
    }
  }
}

}  // namespace
