// The metre grid of Web Mercator against the degrees of the same edges.
#include "core/task/TileGrid.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/task/Commonfunc.h"

namespace task {
namespace {

TEST(TileGrid, EdgesInMetresAreTheCoresEdgesInDegrees) {
  // The whole grid, and its middle, exactly.
  EXPECT_EQ(ColumnEdgeMetres(0, 1), -kGridHalfSpan);
  EXPECT_EQ(ColumnEdgeMetres(2, 1), kGridHalfSpan);
  EXPECT_EQ(RowEdgeMetres(1, 1), 0);
  EXPECT_EQ(RowEdgeMetres(2, 1), -kGridHalfSpan);
  EXPECT_DOUBLE_EQ(TileSpanMetres(21), 2 * kGridHalfSpan / (1 << 21));
  const auto transform = MercatorGeoTransform(TileRange{3, 5, 9, 7}, 4);
  EXPECT_EQ(transform[0], ColumnEdgeMetres(3, 4));
  EXPECT_EQ(transform[3], RowEdgeMetres(5, 4));
  EXPECT_EQ(transform[1], TileSpanMetres(4) / 256);
  EXPECT_EQ(transform[5], -transform[1]);
  EXPECT_EQ(transform[2], 0);
  EXPECT_EQ(transform[4], 0);

  std::mt19937 random(7);
  for (int i = 0; i < 2000; ++i) {
    const int32_t zoom = std::uniform_int_distribution<int32_t>(1, 21)(random);
    const int64_t last = (int64_t{1} << zoom);
    const int64_t x = std::uniform_int_distribution<int64_t>(0, last)(random);
    // Rows of the task's latitudes (+-85 degrees).
    const int64_t y = std::uniform_int_distribution<int64_t>(last / 64, last - last / 64)(random);
    SCOPED_TRACE("zoom " + std::to_string(zoom) + " tile " + std::to_string(x) + "," + std::to_string(y));
    EXPECT_NEAR(LongitudeOfEasting(ColumnEdgeMetres(x, zoom)),
                TileXToLongitude(static_cast<double>(x), zoom), 1e-9);
    EXPECT_NEAR(LatitudeOfNorthing(RowEdgeMetres(y, zoom)),
                TileYToLatitude(static_cast<double>(y), zoom), 1e-9);
  }
}

}  // namespace
}  // namespace task
