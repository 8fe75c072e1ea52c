#include "core/task/TileGrid.h"

#include <cmath>
#include <numbers>

namespace task {

namespace {

constexpr double kEarthRadius = 6378137.0;
constexpr double kDegreesPerRadian = 180.0 / std::numbers::pi;

}  // namespace

double TileSpanMetres(int32_t zoom) { return 2 * kGridHalfSpan / std::ldexp(1.0, zoom); }

double ColumnEdgeMetres(int64_t x, int32_t zoom) {
  return -kGridHalfSpan + static_cast<double>(x) * TileSpanMetres(zoom);
}

double RowEdgeMetres(int64_t y, int32_t zoom) { return kGridHalfSpan - static_cast<double>(y) * TileSpanMetres(zoom); }

std::array<double, 6> MercatorGeoTransform(const task::TileRange& range, int32_t zoom) {
  const double pixel = TileSpanMetres(zoom) / kTileSize;
  return {ColumnEdgeMetres(range.MinX, zoom), pixel, 0, RowEdgeMetres(range.MinY, zoom), 0, -pixel};
}

double LongitudeOfEasting(double x) { return x / kEarthRadius * kDegreesPerRadian; }

double LatitudeOfNorthing(double y) { return std::atan(std::sinh(y / kEarthRadius)) * kDegreesPerRadian; }

}  // namespace task
