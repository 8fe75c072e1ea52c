// The features of a vector file (GeoJSON, KML, GPX, Shapefile, GeoPackage
// and whatever else GDAL/OGR reads) in longitude and latitude: their
// bounding box becomes a task's area, their outlines are drawn on the map.
// Any thread; no state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/area/Area.h"
#include "core/task/TileShape.h"

namespace area {

struct LonLat {
  double Lon = 0;
  double Lat = 0;
};

struct VectorShapes {
  Area Bounds;  // of every vertex of every feature
  // Lines and the rings of polygons (a ring ends where it starts), and points.
  std::vector<std::vector<LonLat>> Lines;
  std::vector<LonLat> Points;
  int64_t Features = 0;
  // More vertices than were kept for drawing: the outlines are cut short, the
  // bounds are whole.
  bool Truncated = false;
};

class VectorFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Enough to draw the outlines of a county's parcels, bounded so that a huge
// file cannot take the memory.
inline constexpr std::size_t kMaxKeptVertices = 500000;

// Reads every layer of the file at path (GPX's track and route points, which
// repeat its tracks and routes, left out), reprojected to WGS 84 where the
// layer has another coordinate system. Throws VectorFileError naming the file
// and why: not readable, no vector data GDAL knows, no feature with a geometry,
// a line or ring that crosses the 180th meridian (its box would span the world).
VectorShapes ReadVectorFile(const std::string& path, std::size_t maxKeptVertices = kMaxKeptVertices);

// The file's polygons, whole, as a task's shape, grown by marginMetres on
// every side (0 or less: as they are). Lines and points have no inside: they
// become part of the shape only with a margin (a corridor along a road or a
// river, a circle round a site). Throws VectorFileError as ReadVectorFile
// does, and when nothing of the file would have a tile.
task::Shape ReadVectorFileShape(const std::string& path, double marginMetres);

// A shape pasted as text: GeoJSON (a geometry, a feature or a collection) or
// WKT, in longitude and latitude, grown as ReadVectorFileShape grows a file's.
// Throws VectorFileError saying what was expected.
task::Shape ParseShapeText(std::string_view text, double marginMetres);

}  // namespace area
