// The tiled outputs that map programs read as a web map's tile grid: an
// MBTiles or a GeoPackage database of a block of tiles. The task's zoom holds
// the downloaded JPEG streams as they are (other images encoded to JPEG);
// every zoom below it down to a minimum is built as a pyramid (Pyramid.h), or
// taken from the task of a job that downloaded that zoom.
// Holes are left out (a map program shows its background there); a tile of a
// lower zoom that is partly hole or partly outside the block is a PNG, clear
// there. Run on the combine's thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "combiner/Holes.h"
#include "combiner/JpegCodec.h"
#include "combiner/Progress.h"
#include "combiner/Pyramid.h"
#include "combiner/TileReader.h"
#include "core/task/TileRange.h"

namespace combiner {

enum class TileDatabaseKind {
  MbTiles,     // rows in TMS order, metadata for a base layer
  GeoPackage,  // OGC GeoPackage tiles in EPSG:3857, rows from the north
};

struct TileDatabaseSettings {
  TileDatabaseKind Kind = TileDatabaseKind::MbTiles;
  std::string Name;     // the metadata's name
  int32_t MinZoom = 0;  // the task's zoom at most
  Rgb Fill;
  // The tasks of a job's shallower zooms: where one has a tile, the database
  // holds that tile as downloaded in place of the one computed from the
  // deepest level; where it has a hole, the computed one stands in.
  std::vector<const TileReader*> Downloaded;
};

// Writes the database at path (a temporary name). Throws Cancelled,
// platform::FileError, GdalError.
TileTally WriteTileDatabase(const std::string& path, const task::TileRange& range, const TileReader& tiles,
                            const TileDatabaseSettings& settings, HoleList& holes, Progress& progress,
                            const std::string& stage);

}  // namespace combiner
