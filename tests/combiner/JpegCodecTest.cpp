// What the markers of a tile's stream say about it, and decoding and encoding
// tiles, against streams made by GDAL's drivers.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "combiner/JpegCodec.h"
#include "tests/combiner/SyntheticTask.h"

namespace {

using combiner::ChromaSampling;
using combiner::Pixels;

// The stream with its frame saying 128 rows: no tile of the grid.
std::string HalfHeight(std::string stream) {
  const std::size_t frame = stream.find("\xFF\xC0");
  stream[frame + 5] = 0;
  stream[frame + 6] = static_cast<char>(128);
  return stream;
}

TEST(JpegCodec, TellsWhichStreamsATiffCanTakeAsTheyAre) {
  const Pixels pattern = combinertest::PatternTile(3, 4);
  const std::string baseline = combinertest::GdalJpeg(pattern);
  struct Case {
    const char* Name;
    std::string Bytes;
    bool Parsed;
    bool Whole;
    std::optional<ChromaSampling> Sampling;
  };
  const Case cases[] = {
      {"baseline 4:2:0", baseline, true, true, ChromaSampling{2, 2}},
      {"baseline 4:4:4", combiner::EncodeJpeg(pattern, {1, 1}, 80), true, true, ChromaSampling{1, 1}},
      {"baseline 4:2:2", combiner::EncodeJpeg(pattern, {2, 1}, 80), true, true, ChromaSampling{2, 1}},
      {"4:4:0, which TIFF cannot state", combiner::EncodeJpeg(pattern, {1, 2}, 80), true, true, std::nullopt},
      {"progressive", combinertest::GdalJpeg(pattern, {.Progressive = true}), true, true, std::nullopt},
      {"grey", combinertest::GdalJpeg(pattern, {.Grey = true}), true, true, std::nullopt},
      {"256 x 128", HalfHeight(baseline), true, true, std::nullopt},
      {"cut short", baseline.substr(0, baseline.size() * 2 / 3), true, false, std::nullopt},
      {"headers only", baseline.substr(0, 700), true, false, std::nullopt},
      {"PNG", combinertest::GdalPng(pattern), false, false, std::nullopt},
      {"empty", "", false, false, std::nullopt},
      {"a start marker and noise", std::string("\xFF\xD8\xFF\xE0\x00\x10garbage", 14), false, false, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto layout = combiner::InspectJpeg(c.Bytes);
    ASSERT_EQ(layout.has_value(), c.Parsed);
    if (!layout) continue;
    EXPECT_EQ(combiner::IsWholeJpeg(*layout), c.Whole);
    EXPECT_EQ(combiner::TiffTileSampling(*layout), c.Sampling);
  }
}

TEST(JpegCodec, DecodesWholeTilesOnlyAndEncodesWhatDecodesBack) {
  const Pixels pattern = combinertest::PatternTile(5, 1);
  const std::string baseline = combinertest::GdalJpeg(pattern, {.Quality = 95});
  const auto decoded = combiner::DecodeJpeg(baseline);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(*decoded, combinertest::DecodeWithGdal(baseline));  // the same libjpeg, the same pixels
  EXPECT_LE(combinertest::MaxDifference(*decoded, pattern), 40);

  const auto progressive = combiner::DecodeJpeg(combinertest::GdalJpeg(pattern, {.Progressive = true}));
  ASSERT_TRUE(progressive.has_value());
  EXPECT_LE(combinertest::MaxDifference(*progressive, pattern), 60);

  EXPECT_FALSE(combiner::DecodeJpeg(baseline.substr(0, baseline.size() / 2)));  // cut short: grey below
  EXPECT_FALSE(combiner::DecodeJpeg(HalfHeight(baseline)));
  EXPECT_FALSE(combiner::DecodeJpeg(combinertest::GdalPng(pattern)));
  EXPECT_FALSE(combiner::DecodeJpeg(""));

  for (const ChromaSampling sampling : {ChromaSampling{1, 1}, ChromaSampling{2, 2}}) {
    const std::string encoded = combiner::EncodeJpeg(pattern, sampling, 90);
    const auto back = combiner::DecodeJpeg(encoded);
    ASSERT_TRUE(back.has_value());
    EXPECT_LE(combinertest::MaxDifference(*back, pattern), 40);
    EXPECT_EQ(combiner::TiffTileSampling(*combiner::InspectJpeg(encoded)), sampling);
  }
  const auto white = combiner::DecodeJpeg(combiner::EncodeJpeg(combiner::SolidPixels({255, 255, 255}), {2, 2}, 90));
  ASSERT_TRUE(white.has_value());
  EXPECT_EQ(*white, combiner::SolidPixels({255, 255, 255}));
}

}  // namespace
