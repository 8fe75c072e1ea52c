// The combiner's own writers, the ones every build has (with GDAL or
// without, as on Windows): a GeoTIFF in Web Mercator read back with libtiff
// alone (its geo keys, pixel size, tie point and pixels), MBTiles and
// GeoPackage read back with SQLite; and what a build without GDAL says of
// the outputs only GDAL writes.
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

}  // namespace
