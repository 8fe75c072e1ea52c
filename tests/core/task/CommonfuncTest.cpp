#include "core/task/Commonfunc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

namespace task {
namespace {

struct LongitudeCase {
  double longitude;
  int32_t zoom;
  int32_t column;
};

struct LatitudeCase {
  double latitude;
  int32_t zoom;
  int32_t row;
};

TEST(LongitudeToTileX, KnownColumns) {
  const LongitudeCase cases[] = {
      // The worked rectangle at zoom 13.
      {116.3, 13, 6742},
      {116.5, 13, 6747},
      // Further places.
      {151.2, 16, 60293},
      {151.21, 16, 60294},
      {-0.2, 13, 4091},
      {0.2, 13, 4100},
      // Exact boundaries that fall into the western column.
      {0.0, 13, 4095},
      {0.0, 21, 1048575},
      {0.0, 1, 0},
      {-90.0, 13, 2047},
      {180.0, 13, 8191},
      {180.0, 1, 1},
      // Exact boundaries that fall into the eastern column.
      {90.0, 13, 6144},
      {151.171875, 13, 7536},
  };
  for (const LongitudeCase& c : cases) {
    EXPECT_EQ(LongitudeToTileX(c.longitude, c.zoom), c.column) << c.longitude << " at zoom " << c.zoom;
  }
}

TEST(LongitudeToTileX, WorldEdgesAtEveryZoom) {
  for (int32_t zoom = kMinZoom; zoom <= kMaxZoom; ++zoom) {
    const int32_t n = int32_t{1} << zoom;
    EXPECT_EQ(LongitudeToTileX(-180.0, zoom), 0) << zoom;
    EXPECT_EQ(LongitudeToTileX(180.0, zoom), n - 1) << zoom;
    EXPECT_EQ(LongitudeToTileX(0.0, zoom), n / 2 - 1) << zoom;
  }
}

// Which boundaries land in the western column is decided by the rounded
// reciprocal of 360; a division would put every boundary into the eastern one.
TEST(LongitudeToTileX, WesternBoundariesAtZoom13) {
  int western = 0;
  for (int32_t x = 1; x <= 8192; ++x) {
    const int32_t column = LongitudeToTileX(TileXToLongitude(x, 13), 13);
    ASSERT_TRUE(column == x || column == x - 1) << x;
    if (column == x - 1) ++western;
  }
  EXPECT_EQ(western, 971);
}

TEST(LatitudeToTileY, KnownRows) {
  const LatitudeCase cases[] = {
      {40.0, 13, 3101}, {39.8, 13, 3107},  {-33.85, 16, 39323}, {-33.86, 16, 39325}, {51.6, 13, 2720},
      {51.4, 13, 2727}, {0.0, 13, 4096},   {85.0, 13, 13},      {85.0, 21, 3434},    {-85.0, 13, 8178},
  };
  for (const LatitudeCase& c : cases) {
    EXPECT_EQ(LatitudeToTileY(c.latitude, c.zoom), c.row) << c.latitude << " at zoom " << c.zoom;
  }
}

TEST(TileXToLongitude, WestEdges) {
  EXPECT_EQ(TileXToLongitude(6742, 13), 116.279296875);
  EXPECT_EQ(TileXToLongitude(6748, 13), 116.54296875);
  EXPECT_EQ(TileXToLongitude(6144, 13), 90.0);
  for (int32_t zoom = kMinZoom; zoom <= kMaxZoom; ++zoom) {
    const double n = static_cast<double>(int64_t{1} << zoom);
    EXPECT_EQ(TileXToLongitude(0, zoom), -180.0) << zoom;
    EXPECT_EQ(TileXToLongitude(n, zoom), 180.0) << zoom;
    EXPECT_EQ(TileXToLongitude(n / 2, zoom), 0.0) << zoom;
  }
}

TEST(TileYToLatitude, NorthEdges) {
  EXPECT_NEAR(TileYToLatitude(3101, 13), 40.0107871404655, 5e-14);
  EXPECT_NEAR(TileYToLatitude(3108, 13), 39.7747694852955, 5e-14);
  EXPECT_EQ(TileYToLatitude(4096, 13), 0.0);
  EXPECT_NEAR(TileYToLatitude(0, 13), 85.0511287798, 1e-10);
  EXPECT_NEAR(TileYToLatitude(8192, 13), -85.0511287798, 1e-10);
  EXPECT_NEAR(TileYToLatitude(0, 21), 85.0511287798, 1e-10);
}

// The midpoint of a tile's two edges maps back to that tile.
TEST(TileMath, RandomRoundTrips) {
  std::mt19937 random(20240521);
  std::uniform_int_distribution<int32_t> zooms(kMinZoom, kMaxZoom);
  for (int i = 0; i < 20000; ++i) {
    const int32_t zoom = zooms(random);
    const int32_t n = int32_t{1} << zoom;
    const int32_t tile = std::uniform_int_distribution<int32_t>(0, n - 1)(random);

    const double midLongitude = (TileXToLongitude(tile, zoom) + TileXToLongitude(tile + 1.0, zoom)) / 2;
    ASSERT_EQ(LongitudeToTileX(midLongitude, zoom), tile) << "zoom " << zoom;

    const double north = TileYToLatitude(tile, zoom);
    const double south = TileYToLatitude(tile + 1.0, zoom);
    ASSERT_GT(north, south);
    ASSERT_EQ(LatitudeToTileY((north + south) / 2, zoom), tile) << "zoom " << zoom;
  }
}

}  // namespace
}  // namespace task
