// ReadVectorFile of a build without GDAL/OGR (the Windows build): every
// vector file is refused, saying that this build cannot read one, so no user
// takes the refusal for a fault of the file.
#include "core/area/VectorFile.h"

#include "core/platform/Files.h"

namespace area {

VectorShapes ReadVectorFile(const std::string& path, std::size_t) {
  if (!platform::FileExists(path)) throw VectorFileError("Cannot open file " + path);
  throw VectorFileError(path + ": this build of Orvenna reads no vector files (it was built without GDAL); "
                               "give the area as a box instead");
}

}  // namespace area
