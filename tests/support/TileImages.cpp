#include "tests/support/TileImages.h"

#include <array>
#include <cstdint>
#include <stdexcept>

#include "core/platform/Files.h"

namespace testsupport {

namespace {

uint32_t Crc32(const std::string& bytes) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (const char byte : bytes) crc = table[(crc ^ static_cast<uint8_t>(byte)) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

std::string BigEndian32(uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
          static_cast<char>(value)};
}

}  // namespace

std::string ProgramBlankImage(const std::string& extension) {
  std::string bytes;
  const std::string path = std::string(ORVENNA_ASSETS_DIR) + "/blankimg/blank." + extension;
  if (platform::ReadWholeFile(path, bytes) != platform::ReadOutcome::Ok) throw std::runtime_error("no " + path);
  return bytes;
}

std::string TileImage(const std::string& label, const std::string& extension) {
  std::string image = ProgramBlankImage(extension);
  if (extension == "png") {
    // A tEXt chunk right after the 8-byte signature and the 25-byte IHDR.
    const std::string body = "tEXt" + std::string("Comment") + '\0' + label;
    const std::string chunk = BigEndian32(static_cast<uint32_t>(body.size() - 4)) + body + BigEndian32(Crc32(body));
    return image.insert(33, chunk);
  }
  // A COM segment right after the SOI marker.
  const std::string comment = std::string("\xFF\xFE", 2) + static_cast<char>((label.size() + 2) >> 8) +
                              static_cast<char>((label.size() + 2) & 0xFF) + label;
  return image.insert(2, comment);
}

}  // namespace testsupport
