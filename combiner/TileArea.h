// Which tiles of a task go into the output, and how they are cut into sheets.
// Pure functions over values, safe from any thread.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "core/task/TileRange.h"
#include "core/task/Unitclasstask.h"

namespace combiner {

// An area that cannot be used; the text says why.
class AreaError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A part of a task as the user gives it: "tiles:MINX,MINY,MAXX,MAXY" (tile
// numbers, inclusive) or "lonlat:WEST,SOUTH,EAST,NORTH" (degrees).
struct DegreeBox {
  double West = 0, South = 0, East = 0, North = 0;
};
using AreaRequest = std::variant<task::TileRange, DegreeBox>;

// The outer edges of a block of tiles in degrees: the task's own tile math,
// so that they are the numbers of its extent list.
DegreeBox DegreesOf(const task::TileRange& range, int32_t zoom);

// Throws AreaError for text of neither form.
AreaRequest ParseArea(const std::string& text);

// The tiles of the request: those a box in degrees overlaps (a box edge on a
// tile edge leaves the tile beyond it out). Throws AreaError when they are
// not all tiles of the task.
task::TileRange ResolveArea(const AreaRequest& request, const task::MDTask& task);

// One sheet: a block of the area written as a file of its own.
struct Sheet {
  task::TileRange Range;
  std::string Path;
};

// Cuts area into sheets of at most tilesPerSide x tilesPerSide tiles, row by
// row from the north-west. One sheet is written to outputPath itself; more
// are named <name>_r<row>_c<column><extension>, counted from 1 and padded
// to one width so that they sort.
std::vector<Sheet> PlanSheets(const task::TileRange& area, int64_t tilesPerSide, const std::string& outputPath);

}  // namespace combiner
