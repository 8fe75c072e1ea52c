// One combine: the tiles of a task (or of an area of it) into one
// georeferenced image, a set of sheets, a tile database (MBTiles, GeoPackage)
// or a KMZ. Everything it
// writes appears at its final path only when the whole combine is complete.
// Runs on the caller's thread (the window runs it on a thread of its own);
// progress and the cancel request go through Progress.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "combiner/GeoTiff.h"
#include "combiner/Holes.h"
#include "core/platform/Files.h"
#include "core/platform/Locations.h"
#include "combiner/JpegCodec.h"
#include "combiner/Progress.h"
#include "combiner/TileArea.h"

namespace combiner {

enum class OutputFormat { GeoTiff, Cog, Jpeg, Png, MbTiles, GeoPackage, Kmz };
enum class OutputSrs { WebMercator, Wgs84 };  // EPSG:3857 metres, EPSG:4326 degrees

// The formats in the order the window lists them.
inline constexpr OutputFormat kFormats[] = {OutputFormat::GeoTiff, OutputFormat::Cog,        OutputFormat::Jpeg,
                                            OutputFormat::Png,     OutputFormat::MbTiles,    OutputFormat::GeoPackage,
                                            OutputFormat::Kmz};
// "gtiff", "cog", "jpeg", "png", "mbtiles", "gpkg", "kmz".
const char* FormatName(OutputFormat format);
// "GeoTIFF", "Cloud-Optimized GeoTIFF", ...
const char* FormatTitle(OutputFormat format);
// ".tif", ".tif", ".jpg", ".png", ".mbtiles", ".gpkg", ".kmz".
const char* FormatExtension(OutputFormat format);
std::optional<OutputFormat> FormatNamed(const std::string& name);
// The format a path's extension names, if any (".tif", ".tiff", ".jpg", ...;
// a .tif is a plain GeoTIFF).
std::optional<OutputFormat> FormatOfPath(const std::string& path);
// "gtiff, cog, jpeg, png, mbtiles, gpkg or kmz", and the extensions
// FormatOfPath knows likewise, for messages.
std::string FormatNamesText();
std::string KnownExtensionsText();
// GeoTIFF and COG: the formats the compression applies to.
inline bool IsTiff(OutputFormat format) { return format == OutputFormat::GeoTiff || format == OutputFormat::Cog; }
// MBTiles and GeoPackage: a web map's tile grid, with lower zooms for overviews.
inline bool IsTileDatabase(OutputFormat format) {
  return format == OutputFormat::MbTiles || format == OutputFormat::GeoPackage;
}
// The formats with a choice of coordinates (the others have their own).
inline bool TakesSrs(OutputFormat format) { return !IsTileDatabase(format) && format != OutputFormat::Kmz; }

// "white", "black", "#RRGGBB" or "R,G,B" (0..255 each).
std::optional<Rgb> ParseColour(const std::string& text);

// The largest side a JPEG file can have.
inline constexpr int64_t kJpegMaxSide = 65500;

struct CombineOptions {
  std::string TaskPath;
  std::string OutputPath;
  OutputFormat Format = OutputFormat::GeoTiff;
  OutputSrs Srs = OutputSrs::WebMercator;  // where TakesSrs; a KMZ is in degrees
  Compression Compress = Compression::Jpeg;  // GeoTIFF and COG
  // Largest side of a file in pixels, rounded down to whole tiles; 0: no
  // limit but the format's own (a JPEG's 65,500).
  int64_t SheetPixels = 0;
  Rgb Fill;
  std::optional<AreaRequest> Area;
  // GeoTIFF and COG: overviews; MBTiles and GeoPackage: the zooms below the
  // task's, down to MinZoom (default: the zoom at which the sheet lies in
  // one tile).
  bool Overviews = true;
  std::optional<int32_t> MinZoom;
  // False decodes and encodes every tile even where the downloaded JPEG
  // streams could go into the file as they are.
  bool CopyTiles = true;
  // Holds the program's blank image, which the task's census tells from a tile.
  std::string ProgramFolder = platform::ProgramFolder();
};

// Whether this build writes format in srs: a build without GDAL writes
// GeoTIFF in Web Mercator, MBTiles and GeoPackage only.
bool FormatAvailable(OutputFormat format, OutputSrs srs);
// Why this build cannot write the options' output (it lacks GDAL); empty
// when it can. Combine refuses such options before any work.
std::string MissingFromThisBuild(const CombineOptions& options);

// Why options cannot be carried out as given; empty when they can.
std::string CheckOptions(const CombineOptions& options);

// The side files that list the holes of a combine to outputPath: by name
// and reason, and as a failed-tile list.
std::string HoleListPathFor(const std::string& outputPath);
std::string HoleFailedListPathFor(const std::string& outputPath);

struct CombineResult {
  std::vector<std::string> Files;  // the images or databases written, sheet by sheet
  int64_t Tiles = 0;               // of the area
  int64_t Copied = 0;              // written as downloaded
  int64_t Reencoded = 0;           // decoded and encoded
  int64_t Outside = 0;             // outside a shaped task's shape: masked, no holes
  int64_t FromDownloadedLevels = 0;  // tiles of a job's shallower tasks: levels of a tile database, overviews of a GeoTIFF
  HoleCounts Holes;
  std::string HoleListPath;  // empty without holes
  std::string HoleFailedListPath;  // the holes as a failed-tile list; empty without holes
  bool Cancelled = false;    // then nothing was written
  double Seconds = 0;
};

// The task, the area or the output cannot be used; the text says why.
class CombineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws CombineError for unusable options, task or area, and the file and
// GDAL errors of writing (platform::FileError, GdalError); whatever it
// throws, it leaves no file behind.
CombineResult Combine(const CombineOptions& options, Progress& progress);


// What a combine did, in lines for the user.
std::string SummaryText(const CombineResult& result);

}  // namespace combiner
