#include "core/task/TileImage.h"

#include <cstdint>

#include "core/platform/Numbers.h"

namespace task {

namespace {

// The end of a file is looked for in its last bytes first: an image's end
// marker may be followed by a little padding. Only when it is not there is a
// JPEG walked to its end marker.
constexpr std::size_t kTailBytes = 64;
// The stretch of a JPEG's scan data looked at in one read.
constexpr std::size_t kScanStep = 4096;

struct Format {
  const char* Name;
  std::string_view Magic;
};
constexpr std::string_view kJpegMagic("\xFF\xD8\xFF", 3);
constexpr std::string_view kPngMagic("\x89PNG\r\n\x1A\n", 8);
constexpr Format kKnownFormats[] = {
    {"JPEG", kJpegMagic},
    {"PNG", kPngMagic},
    {"GIF", std::string_view("GIF8", 4)},
    {"TIFF", std::string_view("II*\0", 4)},
    {"TIFF", std::string_view("MM\0*", 4)},
};

uint32_t BigEndian(std::string_view bytes, std::size_t at, std::size_t width) {
  uint32_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

struct Size {
  uint32_t Width = 0;
  uint32_t Height = 0;
};

bool StartsWith(platform::ByteSource& bytes, std::string_view magic) {
  return bytes.Read(0, magic.size()) == magic;
}

bool TailHolds(platform::ByteSource& bytes, std::string_view mark) {
  const uint64_t size = bytes.Size();
  const uint64_t from = size > kTailBytes ? size - kTailBytes : 0;
  return bytes.Read(from, static_cast<std::size_t>(size - from)).find(mark) != std::string_view::npos;
}

bool IsStartOfFrame(uint8_t marker) {
  // SOF0..SOF15 but DHT (C4), JPG (C8) and DAC (CC).
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// The frame size from the JPEG's markers; nothing when they break off first.
std::optional<Size> JpegSize(platform::ByteSource& bytes) {
  uint64_t at = 2;
  for (;;) {
    std::string_view head = bytes.Read(at, 4);
    if (head.size() < 2 || static_cast<uint8_t>(head[0]) != 0xFF) return std::nullopt;
    const auto marker = static_cast<uint8_t>(head[1]);
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {  // no length
      at += 2;
      continue;
    }
    if (head.size() < 4 || marker == 0xD9 || marker == 0xDA) return std::nullopt;  // ended or scan before a frame
    const uint32_t length = BigEndian(head, 2, 2);
    if (length < 2) return std::nullopt;
    if (IsStartOfFrame(marker)) {
      const std::string_view frame = bytes.Read(at + 4, 5);  // precision, height, width
      if (frame.size() < 5 || length < 7) return std::nullopt;
      return Size{BigEndian(frame, 3, 2), BigEndian(frame, 1, 2)};
    }
    at += 2 + length;
  }
}

// True when the JPEG's markers and scan data lead to its end marker (EOI):
// the image is complete, whatever follows it (padding a server added). Marker
// segments are skipped by their lengths; in scan data a 0xFF is followed by
// 0x00 (a stuffed byte), a restart marker or fill bytes, so the first other
// marker there ends the scan.
bool JpegReachesItsEnd(platform::ByteSource& bytes) {
  const uint64_t size = bytes.Size();
  uint64_t at = 2;
  while (at + 2 <= size) {
    const std::string_view head = bytes.Read(at, 4);
    if (head.size() < 2 || static_cast<uint8_t>(head[0]) != 0xFF) return false;
    const auto marker = static_cast<uint8_t>(head[1]);
    if (marker == 0xD9) return true;
    if (marker == 0xFF) {
      ++at;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      at += 2;
      continue;
    }
    if (head.size() < 4) return false;
    const uint32_t length = BigEndian(head, 2, 2);
    if (length < 2) return false;
    at += 2 + length;
    if (marker != 0xDA) continue;
    // Scan data up to the next marker that is no restart.
    bool inScan = true;
    while (inScan) {
      const std::string_view data = bytes.Read(at, kScanStep);
      if (data.size() < 2) return false;
      std::size_t i = 0;
      for (; i + 1 < data.size(); ++i) {
        if (static_cast<uint8_t>(data[i]) != 0xFF) continue;
        const auto next = static_cast<uint8_t>(data[i + 1]);
        if (next == 0x00 || next == 0xFF || (next >= 0xD0 && next <= 0xD7)) {
          if (next != 0xFF) ++i;
          continue;
        }
        inScan = false;
        break;
      }
      at += i;
    }
  }
  return false;
}

std::optional<Size> PngSize(platform::ByteSource& bytes) {
  const std::string_view header = bytes.Read(8, 16);  // length, "IHDR", width, height
  if (header.size() < 16 || BigEndian(header, 0, 4) != 13 || header.substr(4, 4) != "IHDR") return std::nullopt;
  return Size{BigEndian(header, 8, 4), BigEndian(header, 12, 4)};
}

}  // namespace

std::optional<std::string> TileImageProblem(platform::ByteSource& bytes, std::string_view extension) {
  if (bytes.Size() == 0) return std::string("0 bytes");
  const bool png = extension == "png";
  const Format expected = png ? kKnownFormats[1] : kKnownFormats[0];
  if (!StartsWith(bytes, expected.Magic)) {
    for (const Format& other : kKnownFormats) {
      if (StartsWith(bytes, other.Magic)) return std::string("a ") + other.Name + " image, not " + expected.Name;
    }
    return std::string(kNotAnImage);
  }
  const std::optional<Size> size = png ? PngSize(bytes) : JpegSize(bytes);
  if (!size) return std::string(png ? "a PNG without a readable header" : "a JPEG without a readable header");
  // A JPEG ends with its EOI marker, a PNG with its IEND chunk.
  if (!TailHolds(bytes, png ? std::string_view("IEND") : std::string_view("\xFF\xD9", 2)) &&
      (png || !JpegReachesItsEnd(bytes))) {
    return std::string("truncated");
  }
  if (size->Width != kTileSize || size->Height != kTileSize) {
    const std::string side = platform::FormatInteger(kTileSize);
    return platform::FormatInteger(size->Width) + " x " + platform::FormatInteger(size->Height) + " pixels, not " +
           side + " x " + side;
  }
  return std::nullopt;
}

std::optional<std::string> TileImageProblem(std::string_view bytes, std::string_view extension) {
  platform::MemoryBytes memory(bytes);
  return TileImageProblem(memory, extension);
}

}  // namespace task
