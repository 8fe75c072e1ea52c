// The tile grid in metres against the core's degrees, the area of a task the
// user asks for, and the cut into sheets.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "combiner/TileArea.h"
#include "core/task/Commonfunc.h"
#include "tests/combiner/SyntheticTask.h"

namespace {

using combiner::AreaError;
using task::TileRange;

TEST(TileArea, ParsesTilesAndDegreesAndRefusesTheRest) {
  const auto tiles = combiner::ParseArea("tiles:10,20,11,23");
  ASSERT_TRUE(std::holds_alternative<TileRange>(tiles));
  EXPECT_EQ(std::get<TileRange>(tiles).MinX, 10);
  EXPECT_EQ(std::get<TileRange>(tiles).MinY, 20);
  EXPECT_EQ(std::get<TileRange>(tiles).MaxX, 11);
  EXPECT_EQ(std::get<TileRange>(tiles).MaxY, 23);
  const auto box = combiner::ParseArea("lonlat:116.3,39.8,116.5,40");
  ASSERT_TRUE(std::holds_alternative<combiner::DegreeBox>(box));
  EXPECT_EQ(std::get<combiner::DegreeBox>(box).West, 116.3);
  EXPECT_EQ(std::get<combiner::DegreeBox>(box).South, 39.8);
  EXPECT_EQ(std::get<combiner::DegreeBox>(box).East, 116.5);
  EXPECT_EQ(std::get<combiner::DegreeBox>(box).North, 40);

  for (const char* wrong : {"", "10,20,11,23", "tiles:10,20,11", "tiles:10,20,11,23,4", "tiles:1,2,x,4",
                            "tiles:11,20,10,23", "tiles:-1,0,1,1", "lonlat:116.5,39.8,116.3,40",
                            "lonlat:116.3,40,116.5,39.8", "lonlat:1,2,3", "lonlat:-181,0,1,1", "lonlat:0,0,1,86",
                            "lonlat:1,2,3,4x", "box:1,2,3,4"}) {
    EXPECT_THROW(combiner::ParseArea(wrong), AreaError) << wrong;
  }
}

TEST(TileArea, ResolvesInsideTheTaskOnly) {
  testsupport::TempDir dir;
  combinertest::SyntheticTask synthetic(dir.Path(), 6, 4);
  const task::MDTask& task = synthetic.Task();
  const TileRange all = task.Range();
  const auto west = [&](int32_t x) { return task::TileXToLongitude(x, 13); };
  const auto north = [&](int32_t y) { return task::TileYToLatitude(y, 13); };
  const auto middle = [](double a, double b) { return (a + b) / 2; };
  struct Case {
    combiner::AreaRequest Request;
    TileRange Expected;
  };
  const Case cases[] = {
      {TileRange{all.MinX + 1, all.MinY, all.MaxX, all.MinY + 1}, TileRange{all.MinX + 1, all.MinY, all.MaxX, all.MinY + 1}},
      // A box on tile edges takes the tiles inside it only.
      {combiner::DegreeBox{west(all.MinX + 1), north(all.MinY + 3), west(all.MinX + 3), north(all.MinY + 1)},
       TileRange{all.MinX + 1, all.MinY + 1, all.MinX + 2, all.MinY + 2}},
      // A box cutting through tiles takes every tile it touches.
      {combiner::DegreeBox{middle(west(all.MinX), west(all.MinX + 1)), middle(north(all.MinY + 1), north(all.MinY + 2)),
                           middle(west(all.MinX + 1), west(all.MinX + 2)), middle(north(all.MinY), north(all.MinY + 1))},
       TileRange{all.MinX, all.MinY, all.MinX + 1, all.MinY + 1}},
  };
  for (const Case& c : cases) {
    const TileRange resolved = combiner::ResolveArea(c.Request, task);
    EXPECT_EQ(resolved.MinX, c.Expected.MinX);
    EXPECT_EQ(resolved.MinY, c.Expected.MinY);
    EXPECT_EQ(resolved.MaxX, c.Expected.MaxX);
    EXPECT_EQ(resolved.MaxY, c.Expected.MaxY);
  }
  EXPECT_THROW(combiner::ResolveArea(TileRange{all.MinX, all.MinY, all.MaxX + 1, all.MaxY}, task), AreaError);
  EXPECT_THROW(combiner::ResolveArea(combiner::DegreeBox{west(all.MinX) - 0.01, north(all.MaxY), west(all.MaxX),
                                                         north(all.MinY)},
                                     task),
               AreaError);
}

TEST(TileArea, SheetsCoverTheAreaOnceAndAreNamedInOrder) {
  const TileRange area{100, 200, 106, 203};  // 7 x 4 tiles
  struct Case {
    int64_t TilesPerSide;
    std::vector<std::string> Names;
  };
  const Case cases[] = {
      {7, {"/out/map.tif"}},
      {100, {"/out/map.tif"}},
      {4, {"/out/map_r1_c1.tif", "/out/map_r1_c2.tif"}},
      {3, {"/out/map_r1_c1.tif", "/out/map_r1_c2.tif", "/out/map_r1_c3.tif", "/out/map_r2_c1.tif",
           "/out/map_r2_c2.tif", "/out/map_r2_c3.tif"}},
  };
  for (const Case& c : cases) {
    const std::vector<combiner::Sheet> sheets = combiner::PlanSheets(area, c.TilesPerSide, "/out/map.tif");
    std::vector<std::string> names;
    std::map<std::pair<int32_t, int32_t>, int> covered;
    for (const combiner::Sheet& sheet : sheets) {
      names.push_back(sheet.Path);
      EXPECT_LE(sheet.Range.Columns(), c.TilesPerSide);
      EXPECT_LE(sheet.Range.Rows(), c.TilesPerSide);
      for (int32_t y = sheet.Range.MinY; y <= sheet.Range.MaxY; ++y) {
        for (int32_t x = sheet.Range.MinX; x <= sheet.Range.MaxX; ++x) ++covered[{x, y}];
      }
    }
    EXPECT_EQ(names, c.Names);
    EXPECT_EQ(static_cast<int64_t>(covered.size()), area.Count());
    for (const auto& [tile, count] : covered) {
      EXPECT_TRUE(area.Contains(tile.first, tile.second));
      EXPECT_EQ(count, 1);
    }
  }
  // Ten rows of sheets sort as text too.
  const auto many = combiner::PlanSheets(TileRange{0, 0, 0, 9}, 1, "map.png");
  EXPECT_EQ(many.front().Path, "map_r01_c1.png");
  EXPECT_EQ(many.back().Path, "map_r10_c1.png");
}

}  // namespace
