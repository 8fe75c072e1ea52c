// A build without GDAL refuses a vector file with words that name the build,
// not the file, as the reason; a missing file is still a missing file.
#include <gtest/gtest.h>

#include <string>

#include "core/area/VectorFile.h"
#include "core/platform/Files.h"
#include "tests/support/TempDir.h"

namespace {

TEST(VectorFileWithoutGdal, RefusedSayingTheBuildLacksIt) {
  testsupport::TempDir dir;
  const std::string park = dir.File("park.geojson");
  platform::WriteFileAtomic(park, R"({"type":"FeatureCollection","features":[]})");
  try {
    area::ReadVectorFile(park);
    FAIL() << "read without GDAL";
  } catch (const area::VectorFileError& error) {
    EXPECT_EQ(std::string(error.what()),
              park + ": this build of Orvenna reads no vector files (it was built without GDAL); "
                     "give the area as a box instead");
  }
  try {
    area::ReadVectorFile(dir.File("missing.geojson"));
    FAIL() << "a missing file read";
  } catch (const area::VectorFileError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot open file " + dir.File("missing.geojson"));
  }
}

}  // namespace
