// JPEG streams of tiles: what kind a stream is (read from its markers, without
// decoding), decoding to pixels and encoding pixels, with libjpeg. Pure
// functions, safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/task/TileGrid.h"

namespace combiner {

struct Rgb {
  uint8_t R = 255, G = 255, B = 255;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A tile's pixels: 256 x 256 RGB triples, row by row from the north.
using Pixels = std::vector<uint8_t>;
inline constexpr std::size_t kTileBytes = std::size_t{task::kTileSize} * task::kTileSize * 3;
Pixels SolidPixels(Rgb colour);

// The luma sampling factors of a YCbCr stream whose chroma is sampled 1 x 1
// (2 x 2 is 4:2:0, 2 x 1 is 4:2:2, 1 x 1 is 4:4:4).
struct ChromaSampling {
  int Horizontal = 2;
  int Vertical = 2;
  friend bool operator==(const ChromaSampling&, const ChromaSampling&) = default;
};

// What the markers of a JPEG stream say, up to its first scan.
struct JpegLayout {
  uint8_t FrameMarker = 0;  // 0xC0 baseline, 0xC2 progressive, ...
  int Precision = 0;
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> ComponentIds;
  std::vector<uint8_t> Sampling;  // per component: horizontal << 4 | vertical
  bool HasTables = false;         // quantisation and Huffman tables before the scan
  bool AdobeUntransformed = false;  // an Adobe marker saying the colours are stored as they are (RGB, CMYK)
  bool EndsWithEoi = false;       // the stream ends in its end marker: not cut short
};

// Nullopt when the bytes are no JPEG stream or its markers are broken.
std::optional<JpegLayout> InspectJpeg(std::string_view bytes);

// The sampling of a stream that can stand as a tile of a JPEG-compressed
// YCbCr TIFF as it is: baseline, 8 bits, 256 x 256, three YCbCr components
// with chroma 1 x 1 and a luma sampling TIFF can state, its own tables, not
// cut short.
std::optional<ChromaSampling> TiffTileSampling(const JpegLayout& layout);

// A whole, readable-looking JPEG stream of any kind (what an MBTiles row may
// hold as it is).
bool IsWholeJpeg(const JpegLayout& layout);

// The pixels of a 256 x 256 stream, 256 / scale pixels a side (scale 1, 2, 4
// or 8: libjpeg scales inside the inverse DCT, without a full decode);
// nullopt when it has another size or does not decode cleanly (libjpeg
// reports corrupt data even where it goes on).
std::optional<Pixels> DecodeJpeg(std::string_view bytes, int scale = 1);

// A tile's pixels at half size (128 x 128), each the rounded mean of its
// 2 x 2 pixels, as GDAL's average resampling makes an overview.
Pixels HalveTile(const Pixels& tile);

// A baseline YCbCr stream of pixels with its own tables.
std::string EncodeJpeg(const Pixels& pixels, ChromaSampling sampling, int quality);

}  // namespace combiner
