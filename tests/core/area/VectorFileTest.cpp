// Vector files of every kind give the bounding box of their features, in
// longitude and latitude whatever their coordinate system; what is no vector
// file, or has no feature, is refused with why.
#include <gtest/gtest.h>

#include <gdal.h>
#include <gdal_utils.h>

#include <string>
#include <vector>

#include "core/area/VectorFile.h"
#include "tests/support/TempDir.h"

namespace {

using testsupport::TempDir;

// A polygon, a line and a point; their box is 116.25..116.5 by 39.75..40.
constexpr const char* kGeoJson = R"({"type":"FeatureCollection","features":[
 {"type":"Feature","properties":{"name":"park"},"geometry":{"type":"Polygon","coordinates":
   [[[116.3,39.8],[116.5,39.8],[116.5,40.0],[116.3,40.0],[116.3,39.8]]]}},
 {"type":"Feature","properties":{"name":"road"},"geometry":{"type":"LineString","coordinates":[[116.25,39.9],[116.4,39.75]]}},
 {"type":"Feature","properties":{"name":"well"},"geometry":{"type":"Point","coordinates":[116.45,39.95]}}]})";
const area::Area kBox{116.25, 39.75, 116.5, 40};

// ogr2ogr as a user would run it, through GDAL's own library.
void Translate(const std::string& from, const std::string& to, std::vector<std::string> options) {
  GDALAllRegister();
  std::vector<char*> argv;
  for (std::string& option : options) argv.push_back(option.data());
  argv.push_back(nullptr);
  GDALVectorTranslateOptions* parsed = GDALVectorTranslateOptionsNew(argv.data(), nullptr);
  GDALDatasetH source = GDALOpenEx(from.c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
  ASSERT_NE(source, nullptr);
  int failed = 0;
  GDALDatasetH written = GDALVectorTranslate(to.c_str(), nullptr, 1, &source, parsed, &failed);
  ASSERT_NE(written, nullptr);
  GDALClose(written);
  GDALClose(source);
  GDALVectorTranslateOptionsFree(parsed);
}

void ExpectBox(const area::Area& box, double tolerance, const std::string& what) {
  EXPECT_NEAR(box.West, kBox.West, tolerance) << what;
  EXPECT_NEAR(box.South, kBox.South, tolerance) << what;
  EXPECT_NEAR(box.East, kBox.East, tolerance) << what;
  EXPECT_NEAR(box.North, kBox.North, tolerance) << what;
}

TEST(VectorFile, EveryKindGivesTheBoxOfItsFeatures) {
  TempDir dir;
  const std::string geojson = dir.File("features.geojson");
  testsupport::WriteFileBytes(geojson, kGeoJson);
  testsupport::WriteFileBytes(dir.File("features.kml"), R"(<?xml version="1.0" encoding="UTF-8"?>
<kml xmlns="http://www.opengis.net/kml/2.2"><Document>
<Placemark><name>park</name><Polygon><outerBoundaryIs><LinearRing><coordinates>
116.3,39.8 116.5,39.8 116.5,40.0 116.3,40.0 116.3,39.8</coordinates></LinearRing></outerBoundaryIs></Polygon></Placemark>
<Placemark><name>road</name><LineString><coordinates>116.25,39.9 116.4,39.75</coordinates></LineString></Placemark>
</Document></kml>)");
  testsupport::WriteFileBytes(dir.File("track.gpx"), R"(<?xml version="1.0"?>
<gpx version="1.1" creator="test" xmlns="http://www.topografix.com/GPX/1/1">
<wpt lat="40.0" lon="116.5"><name>top</name></wpt>
<trk><name>walk</name><trkseg><trkpt lat="39.75" lon="116.25"/><trkpt lat="39.9" lon="116.3"/><trkpt lat="39.8" lon="116.4"/></trkseg></trk>
</gpx>)");
  Translate(geojson, dir.File("features.shp"), {"-f", "ESRI Shapefile", "-skipfailures"});
  Translate(geojson, dir.File("features.gpkg"), {"-f", "GPKG"});
  // Metres of a UTM zone: read back in degrees.
  Translate(geojson, dir.File("utm.gpkg"), {"-f", "GPKG", "-t_srs", "EPSG:32650"});

  for (const char* name : {"features.geojson", "features.kml", "track.gpx", "features.gpkg", "utm.gpkg"}) {
    const area::VectorShapes shapes = area::ReadVectorFile(dir.File(name));
    ExpectBox(shapes.Bounds, std::string(name) == "utm.gpkg" ? 1e-7 : 1e-12, name);
    EXPECT_FALSE(shapes.Lines.empty()) << name;
  }
  // A shapefile holds one kind of geometry: the polygon alone.
  const area::VectorShapes shapefile = area::ReadVectorFile(dir.File("features.shp"));
  EXPECT_EQ(shapefile.Features, 1);
  EXPECT_EQ(shapefile.Bounds, (area::Area{116.3, 39.8, 116.5, 40}));
  // The GPX track once, not again as its points; the waypoint as a point.
  const area::VectorShapes gpx = area::ReadVectorFile(dir.File("track.gpx"));
  EXPECT_EQ(gpx.Lines.size(), 1u);
  EXPECT_EQ(gpx.Points.size(), 1u);
  // Nothing kept for drawing beyond the bound, the box whole all the same.
  const area::VectorShapes bounded = area::ReadVectorFile(geojson, 3);
  EXPECT_TRUE(bounded.Truncated);
  ExpectBox(bounded.Bounds, 1e-12, "bounded");
  // Points alone, nothing kept (as the command line reads a file): their box.
  testsupport::WriteFileBytes(dir.File("wells.geojson"), R"({"type":"FeatureCollection","features":[
 {"type":"Feature","properties":{},"geometry":{"type":"Point","coordinates":[116.25,40]}},
 {"type":"Feature","properties":{},"geometry":{"type":"Point","coordinates":[116.5,39.75]}}]})");
  const area::VectorShapes wells = area::ReadVectorFile(dir.File("wells.geojson"), 0);
  ExpectBox(wells.Bounds, 0, "points alone");
  EXPECT_TRUE(wells.Points.empty());
}

TEST(VectorFile, WhatIsNoVectorFileOrHasNoFeatureIsRefusedWithWhy) {
  TempDir dir;
  testsupport::WriteFileBytes(dir.File("empty.geojson"), R"({"type":"FeatureCollection","features":[]})");
  testsupport::WriteFileBytes(dir.File("notes.kml"), "these are my notes");
  testsupport::WriteFileBytes(dir.File("tile.jpg"), "\xff\xd8\xff\xe0 not really");
  // Fiji's coast goes the short way round, over the 180th meridian.
  testsupport::WriteFileBytes(dir.File("fiji.geojson"), R"({"type":"Feature","properties":{},"geometry":
   {"type":"LineString","coordinates":[[179.6,-16.8],[-179.9,-16.2]]}})");
  const struct {
    std::string path;
    const char* says;
  } cases[] = {
      {dir.File("missing.geojson"), "Cannot open file "},
      {dir.File("empty.geojson"), ": no feature with a geometry"},
      {dir.File("notes.kml"), ": not a vector file that can be read"},
      {dir.File("tile.jpg"), ": not a vector file that can be read"},
      {dir.File("fiji.geojson"), ": its features cross the 180th meridian"},
  };
  for (const auto& c : cases) {
    try {
      area::ReadVectorFile(c.path);
      ADD_FAILURE() << c.path << " was read";
    } catch (const area::VectorFileError& error) {
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
      EXPECT_NE(std::string(error.what()).find(c.path), std::string::npos) << error.what();
    }
  }
}

}  // namespace
