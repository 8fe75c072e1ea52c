#include "core/area/VectorFile.h"

#include <cpl_error.h>
#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <atomic>
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

OGRSpatialReference Wgs84() {
  OGRSpatialReference wgs84;
  wgs84.SetWellKnownGeogCS("WGS84");
  wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  return wgs84;
}

// A file that is there to read: GDAL would wait on a named pipe for a writer.
void ExpectReadableFile(const std::string& path) {
  if (!platform::FileExists(path)) throw VectorFileError("Cannot open file " + path);
  if (platform::FileBytes(path, 0).What() == platform::FileBytes::Kind::Other) {
    throw VectorFileError(path + ": " + platform::kNotRegularFile);
  }
}

// Opens path and hands every feature's geometry, in longitude and latitude,
// to use. Throws VectorFileError when the file cannot be read or placed.
template <typename Use>
void ForEachGeometry(const std::string& path, Use&& use) {
  static std::once_flag registered;
  std::call_once(registered, [] { GDALAllRegister(); });
  const QuietErrors quiet;
  const std::unique_ptr<GDALDataset, DatasetCloser> dataset(
      GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
  if (!dataset) {
    const std::string reason = CPLGetLastErrorMsg();
    throw VectorFileError(path + ": not a vector file that can be read" + (reason.empty() ? "" : " (" + reason + ")"));
  }
  const OGRSpatialReference wgs84 = Wgs84();
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
      if (!toWgs84) {
        use(*geometry);
        continue;
      }
      const std::unique_ptr<OGRGeometry> moved(geometry->clone());
      if (moved->transform(toWgs84.get()) != OGRERR_NONE) {
        throw VectorFileError(path + ": a feature lies outside what its coordinate system can place");
      }
      use(*moved);
    }
  }
}

const char* const kAcrossTheAntimeridian =
    ": its features cross the 180th meridian; a task cannot. Make two tasks, one on each side.";

// The polygons of geometries (grown by metres first when metres > 0) as a
// task's shape.
class ShapeCollector {
 public:
  ShapeCollector(std::string what, double metres) : what_(std::move(what)), metres_(metres) {}

  void Add(const OGRGeometry& geometry) {
    if (metres_ > 0) {
      AddPolygons(*Grown(geometry));
    } else {
      AddPolygons(geometry);
    }
  }

  task::Shape Take() {
    if (shape_.Empty()) {
      throw VectorFileError(what_ + (metres_ > 0 ? ": no feature with a geometry"
                                                 : ": no polygon, only lines or points; give a margin in metres "
                                                   "to take the tiles around them"));
    }
    if (acrossTheAntimeridian_) throw VectorFileError(what_ + kAcrossTheAntimeridian);
    return std::move(shape_);
  }

 private:
  // geometry buffered in a projection true to distance around its middle.
  std::unique_ptr<OGRGeometry> Grown(const OGRGeometry& geometry) const {
    OGREnvelope box;
    geometry.getEnvelope(&box);
    OGRSpatialReference local;
    local.SetAE((box.MinY + box.MaxY) / 2, (box.MinX + box.MaxX) / 2, 0, 0);
    local.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    const OGRSpatialReference wgs84 = Wgs84();
    const std::unique_ptr<OGRCoordinateTransformation> there(OGRCreateCoordinateTransformation(&wgs84, &local));
    const std::unique_ptr<OGRCoordinateTransformation> back(OGRCreateCoordinateTransformation(&local, &wgs84));
    std::unique_ptr<OGRGeometry> moved(geometry.clone());
    if (!there || !back || moved->transform(there.get()) != OGRERR_NONE) {
      throw VectorFileError(what_ + ": a feature cannot be grown by a margin");
    }
    std::unique_ptr<OGRGeometry> grown(moved->Buffer(metres_, 8));
    if (!grown || grown->transform(back.get()) != OGRERR_NONE) {
      throw VectorFileError(what_ + ": a feature cannot be grown by a margin");
    }
    return grown;
  }

  void AddPolygons(const OGRGeometry& geometry) {
    switch (wkbFlatten(geometry.getGeometryType())) {
      case wkbPolygon: {
        task::ShapePolygon polygon;
        for (const OGRLinearRing* ring : *geometry.toPolygon()) {
          task::Ring points = RingOf(*ring);
          if (points.size() < 3) continue;
          if (polygon.Outer.empty()) {
            polygon.Outer = std::move(points);
          } else {
            polygon.Holes.push_back(std::move(points));
          }
        }
        if (!polygon.Outer.empty()) shape_.Polygons.push_back(std::move(polygon));
        return;
      }
      case wkbMultiPolygon:
      case wkbGeometryCollection:
        for (const OGRGeometry* part : *geometry.toGeometryCollection()) AddPolygons(*part);
        return;
      case wkbPoint:
      case wkbLineString:
      case wkbMultiPoint:
      case wkbMultiLineString:
        return;
      default: {
        const std::unique_ptr<OGRGeometry> linear(geometry.getLinearGeometry());
        if (linear && wkbFlatten(linear->getGeometryType()) != wkbFlatten(geometry.getGeometryType())) {
          AddPolygons(*linear);
        }
        return;
      }
    }
  }

  task::Ring RingOf(const OGRLinearRing& ring) {
    task::Ring points;
    const int count = ring.getNumPoints();
    points.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
      if (i > 0 && std::abs(ring.getX(i) - ring.getX(i - 1)) > 180) acrossTheAntimeridian_ = true;
      points.push_back({ring.getX(i), ring.getY(i)});
    }
    // The closing point repeats the first; the shape closes its rings itself.
    if (points.size() > 1 && points.front() == points.back()) points.pop_back();
    return points;
  }

  const std::string what_;
  const double metres_;
  bool acrossTheAntimeridian_ = false;
  task::Shape shape_;
};

}  // namespace

VectorShapes ReadVectorFile(const std::string& path, std::size_t maxKeptVertices) {
  ExpectReadableFile(path);
  Collector collector(maxKeptVertices);
  ForEachGeometry(path, [&](const OGRGeometry& geometry) {
    collector.CountFeature();
    collector.Add(geometry);
  });
  if (collector.Empty()) throw VectorFileError(path + ": no feature with a geometry");
  if (collector.CrossesAntimeridian()) throw VectorFileError(path + kAcrossTheAntimeridian);
  return collector.Take();
}

task::Shape ReadVectorFileShape(const std::string& path, double marginMetres) {
  ExpectReadableFile(path);
  ShapeCollector collector(path, marginMetres);
  ForEachGeometry(path, [&](const OGRGeometry& geometry) { collector.Add(geometry); });
  return collector.Take();
}

task::Shape ParseShapeText(std::string_view text, double marginMetres) {
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) throw VectorFileError("The pasted shape is empty");
  static std::once_flag registered;
  std::call_once(registered, [] { GDALAllRegister(); });
  if (text[start] == '{') {
    // GeoJSON of any kind (a geometry, a feature, a collection): GDAL reads
    // it from memory as it reads a file.
    static std::atomic<int> serial{0};
    const std::string name = "/vsimem/orvenna-pasted-" + std::to_string(serial++) + ".geojson";
    VSILFILE* file = VSIFileFromMemBuffer(name.c_str(), reinterpret_cast<GByte*>(const_cast<char*>(text.data())),
                                          static_cast<vsi_l_offset>(text.size()), FALSE);
    if (file == nullptr) throw VectorFileError("The pasted shape cannot be read");
    VSIFCloseL(file);
    try {
      ShapeCollector collector("The pasted shape", marginMetres);
      ForEachGeometry(name, [&](const OGRGeometry& geometry) { collector.Add(geometry); });
      task::Shape shape = collector.Take();
      VSIUnlink(name.c_str());
      return shape;
    } catch (const VectorFileError&) {
      VSIUnlink(name.c_str());
      throw VectorFileError("The pasted text is no GeoJSON with a polygon (or a line or point and a margin)");
    }
  }
  const QuietErrors quiet;
  const std::string wkt(text.substr(start));
  OGRGeometry* parsed = nullptr;
  if (OGRGeometryFactory::createFromWkt(wkt.c_str(), nullptr, &parsed) != OGRERR_NONE || parsed == nullptr) {
    throw VectorFileError("The pasted text is neither GeoJSON nor WKT (such as POLYGON((lon lat, ...)))");
  }
  const std::unique_ptr<OGRGeometry> geometry(parsed);
  ShapeCollector collector("The pasted shape", marginMetres);
  collector.Add(*geometry);
  return collector.Take();
}

}  // namespace area
