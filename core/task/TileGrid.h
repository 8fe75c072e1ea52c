// The square tile grid of Web Mercator (EPSG:3857) in pixels and in metres,
// beside the degrees of the same edges (Commonfunc): where a tile's edges lie
// as a georeferenced image or a world file states them. Pure functions over
// plain values; any thread.
#pragma once

#include <array>
#include <cstdint>

#include "core/task/TileRange.h"

namespace task {

// Pixels a side of every tile of the grid.
inline constexpr int kTileSize = 256;

inline constexpr int kWebMercatorEpsg = 3857;
inline constexpr int kWgs84Epsg = 4326;
// Half the width of the grid: pi * 6378137 m, the sphere's radius.
inline constexpr double kGridHalfSpan = 20037508.342789244;

// Width (and height) of one tile of zoom in metres.
double TileSpanMetres(int32_t zoom);
// Easting of the west edge of column x; northing of the north edge of row y.
double ColumnEdgeMetres(int64_t x, int32_t zoom);
double RowEdgeMetres(int64_t y, int32_t zoom);

// The affine transform of an image of the tiles of range, as GDAL states it:
// origin at the north-west corner of its first tile, square pixels, north up.
std::array<double, 6> MercatorGeoTransform(const TileRange& range, int32_t zoom);

// The inverse of the projection, for the corners of an image in metres.
double LongitudeOfEasting(double x);
double LatitudeOfNorthing(double y);

}  // namespace task
