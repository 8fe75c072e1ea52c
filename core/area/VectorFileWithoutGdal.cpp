// The vector files of a build without GDAL/OGR (the Windows build): every
// vector file is refused, saying that this build cannot read one, so no user
// takes the refusal for a fault of the file. A pasted GeoJSON shape is read
// without GDAL, as long as it needs no margin.
#include "core/area/VectorFile.h"

#include "core/platform/Files.h"
#include "core/task/ShapeFile.h"

namespace area {

VectorShapes ReadVectorFile(const std::string& path, std::size_t) {
  if (!platform::FileExists(path)) throw VectorFileError("Cannot open file " + path);
  throw VectorFileError(path + ": this build of Orvenna reads no vector files (it was built without GDAL); "
                               "give the area as a box instead");
}

task::Shape ReadVectorFileShape(const std::string& path, double) {
  (void)ReadVectorFile(path, 0);
  throw VectorFileError(path + ": this build of Orvenna reads no vector files");
}

task::Shape ParseShapeText(std::string_view text, double marginMetres) {
  if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) throw VectorFileError("The pasted shape is empty");
  std::optional<task::Shape> shape = task::ShapeFromGeoJson(text);
  if (!shape) {
    throw VectorFileError("The pasted text is no GeoJSON with a polygon; this build of Orvenna (without GDAL) "
                          "reads no WKT");
  }
  if (marginMetres > 0) {
    throw VectorFileError("This build of Orvenna (without GDAL) cannot grow a shape by a margin; set the margin to 0");
  }
  return std::move(*shape);
}

}  // namespace area
