#include "combiner/GdalSupport.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <cpl_vsi.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "core/platform/Numbers.h"

namespace combiner {

namespace {

// What GDAL may keep of decoded blocks unless a step needs a wider row.
constexpr int64_t kDefaultCacheBytes = int64_t{128} << 20;

}  // namespace

void InitGdal() {
  static std::once_flag once;
  std::call_once(once, [] {
    GDALAllRegister();
    // Outputs appear whole under their final name: no .aux.xml beside a
    // temporary name, and the mask travels inside the TIFF.
    CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
    CPLSetConfigOption("GDAL_TIFF_INTERNAL_MASK", "YES");
    CPLSetConfigOption("JPEG_QUALITY_OVERVIEW", "90");
    // Opening a file never lists its folder: an output may lie beside
    // millions of tiles.
    CPLSetConfigOption("GDAL_DISABLE_READDIR_ON_OPEN", "EMPTY_DIR");
    GDALSetCacheMax64(kDefaultCacheBytes);
  });
}

GdalCacheFor::GdalCacheFor(int64_t rowBytes) { GDALSetCacheMax64(std::max(kDefaultCacheBytes, 2 * rowBytes)); }

GdalCacheFor::~GdalCacheFor() { GDALSetCacheMax64(kDefaultCacheBytes); }

GdalErrorScope::GdalErrorScope() {
  CPLPushErrorHandler(CPLQuietErrorHandler);
  CPLErrorReset();
}

GdalErrorScope::~GdalErrorScope() { CPLPopErrorHandler(); }

std::string GdalErrorScope::LastError() {
  const char* message = CPLGetLastErrorMsg();
  return message != nullptr && message[0] != '\0' ? message : "unknown error";
}

void DatasetCloser::operator()(GDALDatasetH dataset) const { GDALClose(dataset); }

Dataset OpenDataset(const std::string& path, bool update) {
  CPLErrorReset();
  Dataset dataset(GDALOpenEx(path.c_str(), GDAL_OF_RASTER | (update ? GDAL_OF_UPDATE : GDAL_OF_READONLY), nullptr,
                             nullptr, nullptr));
  if (!dataset) throw GdalError("Cannot open " + path + ": " + GdalErrorScope::LastError());
  return dataset;
}

void CloseDataset(Dataset dataset, const std::string& path) {
  CPLErrorReset();
  GDALClose(dataset.release());
  if (CPLGetLastErrorType() == CE_Failure || CPLGetLastErrorType() == CE_Fatal) {
    throw GdalError("Unable to write to " + path + ": " + GdalErrorScope::LastError());
  }
}

int GdalProgress::Callback(double complete, const char*, void* self) {
  auto* progress = static_cast<GdalProgress*>(self);
  progress->Target->Report(progress->Stage, std::clamp(complete, 0.0, 1.0));
  return progress->Target->CancelRequested() ? FALSE : TRUE;
}

void ThrowStepFailure(const Progress& progress, const std::string& what, const std::string& path) {
  if (progress.CancelRequested()) throw Cancelled();
  throw GdalError(what + " " + path + " failed: " + GdalErrorScope::LastError());
}

std::optional<Pixels> DecodeWithGdal(std::string_view bytes) {
  static std::atomic<unsigned> counter{0};
  const std::string name = "/vsimem/tilejoin-tile-" + platform::FormatInteger(counter.fetch_add(1)) + ".img";
  VSILFILE* file = VSIFileFromMemBuffer(name.c_str(), reinterpret_cast<GByte*>(const_cast<char*>(bytes.data())),
                                        static_cast<vsi_l_offset>(bytes.size()), FALSE);
  if (file == nullptr) return std::nullopt;
  VSIFCloseL(file);
  static const char* const kImageDrivers[] = {"PNG", "JPEG", "GIF", "WEBP", "BMP", nullptr};
  std::optional<Pixels> result;
  if (Dataset image{GDALOpenEx(name.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, kImageDrivers, nullptr, nullptr)}) {
    const int bands = GDALGetRasterCount(image.get());
    constexpr int kSide = task::kTileSize;
    if (GDALGetRasterXSize(image.get()) == kSide && GDALGetRasterYSize(image.get()) == kSide && bands >= 1) {
      Pixels pixels(kTileBytes);
      GDALRasterBandH first = GDALGetRasterBand(image.get(), 1);
      GDALColorTableH palette = GDALGetRasterColorTable(first);
      bool read = true;
      if (bands >= 3) {
        int bandMap[] = {1, 2, 3};
        read = GDALDatasetRasterIO(image.get(), GF_Read, 0, 0, kSide, kSide, pixels.data(), kSide, kSide, GDT_Byte, 3,
                                   bandMap, 3, kSide * 3, 1) == CE_None;
      } else {
        // One band (and perhaps alpha): grey, or indices into a palette.
        std::vector<uint8_t> values(std::size_t{kSide} * kSide);
        read = GDALRasterIO(first, GF_Read, 0, 0, kSide, kSide, values.data(), kSide, kSide, GDT_Byte, 0, 0) == CE_None;
        for (std::size_t i = 0; read && i < values.size(); ++i) {
          GDALColorEntry colour{values[i], values[i], values[i], 255};
          if (palette != nullptr) GDALGetColorEntryAsRGB(palette, values[i], &colour);
          pixels[3 * i] = static_cast<uint8_t>(colour.c1);
          pixels[3 * i + 1] = static_cast<uint8_t>(colour.c2);
          pixels[3 * i + 2] = static_cast<uint8_t>(colour.c3);
        }
      }
      if (read) result = std::move(pixels);
    }
  }
  VSIUnlink(name.c_str());
  return result;
}

namespace {

// An EPSG coordinate system with longitude (easting) first, for any use.
struct SpatialReference {
  explicit SpatialReference(int epsg) : Handle(OSRNewSpatialReference(nullptr)) {
    if (OSRImportFromEPSG(Handle, epsg) != OGRERR_NONE) {
      OSRDestroySpatialReference(Handle);
      throw GdalError("No description of EPSG:" + platform::FormatInteger(epsg) + ": " + GdalErrorScope::LastError());
    }
    OSRSetAxisMappingStrategy(Handle, OAMS_TRADITIONAL_GIS_ORDER);
  }
  ~SpatialReference() { OSRDestroySpatialReference(Handle); }
  SpatialReference(const SpatialReference&) = delete;
  SpatialReference& operator=(const SpatialReference&) = delete;

  std::string Wkt(const char* format) const {
    const char* const options[] = {format, nullptr};
    char* wkt = nullptr;
    std::string text;
    if (OSRExportToWktEx(Handle, &wkt, options) == OGRERR_NONE && wkt != nullptr) text = wkt;
    CPLFree(wkt);
    if (text.empty()) throw GdalError("No well-known text of a coordinate system: " + GdalErrorScope::LastError());
    return text;
  }

  OGRSpatialReferenceH Handle;
};

}  // namespace

std::string PrjText(int epsg) { return SpatialReference(epsg).Wkt("FORMAT=WKT1_ESRI"); }

std::string WktText(int epsg) { return SpatialReference(epsg).Wkt("FORMAT=WKT1"); }

std::string AuxXmlText(int epsg) {
  const SpatialReference srs(epsg);
  int count = 0;
  const int* mapping = OSRGetDataAxisToSRSAxisMapping(srs.Handle, &count);
  std::string axes;
  for (int i = 0; i < count; ++i) axes += (i > 0 ? "," : "") + platform::FormatInteger(mapping[i]);
  char* escaped = CPLEscapeString(srs.Wkt("FORMAT=WKT1").c_str(), -1, CPLES_XML);
  const std::string wkt = escaped;
  CPLFree(escaped);
  return "<PAMDataset>\n  <SRS dataAxisToSRSAxisMapping=\"" + axes + "\">" + wkt + "</SRS>\n</PAMDataset>\n";
}

OptionList& OptionList::Add(const std::string& option) {
  items_.push_back(option);
  return *this;
}

OptionList& OptionList::Add(const std::string& name, const std::string& value) {
  items_.push_back(name);
  items_.push_back(value);
  return *this;
}

char** OptionList::Get() {
  pointers_.clear();
  for (std::string& item : items_) pointers_.push_back(item.data());
  pointers_.push_back(nullptr);
  return pointers_.data();
}

}  // namespace combiner
