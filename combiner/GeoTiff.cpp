#include "combiner/GeoTiff.h"

#include <gdal.h>
#include <geotiffio.h>
#include <ogr_srs_api.h>
#include <tiffio.h>
#include <xtiffio.h>

#include <array>
#include <cstdarg>
#include <memory>
#include <vector>

#include "combiner/GdalSupport.h"
#include "combiner/MercatorGrid.h"
#include "core/platform/Files.h"
#include "core/platform/Numbers.h"

namespace combiner {

namespace {

// A bound on the bytes of one tile in any of our files: its raw pixels
// (192 KiB) or any JPEG stream of it, and a third more for the overviews.
constexpr double kBoundBytesPerTile = 256 * 1024 * 4.0 / 3;
// Classic TIFF offsets end at 4 GiB; keep room for the directories.
constexpr double kClassicTiffBytes = 4.0e9;

// Where the tiles go: a file that takes each tile as the loop hands it over.
class TileSink {
 public:
  virtual ~TileSink() = default;
  virtual void Put(int64_t column, int64_t row, const TileContent& tile) = 0;
  // Makes the file complete; throws when that fails.
  virtual void Finish() = 0;
};

// A JPEG-compressed YCbCr TIFF whose tiles are whole JPEG streams of one
// sampling, written raw: a downloaded stream of that sampling goes in as
// it is, anything else is encoded to one.
class RawJpegTiff final : public TileSink {
 public:
  RawJpegTiff(const std::string& path, const task::TileRange& range, int32_t zoom, ChromaSampling sampling, Rgb fill)
      : path_(path), sampling_(sampling), fill_(EncodeJpeg(SolidPixels(fill), sampling, kJpegQuality)) {
    XTIFFInitialize();  // the GeoTIFF tags
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, &RawJpegTiff::KeepError, this);
    TIFFOpenOptionsSetWarningHandlerExtR(options, &RawJpegTiff::IgnoreWarning, nullptr);
    tiff_.reset(TIFFOpenExt(path.c_str(), NeedsBigTiff(range.Count()) ? "w8" : "w", options));
    TIFFOpenOptionsFree(options);
    if (!tiff_) Fail("Cannot create file ");
    TIFF* tiff = tiff_.get();

    const auto width = static_cast<uint32_t>(range.Columns() * kTilePixels);
    const auto height = static_cast<uint32_t>(range.Rows() * kTilePixels);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
    TIFFSetField(tiff, TIFFTAG_YCBCRSUBSAMPLING, static_cast<uint16_t>(sampling.Horizontal),
                 static_cast<uint16_t>(sampling.Vertical));
    TIFFSetField(tiff, TIFFTAG_TILEWIDTH, kTilePixels);
    TIFFSetField(tiff, TIFFTAG_TILELENGTH, kTilePixels);
    TIFFSetField(tiff, TIFFTAG_SOFTWARE, "tilejoin");

    const std::array<double, 6> transform = MercatorGeoTransform(range, zoom);
    double scale[3] = {transform[1], -transform[5], 0};
    double tiePoint[6] = {0, 0, 0, transform[0], transform[3], 0};
    TIFFSetField(tiff, TIFFTAG_GEOPIXELSCALE, 3, scale);
    TIFFSetField(tiff, TIFFTAG_GEOTIEPOINTS, 6, tiePoint);
    GTIF* keys = GTIFNew(tiff);
    if (keys == nullptr) Fail("Cannot create file ");
    GTIFKeySet(keys, GTModelTypeGeoKey, TYPE_SHORT, 1, ModelTypeProjected);
    GTIFKeySet(keys, GTRasterTypeGeoKey, TYPE_SHORT, 1, RasterPixelIsArea);
    GTIFKeySet(keys, GTCitationGeoKey, TYPE_ASCII, 0, "WGS 84 / Pseudo-Mercator");
    GTIFKeySet(keys, ProjectedCSTypeGeoKey, TYPE_SHORT, 1, kWebMercatorEpsg);
    GTIFKeySet(keys, ProjLinearUnitsGeoKey, TYPE_SHORT, 1, Linear_Meter);
    const int written = GTIFWriteKeys(keys);
    GTIFFree(keys);
    if (written == 0) Fail("Unable to write to ");
  }

  void Put(int64_t column, int64_t row, const TileContent& tile) override {
    std::string encoded;
    const std::string* stream = &fill_;
    if (tile.What == TileContent::Kind::AsDownloaded) {
      stream = &tile.Bytes;
    } else if (tile.What == TileContent::Kind::Decoded) {
      encoded = EncodeJpeg(tile.Image, sampling_, kJpegQuality);
      stream = &encoded;
    }
    const ttile_t index = TIFFComputeTile(tiff_.get(), static_cast<uint32_t>(column * kTilePixels),
                                          static_cast<uint32_t>(row * kTilePixels), 0, 0);
    if (TIFFWriteRawTile(tiff_.get(), index, const_cast<char*>(stream->data()), static_cast<tmsize_t>(stream->size())) < 0) {
      Fail("Unable to write to ");
    }
  }

  void Finish() override {
    const bool flushed = TIFFFlush(tiff_.get()) == 1;
    tiff_.reset();
    if (!flushed) Fail("Unable to write to ");
  }

 private:
  static int KeepError(TIFF*, void* self, const char* module, const char* format, va_list arguments) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    static_cast<RawJpegTiff*>(self)->error_ = std::string(module != nullptr ? module : "libtiff") + ": " + text;
    return 1;
  }
  static int IgnoreWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

  [[noreturn]] void Fail(const std::string& what) {
    throw platform::FileError(what + path_ + (error_.empty() ? "" : ": " + error_));
  }

  std::string path_;
  ChromaSampling sampling_;
  std::string fill_;  // the fill colour's tile, encoded once
  std::string error_;  // before tiff_: closing may still report
  struct TiffCloser {
    void operator()(TIFF* tiff) const { XTIFFClose(tiff); }
  };
  std::unique_ptr<TIFF, TiffCloser> tiff_;
};

// A GeoTIFF written through GDAL, tile by tile, every tile from pixels.
class GdalTiff final : public TileSink {
 public:
  GdalTiff(const std::string& path, const task::TileRange& range, int32_t zoom, Compression compress, Rgb fill)
      : path_(path), fill_(SolidPixels(fill)) {
    OptionList options;
    options.Add("TILED=YES").Add("BLOCKXSIZE=256").Add("BLOCKYSIZE=256").Add("INTERLEAVE=PIXEL");
    options.Add(std::string("COMPRESS=") + GdalCompressionName(compress));
    if (compress == Compression::Jpeg) {
      options.Add("PHOTOMETRIC=YCBCR").Add("JPEG_QUALITY=" + platform::FormatInteger(kJpegQuality));
    }
    options.Add(NeedsBigTiff(range.Count()) ? "BIGTIFF=YES" : "BIGTIFF=NO");
    CPLErrorReset();
    dataset_.reset(GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(),
                              static_cast<int>(range.Columns() * kTilePixels),
                              static_cast<int>(range.Rows() * kTilePixels), 3, GDT_Byte, options.Get()));
    if (!dataset_) throw GdalError("Cannot create file " + path + ": " + GdalErrorScope::LastError());
    std::array<double, 6> transform = MercatorGeoTransform(range, zoom);
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    const bool georeferenced = OSRImportFromEPSG(srs, kWebMercatorEpsg) == OGRERR_NONE &&
                               GDALSetSpatialRef(dataset_.get(), srs) == CE_None &&
                               GDALSetGeoTransform(dataset_.get(), transform.data()) == CE_None;
    OSRDestroySpatialReference(srs);
    if (!georeferenced) throw GdalError("Unable to write to " + path + ": " + GdalErrorScope::LastError());
  }

  void Put(int64_t column, int64_t row, const TileContent& tile) override {
    const Pixels& pixels = tile.What == TileContent::Kind::Decoded ? tile.Image : fill_;
    if (GDALDatasetRasterIO(dataset_.get(), GF_Write, static_cast<int>(column * kTilePixels),
                            static_cast<int>(row * kTilePixels), kTilePixels, kTilePixels,
                            const_cast<uint8_t*>(pixels.data()), kTilePixels, kTilePixels, GDT_Byte, 3, nullptr, 3,
                            3 * kTilePixels, 1) != CE_None) {
      throw GdalError("Unable to write to " + path_ + ": " + GdalErrorScope::LastError());
    }
  }

  void Finish() override { CloseDataset(std::move(dataset_), path_); }

 private:
  std::string path_;
  Pixels fill_;
  Dataset dataset_;
};

}  // namespace

const char* GdalCompressionName(Compression compress) {
  switch (compress) {
    case Compression::Jpeg: return "JPEG";
    case Compression::Deflate: return "DEFLATE";
    case Compression::None: return "NONE";
  }
  return "NONE";
}

bool NeedsBigTiff(int64_t tiles) { return static_cast<double>(tiles) * kBoundBytesPerTile > kClassicTiffBytes; }

TileTally WriteTiles(const std::string& path, const task::TileRange& range, const TaskTiles& tiles,
                     const TiffSettings& settings, HoleList& holes, HoleSpool& spool, Progress& progress,
                     const std::string& stage) {
  const task::MDTask& task = tiles.Task();
  const int32_t zoom = task.Parameters->Zoom;
  const bool copy = settings.Compress == Compression::Jpeg && settings.CopySampling.has_value();
  std::unique_ptr<TileSink> sink;
  if (copy) {
    sink = std::make_unique<RawJpegTiff>(path, range, zoom, *settings.CopySampling, settings.Fill);
  } else {
    sink = std::make_unique<GdalTiff>(path, range, zoom, settings.Compress, settings.Fill);
  }
  const auto keepAsIs = [&](const JpegLayout& layout) { return copy && TiffTileSampling(layout) == settings.CopySampling; };

  TileTally tally;
  const int64_t total = range.Count();
  for (int64_t index = 0; index < total; ++index) {
    if (progress.CancelRequested()) throw Cancelled();
    const int64_t column = index % range.Columns();
    const int64_t row = index / range.Columns();
    const auto x = static_cast<int32_t>(range.MinX + column);
    const auto y = static_cast<int32_t>(range.MinY + row);
    const TileContent tile = tiles.Load(x, y, keepAsIs);
    switch (tile.What) {
      case TileContent::Kind::AsDownloaded: ++tally.Copied; break;
      case TileContent::Kind::Decoded: ++tally.Reencoded; break;
      case TileContent::Kind::Hole:
        holes.Add(x, y, tile.Verdict);
        spool.Add(index);
        break;
    }
    sink->Put(column, row, tile);
    progress.Report(stage, static_cast<double>(index + 1) / static_cast<double>(total));
  }
  sink->Finish();
  return tally;
}

void AddHoleMask(const std::string& path, const task::TileRange& range, HoleSpool& spool, Progress& progress,
                 const std::string& stage) {
  Dataset dataset = OpenDataset(path, /*update=*/true);
  if (GDALCreateDatasetMaskBand(dataset.get(), GMF_PER_DATASET) != CE_None) {
    throw GdalError("Unable to write to " + path + ": " + GdalErrorScope::LastError());
  }
  GDALRasterBandH mask = GDALGetMaskBand(GDALGetRasterBand(dataset.get(), 1));
  std::vector<uint8_t> valid(kTilePixels * kTilePixels, 255);
  std::vector<uint8_t> hole(kTilePixels * kTilePixels, 0);
  spool.Rewind();
  std::optional<int64_t> nextHole = spool.Next();
  const int64_t total = range.Count();
  for (int64_t index = 0; index < total; ++index) {
    if (progress.CancelRequested()) throw Cancelled();
    const bool isHole = nextHole == index;
    if (isHole) nextHole = spool.Next();
    std::vector<uint8_t>& values = isHole ? hole : valid;
    if (GDALRasterIO(mask, GF_Write, static_cast<int>(index % range.Columns() * kTilePixels),
                     static_cast<int>(index / range.Columns() * kTilePixels), kTilePixels, kTilePixels, values.data(),
                     kTilePixels, kTilePixels, GDT_Byte, 0, 0) != CE_None) {
      throw GdalError("Unable to write to " + path + ": " + GdalErrorScope::LastError());
    }
    progress.Report(stage, static_cast<double>(index + 1) / static_cast<double>(total));
  }
  CloseDataset(std::move(dataset), path);
}

void BuildOverviews(const std::string& path, Progress& progress, const std::string& stage) {
  Dataset dataset = OpenDataset(path, /*update=*/true);
  const int largest = std::max(GDALGetRasterXSize(dataset.get()), GDALGetRasterYSize(dataset.get()));
  std::vector<int> levels;
  for (int level = 2; (largest + level / 2 - 1) / (level / 2) > kTilePixels; level *= 2) levels.push_back(level);
  if (levels.empty()) return;
  GdalProgress bridge{&progress, stage};
  if (GDALBuildOverviews(dataset.get(), "AVERAGE", static_cast<int>(levels.size()), levels.data(), 0, nullptr,
                         &GdalProgress::Callback, &bridge) != CE_None) {
    ThrowStepFailure(progress, "Building the overviews of", path);
  }
  CloseDataset(std::move(dataset), path);
}

}  // namespace combiner
