// GeoTIFF files of a block of tiles, in Web Mercator, tiled 256 x 256 on the
// download grid, written with libtiff image by image: the tiles (JPEG streams
// of the file's own kind copied as they are, all others encoded on the worker
// threads), then the overviews (see Pyramid.h; a job's downloaded levels where
// they line up), then a mask over the holes and its overviews, as GDAL lays
// out an internal mask. Run on the combine's thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "combiner/Holes.h"
#include "combiner/JpegCodec.h"
#include "combiner/PendingFiles.h"
#include "combiner/Progress.h"
#include "combiner/Pyramid.h"
#include "combiner/TileReader.h"
#include "core/task/TileRange.h"

namespace combiner {

enum class Compression { Jpeg, Deflate, None };

inline constexpr int kJpegQuality = 90;

// GDAL's name of a compression: "JPEG", "DEFLATE", "NONE".
const char* GdalCompressionName(Compression compress);

struct TiffSettings {
  Compression Compress = Compression::Jpeg;
  // With JPEG compression: the sampling of the tiles copied as they are;
  // nullopt encodes every tile (4:2:0).
  std::optional<ChromaSampling> CopySampling;
  Rgb Fill;
  bool Overviews = false;
  // The tasks of a job's shallower zooms. An overview whose tiles are tiles
  // of one of them holds that task's tiles as downloaded (JPEG streams of the
  // file's own kind copied, others encoded), computed only where it has a
  // hole. Overview n (the image halved n times) lines up with zoom Z - n of
  // the job (Z the image's zoom) when the image's first column and row of
  // tiles are multiples of 2^n: then its tile (c, r) is exactly that zoom's
  // tile (c + first column / 2^n, r + first row / 2^n), the image's width and
  // height of whole tiles halving into whole pixels of it. Other overviews
  // are computed.
  std::vector<const TileReader*> Downloaded;
};

// True when a file of this many tiles, with overviews, may pass 4 GB.
bool NeedsBigTiff(int64_t tiles);

// How many overviews halve an image of this size until it fits one
// 256 x 256 block (GDAL's rule: each level's side rounded up).
int OverviewLevels(int64_t width, int64_t height);

// Writes the tiles of range as a GeoTIFF at path (a temporary name), with
// overviews when settings ask for them, and a mask when there are holes.
// Holes get the fill colour and go to holes. A scratch file of pending holds
// the overviews until the tiles are written. stagePrefix starts the names of
// the stages of progress. Throws Cancelled, platform::FileError.
TileTally WriteGeoTiff(const std::string& path, const task::TileRange& range, const TileReader& tiles,
                       const TiffSettings& settings, PendingFiles& pending, HoleList& holes, Progress& progress,
                       const std::string& stagePrefix);

// GDAL's overviews (average) of a finished image whose pixels do not lie on
// the tile grid (one reprojected to degrees).
void BuildOverviews(const std::string& path, Progress& progress, const std::string& stage);

}  // namespace combiner
