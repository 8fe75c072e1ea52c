#include "combiner/GeoTiff.h"

#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>
#include <string_view>
#include <vector>

#include "core/task/TileGrid.h"
#include "core/platform/Files.h"

namespace combiner {

namespace {

// A bound on the bytes of one tile in any of our files: its raw pixels
// (192 KiB) or any JPEG stream of it, and a third more for the overviews.
constexpr double kBoundBytesPerTile = 256 * 1024 * 4.0 / 3;
// Classic TIFF offsets end at 4 GiB; keep room for the directories.
constexpr double kClassicTiffBytes = 4.0e9;
// GDAL's default deflate level.
constexpr int kDeflateLevel = 6;
constexpr std::size_t kMaskTileBytes = task::kTileSize * task::kTileSize / 8;

std::string Deflate(const uint8_t* data, std::size_t size) {
  uLongf length = compressBound(static_cast<uLong>(size));
  std::string packed(length, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &length, data, static_cast<uLong>(size), kDeflateLevel) !=
      Z_OK) {
    throw std::bad_alloc();  // with a large enough buffer only memory can fail
  }
  packed.resize(length);
  return packed;
}

// How the colour tiles of a file are stored; encoding is safe on any thread.
struct ColourCoding {
  Compression Compress = Compression::Jpeg;
  ChromaSampling Sampling;

  std::string Encode(const Pixels& pixels) const {
    switch (Compress) {
      case Compression::Jpeg: return EncodeJpeg(pixels, Sampling, kJpegQuality);
      case Compression::Deflate: return Deflate(pixels.data(), pixels.size());
      case Compression::None: break;
    }
    return std::string(pixels.begin(), pixels.end());
  }
};

// The GeoTIFF tags this writer sets (the pixel size, the tie point, the
// directory of geo keys and their text), made known to libtiff for every
// file opened after the first writer, as the tags of any extension are.
constexpr ttag_t kGeoPixelScaleTag = 33550;
constexpr ttag_t kGeoTiePointsTag = 33922;
constexpr ttag_t kGeoKeyDirectoryTag = 34735;
constexpr ttag_t kGeoAsciiParamsTag = 34737;

TIFFExtendProc previousTagExtender = nullptr;

void AddGeoTags(TIFF* tiff) {
  static const TIFFFieldInfo kGeoFields[] = {
      {kGeoPixelScaleTag, -1, -1, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1, const_cast<char*>("GeoPixelScale")},
      {kGeoTiePointsTag, -1, -1, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1, const_cast<char*>("GeoTiePoints")},
      {kGeoKeyDirectoryTag, -1, -1, TIFF_SHORT, FIELD_CUSTOM, 1, 1, const_cast<char*>("GeoKeyDirectory")},
      {kGeoAsciiParamsTag, -1, -1, TIFF_ASCII, FIELD_CUSTOM, 1, 0, const_cast<char*>("GeoASCIIParams")},
  };
  TIFFMergeFieldInfo(tiff, kGeoFields, static_cast<uint32_t>(std::size(kGeoFields)));
  if (previousTagExtender != nullptr) previousTagExtender(tiff);
}

void RegisterGeoTags() {
  static std::once_flag once;
  std::call_once(once, [] { previousTagExtender = TIFFSetTagExtender(&AddGeoTags); });
}

// The geo keys of Web Mercator (GeoTIFF 1.0, key revision 1.0): a projected
// model, pixels as areas, the citation (in the text tag, '|' ending it), the
// EPSG code and metres.
constexpr char kCitation[] = "WGS 84 / Pseudo-Mercator|";
constexpr uint16_t kGeoKeys[] = {
    1, 1, 0, 5,                                                               // version 1.1.0, five keys
    1024, 0, 1, 1,                                                            // GTModelType: projected
    1025, 0, 1, 1,                                                            // GTRasterType: pixel is area
    1026, kGeoAsciiParamsTag, sizeof kCitation - 1, 0,                        // GTCitation
    3072, 0, 1, static_cast<uint16_t>(task::kWebMercatorEpsg),                // ProjectedCSType
    3076, 0, 1, 9001,                                                         // ProjLinearUnits: metre
};

// One image of the file: the full one, an overview, or a mask of either.
struct ImageSpec {
  int64_t Width = 0;
  int64_t Height = 0;
  int Level = 0;  // 0 the full image, n its n-th overview
  bool Mask = false;
  ColourCoding Coding;  // colour images
};

// A TIFF written image after image, each tile given as its stored bytes.
class TiffWriter {
 public:
  TiffWriter(const std::string& path, bool bigTiff) : path_(path) {
    RegisterGeoTags();
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, &TiffWriter::KeepError, this);
    TIFFOpenOptionsSetWarningHandlerExtR(options, &TiffWriter::IgnoreWarning, nullptr);
    tiff_.reset(TIFFOpenExt(path.c_str(), bigTiff ? "w8" : "w", options));
    TIFFOpenOptionsFree(options);
    if (!tiff_) Fail("Cannot create file ");
  }

  void Begin(const ImageSpec& spec) {
    TIFF* tiff = tiff_.get();
    TIFFSetField(tiff, TIFFTAG_SUBFILETYPE,
                 (spec.Level > 0 ? FILETYPE_REDUCEDIMAGE : 0) | (spec.Mask ? FILETYPE_MASK : 0));
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(spec.Width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(spec.Height));
    TIFFSetField(tiff, TIFFTAG_TILEWIDTH, task::kTileSize);
    TIFFSetField(tiff, TIFFTAG_TILELENGTH, task::kTileSize);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    if (spec.Mask) {
      TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
      TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
      TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MASK);
      TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
      return;
    }
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    switch (spec.Coding.Compress) {
      case Compression::Jpeg:
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
        TIFFSetField(tiff, TIFFTAG_YCBCRSUBSAMPLING, static_cast<uint16_t>(spec.Coding.Sampling.Horizontal),
                     static_cast<uint16_t>(spec.Coding.Sampling.Vertical));
        break;
      case Compression::Deflate:
      case Compression::None:
        TIFFSetField(tiff, TIFFTAG_COMPRESSION,
                     spec.Coding.Compress == Compression::Deflate ? COMPRESSION_ADOBE_DEFLATE : COMPRESSION_NONE);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        break;
    }
    if (spec.Level == 0) TIFFSetField(tiff, TIFFTAG_SOFTWARE, "tilejoin");
  }

  // The full image's place in Web Mercator metres.
  void Georeference(const std::array<double, 6>& transform) {
    TIFF* tiff = tiff_.get();
    double scale[3] = {transform[1], -transform[5], 0};
    double tiePoint[6] = {0, 0, 0, transform[0], transform[3], 0};
    const bool written = TIFFSetField(tiff, kGeoPixelScaleTag, 3, scale) == 1 &&
                         TIFFSetField(tiff, kGeoTiePointsTag, 6, tiePoint) == 1 &&
                         TIFFSetField(tiff, kGeoKeyDirectoryTag, static_cast<uint32_t>(std::size(kGeoKeys)), kGeoKeys) == 1 &&
                         TIFFSetField(tiff, kGeoAsciiParamsTag, kCitation) == 1;
    if (!written) Fail("Unable to write to ");
  }

  void Put(int64_t column, int64_t row, std::string_view bytes) {
    const ttile_t index = TIFFComputeTile(tiff_.get(), static_cast<uint32_t>(column * task::kTileSize),
                                          static_cast<uint32_t>(row * task::kTileSize), 0, 0);
    if (TIFFWriteRawTile(tiff_.get(), index, const_cast<char*>(bytes.data()), static_cast<tmsize_t>(bytes.size())) < 0) {
      Fail("Unable to write to ");
    }
  }

  void End() {
    if (TIFFWriteDirectory(tiff_.get()) != 1) Fail("Unable to write to ");
  }

  void Close() {
    tiff_.reset();
    if (!error_.empty()) Fail("Unable to write to ");
  }

 private:
  static int KeepError(TIFF*, void* self, const char* module, const char* format, va_list arguments) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    static_cast<TiffWriter*>(self)->error_ = std::string(module != nullptr ? module : "libtiff") + ": " + text;
    return 1;
  }
  static int IgnoreWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

  [[noreturn]] void Fail(const std::string& what) {
    throw platform::FileError(what + path_ + (error_.empty() ? "" : ": " + error_));
  }

  std::string path_;
  std::string error_;  // before tiff_: closing may still report
  struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
  };
  std::unique_ptr<TIFF, TiffCloser> tiff_;
};

// The overview tiles, kept in scratch files until the full image is written
// (a TIFF's images are written one after the other): a file per level, its
// tiles in row order, read back in that order.
class OverviewSpool {
 public:
  OverviewSpool(PendingFiles& pending, const std::string& besideTarget, int levels) : pending_(pending) {
    for (int level = 1; level <= levels; ++level) {
      Level& added = levels_.emplace_back();
      added.Path = pending.Scratch(besideTarget);
      added.File.reset(std::fopen(added.Path.c_str(), "w+b"));
      if (!added.File) platform::ThrowCannotCreate(added.Path);
    }
  }
  ~OverviewSpool() {
    for (Level& level : levels_) {
      level.File.reset();
      pending_.Discard(level.Path);
    }
  }
  OverviewSpool(const OverviewSpool&) = delete;
  OverviewSpool& operator=(const OverviewSpool&) = delete;

  // Empty bytes stand for the fill colour's tile.
  void Add(int level, const std::string& bytes) {
    Level& target = At(level);
    if (std::fwrite(bytes.data(), 1, bytes.size(), target.File.get()) != bytes.size()) {
      platform::ThrowUnableToWrite(target.Path);
    }
    target.Sizes.push_back(bytes.size());
  }

  std::size_t Count(int level) { return At(level).Sizes.size(); }

  // The tiles of level in the order they came, one call each.
  std::string Next(int level, std::size_t index) {
    Level& source = At(level);
    if (index == 0) std::rewind(source.File.get());
    std::string bytes(source.Sizes[index], '\0');
    if (std::fread(bytes.data(), 1, bytes.size(), source.File.get()) != bytes.size()) {
      throw platform::FileError("Cannot read " + source.Path);
    }
    return bytes;
  }

 private:
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  struct Level {
    std::string Path;
    std::unique_ptr<std::FILE, FileCloser> File;
    std::vector<std::size_t> Sizes;
  };
  Level& At(int level) { return levels_[static_cast<std::size_t>(level - 1)]; }

  PendingFiles& pending_;
  std::vector<Level> levels_;
};

// The tiles of the overviews taken from a job's downloaded levels, by level.
class DownloadedTiles {
 public:
  DownloadedTiles(const task::TileRange& range, int levels) : columns_(range.Columns()), rows_(range.Rows()) {
    for (int level = 1; level <= levels; ++level) {
      taken_.emplace_back(static_cast<std::size_t>(ColumnsAt(level) * (((rows_ - 1) >> level) + 1)), false);
    }
  }
  void Add(int level, int64_t column, int64_t row) { taken_[Index(level)][Index(level, column, row)] = true; }
  bool Has(int level, int64_t column, int64_t row) const {
    return level >= 1 && Index(level) < taken_.size() && taken_[Index(level)][Index(level, column, row)];
  }

 private:
  int64_t ColumnsAt(int level) const { return ((columns_ - 1) >> level) + 1; }
  static std::size_t Index(int level) { return static_cast<std::size_t>(level - 1); }
  std::size_t Index(int level, int64_t column, int64_t row) const {
    return static_cast<std::size_t>(row * ColumnsAt(level) + column);
  }

  int64_t columns_;
  int64_t rows_;
  std::vector<std::vector<bool>> taken_;
};

// The mask's pixels of one tile of an image of the pyramid: 1 where any tile
// of the task under the pixel is no hole, and all over an overview's tile
// that a job downloaded (it has its own pixels there).
class MaskPainter {
 public:
  MaskPainter(const task::TileRange& range, const std::vector<bool>& holes, const DownloadedTiles& downloaded)
      : columns_(range.Columns()), rows_(range.Rows()), holes_(holes), downloaded_(downloaded) {
    std::vector<uint8_t> bits(kMaskTileBytes, 0);
    hole_ = Deflate(bits.data(), bits.size());
    std::fill(bits.begin(), bits.end(), 0xFF);
    valid_ = Deflate(bits.data(), bits.size());
  }

  std::string Tile(int level, int64_t column, int64_t row) const {
    // The tiles of the task under this tile of the level.
    const int64_t span = int64_t{1} << level;
    const int64_t firstColumn = column * span, lastColumn = std::min(columns_, firstColumn + span) - 1;
    const int64_t firstRow = row * span, lastRow = std::min(rows_, firstRow + span) - 1;
    if (downloaded_.Has(level, column, row)) return valid_;
    int64_t holes = 0;
    for (int64_t y = firstRow; y <= lastRow; ++y) {
      for (int64_t x = firstColumn; x <= lastColumn; ++x) holes += IsHole(x, y) ? 1 : 0;
    }
    if (holes == 0) return valid_;
    if (holes == (lastColumn - firstColumn + 1) * (lastRow - firstRow + 1)) return hole_;

    std::vector<uint8_t> bits(kMaskTileBytes, 0);
    for (int py = 0; py < task::kTileSize; ++py) {
      const auto [topTile, bottomTile] = TilesUnder(row * task::kTileSize + py, level, rows_);
      for (int px = 0; px < task::kTileSize; ++px) {
        const auto [leftTile, rightTile] = TilesUnder(column * task::kTileSize + px, level, columns_);
        bool valid = false;
        for (int64_t y = topTile; y <= bottomTile && !valid; ++y) {
          for (int64_t x = leftTile; x <= rightTile && !valid; ++x) valid = !IsHole(x, y);
        }
        if (valid) bits[static_cast<std::size_t>(py * task::kTileSize + px) / 8] |= static_cast<uint8_t>(0x80 >> (px % 8));
      }
    }
    return Deflate(bits.data(), bits.size());
  }

 private:
  // The first and last tile of the task under pixel `pixel` of a level
  // (last before first beyond the image).
  static std::pair<int64_t, int64_t> TilesUnder(int64_t pixel, int level, int64_t tiles) {
    const int64_t first = (pixel << level) / task::kTileSize;
    const int64_t last = (((pixel + 1) << level) - 1) / task::kTileSize;
    return {first, std::min(last, tiles - 1)};
  }
  bool IsHole(int64_t x, int64_t y) const { return holes_[static_cast<std::size_t>(y * columns_ + x)]; }

  int64_t columns_;
  int64_t rows_;
  const std::vector<bool>& holes_;
  const DownloadedTiles& downloaded_;
  std::string hole_;   // a tile of holes only
  std::string valid_;  // a tile without holes
};

// The pyramid's tiles into the TIFF: the full image at once, the overviews
// into the spool.
class GeoTiffOutput final : public PyramidOutput {
 public:
  GeoTiffOutput(TiffWriter& tiff, const task::TileRange& range, const ColourCoding& coding, Rgb fill,
                OverviewSpool* spool, int levels)
      : tiff_(tiff), coding_(coding), fill_(coding.Encode(SolidPixels(fill))), spool_(spool),
        columns_(range.Columns()), holes_(static_cast<std::size_t>(range.Count()), false), downloaded_(range, levels) {}

  std::string EncodeBase(TileContent& tile) const override {
    switch (tile.What) {
      case TileContent::Kind::AsDownloaded: return std::move(tile.Bytes);
      case TileContent::Kind::Decoded: return coding_.Encode(tile.Image);
      case TileContent::Kind::Hole: break;
    }
    return {};
  }
  // The mask of the holes is the file's own: the fill colour stays under it.
  std::string EncodeLevel(const Pixels& tile, const Pixels&) const override { return coding_.Encode(tile); }

  void PutBase(int64_t column, int64_t row, const TileContent& tile, std::string bytes) override {
    const bool hole = tile.What == TileContent::Kind::Hole;
    if (hole) {
      holes_[static_cast<std::size_t>(row * columns_ + column)] = true;
      anyHole_ = true;
    }
    tiff_.Put(column, row, hole ? fill_ : bytes);
  }
  void PutLevel(int level, int64_t column, int64_t row, bool, bool downloaded, std::string bytes) override {
    if (downloaded) downloaded_.Add(level, column, row);
    spool_->Add(level, bytes);
  }

  const std::string& FillTile() const { return fill_; }
  bool AnyHole() const { return anyHole_; }
  const std::vector<bool>& Holes() const { return holes_; }
  const DownloadedTiles& Downloaded() const { return downloaded_; }

 private:
  TiffWriter& tiff_;
  ColourCoding coding_;
  std::string fill_;  // the fill colour's tile, encoded once
  OverviewSpool* spool_;
  int64_t columns_;
  std::vector<bool> holes_;  // by index in the range, row by row
  DownloadedTiles downloaded_;
  bool anyHole_ = false;
};

int64_t TilesAcross(int64_t pixels) { return (pixels + task::kTileSize - 1) / task::kTileSize; }

// Whether overview `level` of an image of range lies on the tile grid of the
// zoom `level` above range's (see TiffSettings::Downloaded): the image's
// corner is a corner of that zoom's tiles. The overview's tile (c, r) then
// covers exactly what that zoom's tile covers, pixel for pixel: an image of
// whole tiles halves without rounding up to 8 times; beyond, the pixel that
// GDAL's rounding up adds reaches past the image's edge, where a computed
// overview has the fill colour and a downloaded one what lies there.
bool LinesUp(const task::TileRange& range, int level) {
  const int64_t span = int64_t{1} << level;
  return range.MinX % span == 0 && range.MinY % span == 0;
}

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

int OverviewLevels(int64_t width, int64_t height) {
  int levels = 0;
  for (int64_t side = std::max(width, height); side > task::kTileSize; side = (side + 1) / 2) ++levels;
  return levels;
}

TileTally WriteGeoTiff(const std::string& path, const task::TileRange& range, const TileReader& tiles,
                       const TiffSettings& settings, PendingFiles& pending, HoleList& holes, Progress& progress,
                       const std::string& stagePrefix) {
  const int32_t zoom = tiles.Task().Zoom();
  const bool copy = settings.Compress == Compression::Jpeg && settings.CopySampling.has_value();
  ImageSpec image;
  image.Width = range.Columns() * task::kTileSize;
  image.Height = range.Rows() * task::kTileSize;
  image.Coding = {settings.Compress, settings.CopySampling.value_or(ChromaSampling{})};
  const int levels = settings.Overviews ? OverviewLevels(image.Width, image.Height) : 0;
  std::unique_ptr<OverviewSpool> spool;
  if (levels > 0) spool = std::make_unique<OverviewSpool>(pending, path, levels);

  TiffWriter tiff(path, NeedsBigTiff(range.Count()));
  tiff.Begin(image);
  tiff.Georeference(task::MercatorGeoTransform(range, zoom));
  GeoTiffOutput output(tiff, range, image.Coding, settings.Fill, spool.get(), levels);
  PyramidPlan plan;
  plan.Range = range;
  plan.OriginX = range.MinX;
  plan.OriginY = range.MinY;
  plan.Levels = levels;
  plan.Fill = settings.Fill;
  plan.KeepAsIs = [&](const JpegLayout& layout) { return copy && TiffTileSampling(layout) == settings.CopySampling; };
  for (int level = 1; level <= levels; ++level) {
    const TileReader* found = nullptr;
    if (LinesUp(range, level)) {
      for (const TileReader* reader : settings.Downloaded) {
        if (reader->Task().Zoom() == zoom - level) found = reader;
      }
    }
    plan.Downloaded.push_back(found);
  }
  const TileTally tally = BuildPyramid(tiles, plan, output, holes, progress, stagePrefix + "Combining tiles");
  tiff.End();

  const auto sizeAt = [&](int level) {
    ImageSpec scaled = image;
    scaled.Level = level;
    scaled.Width = (image.Width + (int64_t{1} << level) - 1) >> level;
    scaled.Height = (image.Height + (int64_t{1} << level) - 1) >> level;
    return scaled;
  };
  // Stored tiles of all overviews, and of all masks, for the progress.
  int64_t overviewTiles = 0;
  int64_t maskTiles = 0;
  for (int level = 0; level <= levels; ++level) {
    const ImageSpec scaled = sizeAt(level);
    const int64_t count = TilesAcross(scaled.Width) * TilesAcross(scaled.Height);
    if (level > 0) overviewTiles += count;
    maskTiles += count;
  }

  const std::string overviewStage = stagePrefix + "Writing overviews";
  int64_t written = 0;
  for (int level = 1; level <= levels; ++level) {
    const ImageSpec scaled = sizeAt(level);
    const int64_t columns = TilesAcross(scaled.Width);
    tiff.Begin(scaled);
    for (std::size_t index = 0; index < spool->Count(level); ++index) {
      if (progress.CancelRequested()) throw Cancelled();
      const std::string bytes = spool->Next(level, index);
      tiff.Put(static_cast<int64_t>(index) % columns, static_cast<int64_t>(index) / columns,
               bytes.empty() ? output.FillTile() : bytes);
      progress.Report(overviewStage, static_cast<double>(++written) / static_cast<double>(overviewTiles));
    }
    tiff.End();
  }
  spool.reset();

  if (output.AnyHole()) {
    const std::string maskStage = stagePrefix + "Masking the holes";
    const MaskPainter painter(range, output.Holes(), output.Downloaded());
    written = 0;
    for (int level = 0; level <= levels; ++level) {
      ImageSpec mask = sizeAt(level);
      mask.Mask = true;
      tiff.Begin(mask);
      for (int64_t row = 0; row < TilesAcross(mask.Height); ++row) {
        for (int64_t column = 0; column < TilesAcross(mask.Width); ++column) {
          if (progress.CancelRequested()) throw Cancelled();
          tiff.Put(column, row, painter.Tile(level, column, row));
          progress.Report(maskStage, static_cast<double>(++written) / static_cast<double>(maskTiles));
        }
      }
      tiff.End();
    }
  }
  tiff.Close();
  return tally;
}

}  // namespace combiner
