// A task's shape from what a user has (a vector file, pasted GeoJSON or
// WKT, a line with a margin), and the GeoJSON it is kept in, which GDAL reads
// back as the same polygons.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "core/area/VectorFile.h"
#include "core/task/Commonfunc.h"
#include "core/task/ShapeFile.h"
#include "core/task/TileShape.h"
#include "tests/support/TempDir.h"

namespace {

using testsupport::TempDir;

constexpr const char* kParkWithPond = R"({"type":"Feature","properties":{"name":"park"},"geometry":{"type":"Polygon",
  "coordinates":[[[116.3,39.8],[116.5,39.8],[116.45,40.0],[116.3,39.95],[116.3,39.8]],
                 [[116.35,39.85],[116.4,39.85],[116.4,39.9],[116.35,39.85]]]}})";
// A river drawn as a line, 30 km of bends.
constexpr const char* kRiver = R"({"type":"FeatureCollection","features":[{"type":"Feature","properties":{},
  "geometry":{"type":"LineString","coordinates":[[6.90,50.90],[6.95,50.96],[7.00,50.98],[7.08,51.05],[7.15,51.10]]}}]})";

std::string Write(const TempDir& dir, const std::string& name, const std::string& text) {
  const std::string path = dir.Path() + "/" + name;
  std::ofstream(path) << text;
  return path;
}

TEST(Shape, EveryWayOfGivingAShape) {
  const TempDir dir;
  const std::string park = Write(dir, "park.geojson", kParkWithPond);
  const std::string river = Write(dir, "river.geojson", kRiver);
  const struct {
    const char* Name;
    std::function<task::Shape()> Read;
    std::size_t Polygons;
    std::size_t Holes;  // of the first polygon
  } cases[] = {
      {"a file's polygon with a hole", [&] { return area::ReadVectorFileShape(park, 0); }, 1, 1},
      {"pasted GeoJSON", [] { return area::ParseShapeText(std::string("\n ") + kParkWithPond, 0); }, 1, 1},
      {"pasted WKT of two parts",
       [] { return area::ParseShapeText("MULTIPOLYGON(((1 1,2 1,2 2,1 1)),((5 5,6 5,6 6,5 5)))", 0); }, 2, 0},
      {"a line with a margin", [&] { return area::ReadVectorFileShape(river, 100); }, 1, 0},
      {"a pasted point with a margin", [] { return area::ParseShapeText("POINT(7 51)", 500); }, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const task::Shape shape = c.Read();
    ASSERT_EQ(shape.Polygons.size(), c.Polygons);
    EXPECT_EQ(shape.Polygons[0].Holes.size(), c.Holes);
  }

  const struct {
    const char* Name;
    std::function<void()> Read;
    const char* Why;
  } refused[] = {
      {"a line without a margin", [&] { area::ReadVectorFileShape(river, 0); }, "give a margin in metres"},
      {"across the 180th meridian", [] { area::ParseShapeText("POLYGON((179 1,-179 1,-179 2,179 1))", 0); },
       "cross the 180th meridian"},
      {"no shape at all", [] { area::ParseShapeText("the park by the river", 0); }, "neither GeoJSON nor WKT"},
      {"broken GeoJSON", [] { area::ParseShapeText(R"({"type":"Polygon","coordinates":)", 0); }, "no GeoJSON"},
      {"a missing file", [&] { area::ReadVectorFileShape(dir.Path() + "/none.kml", 0); }, "Cannot open file"},
  };
  for (const auto& r : refused) {
    try {
      r.Read();
      ADD_FAILURE() << r.Name << " was taken";
    } catch (const area::VectorFileError& error) {
      EXPECT_NE(std::string(error.what()).find(r.Why), std::string::npos) << r.Name << ": " << error.what();
    }
  }
}

TEST(Shape, ACorridorHasAFractionOfItsBoxsTilesAndTheMarginItsMetres) {
  const TempDir dir;
  const std::string river = Write(dir, "river.geojson", kRiver);
  const task::Shape corridor = area::ReadVectorFileShape(river, 100);
  const task::TileShape tiles(corridor, 17);
  // 100 m on each side of 30 km of river at zoom 17 (tiles of about 190 m):
  // a few hundred tiles, where its box holds tens of thousands.
  EXPECT_LT(tiles.Count() * 20, tiles.Bounds().Count());
  EXPECT_GT(tiles.Count(), 150);
  // Every tile the line itself passes through is the corridor's.
  for (const auto& [lon, lat] : {std::pair{6.90, 50.90}, {6.975, 50.97}, {7.15, 51.10}}) {
    EXPECT_TRUE(tiles.Contains(task::LongitudeToTileX(lon, 17), task::LatitudeToTileY(lat, 17))) << lon << "," << lat;
  }
  const task::LonLatBox box = task::BoundsOf(corridor);
  EXPECT_NEAR((box.North - 51.10) * 111319.49, 100, 2);
  EXPECT_NEAR((50.90 - box.South) * 111319.49, 100, 2);
}

TEST(Shape, KeptAsGeoJsonThatReadsBackTheSameHereAndInGdal) {
  const TempDir dir;
  const task::Shape shape = area::ParseShapeText(
      "MULTIPOLYGON(((116.3 39.8,116.5 39.8,116.45 40.0000001,116.3 39.8),(116.4 39.85,116.42 39.85,116.41 39.86,"
      "116.4 39.85)),((0.1 0.1,0.3 0.1,0.2 0.25,0.1 0.1)))",
      0);
  const std::string text = task::ShapeGeoJson(shape);
  EXPECT_EQ(task::ShapeFromGeoJson(text), shape);
  EXPECT_EQ(area::ReadVectorFileShape(Write(dir, "task_area.geojson", text), 0), shape);

  for (const char* broken : {"", "[]", R"({"type":"Polygon","coordinates":[[[1,1],[2,2]]]})",
                             R"({"type":"LineString","coordinates":[[1,1],[2,2]]})",
                             R"({"type":"Polygon","coordinates":[[[1,1],[2,"x"],[3,1]]]})"}) {
    EXPECT_EQ(task::ShapeFromGeoJson(broken), std::nullopt) << broken;
  }
}

}  // namespace
