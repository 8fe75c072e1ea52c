// What the combiner asks of GDAL, in terms of its own: the set-up, quiet
// errors, decoding tiles that are not JPEG, coordinate system texts and the
// output formats GDAL writes. A build without GDAL (ORVENNA_WITH_GDAL=OFF,
// the Windows build) has them from WithoutGdal.cpp: the outputs that need
// GDAL are refused by CheckOptions before any work (GdalFormatsMissing).
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "combiner/JpegCodec.h"
#include "combiner/Progress.h"
#include "core/task/TileRange.h"

namespace combiner {

struct CombineOptions;

// Whether this build writes through GDAL.
bool BuiltWithGdal();

// Registers the drivers and sets the options the combiner relies on (no
// side files of GDAL's own, masks inside the TIFF, a bounded block cache).
// Once per process; any thread.
void InitGdal();

// While it lives, GDAL's messages on this thread are kept instead of
// printed; LastError() is the latest failure's text.
class GdalErrorScope {
 public:
  GdalErrorScope();
  ~GdalErrorScope();
  GdalErrorScope(const GdalErrorScope&) = delete;
  GdalErrorScope& operator=(const GdalErrorScope&) = delete;
  static std::string LastError();
};

// A GDAL step failed; the text names the file and GDAL's reason.
class GdalError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The pixels of an image file's bytes of any format GDAL reads (PNG, GIF,
// WebP, ...): the first three bands, a grey band repeated, a palette
// expanded. Nullopt unless it decodes to 256 x 256; always nullopt without
// GDAL.
std::optional<Pixels> DecodeWithGdal(std::string_view bytes);

// Well-known text of an EPSG coordinate system in the flavour .prj files use.
std::string PrjText(int epsg);
// The same as OGC well-known text (version 1), as a GeoPackage states it.
std::string WktText(int epsg);
// The .aux.xml beside an image (GDAL's own side file) that gives its
// coordinate system, in longitude, latitude order as a world file's axes.
std::string AuxXmlText(int epsg);

// Writes the step GeoTIFF (three colour bands, a mask when masked) as the
// final file target through GDAL's driver, reprojected to WGS 84 over range
// when degrees. shownPath is the name the file gets (a KMZ names its
// overlay by it). Throws Cancelled, GdalError.
void WriteThroughGdal(const std::string& step, const std::string& target, const char* driver,
                      const CombineOptions& options, const task::TileRange& range, int32_t zoom, bool degrees,
                      bool masked, Progress& progress, const std::string& stage, const std::string& shownPath);

}  // namespace combiner
