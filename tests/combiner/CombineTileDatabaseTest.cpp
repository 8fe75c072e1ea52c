// MBTiles and GeoPackage outputs read back with SQLite and GDAL: every zoom
// from the task's down to the minimum, the task's tiles as downloaded, each
// lower tile the average of its four children, the metadata, the GeoPackage's
// tile matrix and bounds as GDAL reads them.
#include <gtest/gtest.h>

#include <cpl_vsi.h>
#include <gdal.h>
#include <ogr_srs_api.h>
#include <sqlite3.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "combiner/Combiner.h"
#include "combiner/GdalSupport.h"
#include "core/task/TileGrid.h"
#include "core/platform/Numbers.h"
#include "tests/combiner/SyntheticTask.h"

namespace {

using combiner::OutputFormat;
using combiner::Pixels;
using combinertest::MixedTask;

constexpr int32_t kZoom = 13;

// The rows sql selects from the database at path, every value as its bytes.
std::vector<std::vector<std::string>> Select(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  std::vector<std::vector<std::string>> rows;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* query = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &query, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    while (query != nullptr && sqlite3_step(query) == SQLITE_ROW) {
      std::vector<std::string>& row = rows.emplace_back();
      for (int i = 0; i < sqlite3_column_count(query); ++i) {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(query, i));
        row.emplace_back(data == nullptr ? "" : std::string(data, static_cast<std::size_t>(sqlite3_column_bytes(query, i))));
      }
    }
    sqlite3_finalize(query);
  }
  sqlite3_close(db);
  return rows;
}

double Number(const std::string& text) { return platform::ParseDecimal(text).value(); }

// The alpha band of a PNG tile (empty when it has none).
std::vector<uint8_t> AlphaOf(const std::string& png) {
  const std::string name = "/vsimem/alpha_of.png";
  VSILFILE* file = VSIFileFromMemBuffer(name.c_str(), reinterpret_cast<GByte*>(const_cast<char*>(png.data())),
                                        static_cast<vsi_l_offset>(png.size()), FALSE);
  VSIFCloseL(file);
  std::vector<uint8_t> alpha;
  if (GDALDatasetH dataset = GDALOpen(name.c_str(), GA_ReadOnly)) {
    if (GDALGetRasterCount(dataset) == 4) {
      alpha.resize(256 * 256);
      if (GDALRasterIO(GDALGetRasterBand(dataset, 4), GF_Read, 0, 0, 256, 256, alpha.data(), 256, 256, GDT_Byte, 0, 0) !=
          CE_None) {
        alpha.clear();
      }
    }
    GDALClose(dataset);
  }
  VSIUnlink(name.c_str());
  return alpha;
}

using TileKey = std::tuple<int32_t, int32_t, int32_t>;  // zoom, column, row from the north

struct DatabaseCase {
  const char* Name;
  OutputFormat Format;
  const char* File;
  std::optional<int32_t> MinZoom;
  bool Overviews;
  int32_t LowestZoom;  // what the database must hold
};

void PrintTo(const DatabaseCase& c, std::ostream* out) { *out << c.Name; }

class CombineTileDatabase : public ::testing::TestWithParam<DatabaseCase> {};

TEST_P(CombineTileDatabase, HoldsEveryZoomEachTileTheAverageOfItsChildren) {
  const DatabaseCase& c = GetParam();
  MixedTask mixed;
  const task::TileRange r = mixed.Task().Range();
  combiner::CombineOptions options;
  options.TaskPath = mixed.Task().TaskPath();
  options.OutputPath = mixed.Output(c.File);
  options.Format = c.Format;
  options.Overviews = c.Overviews;
  options.MinZoom = c.MinZoom;
  combinertest::RecordingProgress progress;
  const combiner::CombineResult result = combiner::Combine(options, progress);
  EXPECT_EQ(result.Copied, 24 - MixedTask::kHoles);  // a progressive JPEG too
  EXPECT_EQ(result.Reencoded, 0);
  const bool mbtiles = c.Format == OutputFormat::MbTiles;

  std::map<TileKey, std::string> tiles;
  for (const auto& row : Select(options.OutputPath, "SELECT zoom_level, tile_column, tile_row, tile_data FROM tiles")) {
    const auto zoom = static_cast<int32_t>(Number(row[0]));
    const auto stored = static_cast<int32_t>(Number(row[2]));
    // MBTiles counts rows from the south.
    tiles[{zoom, static_cast<int32_t>(Number(row[1])), mbtiles ? (1 << zoom) - 1 - stored : stored}] = row[3];
  }
  // Every tile over a tile of the task that is no hole, at every zoom.
  std::set<TileKey> expected;
  for (int32_t y = r.MinY; y <= r.MaxY; ++y) {
    for (int32_t x = r.MinX; x <= r.MaxX; ++x) {
      if (mixed.HoleAt(x, y)) continue;
      for (int32_t zoom = c.LowestZoom; zoom <= kZoom; ++zoom) expected.insert({zoom, x >> (kZoom - zoom), y >> (kZoom - zoom)});
    }
  }
  std::set<TileKey> held;
  for (const auto& entry : tiles) held.insert(entry.first);
  EXPECT_EQ(held, expected);

  for (const auto& [key, bytes] : tiles) {
    const auto [zoom, x, y] = key;
    SCOPED_TRACE(std::to_string(zoom) + "/" + std::to_string(x) + "/" + std::to_string(y));
    const Pixels pixels = combinertest::DecodeWithGdal(bytes);
    if (zoom == kZoom) {
      EXPECT_EQ(bytes, mixed.Task().TileBytes(x, y));
      continue;
    }
    // The four children at half size, the fill colour where there is none.
    Pixels children(512 * 512 * 3);
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
      const int right = quadrant & 1, bottom = quadrant >> 1;
      const auto child = tiles.find({zoom + 1, 2 * x + right, 2 * y + bottom});
      const Pixels childPixels = child != tiles.end() ? combinertest::DecodeWithGdal(child->second)
                                                       : combiner::SolidPixels(options.Fill);
      for (int line = 0; line < 256; ++line) {
        std::copy_n(childPixels.begin() + line * 256 * 3, 256 * 3,
                    children.begin() + ((bottom * 256 + line) * 512 + right * 256) * 3);
      }
    }
    const Pixels averaged = combinertest::Halved(children, 512, 512);
    // A tile wholly over tiles of the task is a JPEG; one partly over holes
    // or beyond the task a PNG, clear there (not the fill colour).
    const int32_t span = 1 << (kZoom - zoom);
    bool whole = true;
    for (int32_t below = 0; below < span * span; ++below) {
      const int32_t bx = x * span + below % span, by = y * span + below / span;
      whole = whole && bx >= r.MinX && bx <= r.MaxX && by >= r.MinY && by <= r.MaxY && !mixed.HoleAt(bx, by);
    }
    EXPECT_EQ(bytes.compare(0, 3, "\xFF\xD8\xFF") == 0, whole);
    if (!whole) {
      ASSERT_EQ(bytes.compare(0, 8, "\x89PNG\r\n\x1A\n"), 0);
      const std::vector<uint8_t> alpha = AlphaOf(bytes);
      ASSERT_EQ(alpha.size(), 256u * 256u);
      if (zoom == kZoom - 1) {
        for (int quadrant = 0; quadrant < 4; ++quadrant) {
          const int right = quadrant & 1, bottom = quadrant >> 1;
          const bool held = tiles.count({zoom + 1, 2 * x + right, 2 * y + bottom}) != 0;
          EXPECT_EQ(alpha[static_cast<std::size_t>((bottom * 128 + 64) * 256 + right * 128 + 64)], held ? 255 : 0)
              << quadrant;
        }
      }
    }
    // Above the task's tiles (decoded as they are) pixel by pixel; further
    // up, the children were averaged before their own JPEG smeared their
    // sharp inner edges, so the mean (a child out of place costs tens).
    if (zoom == kZoom - 1) {
      EXPECT_LE(combinertest::MaxDifferenceInside(pixels, averaged, 256, 128, 2), 4);
    }
    EXPECT_LE(combinertest::MeanDifference(pixels, averaged), 1.0);
  }

  const auto northWest = mixed.Task().ListedEdges(r.MinX, r.MinY);
  const auto southEast = mixed.Task().ListedEdges(r.MaxX, r.MaxY);
  if (mbtiles) {
    std::map<std::string, std::string> metadata;
    for (const auto& row : Select(options.OutputPath, "SELECT name, value FROM metadata")) metadata[row[0]] = row[1];
    EXPECT_EQ(metadata["name"], "mosaic");
    EXPECT_EQ(metadata["format"], "jpg");
    EXPECT_EQ(metadata["type"], "baselayer");
    EXPECT_EQ(metadata["minzoom"], std::to_string(c.LowestZoom));
    EXPECT_EQ(metadata["maxzoom"], "13");
    std::vector<double> bounds, center;
    for (auto [text, numbers] : {std::pair{metadata["bounds"], &bounds}, std::pair{metadata["center"], &center}}) {
      for (std::size_t start = 0, comma = 0; comma != std::string::npos; start = comma + 1) {
        comma = text.find(',', start);
        numbers->push_back(Number(text.substr(start, comma - start)));
      }
    }
    ASSERT_EQ(bounds.size(), 4u);
    EXPECT_NEAR(bounds[0], northWest[0], 1e-9);
    EXPECT_NEAR(bounds[1], southEast[3], 1e-9);
    EXPECT_NEAR(bounds[2], southEast[1], 1e-9);
    EXPECT_NEAR(bounds[3], northWest[2], 1e-9);
    ASSERT_EQ(center.size(), 3u);
    EXPECT_NEAR(center[0], (northWest[0] + southEast[1]) / 2, 1e-9);
    EXPECT_NEAR(center[1], (northWest[2] + southEast[3]) / 2, 1e-9);
    // The whole task in one tile: zoom 7, unless fewer zooms are held.
    EXPECT_EQ(center[2], std::max(7, c.LowestZoom));
  } else {
    EXPECT_EQ(Select(options.OutputPath, "PRAGMA application_id")[0][0], "1196444487");  // "GPKG"
    EXPECT_EQ(Select(options.OutputPath, "SELECT data_type, srs_id FROM gpkg_contents"),
              (std::vector<std::vector<std::string>>{{"tiles", "3857"}}));
    const auto matrices = Select(options.OutputPath,
                                 "SELECT zoom_level, matrix_width, matrix_height, pixel_x_size, pixel_y_size"
                                 " FROM gpkg_tile_matrix ORDER BY zoom_level");
    ASSERT_EQ(static_cast<int32_t>(matrices.size()), kZoom - c.LowestZoom + 1);
    for (const auto& matrix : matrices) {
      const auto zoom = static_cast<int32_t>(Number(matrix[0]));
      EXPECT_EQ(Number(matrix[1]), 1 << zoom);
      EXPECT_EQ(Number(matrix[2]), 1 << zoom);
      EXPECT_NEAR(Number(matrix[3]), task::TileSpanMetres(zoom) / 256, 1e-9);
      EXPECT_NEAR(Number(matrix[4]), task::TileSpanMetres(zoom) / 256, 1e-9);
    }

    // GDAL: the task's extent exactly, in Web Mercator, the lower zooms as overviews.
    combiner::Dataset dataset = combiner::OpenDataset(options.OutputPath, false);
    EXPECT_EQ(GDALGetRasterXSize(dataset.get()), 6 * 256);
    EXPECT_EQ(GDALGetRasterYSize(dataset.get()), 4 * 256);
    double t[6];
    ASSERT_EQ(GDALGetGeoTransform(dataset.get(), t), CE_None);
    const auto grid = task::MercatorGeoTransform(r, kZoom);
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(t[i], grid[i], 1e-6) << i;
    EXPECT_STREQ(OSRGetAuthorityCode(GDALGetSpatialRef(dataset.get()), nullptr), "3857");
    EXPECT_EQ(GDALGetOverviewCount(GDALGetRasterBand(dataset.get(), 1)), kZoom - c.LowestZoom);
    for (int32_t y = r.MinY; y <= r.MaxY; ++y) {
      for (int32_t x = r.MinX; x <= r.MaxX; ++x) {
        if (mixed.HoleAt(x, y)) continue;
        const Pixels tile = combinertest::ReadPixels(dataset.get(), (x - r.MinX) * 256, (y - r.MinY) * 256, 256, 256);
        EXPECT_EQ(tile, combinertest::DecodeWithGdal(mixed.Task().TileBytes(x, y))) << x << " " << y;
      }
    }
  }

  options.MinZoom = kZoom + 1;
  EXPECT_THROW(combiner::Combine(options, progress), combiner::CombineError);
}

INSTANTIATE_TEST_SUITE_P(
    Zooms, CombineTileDatabase,
    ::testing::Values(DatabaseCase{"MbTilesDownToOneTile", OutputFormat::MbTiles, "map.mbtiles", std::nullopt, true, 7},
                      DatabaseCase{"GeoPackageDownToZoom11", OutputFormat::GeoPackage, "map.gpkg", 11, true, 11},
                      DatabaseCase{"MbTilesOfTheTasksZoom", OutputFormat::MbTiles, "map.mbtiles", std::nullopt, false,
                                   13}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
