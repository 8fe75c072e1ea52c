// tilejoin's command line: what each form asks for, and what it refuses.
#include "combiner/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using combiner::Invocation;
using combiner::OutputFormat;
using combiner::UsageError;

Invocation Parse(const std::vector<std::string>& arguments) { return combiner::ParseCommandLine(arguments); }

TEST(CommandLine, WindowWithoutOutputHelpAnywhere) {
  EXPECT_EQ(Parse({}).What, Invocation::Mode::Window);
  const Invocation exportTask = Parse({"/data/t.otsk"});
  EXPECT_EQ(exportTask.What, Invocation::Mode::Window);
  EXPECT_EQ(exportTask.Options.TaskPath, "/data/t.otsk");
  EXPECT_EQ(Parse({"/data/t.otsk", "-o", "x.tif", "--help"}).What, Invocation::Mode::Help);
  EXPECT_EQ(Parse({"-h"}).What, Invocation::Mode::Help);
}

TEST(CommandLine, ReadsEveryOption) {
  const Invocation defaults = Parse({"t.otsk", "-o", "out.tif"});
  EXPECT_EQ(defaults.What, Invocation::Mode::Combine);
  EXPECT_EQ(defaults.Options.Format, OutputFormat::GeoTiff);
  EXPECT_EQ(defaults.Options.Srs, combiner::OutputSrs::WebMercator);
  EXPECT_EQ(defaults.Options.Compress, combiner::Compression::Jpeg);
  EXPECT_EQ(defaults.Options.Fill, (combiner::Rgb{255, 255, 255}));
  EXPECT_EQ(defaults.Options.SheetPixels, 0);
  EXPECT_TRUE(defaults.Options.Overviews);
  EXPECT_TRUE(defaults.Options.CopyTiles);
  EXPECT_FALSE(defaults.Options.Area.has_value());
  EXPECT_EQ(defaults.Verbose, combiner::Verbosity::Normal);

  const Invocation all = Parse({"--format=cog", "--srs", "4326", "--sheet", "4096", "--fill", "#102030", "--compress",
                                "deflate", "--area", "tiles:1,2,3,4", "--no-overviews", "--reencode", "-q",
                                "t.otsk", "--output", "out.bin"});
  EXPECT_EQ(all.Options.TaskPath, "t.otsk");
  EXPECT_EQ(all.Options.OutputPath, "out.bin");
  EXPECT_EQ(all.Options.Format, OutputFormat::Cog);
  EXPECT_EQ(all.Options.Srs, combiner::OutputSrs::Wgs84);
  EXPECT_EQ(all.Options.SheetPixels, 4096);
  EXPECT_EQ(all.Options.Fill, (combiner::Rgb{0x10, 0x20, 0x30}));
  EXPECT_EQ(all.Options.Compress, combiner::Compression::Deflate);
  EXPECT_TRUE(all.Options.Area.has_value());
  EXPECT_FALSE(all.Options.Overviews);
  EXPECT_FALSE(all.Options.CopyTiles);
  EXPECT_EQ(all.Verbose, combiner::Verbosity::Quiet);

  // The output's extension picks the format unless --format says otherwise.
  const std::pair<const char*, OutputFormat> byExtension[] = {
      {"a.TIFF", OutputFormat::GeoTiff},     {"a.jpeg", OutputFormat::Jpeg}, {"a.png", OutputFormat::Png},
      {"a.mbtiles", OutputFormat::MbTiles}, {"a.GPKG", OutputFormat::GeoPackage}, {"a.kmz", OutputFormat::Kmz}};
  for (const auto& [output, format] : byExtension) {
    EXPECT_EQ(Parse({"t.otsk", "-o", output}).Options.Format, format) << output;
  }
  EXPECT_EQ(Parse({"t.otsk", "-o", "a.img", "--format", "gpkg"}).Options.Format, OutputFormat::GeoPackage);
  const Invocation pyramid = Parse({"t.otsk", "-o", "a.mbtiles", "--min-zoom", "3"});
  EXPECT_EQ(pyramid.Options.MinZoom, 3);
  EXPECT_FALSE(defaults.Options.MinZoom.has_value());
  EXPECT_EQ(Parse({"t.otsk", "-o", "a.png", "--fill", "0,128,255"}).Options.Fill, (combiner::Rgb{0, 128, 255}));
  EXPECT_EQ(Parse({"t.otsk", "-o", "a.png", "--fill", "Black"}).Options.Fill, (combiner::Rgb{0, 0, 0}));
}

TEST(CommandLine, RefusesWhatItCannotDo) {
  const std::vector<std::vector<std::string>> wrong = {
      {"-o", "out.tif"},                                      // no task
      {"t.otsk", "-v"},                                       // no output
      {"t.otsk", "u.otsk", "-o", "out.tif"},                  // two tasks
      {"t.otsk", "-o"},                                       // no value
      {"t.otsk", "-o", "out.tif", "--frobnicate"},
      {"t.otsk", "-o", "out.tif", "-x"},
      {"t.otsk", "-o", "out.tif", "--reencode=yes"},
      {"t.otsk", "-o", "out.tif", "--format", "webp"},
      {"t.otsk", "-o", "out.tif", "--srs", "2154"},
      {"t.otsk", "-o", "out.tif", "--sheet", "-5"},
      {"t.otsk", "-o", "out.tif", "--sheet", "100"},          // less than a tile
      {"t.otsk", "-o", "out.jpg", "--sheet", "70000"},        // more than JPEG holds
      {"t.otsk", "-o", "out.tif", "--fill", "mauve"},
      {"t.otsk", "-o", "out.tif", "--fill", "#12345"},
      {"t.otsk", "-o", "out.tif", "--fill", "1,2,256"},
      {"t.otsk", "-o", "out.tif", "--compress", "lzw"},
      {"t.otsk", "-o", "out.png", "--compress", "deflate"},  // PNG has its own
      {"t.otsk", "-o", "out.mbtiles", "--srs", "4326"},
      {"t.otsk", "-o", "out.gpkg", "--srs", "4326"},
      {"t.otsk", "-o", "out.kmz", "--srs", "3857"},           // Google Earth's own degrees only
      {"t.otsk", "-o", "out.webp"},                           // never a GeoTIFF under a foreign name
      {"t.otsk", "-o", "out"},
      {"t.otsk", "-o", "out.tif", "--min-zoom", "3"},        // no zooms in a GeoTIFF
      {"t.otsk", "-o", "out.gpkg", "--min-zoom", "low"},
      {"t.otsk", "-o", "out.gpkg", "--min-zoom", "-1"},
      {"t.otsk", "-o", "out.gpkg", "--min-zoom", "3", "--no-overviews"},
      {"t.otsk", "-o", "out.tif", "--area", "1,2,3,4"},
      {"t.otsk", "-o", "out.tif", "-q", "-v"},
  };
  for (const auto& arguments : wrong) {
    std::string line;
    for (const std::string& argument : arguments) line += argument + " ";
    EXPECT_THROW(Parse(arguments), UsageError) << line;
  }
}

}  // namespace
