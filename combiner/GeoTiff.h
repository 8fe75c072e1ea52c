// GeoTIFF files of a block of tiles, in Web Mercator, tiled 256 x 256 on the
// download grid. Tiles that are JPEG streams of the file's own kind are
// copied into it as they are (libtiff raw tile writes); all others are
// decoded and encoded (into the same file). Then, on the finished file, a
// mask over the holes and overviews (GDAL). Run on the combine's thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "combiner/Holes.h"
#include "combiner/JpegCodec.h"
#include "combiner/Progress.h"
#include "combiner/TaskTiles.h"
#include "core/task/TileRange.h"

namespace combiner {

enum class Compression { Jpeg, Deflate, None };

inline constexpr int kJpegQuality = 90;

// GDAL's name of a compression: "JPEG", "DEFLATE", "NONE".
const char* GdalCompressionName(Compression compress);

struct TiffSettings {
  Compression Compress = Compression::Jpeg;
  // With JPEG compression: the sampling of the tiles copied as they are;
  // nullopt encodes every tile through GDAL.
  std::optional<ChromaSampling> CopySampling;
  Rgb Fill;
};

// How the tiles of a file were written.
struct TileTally {
  int64_t Copied = 0;     // the downloaded bytes as they are
  int64_t Reencoded = 0;  // decoded and encoded
};

// True when a file of this many tiles, with overviews, may pass 4 GB.
bool NeedsBigTiff(int64_t tiles);

// Writes the tiles of range as a GeoTIFF at path (a temporary name). Holes
// get the fill colour, go to holes and, by their index in range, to spool.
// Throws Cancelled, GdalError, platform::FileError.
TileTally WriteTiles(const std::string& path, const task::TileRange& range, const TaskTiles& tiles,
                     const TiffSettings& settings, HoleList& holes, HoleSpool& spool, Progress& progress,
                     const std::string& stage);

// Adds to the GeoTIFF at path a mask that is 0 over the spooled holes of
// range and 255 elsewhere.
void AddHoleMask(const std::string& path, const task::TileRange& range, HoleSpool& spool, Progress& progress,
                 const std::string& stage);

// Adds overviews halving the size until it fits in one 256 x 256 block.
void BuildOverviews(const std::string& path, Progress& progress, const std::string& stage);

}  // namespace combiner
