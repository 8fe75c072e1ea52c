#include "core/area/VectorFile.h"

#include <cpl_error.h>
#include <gdal_priv.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>

#include "core/platform/FileBytes.h"
#include "core/platform/Files.h"

namespace area {

namespace {

struct DatasetCloser {
  void operator()(GDALDataset* dataset) const { GDALClose(dataset); }
};

// GDAL's messages kept from the terminal while a file is read.
class QuietErrors {
 public:
  QuietErrors() {
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
  }
  ~QuietErrors() { CPLPopErrorHandler(); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;
};

class Collector {
 public:
  explicit Collector(std::size_t maxKept) : maxKept_(maxKept) {}

  void Add(const OGRGeometry& geometry) {
    switch (wkbFlatten(geometry.getGeometryType())) {
      case wkbPoint: {
        const OGRPoint& point = *geometry.toPoint();
        if (point.IsEmpty()) return;
        // Into the box whether or not it is kept for drawing.
        const LonLat seen = See(point.getX(), point.getY());
        if (Keep(1)) shapes_.Points.push_back(seen);
        return;
      }
      case wkbLineString:
      case wkbLinearRing:
        AddLine(*geometry.toSimpleCurve());
        return;
      case wkbPolygon:
        for (const OGRLinearRing* ring : *geometry.toPolygon()) AddLine(*ring);
        return;
      case wkbMultiPoint:
      case wkbMultiLineString:
      case wkbMultiPolygon:
      case wkbGeometryCollection:
        for (const OGRGeometry* part : *geometry.toGeometryCollection()) Add(*part);
        return;
      default: {
        // Curves and surfaces of other kinds, as straight segments.
        const std::unique_ptr<OGRGeometry> linear(geometry.getLinearGeometry());
        if (linear && wkbFlatten(linear->getGeometryType()) != wkbFlatten(geometry.getGeometryType())) Add(*linear);
        return;
      }
    }
  }

  VectorShapes Take() {
    shapes_.Bounds = Area{west_, south_, east_, north_};
    return std::move(shapes_);
  }
  bool Empty() const { return west_ > east_; }
  bool CrossesAntimeridian() const { return crossesAntimeridian_; }
  void CountFeature() { ++shapes_.Features; }

 private:
  void AddLine(const OGRSimpleCurve& curve) {
    const int count = curve.getNumPoints();
    std::vector<LonLat> line;
    const bool kept = Keep(static_cast<std::size_t>(count));
    if (kept) line.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
      const LonLat point = See(curve.getX(i), curve.getY(i));
      // A segment longer than half the world goes the short way, across the
      // 180th meridian: the box of its ends would be the wrong side of it.
      if (i > 0 && std::abs(point.Lon - curve.getX(i - 1)) > 180) crossesAntimeridian_ = true;
      if (kept) line.push_back(point);
    }
    if (kept && !line.empty()) shapes_.Lines.push_back(std::move(line));
  }

  bool Keep(std::size_t vertices) {
    if (kept_ + vertices > maxKept_) {
      shapes_.Truncated = true;
      return false;
    }
    kept_ += vertices;
    return true;
  }

  LonLat See(double lon, double lat) {
    west_ = std::min(west_, lon);
    east_ = std::max(east_, lon);
    south_ = std::min(south_, lat);
    north_ = std::max(north_, lat);
    return LonLat{lon, lat};
  }

  const std::size_t maxKept_;
  std::size_t kept_ = 0;
  bool crossesAntimeridian_ = false;
  VectorShapes shapes_;
  double west_ = std::numeric_limits<double>::infinity();
  double east_ = -std::numeric_limits<double>::infinity();
  double south_ = std::numeric_limits<double>::infinity();
  double north_ = -std::numeric_limits<double>::infinity();
};

bool IsRepeatedPoints(const char* layerName) {
  const std::string name = layerName;
  return name == "track_points" || name == "route_points";
}

}  // namespace

VectorShapes ReadVectorFile(const std::string& path, std::size_t maxKeptVertices) {
  if (!platform::FileExists(path)) throw VectorFileError("Cannot open file " + path);
  // GDAL would wait on a named pipe for a writer.
  if (platform::FileBytes(path, 0).What() == platform::FileBytes::Kind::Other) {
    throw VectorFileError(path + ": " + platform::kNotRegularFile);
  }
  static std::once_flag registered;
  std::call_once(registered, [] { GDALAllRegister(); });
  const QuietErrors quiet;
  const std::unique_ptr<GDALDataset, DatasetCloser> dataset(
      GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
  if (!dataset) {
    const std::string reason = CPLGetLastErrorMsg();
    throw VectorFileError(path + ": not a vector file that can be read" + (reason.empty() ? "" : " (" + reason + ")"));
  }
  OGRSpatialReference wgs84;
  wgs84.SetWellKnownGeogCS("WGS84");
  wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  Collector collector(maxKeptVertices);
  for (OGRLayer* layer : dataset->GetLayers()) {
    if (IsRepeatedPoints(layer->GetName())) continue;
    std::unique_ptr<OGRCoordinateTransformation> toWgs84;
    if (const OGRSpatialReference* own = layer->GetSpatialRef(); own != nullptr && !own->IsSame(&wgs84)) {
      toWgs84.reset(OGRCreateCoordinateTransformation(own, &wgs84));
      if (!toWgs84) throw VectorFileError(path + ": its coordinate system cannot be turned into longitude and latitude");
    }
    for (const auto& feature : *layer) {
      const OGRGeometry* geometry = feature->GetGeometryRef();
      if (geometry == nullptr || geometry->IsEmpty()) continue;
      collector.CountFeature();
      if (!toWgs84) {
        collector.Add(*geometry);
        continue;
      }
      const std::unique_ptr<OGRGeometry> moved(geometry->clone());
      if (moved->transform(toWgs84.get()) != OGRERR_NONE) {
        throw VectorFileError(path + ": a feature lies outside what its coordinate system can place");
      }
      collector.Add(*moved);
    }
  }
  if (collector.Empty()) throw VectorFileError(path + ": no feature with a geometry");
  if (collector.CrossesAntimeridian()) {
    throw VectorFileError(path + ": its features cross the 180th meridian; a task cannot. Make two tasks, one on each side.");
  }
  return collector.Take();
}

}  // namespace area
