// The combiner's outputs that GDAL writes: a step GeoTIFF copied by
// GDALTranslate into the format's driver, warped to WGS 84 first when the
// output is in degrees; and GDAL's overviews of an image in degrees.
#include "combiner/GdalSteps.h"

#include <gdal_utils.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <ctime>
#include <fstream>
#include <memory>
#include <vector>

#include "combiner/Combiner.h"
#include "combiner/GdalSupport.h"
#include "combiner/GeoTiff.h"
#include "core/platform/Files.h"
#include "core/platform/Locale.h"
#include "core/platform/Numbers.h"
#include "core/task/TileGrid.h"

namespace combiner {

bool BuiltWithGdal() { return true; }

namespace {

// The tile side as GDAL options write it.
const std::string kTileSide = platform::FormatInteger(task::kTileSize);

std::string Decimal(int64_t value) { return platform::FormatInteger(value); }

// The shortest text without exponent that reads back as the same double,
// without the user's locale.
std::string Exact(double value) {
  char buffer[400];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed).ptr;
  return std::string(buffer, end);
}

using TranslateOptions = std::unique_ptr<GDALTranslateOptions, decltype(&GDALTranslateOptionsFree)>;
using WarpOptions = std::unique_ptr<GDALWarpAppOptions, decltype(&GDALWarpAppOptionsFree)>;

TranslateOptions MakeTranslateOptions(OptionList& args) {
  TranslateOptions options(GDALTranslateOptionsNew(args.Get(), nullptr), GDALTranslateOptionsFree);
  if (!options) throw GdalError("GDAL refused the options of a copy: " + GdalErrorScope::LastError());
  return options;
}

// The colour bands of source in degrees, with the mask (when masked) as a
// fourth band warped like the colours: holes keep the fill colour under a
// mask that follows them.
struct DegreeView {
  Dataset Bands;
  Dataset Warped;
};

DegreeView WarpToDegrees(GDALDatasetH source, const task::TileRange& range, int32_t zoom, bool masked,
                         const std::string& path) {
  DegreeView view;
  OptionList select;
  select.Add("-of", "VRT").Add("-b", "1").Add("-b", "2").Add("-b", "3").Add("-mask", "none");
  if (masked) select.Add("-b", "mask");
  view.Bands.reset(GDALTranslate("", source, MakeTranslateOptions(select).get(), nullptr));
  if (!view.Bands) throw GdalError("Reading " + path + " failed: " + GdalErrorScope::LastError());

  const DegreeBox bounds = DegreesOf(range, zoom);
  OptionList warp;
  warp.Add("-of", "VRT").Add("-t_srs", "EPSG:4326").Add("-r", "bilinear");
  warp.Add("-te").Add(Exact(bounds.West)).Add(Exact(bounds.South)).Add(Exact(bounds.East)).Add(Exact(bounds.North));
  warp.Add("-ts").Add(Decimal(range.Columns() * task::kTileSize)).Add(Decimal(range.Rows() * task::kTileSize));
  const WarpOptions warpOptions(GDALWarpAppOptionsNew(warp.Get(), nullptr), GDALWarpAppOptionsFree);
  if (!warpOptions) throw GdalError("GDAL refused the options of a warp: " + GdalErrorScope::LastError());
  GDALDatasetH bands = view.Bands.get();
  view.Warped.reset(GDALWarp("", nullptr, 1, &bands, warpOptions.get(), nullptr));
  if (!view.Warped) throw GdalError("Reprojecting " + path + " failed: " + GdalErrorScope::LastError());
  return view;
}

uint16_t Little16(const char* bytes) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[0]) | static_cast<uint8_t>(bytes[1]) << 8);
}
uint32_t Little32(const char* bytes) { return Little16(bytes) | static_cast<uint32_t>(Little16(bytes + 2)) << 16; }

// Dates every entry of the zip file at path (a KMZ) with when, local time as
// zip keeps it: GDAL leaves the date fields at zero, which unzip tools show
// as 1980-00-00. Both the local headers and the central directory are patched
// in place; a zip of another layout is left as it is.
void StampZipEntries(const std::string& path, std::time_t when) {
  std::fstream zip(path, std::ios::in | std::ios::out | std::ios::binary);
  if (!zip) platform::ThrowUnableToWrite(path, errno);
  zip.seekg(0, std::ios::end);
  const std::streamoff size = zip.tellg();
  // The end record: 22 bytes and a comment of at most 65535.
  const std::streamoff tailSize = std::min<std::streamoff>(size, 22 + 65535);
  std::string tail(static_cast<std::size_t>(tailSize), '\0');
  zip.seekg(size - tailSize);
  zip.read(tail.data(), tailSize);
  const std::size_t end = tail.rfind(std::string("PK\5\6", 4));
  if (!zip || end == std::string::npos || end + 22 > tail.size()) return;
  const uint16_t entries = Little16(&tail[end + 10]);
  const uint32_t directorySize = Little32(&tail[end + 12]);
  const uint32_t directoryOffset = Little32(&tail[end + 16]);
  if (static_cast<std::streamoff>(directoryOffset) + directorySize > size) return;
  std::string directory(directorySize, '\0');
  zip.seekg(directoryOffset);
  zip.read(directory.data(), directorySize);
  if (!zip) return;

  const std::tm local = platform::LocalTime(when);
  const auto dosTime = static_cast<uint16_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
  const auto dosDate =
      static_cast<uint16_t>(std::max(local.tm_year - 80, 0) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
  const char stamp[4] = {static_cast<char>(dosTime & 0xFF), static_cast<char>(dosTime >> 8),
                         static_cast<char>(dosDate & 0xFF), static_cast<char>(dosDate >> 8)};
  std::size_t at = 0;
  for (uint16_t i = 0; i < entries; ++i) {
    if (at + 46 > directory.size() || directory.compare(at, 4, "PK\1\2", 4) != 0) break;
    const uint32_t header = Little32(&directory[at + 42]);
    zip.seekp(directoryOffset + at + 12);
    zip.write(stamp, 4);
    zip.seekp(static_cast<std::streamoff>(header) + 10);
    zip.write(stamp, 4);
    at += 46 + Little16(&directory[at + 28]) + Little16(&directory[at + 30]) + Little16(&directory[at + 32]);
  }
  zip.flush();
  if (!zip) platform::ThrowUnableToWrite(path);
}

// Writes source (three colour bands, and the mask as maskSource unless it is
// "none") as the final file at path in the options' format; shownPath is the
// name the file gets, which a KMZ also names its overlay by.
void TranslateTo(GDALDatasetH source, const std::string& path, const char* driver, const CombineOptions& options,
                 const std::string& maskSource, Progress& progress, const std::string& stage,
                 const std::string& shownPath) {
  OptionList args;
  args.Add("-of", driver).Add("-b", "1").Add("-b", "2").Add("-b", "3");
  if (options.Format == OutputFormat::Kmz) {
    // The driver takes a fourth band for transparency: holes become clear.
    if (maskSource != "none") args.Add("-b", maskSource);
  } else {
    args.Add("-mask", maskSource);
  }
  const std::string compress = GdalCompressionName(options.Compress);
  const std::string quality = Decimal(kJpegQuality);
  switch (options.Format) {
    case OutputFormat::GeoTiff:
      args.Add("-co", "TILED=YES").Add("-co", "BLOCKXSIZE=" + kTileSide).Add("-co", "BLOCKYSIZE=" + kTileSide);
      args.Add("-co", "COMPRESS=" + compress).Add("-co", "BIGTIFF=IF_SAFER");
      if (options.Compress == Compression::Jpeg) args.Add("-co", "PHOTOMETRIC=YCBCR").Add("-co", "JPEG_QUALITY=" + quality);
      break;
    case OutputFormat::Cog:
      args.Add("-co", "COMPRESS=" + compress).Add("-co", "BLOCKSIZE=" + kTileSide).Add("-co", "BIGTIFF=IF_SAFER");
      args.Add("-co", "QUALITY=" + quality).Add("-co", "RESAMPLING=AVERAGE");
      args.Add("-co", options.Overviews ? "OVERVIEWS=AUTO" : "OVERVIEWS=NONE");
      break;
    case OutputFormat::Jpeg: args.Add("-co", "QUALITY=" + quality); break;
    case OutputFormat::Kmz:
      args.Add("-co", "FORMAT=AUTO");  // PNG tiles where holes are
      // Else the overlay bears the temporary file's name.
      args.Add("-co", "NAME=" + platform::ExtractFileName(platform::RemoveFileExt(shownPath)));
      break;
    case OutputFormat::Png:
    case OutputFormat::MbTiles:
    case OutputFormat::GeoPackage: break;
  }
  const TranslateOptions translate = MakeTranslateOptions(args);
  GdalProgress bridge{&progress, stage};
  GDALTranslateOptionsSetProgress(translate.get(), &GdalProgress::Callback, &bridge);
  Dataset written(GDALTranslate(path.c_str(), source, translate.get(), nullptr));
  if (!written) ThrowStepFailure(progress, "Writing", path);
  CloseDataset(std::move(written), path);
  if (options.Format == OutputFormat::Kmz) StampZipEntries(path, std::time(nullptr));
}

}  // namespace

void WriteThroughGdal(const std::string& step, const std::string& target, const char* driver,
                      const CombineOptions& options, const task::TileRange& range, int32_t zoom, bool degrees,
                      bool masked, Progress& progress, const std::string& stage, const std::string& shownPath) {
  // Scanline formats read a whole row of blocks at a time.
  const GdalCacheFor rows(range.Columns() * task::kTileSize * task::kTileSize * 3);
  Dataset source = OpenDataset(step, /*update=*/false);
  if (degrees) {
    const DegreeView view = WarpToDegrees(source.get(), range, zoom, masked, step);
    TranslateTo(view.Warped.get(), target, driver, options, masked ? "4" : "none", progress, stage, shownPath);
  } else {
    TranslateTo(source.get(), target, driver, options, masked ? "mask,1" : "none", progress, stage, shownPath);
  }
}

void BuildOverviews(const std::string& path, Progress& progress, const std::string& stage) {
  Dataset dataset = OpenDataset(path, /*update=*/true);
  const int levels = OverviewLevels(GDALGetRasterXSize(dataset.get()), GDALGetRasterYSize(dataset.get()));
  if (levels == 0) return;
  std::vector<int> factors;
  for (int level = 1; level <= levels; ++level) factors.push_back(1 << level);
  GdalProgress bridge{&progress, stage};
  if (GDALBuildOverviews(dataset.get(), "AVERAGE", levels, factors.data(), 0, nullptr, &GdalProgress::Callback,
                         &bridge) != CE_None) {
    ThrowStepFailure(progress, "Building the overviews of", path);
  }
  CloseDataset(std::move(dataset), path);
}

}  // namespace combiner
