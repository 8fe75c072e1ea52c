// An MBTiles database of a block of tiles: the downloaded JPEG streams as they
// are, other images encoded to JPEG, holes left out (a map client shows its
// background there). Rows in TMS order, metadata for a base layer of the
// task's zoom. Run on the combine's thread.
#pragma once

#include <string>

#include "combiner/GeoTiff.h"
#include "combiner/Holes.h"
#include "combiner/Progress.h"
#include "combiner/TaskTiles.h"
#include "core/task/TileRange.h"

namespace combiner {

// Writes the database at path (a temporary name); name is its metadata name.
// Throws Cancelled, platform::FileError.
TileTally WriteMbTiles(const std::string& path, const std::string& name, const task::TileRange& range,
                       const TaskTiles& tiles, HoleList& holes, Progress& progress, const std::string& stage);

}  // namespace combiner
