#include "combiner/JpegCodec.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <new>

#include <jpeglib.h>

namespace combiner {

namespace {

constexpr uint8_t kBaselineFrame = 0xC0;

uint16_t BigEndian16(const unsigned char* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

bool IsFrameMarker(uint8_t marker) {
  // SOF0..SOF15 without DHT (C4), JPG (C8) and DAC (CC).
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool IsTiffSubsampling(int factor) { return factor == 1 || factor == 2 || factor == 4; }

// libjpeg reports fatal errors through error_exit, which must not return:
// it jumps back to the call that set up the jump buffer.
struct ErrorManager {
  jpeg_error_mgr Base;
  std::jmp_buf Jump;
  bool CorruptData = false;
};

extern "C" void JumpOnError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->Jump, 1);
}

// Level -1 is a warning about corrupt data (a stream cut short, a bad
// Huffman code); libjpeg goes on with grey, which would pass for a tile.
extern "C" void NoteWarning(j_common_ptr info, int level) {
  if (level < 0) reinterpret_cast<ErrorManager*>(info->err)->CorruptData = true;
}

void SetUpErrors(ErrorManager& errors) {
  jpeg_std_error(&errors.Base);
  errors.Base.error_exit = JumpOnError;
  errors.Base.emit_message = NoteWarning;
}

}  // namespace

Pixels SolidPixels(Rgb colour) {
  constexpr std::size_t kRowBytes = task::kTileSize * 3;
  Pixels pixels(kTileBytes);
  for (std::size_t i = 0; i < kRowBytes; i += 3) {
    pixels[i] = colour.R;
    pixels[i + 1] = colour.G;
    pixels[i + 2] = colour.B;
  }
  for (std::size_t row = kRowBytes; row < kTileBytes; row += kRowBytes) {
    std::copy_n(pixels.begin(), kRowBytes, pixels.begin() + static_cast<std::ptrdiff_t>(row));
  }
  return pixels;
}

std::optional<JpegLayout> InspectJpeg(std::string_view bytes) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) return std::nullopt;
  JpegLayout layout;
  bool quantisation = false;
  bool huffman = false;
  std::size_t pos = 2;
  while (true) {
    if (pos + 4 > size || data[pos] != 0xFF) return std::nullopt;
    while (pos + 4 <= size && data[pos + 1] == 0xFF) ++pos;  // fill bytes
    const uint8_t marker = data[pos + 1];
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length
      pos += 2;
      continue;
    }
    if (marker == 0xD8 || marker == 0xD9) return std::nullopt;  // a second start, or the end before any scan
    const std::size_t length = BigEndian16(data + pos + 2);
    if (length < 2 || pos + 2 + length > size) return std::nullopt;
    const unsigned char* segment = data + pos + 4;
    const std::size_t segmentSize = length - 2;
    if (IsFrameMarker(marker)) {
      if (segmentSize < 6) return std::nullopt;
      layout.FrameMarker = marker;
      layout.Precision = segment[0];
      layout.Height = BigEndian16(segment + 1);
      layout.Width = BigEndian16(segment + 3);
      const std::size_t components = segment[5];
      if (segmentSize < 6 + 3 * components) return std::nullopt;
      for (std::size_t c = 0; c < components; ++c) {
        layout.ComponentIds.push_back(segment[6 + 3 * c]);
        layout.Sampling.push_back(segment[7 + 3 * c]);
      }
    } else if (marker == 0xDB) {
      quantisation = true;
    } else if (marker == 0xC4) {
      huffman = true;
    } else if (marker == 0xEE && segmentSize >= 12 && std::string_view(reinterpret_cast<const char*>(segment), 5) == "Adobe") {
      layout.AdobeUntransformed = segment[11] == 0;
    } else if (marker == 0xDA) {
      break;
    }
    pos += 2 + length;
  }
  if (layout.FrameMarker == 0) return std::nullopt;
  layout.HasTables = quantisation && huffman;
  layout.EndsWithEoi = data[size - 2] == 0xFF && data[size - 1] == 0xD9;
  return layout;
}

std::optional<ChromaSampling> TiffTileSampling(const JpegLayout& layout) {
  if (layout.FrameMarker != kBaselineFrame || layout.Precision != 8 || layout.Width != task::kTileSize ||
      layout.Height != task::kTileSize || layout.Sampling.size() != 3 || !layout.HasTables || !layout.EndsWithEoi ||
      layout.AdobeUntransformed) {
    return std::nullopt;
  }
  // Components named R, G, B without a JFIF marker are taken for RGB by libjpeg.
  if (layout.ComponentIds == std::vector<uint8_t>{'R', 'G', 'B'}) return std::nullopt;
  if (layout.Sampling[1] != 0x11 || layout.Sampling[2] != 0x11) return std::nullopt;
  const ChromaSampling sampling{layout.Sampling[0] >> 4, layout.Sampling[0] & 15};
  // TIFF states chroma subsampling of 1, 2 or 4, never finer vertically than horizontally.
  if (!IsTiffSubsampling(sampling.Horizontal) || !IsTiffSubsampling(sampling.Vertical) ||
      sampling.Vertical > sampling.Horizontal) {
    return std::nullopt;
  }
  return sampling;
}

bool IsWholeJpeg(const JpegLayout& layout) { return layout.HasTables && layout.EndsWithEoi; }

std::optional<Pixels> DecodeJpeg(std::string_view bytes, int scale) {
  const int side = task::kTileSize / scale;
  Pixels pixels(static_cast<std::size_t>(side) * side * 3);
  jpeg_decompress_struct info{};
  ErrorManager errors;
  SetUpErrors(errors);
  info.err = &errors.Base;
  if (setjmp(errors.Jump) != 0) {
    jpeg_destroy_decompress(&info);
    return std::nullopt;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  if (info.image_width != task::kTileSize || info.image_height != task::kTileSize) {
    jpeg_destroy_decompress(&info);
    return std::nullopt;
  }
  info.out_color_space = JCS_RGB;
  info.scale_num = 1;
  info.scale_denom = static_cast<unsigned>(scale);
  jpeg_start_decompress(&info);
  if (static_cast<int>(info.output_width) != side || static_cast<int>(info.output_height) != side) {
    jpeg_destroy_decompress(&info);
    return std::nullopt;
  }
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = pixels.data() + static_cast<std::size_t>(info.output_scanline) * side * 3;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  if (errors.CorruptData) return std::nullopt;
  return pixels;
}

Pixels HalveTile(const Pixels& tile) {
  constexpr int kHalf = task::kTileSize / 2;
  constexpr std::size_t kStride = task::kTileSize * 3;
  Pixels half(static_cast<std::size_t>(kHalf) * kHalf * 3);
  uint8_t* out = half.data();
  for (int row = 0; row < kHalf; ++row) {
    const uint8_t* top = tile.data() + 2 * row * kStride;
    const uint8_t* bottom = top + kStride;
    for (int column = 0; column < kHalf; ++column, top += 6, bottom += 6) {
      for (int c = 0; c < 3; ++c) {
        *out++ = static_cast<uint8_t>((top[c] + top[c + 3] + bottom[c] + bottom[c + 3] + 2) >> 2);
      }
    }
  }
  return half;
}

std::string EncodeJpeg(const Pixels& pixels, ChromaSampling sampling, int quality) {
  jpeg_compress_struct info{};
  ErrorManager errors;
  SetUpErrors(errors);
  info.err = &errors.Base;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  // Encoding valid pixels into memory fails only when memory runs out.
  if (setjmp(errors.Jump) != 0) {
    jpeg_destroy_compress(&info);
    std::free(buffer);
    throw std::bad_alloc();
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = task::kTileSize;
  info.image_height = task::kTileSize;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  info.comp_info[0].h_samp_factor = sampling.Horizontal;
  info.comp_info[0].v_samp_factor = sampling.Vertical;
  for (int c = 1; c < 3; ++c) {
    info.comp_info[c].h_samp_factor = 1;
    info.comp_info[c].v_samp_factor = 1;
  }
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    auto row = const_cast<JSAMPROW>(pixels.data() + static_cast<std::size_t>(info.next_scanline) * task::kTileSize * 3);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  std::string stream(reinterpret_cast<const char*>(buffer), size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return stream;
}

}  // namespace combiner
