// The tiles of a shape, row by row, against a tile-by-tile test that clips
// every edge to every tile of the box: the two must agree on every tile.
#include "core/task/TileShape.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <string>

#include "core/task/Commonfunc.h"

namespace task {
namespace {

struct Point {
  long double X;
  long double Y;
};

Point ToGrid(const LonLatPoint& p, int32_t zoom) {
  return {LongitudeToGridX(p.Lon, zoom), LatitudeToGridY(p.Lat, zoom)};
}

// Does segment a-b meet the half-open tile [c, c+1) x [r, r+1)? Clip it to
// the closed square (Liang-Barsky); what is left misses the half-open tile
// only when it lies wholly on the east or the south boundary.
bool SegmentMeetsTile(Point a, Point b, int32_t c, int32_t r) {
  long double t0 = 0, t1 = 1;
  const long double dx = b.X - a.X, dy = b.Y - a.Y;
  const long double p[4] = {-dx, dx, -dy, dy};
  const long double q[4] = {a.X - c, c + 1 - a.X, a.Y - r, r + 1 - a.Y};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const long double t = q[i] / p[i];
    if (p[i] < 0) t0 = std::max(t0, t);
    else t1 = std::min(t1, t);
  }
  if (t0 > t1) return false;
  const Point s{a.X + t0 * dx, a.Y + t0 * dy}, e{a.X + t1 * dx, a.Y + t1 * dy};
  const bool onEast = s.X >= c + 1 && e.X >= c + 1;
  const bool onSouth = s.Y >= r + 1 && e.Y >= r + 1;
  return !onEast && !onSouth;
}

bool InsideRings(const std::vector<std::vector<Point>>& rings, Point p) {
  bool inside = false;
  for (const auto& ring : rings) {
    for (std::size_t i = 0, n = ring.size(); i < n; ++i) {
      const Point a = ring[i], b = ring[(i + 1) % n];
      if ((a.Y > p.Y) != (b.Y > p.Y) && p.X < a.X + (p.Y - a.Y) * (b.X - a.X) / (b.Y - a.Y)) inside = !inside;
    }
  }
  return inside;
}

// The tile is the shape's when an edge meets it or its middle lies inside.
bool OracleContains(const Shape& shape, int32_t zoom, int32_t c, int32_t r) {
  for (const ShapePolygon& polygon : shape.Polygons) {
    std::vector<std::vector<Point>> rings;
    rings.emplace_back();
    for (const LonLatPoint& p : polygon.Outer) rings.back().push_back(ToGrid(p, zoom));
    for (const Ring& hole : polygon.Holes) {
      rings.emplace_back();
      for (const LonLatPoint& p : hole) rings.back().push_back(ToGrid(p, zoom));
    }
    for (const auto& ring : rings) {
      for (std::size_t i = 0, n = ring.size(); i < n; ++i) {
        if (SegmentMeetsTile(ring[i], ring[(i + 1) % n], c, r)) return true;
      }
    }
    if (InsideRings(rings, {c + 0.5L, r + 0.5L})) return true;
  }
  return false;
}

void ExpectAgreesWithOracle(const Shape& shape, int32_t zoom, const std::string& name) {
  SCOPED_TRACE(name + " at zoom " + std::to_string(zoom));
  const TileShape tiles(shape, zoom);
  const TileRange& box = tiles.Bounds();
  int64_t count = 0;
  int mismatches = 0;
  for (int32_t y = box.MinY; y <= box.MaxY; ++y) {
    for (int32_t x = box.MinX; x <= box.MaxX; ++x) {
      const bool expected = OracleContains(shape, zoom, x, y);
      count += expected;
      if (tiles.Contains(x, y) != expected && ++mismatches <= 5) {
        ADD_FAILURE() << "tile " << x << "," << y << ": scanline says " << tiles.Contains(x, y);
      }
    }
  }
  EXPECT_EQ(tiles.Count(), count);
  EXPECT_GT(count, 0);
  // Within a narrower rectangle (a task's box cut by the user, a part's band
  // of rows): the tiles of both, and beyond the shape's box none.
  const TileRange inner{box.MinX + static_cast<int32_t>(box.Columns() / 3), box.MinY + static_cast<int32_t>(box.Rows() / 4),
                        box.MaxX, box.MinY + static_cast<int32_t>(box.Rows() / 2)};
  int64_t inside = 0;
  for (int32_t y = inner.MinY; y <= inner.MaxY; ++y) {
    for (int32_t x = inner.MinX; x <= inner.MaxX; ++x) inside += tiles.Contains(x, y);
  }
  EXPECT_EQ(tiles.CountWithin(inner), inside);
  EXPECT_EQ(tiles.CountWithin(TileRange{box.MaxX + 1, box.MinY, box.MaxX + 9, box.MaxY}), 0);
}

Ring Box(double west, double south, double east, double north) {
  return {{west, south}, {east, south}, {east, north}, {west, north}};
}

// A star-shaped ring of n points around a centre, radii between r0 and r1
// degrees.
Ring RandomStar(std::mt19937& random, LonLatPoint centre, double r0, double r1, int n) {
  std::uniform_real_distribution<double> radius(r0, r1);
  Ring ring;
  for (int i = 0; i < n; ++i) {
    const double angle = 2 * std::numbers::pi * i / n;
    const double r = radius(random);
    ring.push_back({centre.Lon + r * std::cos(angle), centre.Lat + r * std::sin(angle)});
  }
  return ring;
}

// A band of width w degrees along a polyline: its two sides joined at the
// ends (a river or a road as a user draws it).
Ring Corridor(const std::vector<LonLatPoint>& line, double w) {
  Ring left, right;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const LonLatPoint& a = line[std::min(i, line.size() - 2)];
    const LonLatPoint& b = line[std::min(i, line.size() - 2) + 1];
    const double dx = b.Lon - a.Lon, dy = b.Lat - a.Lat, len = std::hypot(dx, dy);
    left.push_back({line[i].Lon - dy / len * w / 2, line[i].Lat + dx / len * w / 2});
    right.push_back({line[i].Lon + dy / len * w / 2, line[i].Lat - dx / len * w / 2});
  }
  left.insert(left.end(), right.rbegin(), right.rend());
  return left;
}

TEST(TileShape, ShapesOfEveryKindAgreeWithATileByTileTest) {
  const double tile12 = 360.0 / 4096;  // a tile's width in degrees at zoom 12
  struct Case {
    std::string Name;
    Shape Value;
    int32_t Zoom;
  };
  std::vector<Case> cases = {
      {"a box", {{{Box(116.3, 39.8, 116.5, 40.0), {}}}}, 12},
      {"a triangle", {{{{{116.3, 39.8}, {116.5, 39.85}, {116.35, 40.0}}, {}}}}, 13},
      {"a square with a square hole",
       {{{Box(10.0, 50.0, 10.4, 50.3), {Box(10.1, 50.1, 10.3, 50.2)}}}}, 12},
      {"two parts that overlap", {{{Box(0.1, 0.1, 0.4, 0.4), {}}, {Box(0.3, 0.3, 0.6, 0.5), {}}}}, 11},
      {"two parts far apart", {{{Box(5.01, 45.01, 5.05, 45.03), {}}, {Box(5.5, 45.2, 5.52, 45.21), {}}}}, 12},
      {"smaller than a tile", {{{Box(2.30001, 48.85001, 2.30002, 48.85002), {}}}}, 12},
      {"a line of no width", {{{{{2.3, 48.8}, {2.9, 48.3}}, {}}}}, 12},
      {"a corner that only grazes a tile",
       {{{{{4 * tile12 + 1e-7, 10.0}, {4.5 * tile12, 10.3}, {4 * tile12 + 1e-7, 10.6}, {3.9 * tile12, 10.3}}, {}}}}, 12},
      {"a thin diagonal corridor",
       {{{Corridor({{-3.0, 52.0}, {-2.2, 52.6}, {-1.4, 53.0}, {-0.9, 53.9}}, 0.004), {}}}}, 12},
      {"a corridor at a shallow angle", {{{Corridor({{30.0, 10.0}, {31.5, 10.05}}, 0.001), {}}}}, 13},
  };
  // A vertex exactly on a tile corner (the equator is a row boundary; find a
  // column boundary that the grid math meets exactly): the edge arriving
  // from the north-west touches the corner's tile only, not the one above it.
  int32_t k = 2100;
  while (LongitudeToGridX(TileXToLongitude(k, 12), 12) != k) ++k;
  const double cornerLon = TileXToLongitude(k, 12);
  cases.push_back({"an edge ending on a tile corner",
                   {{{{{cornerLon, 0.0}, {cornerLon - 0.3, 0.2}, {cornerLon - 0.35, -0.2}}, {}}}}, 12});
  std::mt19937 random(2026);
  for (int i = 0; i < 40; ++i) {
    const LonLatPoint centre{std::uniform_real_distribution<double>(-170, 170)(random),
                             std::uniform_real_distribution<double>(-70, 70)(random)};
    ShapePolygon polygon{RandomStar(random, centre, 0.05, 0.6, 5 + i), {}};
    if (i % 3 == 0) polygon.Holes.push_back(RandomStar(random, centre, 0.01, 0.04, 7));
    cases.push_back({"random star " + std::to_string(i), {{polygon}}, 9 + i % 4});
  }
  for (const Case& c : cases) ExpectAgreesWithOracle(c.Value, c.Zoom, c.Name);
}

TEST(TileShape, ABoxShapeHasExactlyTheTilesOfItsRectangle) {
  // Edges on tile boundaries are where the two rules could part: the east and
  // south edges take the tiles beyond them, as the rectangle rule does.
  const int32_t zoom = 10;
  const double west = TileXToLongitude(500, zoom), east = TileXToLongitude(506, zoom);
  const double north = TileYToLatitude(300, zoom), south = TileYToLatitude(304, zoom);
  for (const Ring& ring : {Box(west, south, east, north), Box(west + 0.01, south + 0.01, east - 0.01, north - 0.01)}) {
    const TileShape tiles(Shape{{{ring, {}}}}, zoom);
    EXPECT_EQ(tiles.Count(), tiles.Bounds().Count());
    EXPECT_EQ(tiles.Bounds().MinX, LongitudeToTileX(ring[0].Lon, zoom));
    EXPECT_EQ(tiles.Bounds().MaxY, LatitudeToTileY(ring[0].Lat, zoom));
  }
}

TEST(TileShape, TheInsideOfAHoleIsNotTheShapes) {
  const TileShape tiles(Shape{{{Box(10.0, 50.0, 10.4, 50.3), {Box(10.1, 50.1, 10.3, 50.2)}}}}, 12);
  const int32_t x = LongitudeToTileX(10.2, 12), y = LatitudeToTileY(50.15, 12);
  EXPECT_FALSE(tiles.Contains(x, y));
  EXPECT_TRUE(tiles.Contains(LongitudeToTileX(10.1, 12), y));  // the hole's rim
  EXPECT_TRUE(tiles.Contains(LongitudeToTileX(10.05, 12), y));
  EXPECT_LT(tiles.Count(), tiles.Bounds().Count());
  EXPECT_TRUE(tiles.Row(tiles.Bounds().MaxY + 1).empty());
}

}  // namespace
}  // namespace task
