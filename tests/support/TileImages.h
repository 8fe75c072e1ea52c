// Real tile images for tests: 256 x 256 JPEGs and PNGs that every program
// takes for a tile, each made unique by a label inside it (a JPEG comment, a
// PNG text chunk), so a test can tell which answer a file holds.
#pragma once

#include <string>

namespace testsupport {

// A white tile of extension ("jpg" or "png") carrying label.
std::string TileImage(const std::string& label, const std::string& extension = "jpg");

// The program's own blank image of extension, byte for byte.
std::string ProgramBlankImage(const std::string& extension = "jpg");

}  // namespace testsupport
