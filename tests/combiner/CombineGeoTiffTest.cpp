// GeoTIFF output of a task with every kind of tile, read back with GDAL: the
// copy path's raw tile bytes, every tile's pixels at its offset, the holes'
// fill and mask, the side file, the georeferencing against the extent list.
#include <gtest/gtest.h>

#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "combiner/Combiner.h"
#include "combiner/GdalSupport.h"
#include "core/task/TaskFiles.h"
#include "core/task/TileGrid.h"
#include "core/platform/Files.h"
#include "core/platform/Numbers.h"
#include "tests/combiner/SyntheticTask.h"

namespace {

using combiner::Compression;
using combiner::Pixels;
using combinertest::MixedTask;

// The bytes of block (column, row) of band 1 as they lie in the TIFF file.
std::string RawBlock(GDALDatasetH dataset, const std::string& path, int column, int row) {
  GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
  const std::string suffix = std::to_string(column) + "_" + std::to_string(row);
  const char* offset = GDALGetMetadataItem(band, ("BLOCK_OFFSET_" + suffix).c_str(), "TIFF");
  const char* size = GDALGetMetadataItem(band, ("BLOCK_SIZE_" + suffix).c_str(), "TIFF");
  if (offset == nullptr || size == nullptr) return "";
  const std::string file = testsupport::ReadFileBytes(path);
  return file.substr(std::strtoull(offset, nullptr, 10), std::strtoull(size, nullptr, 10));
}

std::vector<uint8_t> MaskOfTile(GDALDatasetH dataset, int column, int row) {
  std::vector<uint8_t> mask(256 * 256);
  GDALRasterBandH band = GDALGetMaskBand(GDALGetRasterBand(dataset, 1));
  EXPECT_EQ(GDALRasterIO(band, GF_Read, column * 256, row * 256, 256, 256, mask.data(), 256, 256, GDT_Byte, 0, 0),
            CE_None);
  return mask;
}

bool All(const std::vector<uint8_t>& values, uint8_t value) {
  return std::all_of(values.begin(), values.end(), [&](uint8_t v) { return v == value; });
}

struct GeoTiffCase {
  const char* Name;
  Compression Compress;
  bool CopyTiles;
  bool RawCopies;      // the downloaded streams lie in the file as they are
  int CopiedTolerance;  // largest pixel difference from the decoded download
  // Largest difference of the first overview from the full image averaged,
  // within each tile's part.
  int OverviewTolerance;
};

void PrintTo(const GeoTiffCase& c, std::ostream* out) { *out << c.Name; }

class CombineGeoTiff : public ::testing::TestWithParam<GeoTiffCase> {};

TEST_P(CombineGeoTiff, EveryTileLandsAtItsPlaceAndHolesAreFilledMaskedAndListed) {
  const GeoTiffCase& c = GetParam();
  MixedTask mixed;
  combinertest::SyntheticTask& task = mixed.Task();
  const task::TileRange range = task.Range();
  combiner::CombineOptions options;
  options.TaskPath = task.TaskPath();
  options.OutputPath = mixed.Output("map.tif");
  options.Compress = c.Compress;
  options.CopyTiles = c.CopyTiles;
  options.Fill = {10, 200, 30};
  combinertest::RecordingProgress progress;
  const combiner::CombineResult result = combiner::Combine(options, progress);

  EXPECT_FALSE(result.Cancelled);
  EXPECT_EQ(result.Tiles, 24);
  EXPECT_EQ(result.Holes.Missing, 1);
  EXPECT_EQ(result.Holes.GivenUp, 1);
  EXPECT_EQ(result.Holes.Unreadable, 2);
  EXPECT_EQ(result.Copied, c.RawCopies ? 24 - MixedTask::kHoles - MixedTask::kReencoded : 0);
  EXPECT_EQ(result.Reencoded, 24 - MixedTask::kHoles - result.Copied);
  EXPECT_EQ(testsupport::Entries(mixed.OutputFolder()), (std::set<std::string>{"map.tif", "map_holes.ftl", "map_holes.txt"}));

  std::set<std::string> listed;
  for (const std::string& line : platform::ReadTextLines(result.HoleListPath)) listed.insert(line);
  std::set<std::string> holes;
  std::vector<std::string> records;

  combiner::Dataset dataset = combiner::OpenDataset(options.OutputPath, false);
  GDALDatasetH ds = dataset.get();
  ASSERT_EQ(GDALGetRasterXSize(ds), 6 * 256);
  ASSERT_EQ(GDALGetRasterYSize(ds), 4 * 256);
  ASSERT_EQ(GDALGetRasterCount(ds), 3);
  int blockX = 0, blockY = 0;
  GDALGetBlockSize(GDALGetRasterBand(ds, 1), &blockX, &blockY);
  EXPECT_EQ(blockX, 256);
  EXPECT_EQ(blockY, 256);
  const char* compression = GDALGetMetadataItem(ds, "COMPRESSION", "IMAGE_STRUCTURE");
  EXPECT_STREQ(compression, c.Compress == Compression::Jpeg ? "YCbCr JPEG" : "DEFLATE");
  EXPECT_EQ(GDALGetMaskFlags(GDALGetRasterBand(ds, 1)), GMF_PER_DATASET);
  EXPECT_EQ(GDALGetOverviewCount(GDALGetRasterBand(ds, 1)), 3);  // 768, 384 and 192 pixels wide

  for (int32_t y = range.MinY; y <= range.MaxY; ++y) {
    for (int32_t x = range.MinX; x <= range.MaxX; ++x) {
      SCOPED_TRACE(task.Task().TileFileName(x, y));
      const int column = x - range.MinX, row = y - range.MinY;
      const Pixels pixels = combinertest::ReadPixels(ds, column * 256, row * 256, 256, 256);
      const auto hole = mixed.HoleAt(x, y);
      EXPECT_TRUE(All(MaskOfTile(ds, column, row), hole ? 0 : 255));
      if (hole) {
        holes.insert(task.Task().TileFileName(x, y) + " " + task::TileStateName(hole->State) +
                     (hole->Reason.empty() ? "" : ": " + hole->Reason));
        records.push_back(task.Task().TileFilePath(x, y));
        EXPECT_LE(combinertest::MaxDifference(pixels, combiner::SolidPixels(options.Fill)), 2);
      } else if (mixed.Reencoded(x, y)) {
        // Decoded from a progressive JPEG: its pattern, through one more JPEG or none.
        EXPECT_LE(combinertest::MaxDifference(pixels, combinertest::PatternTile(x, y)),
                  c.Compress == Compression::Jpeg ? 60 : 45);
      } else {
        const std::string downloaded = task.TileBytes(x, y);
        EXPECT_LE(combinertest::MaxDifference(pixels, combinertest::DecodeWithGdal(downloaded)), c.CopiedTolerance);
        if (c.RawCopies) {
          EXPECT_EQ(RawBlock(ds, options.OutputPath, column, row), downloaded);
        }
      }
    }
  }
  EXPECT_EQ(listed, holes);
  // The holes as a failed-tile list of the downloader's records, row by row.
  std::vector<std::string> targets;
  for (const std::string& record : platform::ReadTextLines(result.HoleFailedListPath)) {
    targets.push_back(task::SplitFailedRecord(record).first);
  }
  EXPECT_EQ(targets, records);

  // The first overview: the full image averaged 2 x 2 (from half-size decodes
  // where tiles were copied), and the mask likewise.
  GDALRasterBandH overview = GDALGetOverview(GDALGetRasterBand(ds, 1), 0);
  ASSERT_EQ(GDALGetRasterBandXSize(overview), 3 * 256);
  combiner::Pixels shrunk(3 * 256 * 2 * 256 * 3);
  for (int band = 1; band <= 3; ++band) {
    std::vector<uint8_t> values(3 * 256 * 2 * 256);
    ASSERT_EQ(GDALRasterIO(GDALGetOverview(GDALGetRasterBand(ds, band), 0), GF_Read, 0, 0, 3 * 256, 2 * 256,
                           values.data(), 3 * 256, 2 * 256, GDT_Byte, 0, 0),
              CE_None);
    for (std::size_t i = 0; i < values.size(); ++i) shrunk[3 * i + static_cast<std::size_t>(band - 1)] = values[i];
  }
  const Pixels averaged = combinertest::Halved(combinertest::ReadPixels(ds, 0, 0, 6 * 256, 4 * 256), 6 * 256, 4 * 256);
  EXPECT_LE(combinertest::MaxDifferenceInside(shrunk, averaged, 3 * 256, 128, 2), c.OverviewTolerance);
  EXPECT_LE(combinertest::MeanDifference(shrunk, averaged), 0.5);
  GDALRasterBandH overviewMask = GDALGetMaskBand(overview);
  for (int32_t y = range.MinY; y <= range.MaxY; ++y) {
    for (int32_t x = range.MinX; x <= range.MaxX; ++x) {
      uint8_t valid = 0;
      ASSERT_EQ(GDALRasterIO(overviewMask, GF_Read, (x - range.MinX) * 128 + 64, (y - range.MinY) * 128 + 64, 1, 1,
                             &valid, 1, 1, GDT_Byte, 0, 0),
                CE_None);
      EXPECT_EQ(valid != 0, !mixed.HoleAt(x, y)) << x << " " << y;
    }
  }

  // Georeferencing: exact to the tile grid in metres, and the corners back in
  // degrees on the extent list's edges.
  double transform[6];
  ASSERT_EQ(GDALGetGeoTransform(ds, transform), CE_None);
  const auto expected = task::MercatorGeoTransform(range, 13);
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(transform[i], expected[i], 1e-6) << i;
  const auto northWest = task.ListedEdges(range.MinX, range.MinY);
  const auto southEast = task.ListedEdges(range.MaxX, range.MaxY);
  EXPECT_NEAR(task::LongitudeOfEasting(transform[0]), northWest[0], 1e-7);
  EXPECT_NEAR(task::LatitudeOfNorthing(transform[3]), northWest[2], 1e-7);
  EXPECT_NEAR(task::LongitudeOfEasting(transform[0] + 6 * 256 * transform[1]), southEast[1], 1e-7);
  EXPECT_NEAR(task::LatitudeOfNorthing(transform[3] + 4 * 256 * transform[5]), southEast[3], 1e-7);
  const char* authority = OSRGetAuthorityCode(GDALGetSpatialRef(ds), nullptr);
  ASSERT_NE(authority, nullptr);
  EXPECT_STREQ(authority, "3857");
}

INSTANTIATE_TEST_SUITE_P(
    Paths, CombineGeoTiff,
    ::testing::Values(GeoTiffCase{"CopiedJpeg", Compression::Jpeg, true, true, 0, 4},
                      GeoTiffCase{"ReencodedJpeg", Compression::Jpeg, false, false, 40, 4},
                      GeoTiffCase{"Deflate", Compression::Deflate, true, false, 0, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(CombineGeoTiff, CopiesTheSamplingMostTilesHave) {
  testsupport::TempDir dir;
  combinertest::SyntheticTask task(dir.Path(), 3, 2);
  const task::TileRange range = task.Range();
  // Four tiles 4:4:4 (not GDAL's default), two 4:2:0.
  for (int32_t y = range.MinY; y <= range.MaxY; ++y) {
    for (int32_t x = range.MinX; x <= range.MaxX; ++x) {
      const Pixels pattern = combinertest::PatternTile(x, y);
      task.WriteTile(x, y, x == range.MinX ? combinertest::GdalJpeg(pattern)
                                           : combiner::EncodeJpeg(pattern, {1, 1}, 80));
    }
  }
  combiner::CombineOptions options;
  options.TaskPath = task.TaskPath();
  options.OutputPath = dir.File("map.tif");
  options.Overviews = false;
  // Left by an earlier combine with holes: no longer true.
  testsupport::WriteFileBytes(dir.File("map_holes.txt"), "old");
  combinertest::RecordingProgress progress;
  const combiner::CombineResult result = combiner::Combine(options, progress);
  EXPECT_EQ(result.Copied, 4);
  EXPECT_EQ(result.Reencoded, 2);
  EXPECT_FALSE(platform::FileExists(dir.File("map_holes.txt")));
  combiner::Dataset dataset = combiner::OpenDataset(options.OutputPath, false);
  EXPECT_EQ(GDALGetMaskFlags(GDALGetRasterBand(dataset.get(), 1)), GMF_ALL_VALID);
  EXPECT_EQ(GDALGetOverviewCount(GDALGetRasterBand(dataset.get(), 1)), 0);
  for (int32_t y = range.MinY; y <= range.MaxY; ++y) {
    for (int32_t x = range.MinX; x <= range.MaxX; ++x) {
      const Pixels pixels = combinertest::ReadPixels(dataset.get(), (x - range.MinX) * 256, (y - range.MinY) * 256, 256, 256);
      const std::string downloaded = task.TileBytes(x, y);
      if (x != range.MinX) {
        EXPECT_EQ(RawBlock(dataset.get(), options.OutputPath, x - range.MinX, y - range.MinY), downloaded);
        EXPECT_EQ(combinertest::MaxDifference(pixels, combinertest::DecodeWithGdal(downloaded)), 0);
      } else {
        EXPECT_LE(combinertest::MaxDifference(pixels, combinertest::DecodeWithGdal(downloaded)), 40);
      }
    }
  }
}

}  // namespace
