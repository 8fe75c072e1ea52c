#include "core/task/Commonfunc.h"

#include <cmath>

namespace task {

namespace {

// The grid's pi is the double value; only the arithmetic around it is extended.
constexpr long double kPi = 3.141592653589793;
// Reciprocals rounded to a 64-bit significand. Multiplying by them (instead of
// dividing) is what puts a longitude lying exactly on a column boundary into
// the western column for some boundaries (0, -90, 180 among them) and into the
// eastern one for the rest; the tile ranges of saved tasks depend on it.
constexpr long double kReciprocal360 = 1.0L / 360.0L;
constexpr long double kReciprocal180 = 1.0L / 180.0L;

// Tiles per row and column: 1 shifted left by zoom, then made floating point.
long double GridSize(int32_t zoom) {
  return static_cast<long double>(int64_t{1} << zoom);
}

int32_t Truncate(long double value) {
  return static_cast<int32_t>(std::trunc(value));
}

}  // namespace

long double LongitudeToGridX(double longitude, int32_t zoom) {
  long double v = static_cast<long double>(longitude) + 180.0L;
  v = v * kReciprocal360;
  return v * GridSize(zoom);
}

long double LatitudeToGridY(double latitude, int32_t zoom) {
  const double radians = static_cast<double>(static_cast<long double>(latitude) * kPi * kReciprocal180);
  const long double s = std::sin(static_cast<long double>(radians));
  const double quotient = static_cast<double>((1.0L + s) / (1.0L - s));
  const double m = static_cast<double>(0.5L * std::log(static_cast<long double>(quotient)));
  return (1.0L - m / kPi) * 0.5L * GridSize(zoom);
}

int32_t LongitudeToTileX(double longitude, int32_t zoom) {
  return Truncate(LongitudeToGridX(longitude, zoom));
}

int32_t LatitudeToTileY(double latitude, int32_t zoom) {
  return Truncate(LatitudeToGridY(latitude, zoom));
}

double TileXToLongitude(double x, int32_t zoom) {
  return static_cast<double>(360.0L * static_cast<long double>(x) / GridSize(zoom) - 180.0L);
}

double TileYToLatitude(double y, int32_t zoom) {
  const double t = static_cast<double>(2.0L * kPi - 4.0L * kPi * static_cast<long double>(y) / GridSize(zoom));
  const double r = static_cast<double>(std::exp(static_cast<long double>(t)));
  const double quotient = static_cast<double>((static_cast<long double>(r) - 1.0L) / (static_cast<long double>(r) + 1.0L));
  const double arc = static_cast<double>(std::asin(static_cast<long double>(quotient)));
  return static_cast<double>(static_cast<long double>(arc) * 180.0L / kPi);
}

}  // namespace task
