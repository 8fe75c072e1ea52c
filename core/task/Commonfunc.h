// Tile coordinate math of the spherical Web Mercator grid: 2^zoom x 2^zoom
// tiles, column 0 at 180 W, row 0 at the north edge. Pure functions, safe from
// any thread. The arithmetic is carried out in long double (the x87 extended
// type on x86-64), which decides on which side of a boundary a coordinate
// falls; results are truncated toward zero.
#pragma once

#include <cstdint>

namespace task {

inline constexpr int kMinZoom = 1;
inline constexpr int kMaxZoom = 21;

// zoom must lie in kMinZoom..kMaxZoom.
int32_t LongitudeToTileX(double longitude, int32_t zoom);
int32_t LatitudeToTileY(double latitude, int32_t zoom);
// The same positions before truncation, in tiles: their whole part is the
// tile above.
long double LongitudeToGridX(double longitude, int32_t zoom);
long double LatitudeToGridY(double latitude, int32_t zoom);
// West edge of column x.
double TileXToLongitude(double x, int32_t zoom);
// North edge of row y.
double TileYToLatitude(double y, int32_t zoom);

}  // namespace task
