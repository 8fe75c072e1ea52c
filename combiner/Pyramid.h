// The tiles of a block of the task, read on every core, handed to a format in
// row order, and with them the levels of a pyramid above them: each level
// half the size of the one below, its first level from libjpeg's half-size
// decodes of the downloaded JPEGs, each further level from the one before,
// every pixel the mean of 2 x 2 below it (GDAL's average resampling). A level
// that a job's shallower task downloaded takes that task's tiles instead and
// is not computed, but where a tile of it is a hole; the levels above it are
// built from it. Memory holds one row of tiles per level. Run on the
// combine's thread; the format's encoders run on the worker threads.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "combiner/Holes.h"
#include "combiner/JpegCodec.h"
#include "combiner/Progress.h"
#include "combiner/TileReader.h"
#include "core/task/TileRange.h"

namespace combiner {

// How the tiles of a file were written.
struct TileTally {
  int64_t Copied = 0;     // the downloaded bytes as they are
  int64_t Reencoded = 0;  // decoded and encoded
  int64_t Holes = 0;
  // Tiles of the box outside a shaped task's shape: masked as holes are, but
  // no holes (nothing to fetch) and not listed.
  int64_t Outside = 0;
  int64_t Masked() const { return Holes + Outside; }
  // Tiles of levels above the task's taken as a job's shallower tasks
  // downloaded them (not computed).
  int64_t FromDownloadedLevels = 0;
};

// What a format does with the tiles. Columns and rows count in the
// pyramid's grid: a level's tile (c, r) covers the tiles (2c..2c+1,
// 2r..2r+1) of the level below.
class PyramidOutput {
 public:
  virtual ~PyramidOutput() = default;
  // Worker threads: the bytes of a tile of the task (as downloaded when
  // keepAsIs took them, else encoded from its pixels; anything for a hole).
  virtual std::string EncodeBase(TileContent& tile) const = 0;
  // Worker threads: the bytes of a tile of a level above. cover is empty when
  // the tile lies wholly on tiles with data; else one byte a pixel, 255 where
  // it does, 0 where it lies on holes or outside the task (the fill colour
  // there), between at the edges.
  virtual std::string EncodeLevel(const Pixels& tile, const Pixels& cover) const = 0;
  // The combine's thread, in row order.
  virtual void PutBase(int64_t column, int64_t row, const TileContent& tile, std::string bytes) = 0;
  // The combine's thread, in row order of each level (1 the first above the
  // task's). Without data (every tile below it a hole, or outside the task)
  // the bytes are empty and the tile is the fill colour. downloaded: the
  // tile is a job's downloaded one, its bytes EncodeBase's (its cover whole).
  virtual void PutLevel(int level, int64_t column, int64_t row, bool hasData, bool downloaded, std::string bytes) = 0;
};

struct PyramidPlan {
  task::TileRange Range;  // the task's tiles to read
  // The task's tile (x, y) is the pyramid's (x - OriginX, y - OriginY): the
  // image's own corner for overviews, 0 for a web map's tile grid.
  int64_t OriginX = 0;
  int64_t OriginY = 0;
  int Levels = 0;  // above the task's tiles
  Rgb Fill;
  std::function<bool(const JpegLayout&)> KeepAsIs;  // for the downloaded levels too
  // The levels a job downloaded: Downloaded[level - 1], where there and not
  // null, holds the tiles of that level, the pyramid's tile (c, r) being its
  // tile (c + (OriginX >> level), r + (OriginY >> level)). The format passes
  // only levels whose grid maps onto the pyramid's so (for a pyramid with its
  // own corner: OriginX and OriginY multiples of 2^level). Nothing below a
  // tile the census counts as downloaded is computed for it: should its
  // stream not decode after all, it is a hole of that level.
  std::vector<const TileReader*> Downloaded;
};

// Reads every tile of plan.Range, puts it and the levels above it to output,
// and the holes to holes. Progress under stage by the task's tiles.
// Throws Cancelled, and whatever output throws.
TileTally BuildPyramid(const TileReader& tiles, const PyramidPlan& plan, PyramidOutput& output, HoleList& holes,
                       Progress& progress, const std::string& stage);

// The largest zoom at which the tiles of range (at zoom) lie in one tile.
int32_t ZoomHoldingInOneTile(const task::TileRange& range, int32_t zoom);

}  // namespace combiner
