// The combiner in a build without GDAL (ORVENNA_WITH_GDAL=OFF): its own
// writers carry it (GeoTIFF in Web Mercator through libtiff, MBTiles and
// GeoPackage through SQLite); CheckOptions refuses the outputs GDAL writes
// before any work, so the steps here are never reached by a checked combine.
#include <string>

#include "combiner/Combiner.h"
#include "combiner/GdalSteps.h"
#include "core/platform/Numbers.h"
#include "core/task/TileGrid.h"

namespace combiner {

namespace {

[[noreturn]] void Missing(const std::string& what) {
  throw GdalError(what + ": this tilejoin is built without GDAL");
}

}  // namespace

bool BuiltWithGdal() { return false; }

void InitGdal() {}

GdalErrorScope::GdalErrorScope() = default;
GdalErrorScope::~GdalErrorScope() = default;
std::string GdalErrorScope::LastError() { return "unknown error"; }

std::optional<Pixels> DecodeWithGdal(std::string_view) { return std::nullopt; }

// The two coordinate systems the combiner writes, as GDAL words them.
std::string WktText(int epsg) {
  static const char kWgs84[] =
      R"(GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",6378137,298.257223563,AUTHORITY["EPSG","7030"]],)"
      R"(AUTHORITY["EPSG","6326"]],PRIMEM["Greenwich",0,AUTHORITY["EPSG","8901"]],)"
      R"(UNIT["degree",0.0174532925199433,AUTHORITY["EPSG","9122"]],AXIS["Latitude",NORTH],AXIS["Longitude",EAST],)"
      R"(AUTHORITY["EPSG","4326"]])";
  static const char kWebMercator[] =
      R"(PROJCS["WGS 84 / Pseudo-Mercator",GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",6378137,)"
      R"(298.257223563,AUTHORITY["EPSG","7030"]],AUTHORITY["EPSG","6326"]],PRIMEM["Greenwich",0,)"
      R"(AUTHORITY["EPSG","8901"]],UNIT["degree",0.0174532925199433,AUTHORITY["EPSG","9122"]],)"
      R"(AUTHORITY["EPSG","4326"]],PROJECTION["Mercator_1SP"],PARAMETER["central_meridian",0],)"
      R"(PARAMETER["scale_factor",1],PARAMETER["false_easting",0],PARAMETER["false_northing",0],)"
      R"(UNIT["metre",1,AUTHORITY["EPSG","9001"]],AXIS["Easting",EAST],AXIS["Northing",NORTH],)"
      R"(EXTENSION["PROJ4","+proj=merc +a=6378137 +b=6378137 +lat_ts=0 +lon_0=0 +x_0=0 +y_0=0 +k=1 +units=m )"
      R"(+nadgrids=@null +wktext +no_defs"],AUTHORITY["EPSG","3857"]])";
  if (epsg == task::kWgs84Epsg) return kWgs84;
  if (epsg == task::kWebMercatorEpsg) return kWebMercator;
  Missing("No description of EPSG:" + platform::FormatInteger(epsg));
}

std::string PrjText(int epsg) { Missing("No .prj text of EPSG:" + platform::FormatInteger(epsg)); }

std::string AuxXmlText(int epsg) { Missing("No .aux.xml text of EPSG:" + platform::FormatInteger(epsg)); }

void WriteThroughGdal(const std::string&, const std::string& target, const char* driver, const CombineOptions&,
                      const task::TileRange&, int32_t, bool, bool, Progress&, const std::string&, const std::string&) {
  Missing("Writing " + target + " as " + driver);
}

void BuildOverviews(const std::string& path, Progress&, const std::string&) {
  Missing("Building the overviews of " + path);
}

}  // namespace combiner
