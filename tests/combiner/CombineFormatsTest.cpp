// The other outputs of a combine, read back: JPEG sheets with world files and
// .prj (under a locale with a decimal comma), WGS 84 outputs against the
// task's edges, a COG, MBTiles rows, an area of the task, and cancels at
// every stage that leave nothing behind.
#include <gtest/gtest.h>

#include <cpl_conv.h>
#include <cpl_vsi.h>
#include <gdal.h>
#include <ogr_srs_api.h>
#include <sqlite3.h>

#include <cmath>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "combiner/Combiner.h"
#include "combiner/GdalSupport.h"
#include "core/task/TileGrid.h"
#include "core/platform/Files.h"
#include "core/platform/Locale.h"
#include "core/platform/Numbers.h"
#include "tests/combiner/SyntheticTask.h"
#include "tests/support/GermanLocale.h"

namespace {

using combiner::OutputFormat;
using combiner::OutputSrs;
using combiner::Pixels;
using combinertest::MixedTask;

combiner::CombineOptions OptionsFor(MixedTask& mixed, OutputFormat format, const std::string& name) {
  combiner::CombineOptions options;
  options.TaskPath = mixed.Task().TaskPath();
  options.OutputPath = mixed.Output(name);
  options.Format = format;
  return options;
}

combiner::CombineResult CombineQuietly(const combiner::CombineOptions& options) {
  combinertest::RecordingProgress progress;
  return combiner::Combine(options, progress);
}

// The six numbers of a world file, each of which must read without the locale.
std::vector<double> WorldFile(const std::string& path) {
  std::vector<double> numbers;
  for (const std::string& line : platform::ReadTextLines(path)) numbers.push_back(platform::ParseDecimal(line).value());
  EXPECT_EQ(numbers.size(), 6u) << path;
  return numbers;
}

bool PrjIs(const std::string& path, int epsg) {
  OGRSpatialReferenceH written = OSRNewSpatialReference(nullptr);
  OGRSpatialReferenceH expected = OSRNewSpatialReference(nullptr);
  const std::string text = testsupport::ReadFileBytes(path);
  const bool same = OSRSetFromUserInput(written, text.c_str()) == OGRERR_NONE &&
                    OSRImportFromEPSG(expected, epsg) == OGRERR_NONE && OSRIsSame(written, expected);
  OSRDestroySpatialReference(written);
  OSRDestroySpatialReference(expected);
  return same;
}

// An image opened as programs built on GDAL open it: reading its side files
// (world file, .aux.xml), which the combiner's own settings leave unread.
combiner::Dataset OpenAsUsersDo(const std::string& path) {
  CPLSetThreadLocalConfigOption("GDAL_PAM_ENABLED", "YES");
  CPLSetThreadLocalConfigOption("GDAL_DISABLE_READDIR_ON_OPEN", "NO");
  combiner::Dataset dataset = combiner::OpenDataset(path, false);
  CPLSetThreadLocalConfigOption("GDAL_PAM_ENABLED", nullptr);
  CPLSetThreadLocalConfigOption("GDAL_DISABLE_READDIR_ON_OPEN", nullptr);
  return dataset;
}

std::string AuthorityOf(GDALDatasetH dataset) {
  OGRSpatialReferenceH srs = GDALGetSpatialRef(dataset);
  const char* code = srs != nullptr ? OSRGetAuthorityCode(srs, nullptr) : nullptr;
  return code != nullptr ? code : "none";
}

// The colour of the downloaded tile near its middle (where its checkerboard
// is light), or the fill colour over a hole.
Pixels MiddleColour(MixedTask& mixed, int32_t x, int32_t y, combiner::Rgb fill) {
  if (mixed.HoleAt(x, y)) return {fill.R, fill.G, fill.B};
  const Pixels tile = combinertest::DecodeWithGdal(mixed.Task().TileBytes(x, y));
  const std::size_t middle = (120 * 256 + 120) * 3;
  return {tile[middle], tile[middle + 1], tile[middle + 2]};
}

TEST(CombineFormats, JpegSheetsTileTheAreaWithWorldFilesInMetresWhateverTheLocale) {
  testsupport::GermanLocale german;
  MixedTask mixed;
  combiner::CombineOptions options = OptionsFor(mixed, OutputFormat::Jpeg, "map.jpg");
  options.SheetPixels = 700;  // two tiles a side
  const combiner::CombineResult result = CombineQuietly(options);
  const task::TileRange area = mixed.Task().Range();

  const std::vector<std::string> names = {"map_r1_c1", "map_r1_c2", "map_r1_c3", "map_r2_c1", "map_r2_c2", "map_r2_c3"};
  std::set<std::string> expectedEntries = {"map_holes.ftl", "map_holes.txt"};
  std::vector<std::string> expectedFiles;
  for (const std::string& name : names) {
    expectedFiles.push_back(mixed.Output(name + ".jpg"));
    for (const char* extension : {".jpg", ".jgw", ".prj", ".jpg.aux.xml"}) expectedEntries.insert(name + extension);
  }
  EXPECT_EQ(result.Files, expectedFiles);
  EXPECT_EQ(testsupport::Entries(mixed.OutputFolder()), expectedEntries);

  // Each tile of the area lies in exactly one sheet, at the place its world
  // file gives, with its own pixels.
  std::map<std::pair<int32_t, int32_t>, int> covered;
  const double tileSpan = task::TileSpanMetres(13);
  const double pixel = tileSpan / 256;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::vector<double> world = WorldFile(mixed.Output(name + ".jgw"));
    EXPECT_TRUE(PrjIs(mixed.Output(name + ".prj"), 3857));
    EXPECT_DOUBLE_EQ(world[0], pixel);
    EXPECT_EQ(world[1], 0);
    EXPECT_EQ(world[2], 0);
    EXPECT_DOUBLE_EQ(world[3], -pixel);
    const double firstColumn = (world[4] - pixel / 2 - task::ColumnEdgeMetres(0, 13)) / tileSpan;
    const double firstRow = (task::RowEdgeMetres(0, 13) - (world[5] + pixel / 2)) / tileSpan;
    ASSERT_NEAR(firstColumn, std::round(firstColumn), 1e-6);
    ASSERT_NEAR(firstRow, std::round(firstRow), 1e-6);
    combiner::Dataset sheet = OpenAsUsersDo(mixed.Output(name + ".jpg"));
    EXPECT_EQ(AuthorityOf(sheet.get()), "3857");
    double t[6];
    ASSERT_EQ(GDALGetGeoTransform(sheet.get(), t), CE_None);
    EXPECT_DOUBLE_EQ(t[0], world[4] - pixel / 2);
    EXPECT_DOUBLE_EQ(t[3], world[5] + pixel / 2);
    const int columns = GDALGetRasterXSize(sheet.get()) / 256;
    const int rows = GDALGetRasterYSize(sheet.get()) / 256;
    EXPECT_EQ(columns, 2);
    EXPECT_EQ(rows, 2);
    for (int row = 0; row < rows; ++row) {
      for (int column = 0; column < columns; ++column) {
        const auto x = static_cast<int32_t>(std::lround(firstColumn)) + column;
        const auto y = static_cast<int32_t>(std::lround(firstRow)) + row;
        ++covered[{x, y}];
        const Pixels middle = combinertest::ReadPixels(sheet.get(), column * 256 + 120, row * 256 + 120, 1, 1);
        EXPECT_LE(combinertest::MaxDifference(middle, MiddleColour(mixed, x, y, options.Fill)), 12) << x << " " << y;
      }
    }
  }
  EXPECT_EQ(covered.size(), static_cast<std::size_t>(area.Count()));
  for (const auto& [tile, count] : covered) {
    EXPECT_TRUE(area.Contains(tile.first, tile.second)) << tile.first << " " << tile.second;
    EXPECT_EQ(count, 1) << tile.first << " " << tile.second;
  }
}

struct DegreesCase {
  const char* Name;
  OutputFormat Format;
  const char* File;
};

void PrintTo(const DegreesCase& c, std::ostream* out) { *out << c.Name; }

class CombineInDegrees : public ::testing::TestWithParam<DegreesCase> {};

TEST_P(CombineInDegrees, CornersLieOnTheTasksEdgesAndTilesKeepTheirPlaces) {
  MixedTask mixed;
  combiner::CombineOptions options = OptionsFor(mixed, GetParam().Format, GetParam().File);
  options.Srs = OutputSrs::Wgs84;
  options.Fill = {0, 0, 0};
  const combiner::CombineResult result = CombineQuietly(options);
  ASSERT_EQ(result.Files.size(), 1u);
  combiner::Dataset dataset = OpenAsUsersDo(result.Files[0]);
  ASSERT_EQ(GDALGetRasterXSize(dataset.get()), 6 * 256);
  ASSERT_EQ(GDALGetRasterYSize(dataset.get()), 4 * 256);

  double t[6];
  ASSERT_EQ(GDALGetGeoTransform(dataset.get(), t), CE_None);
  EXPECT_EQ(AuthorityOf(dataset.get()), "4326");
  if (GetParam().Format == OutputFormat::Png) {
    EXPECT_TRUE(PrjIs(platform::RemoveFileExt(result.Files[0]) + ".prj", 4326));
    // The world file in degrees, as GDAL read it.
    const std::vector<double> world = WorldFile(platform::RemoveFileExt(result.Files[0]) + ".pgw");
    EXPECT_DOUBLE_EQ(t[1], world[0]);
    EXPECT_DOUBLE_EQ(t[5], world[3]);
  } else {
    EXPECT_EQ(GDALGetMaskFlags(GDALGetRasterBand(dataset.get(), 1)), GMF_PER_DATASET);
    EXPECT_GT(GDALGetOverviewCount(GDALGetRasterBand(dataset.get(), 1)), 0);
  }
  const task::TileRange r = mixed.Task().Range();
  const auto northWest = mixed.Task().ListedEdges(r.MinX, r.MinY);
  const auto southEast = mixed.Task().ListedEdges(r.MaxX, r.MaxY);
  EXPECT_NEAR(t[0], northWest[0], 1e-7);
  EXPECT_NEAR(t[3], northWest[2], 1e-7);
  EXPECT_NEAR(t[0] + 6 * 256 * t[1], southEast[1], 1e-7);
  EXPECT_NEAR(t[3] + 4 * 256 * t[5], southEast[3], 1e-7);

  // Rows move a little in degrees; a tile's middle stays inside the tile.
  GDALRasterBandH mask = GDALGetMaskBand(GDALGetRasterBand(dataset.get(), 1));
  for (int32_t y = r.MinY; y <= r.MaxY; ++y) {
    for (int32_t x = r.MinX; x <= r.MaxX; ++x) {
      const int px = (x - r.MinX) * 256 + 120, py = (y - r.MinY) * 256 + 120;
      const Pixels middle = combinertest::ReadPixels(dataset.get(), px, py, 1, 1);
      EXPECT_LE(combinertest::MaxDifference(middle, MiddleColour(mixed, x, y, options.Fill)), 12) << x << " " << y;
      if (GetParam().Format == OutputFormat::GeoTiff) {
        uint8_t valid = 0;
        ASSERT_EQ(GDALRasterIO(mask, GF_Read, px, py, 1, 1, &valid, 1, 1, GDT_Byte, 0, 0), CE_None);
        EXPECT_EQ(valid != 0, !mixed.HoleAt(x, y)) << x << " " << y;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, CombineInDegrees,
                         ::testing::Values(DegreesCase{"Png", OutputFormat::Png, "map.png"},
                                           DegreesCase{"GeoTiff", OutputFormat::GeoTiff, "map.tif"}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(CombineFormats, CogIsCloudOptimisedWithOverviewsAndTheMask) {
  MixedTask mixed;
  const combiner::CombineResult result = CombineQuietly(OptionsFor(mixed, OutputFormat::Cog, "map.tif"));
  EXPECT_EQ(testsupport::Entries(mixed.OutputFolder()), (std::set<std::string>{"map.tif", "map_holes.ftl", "map_holes.txt"}));
  combiner::Dataset dataset = combiner::OpenDataset(result.Files.at(0), false);
  EXPECT_STREQ(GDALGetMetadataItem(dataset.get(), "LAYOUT", "IMAGE_STRUCTURE"), "COG");
  EXPECT_STREQ(GDALGetMetadataItem(dataset.get(), "COMPRESSION", "IMAGE_STRUCTURE"), "YCbCr JPEG");
  GDALRasterBandH band = GDALGetRasterBand(dataset.get(), 1);
  EXPECT_EQ(GDALGetMaskFlags(band), GMF_PER_DATASET);
  EXPECT_GT(GDALGetOverviewCount(band), 0);
  const task::TileRange r = mixed.Task().Range();
  for (int32_t y = r.MinY; y <= r.MaxY; ++y) {
    for (int32_t x = r.MinX; x <= r.MaxX; ++x) {
      const Pixels middle = combinertest::ReadPixels(dataset.get(), (x - r.MinX) * 256 + 120, (y - r.MinY) * 256 + 120, 1, 1);
      EXPECT_LE(combinertest::MaxDifference(middle, MiddleColour(mixed, x, y, combiner::Rgb{})), 12) << x << " " << y;
    }
  }
}

TEST(CombineFormats, KmzIsASuperOverlayInDegreesWithHolesClear) {
  MixedTask mixed;
  const combiner::CombineResult result = CombineQuietly(OptionsFor(mixed, OutputFormat::Kmz, "map.kmz"));
  EXPECT_EQ(testsupport::Entries(mixed.OutputFolder()),
            (std::set<std::string>{"map.kmz", "map_holes.ftl", "map_holes.txt"}));
  // The overlay is named after the file, and every entry of the zip is dated
  // today (GDAL leaves the dates empty: 1980-00-00).
  VSILFILE* doc = VSIFOpenL(("/vsizip/" + result.Files.at(0) + "/doc.kml").c_str(), "rb");
  ASSERT_NE(doc, nullptr);
  std::string kml(1 << 16, '\0');
  kml.resize(VSIFReadL(kml.data(), 1, kml.size(), doc));
  VSIFCloseL(doc);
  EXPECT_NE(kml.find("<name>map</name>"), std::string::npos) << kml.substr(0, 600);
  const std::string zip = testsupport::ReadFileBytes(result.Files.at(0));
  const std::tm today = platform::LocalTime(std::time(nullptr));
  int dated = 0;
  for (std::size_t at = zip.find("PK\1\2"); at != std::string::npos; at = zip.find("PK\1\2", at + 4)) {
    const auto date = static_cast<unsigned>(static_cast<uint8_t>(zip[at + 14]) | static_cast<uint8_t>(zip[at + 15]) << 8);
    EXPECT_EQ(static_cast<int>(date >> 9) + 1980, today.tm_year + 1900);
    EXPECT_EQ(static_cast<int>(date >> 5 & 15), today.tm_mon + 1);
    ++dated;
  }
  EXPECT_GT(dated, 1);
  // GDAL reads the super-overlay back as one image in degrees.
  combiner::Dataset dataset = combiner::OpenDataset(result.Files.at(0), false);
  ASSERT_EQ(GDALGetRasterCount(dataset.get()), 4);
  EXPECT_STREQ(OSRGetAuthorityCode(GDALGetSpatialRef(dataset.get()), nullptr), "4326");
  const task::TileRange r = mixed.Task().Range();
  const int width = GDALGetRasterXSize(dataset.get()), height = GDALGetRasterYSize(dataset.get());
  ASSERT_EQ(width, 6 * 256);
  ASSERT_EQ(height, 4 * 256);
  double t[6];
  ASSERT_EQ(GDALGetGeoTransform(dataset.get(), t), CE_None);
  const auto northWest = mixed.Task().ListedEdges(r.MinX, r.MinY);
  const auto southEast = mixed.Task().ListedEdges(r.MaxX, r.MaxY);
  EXPECT_NEAR(t[0], northWest[0], 1e-6);  // KML states degrees to 6 places
  EXPECT_NEAR(t[3], northWest[2], 1e-6);
  EXPECT_NEAR(t[0] + width * t[1], southEast[1], 1e-6);
  EXPECT_NEAR(t[3] + height * t[5], southEast[3], 1e-6);
  for (int32_t y = r.MinY; y <= r.MaxY; ++y) {
    for (int32_t x = r.MinX; x <= r.MaxX; ++x) {
      const int px = (x - r.MinX) * 256 + 120, py = (y - r.MinY) * 256 + 120;
      uint8_t alpha = 0;
      ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(dataset.get(), 4), GF_Read, px, py, 1, 1, &alpha, 1, 1, GDT_Byte, 0, 0),
                CE_None);
      EXPECT_EQ(alpha, mixed.HoleAt(x, y) ? 0 : 255) << x << " " << y;
      if (mixed.HoleAt(x, y)) continue;
      const Pixels middle = combinertest::ReadPixels(dataset.get(), px, py, 1, 1);
      EXPECT_LE(combinertest::MaxDifference(middle, MiddleColour(mixed, x, y, combiner::Rgb{})), 12) << x << " " << y;
    }
  }
}

TEST(CombineFormats, AnAreaInDegreesTakesTheTilesItCovers) {
  MixedTask mixed;
  const task::TileRange r = mixed.Task().Range();
  // Exactly the edges of columns 1..3 and rows 1..2: the tiles beyond the
  // east and south edges stay out.
  const auto northWest = mixed.Task().ListedEdges(r.MinX + 1, r.MinY + 1);
  const auto southEast = mixed.Task().ListedEdges(r.MinX + 3, r.MinY + 2);
  combiner::CombineOptions options = OptionsFor(mixed, OutputFormat::GeoTiff, "part.tif");
  options.Area = combiner::ParseArea("lonlat:" + platform::FormatGeneral(northWest[0], '.') + "," +
                                     platform::FormatGeneral(southEast[3], '.') + "," +
                                     platform::FormatGeneral(southEast[1], '.') + "," +
                                     platform::FormatGeneral(northWest[2], '.'));
  const combiner::CombineResult result = CombineQuietly(options);
  EXPECT_EQ(result.Tiles, 6);
  EXPECT_EQ(result.Holes.GivenUp, 1);
  EXPECT_EQ(result.Holes.Unreadable, 1);
  EXPECT_EQ(result.Holes.Total(), 2);
  combiner::Dataset dataset = combiner::OpenDataset(result.Files.at(0), false);
  EXPECT_EQ(GDALGetRasterXSize(dataset.get()), 3 * 256);
  EXPECT_EQ(GDALGetRasterYSize(dataset.get()), 2 * 256);
  double t[6];
  ASSERT_EQ(GDALGetGeoTransform(dataset.get(), t), CE_None);
  EXPECT_NEAR(t[0], task::ColumnEdgeMetres(r.MinX + 1, 13), 1e-6);
  EXPECT_NEAR(t[3], task::RowEdgeMetres(r.MinY + 1, 13), 1e-6);

  options.Area = combiner::ParseArea("tiles:" + std::to_string(r.MaxX) + ",0," + std::to_string(r.MaxX + 1) + ",1");
  combinertest::RecordingProgress progress;
  EXPECT_THROW(combiner::Combine(options, progress), combiner::CombineError);
}

TEST(CombineFormats, ATaskFileNamedWithoutAFolderIsInTheCurrentOne) {
  MixedTask mixed;
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(platform::ExtractFilePath(mixed.Task().TaskPath()));
  combiner::CombineOptions options = OptionsFor(mixed, OutputFormat::GeoTiff, "map.tif");
  options.TaskPath = "mosaic.otsk";
  options.Overviews = false;
  combiner::CombineResult result;
  EXPECT_NO_THROW(result = CombineQuietly(options));
  std::filesystem::current_path(before);
  EXPECT_EQ(result.Tiles, 24);
}

struct CancelCase {
  const char* Name;
  OutputFormat Format;
  OutputSrs Srs;
  int64_t SheetPixels;
  const char* File;
  const char* CancelIn;  // a stage of that format's combine
  double CancelAt;
};

void PrintTo(const CancelCase& c, std::ostream* out) { *out << c.Name; }

class CancelledCombine : public ::testing::TestWithParam<CancelCase> {};

TEST_P(CancelledCombine, LeavesNothingBehindAndTheOldFileAsItWas) {
  const CancelCase& c = GetParam();
  MixedTask mixed;
  combiner::CombineOptions options = OptionsFor(mixed, c.Format, c.File);
  options.Srs = c.Srs;
  options.SheetPixels = c.SheetPixels;
  testsupport::WriteFileBytes(options.OutputPath, "an earlier combine");
  combinertest::RecordingProgress progress;
  progress.CancelIn = c.CancelIn;
  progress.CancelAt = c.CancelAt;
  const combiner::CombineResult result = combiner::Combine(options, progress);
  EXPECT_TRUE(result.Cancelled);
  EXPECT_TRUE(result.Files.empty());
  ASSERT_FALSE(progress.Stages.empty());
  EXPECT_NE(progress.Stages.back().find(c.CancelIn), std::string::npos) << progress.Stages.back();
  EXPECT_EQ(testsupport::Entries(mixed.OutputFolder()), std::set<std::string>{c.File});
  EXPECT_EQ(testsupport::ReadFileBytes(options.OutputPath), "an earlier combine");
}

INSTANTIATE_TEST_SUITE_P(
    Stages, CancelledCombine,
    ::testing::Values(
        CancelCase{"WhileCopyingTiles", OutputFormat::GeoTiff, OutputSrs::WebMercator, 0, "map.tif", "Combining", 0.5},
        CancelCase{"InTheMask", OutputFormat::GeoTiff, OutputSrs::WebMercator, 0, "map.tif", "Masking", 0.5},
        CancelCase{"InTheOverviews", OutputFormat::GeoTiff, OutputSrs::WebMercator, 0, "map.tif", "overviews", 0.2},
        CancelCase{"InGdalsOverviews", OutputFormat::GeoTiff, OutputSrs::Wgs84, 0, "map.tif", "Building overviews", 0.2},
        CancelCase{"WritingCog", OutputFormat::Cog, OutputSrs::WebMercator, 0, "map.tif", "Writing COG", 0.2},
        CancelCase{"Reprojecting", OutputFormat::Png, OutputSrs::Wgs84, 0, "map.png", "Reprojecting", 0.2},
        CancelCase{"AtALaterSheet", OutputFormat::Jpeg, OutputSrs::WebMercator, 512, "map.jpg", "Sheet 4 of 6", 0},
        CancelCase{"FillingMbTiles", OutputFormat::MbTiles, OutputSrs::WebMercator, 0, "map.mbtiles", "Combining", 0.5},
        CancelCase{"FillingGeoPackage", OutputFormat::GeoPackage, OutputSrs::WebMercator, 0, "map.gpkg", "Combining", 0.5},
        CancelCase{"WritingKmz", OutputFormat::Kmz, OutputSrs::WebMercator, 0, "map.kmz", "writing KMZ", 0.3}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
