// The tile grid in metres of Web Mercator (EPSG:3857): where the edges of a
// task's tiles lie, as a GeoTIFF or a world file states them. The degrees of
// the same edges come from the core's tile math (task/Commonfunc). Pure
// functions, safe from any thread.
#pragma once

#include <array>
#include <cstdint>

#include "core/task/TileRange.h"

namespace combiner {

inline constexpr int kTilePixels = 256;
inline constexpr int kWebMercatorEpsg = 3857;
inline constexpr int kWgs84Epsg = 4326;
// Half the width of the grid: pi * 6378137 m, the sphere's radius.
inline constexpr double kGridHalfSpan = 20037508.342789244;

// Width (and height) of one tile of zoom in metres.
double TileSpanMetres(int32_t zoom);
// Easting of the west edge of column x; northing of the north edge of row y.
double ColumnEdgeMetres(int64_t x, int32_t zoom);
double RowEdgeMetres(int64_t y, int32_t zoom);

// GDAL's affine geotransform of an image of the tiles of range: origin at
// the north-west corner of its first tile, square pixels, north up.
std::array<double, 6> MercatorGeoTransform(const task::TileRange& range, int32_t zoom);

// The inverse of the projection, for the corners of an image in metres.
double LongitudeOfEasting(double x);
double LatitudeOfNorthing(double y);

}  // namespace combiner
