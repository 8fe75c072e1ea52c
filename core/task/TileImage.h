// Whether bytes are a tile: an image of the task's format (JPEG or PNG, told
// by its first bytes), whose header parses, of the tile size, and complete.
// The one judgement every program makes of a downloaded answer and of a file
// on disk. Pure; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/platform/FileBytes.h"
#include "core/task/TileGrid.h"

namespace task {

// The reason bytes are no tile of extension ("jpg" or "png"), for example
// "0 bytes", "not an image", "a PNG image, not JPEG", "truncated",
// "512 x 512 pixels, not 256 x 256"; nothing when they are one.
std::optional<std::string> TileImageProblem(platform::ByteSource& bytes, std::string_view extension);
std::optional<std::string> TileImageProblem(std::string_view bytes, std::string_view extension);

// "not an image", the reason for bytes that begin as no known image does.
inline constexpr const char* kNotAnImage = "not an image";

}  // namespace task
