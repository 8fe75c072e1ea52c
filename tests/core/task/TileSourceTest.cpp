// Tile sources of the user's own: templates, checks, and how a source is kept
// in the settings file and in a task file.
#include "core/task/TaskFiles.h"
#include "core/task/TileSource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/run/ConfigFile.h"
#include "core/task/TaskFile.h"
#include "core/task/Unitclasstask.h"
#include "tests/support/TempDir.h"

namespace task {
namespace {

TileSource Osm() {
  TileSource s;
  s.Name = "My tiles";
  s.UrlTemplate = "https://{s}.tiles.example/{z}/{x}/{y}.png?key={secret}";
  s.FilePrefix = "my";
  s.Extension = "png";
  s.Subdomains = {"a", "b", "c"};
  s.HeaderLines = {"X-Api-Key: {secret}", "Accept: image/png"};
  s.Referer = "https://example.org/";
  s.UserAgent = "Orvenna";
  s.MinZoom = 3;
  s.MaxZoom = 18;
  s.PauseMs = 250;
  s.MaxWorkers = 2;
  return s;
}

TEST(TileSource, EveryPlaceholderOfATile) {
  TileSource s = Osm();
  const struct {
    const char* text;
    int32_t x, y, zoom;
    const char* date;
    const char* expanded;
  } cases[] = {
      {"{z}/{x}/{y}", 6742, 3101, 13, "", "13/6742/3101"},
      {"{z}/{x}/{-y}", 6742, 3101, 13, "", "13/6742/5090"},  // counted from the south: 8191 - 3101
      {"{-y}", 0, 0, 1, "", "1"},
      {"{q}", 3, 5, 3, "", "213"},
      {"{q}", 0, 0, 1, "", "0"},
      {"{q}", 1, 1, 1, "", "3"},
      {"{s}/{s}", 1, 1, 5, "", "c/c"},  // (x + y) mod 3
      {"{s}", 2, 2, 5, "", "b"},
      {"{s}", 0, 3, 5, "", "a"},
      {"t={date}", 0, 0, 1, "20090105", "t=20090105"},
      {"t={date}", 0, 0, 1, "{x}{secret}", "t={x}{secret}"},  // what goes in is not read again
      {"k={secret}&{unknown}", 0, 0, 1, "", "k=S3CR3T&{unknown}"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Expand(c.text, s, c.x, c.y, c.zoom, c.date, "S3CR3T"), c.expanded) << c.text;
  }
  EXPECT_EQ(UnmaskSecrets("a " + MaskedSecret("My tiles") + " b " + MaskedSecret("x"),
                          [](const std::string& name) { return name == "My tiles" ? std::string("K1") : "K2"; }),
            "a K1 b K2");
}

// A source that sends the user's secret, in its URL or a header, sends a
// key: a 401 or 403 then says the key was refused.
TEST(TileSource, SendsAKeyWhenItsTemplateOrAHeaderHoldsTheSecret) {
  TileSource inUrl = Osm();
  inUrl.HeaderLines = {"Accept: image/png"};
  ASSERT_NE(inUrl.UrlTemplate.find(kSecretPlaceholder), std::string::npos);
  TileSource inHeader = inUrl;
  inHeader.UrlTemplate = "https://{s}.tiles.example/{z}/{x}/{y}.png";
  inHeader.HeaderLines = {"Accept: image/png", "Authorization: Bearer {secret}"};
  TileSource none = inHeader;
  none.HeaderLines = {"Accept: image/png", "X-Note: {date}"};
  EXPECT_TRUE(KindSendsApiKey(inUrl));
  EXPECT_TRUE(KindSendsApiKey(inHeader));
  EXPECT_FALSE(KindSendsApiKey(none));
  EXPECT_TRUE(SendsApiKeyOf(Imagery{inHeader}));
  EXPECT_FALSE(SendsApiKeyOf(Imagery{none}));
}

TEST(TileSource, AnUnusableSourceIsRefusedWithItsReason) {
  const struct {
    const char* why;
    void (*change)(TileSource&);
    const char* message;
  } cases[] = {
      {"no name", [](TileSource& s) { s.Name = ""; }, "A tile source needs a name."},
      {"bracket", [](TileSource& s) { s.Name = "a]b"; }, "The name of a tile source cannot hold [ ] | or a line break, nor begin or end with a blank."},
      {"ftp", [](TileSource& s) { s.UrlTemplate = "ftp://x/{z}/{x}/{y}"; }, "The URL template of My tiles must begin with http:// or https://."},
      {"unknown", [](TileSource& s) { s.UrlTemplate = "http://x/{z}/{x}/{y}/{zoom}"; },
       "Unknown placeholder {zoom} in the URL template of My tiles; there are {z} {x} {y} {-y} {q} {s} {date} {secret}."},
      {"unclosed", [](TileSource& s) { s.UrlTemplate = "http://x/{z}/{x}/{y"; },
       "Unknown placeholder {y in the URL template of My tiles; there are {z} {x} {y} {-y} {q} {s} {date} {secret}."},
      {"no tile", [](TileSource& s) { s.UrlTemplate = "http://x/{z}/{x}.png"; },
       "The URL template of My tiles must name the tile: {x}, {y} (or {-y}) and {z}, or {q}."},
      {"no subdomains", [](TileSource& s) { s.Subdomains.clear(); },
       "The URL template of My tiles uses {s}, but the source has no subdomains."},
      {"prefix", [](TileSource& s) { s.FilePrefix = "a/b"; }, "The file prefix of My tiles must be a plain name (no / \\ : | * ? \" < >)."},
      {"extension", [](TileSource& s) { s.Extension = "gif"; }, "The file extension of My tiles is jpg or png."},
      {"zoom", [](TileSource& s) { s.MinZoom = 9, s.MaxZoom = 8; }, "The zoom levels of My tiles must lie between 1 and 21, the smallest first."},
      {"workers", [](TileSource& s) { s.MaxWorkers = 9; }, "The workers of My tiles are 1 to 8."},
      {"header", [](TileSource& s) { s.HeaderLines = {"no colon"}; }, "The header line \"no colon\" of My tiles is not Name: value."},
      {"header placeholder", [](TileSource& s) { s.Referer = "https://x/{z}"; },
       "The headers of My tiles may use {secret} and {date}, no other placeholder."},
  };
  EXPECT_EQ(SourceProblem(Osm()), "");
  TileSource quadkeys = Osm();
  quadkeys.UrlTemplate = "http://x/{q}.png";
  quadkeys.Subdomains.clear();
  EXPECT_EQ(SourceProblem(quadkeys), "");
  for (const auto& c : cases) {
    TileSource s = Osm();
    c.change(s);
    EXPECT_EQ(SourceProblem(s), c.message) << c.why;
  }
}

// Kept in the settings file with its secret, in a task file without it: both
// read back as they were written, and a task of a built-in type has no
// source section.
TEST(TileSource, KeptInTheSettingsFileAndInTheTaskFile) {
  testsupport::TempDir dir;
  run::ConfigFile config(dir.File("config.ini"));
  TileSource second = Osm();
  second.Name = "Second";
  second.HeaderLines.clear();
  config.WriteSource(Osm(), "S3CR3T");
  config.WriteSource(second, "");
  EXPECT_EQ(config.ReadSources(), (std::vector<TileSource>{Osm(), second}));
  EXPECT_EQ(config.ReadSourceSecret("My tiles"), "S3CR3T");
  TileSource changed = Osm();
  changed.PauseMs = 900;
  config.WriteSource(changed, "NEW");
  EXPECT_EQ(config.ReadSources(), (std::vector<TileSource>{second, changed}));
  config.RemoveSource("Second");
  EXPECT_EQ(config.ReadSources(), std::vector<TileSource>{changed});
  EXPECT_EQ(config.ReadSourceSecret("My tiles"), "NEW");
  TileSource bad = Osm();
  bad.UrlTemplate = "file:///etc/{z}/{x}/{y}";
  EXPECT_THROW(config.WriteSource(bad, ""), std::invalid_argument);

  TaskParameters p;
  p.LeftLongitude = 116.3;
  p.RightLongitude = 116.5;
  p.TopLatitude = 40.0;
  p.BottomLatitude = 39.8;
  p.SavePath = dir.Path();
  p.TaskName = "t.otsk";
  p.MapsType = kMapUserSource;
  p.Source = Osm();
  RunSettings run;
  run.SourceSecret = "S3CR3T";
  const MDTask withSource(p);
  task::WriteTaskFile(withSource, run);
  const std::string written = testsupport::ReadFileBytes(withSource.TaskFileName());
  EXPECT_EQ(written.find("S3CR3T"), std::string::npos);
  EXPECT_EQ(TaskFile(withSource.TaskFileName()).Read(0).Source, Osm());
  EXPECT_EQ(withSource.TileFileName(6742, 3101), "my_6742_3101_13.png");
  // The blank image the downloader copies and the viewer tells blanks by.
  EXPECT_EQ(withSource.BlankImagePath("/opt/o/"), std::string("/opt/o/blankimg") + platform::kPathSeparator + "blank.png");
  EXPECT_EQ(withSource.TileURL(6742, 3101), "https://a.tiles.example/13/6742/3101.png?key={secret:My tiles}");
  EXPECT_EQ(withSource.FetchURL(6742, 3101, run.SourceSecret), "https://a.tiles.example/13/6742/3101.png?key=S3CR3T");
  EXPECT_EQ(withSource.FetchHeaderLines(run.SourceSecret),
            (std::vector<std::string>{"Referer: https://example.org/", "User-Agent: Orvenna", "X-Api-Key: S3CR3T",
                                      "Accept: image/png"}));

  TaskParameters builtIn = p;
  builtIn.MapsType = kMapPhoto;
  builtIn.Source.reset();
  const MDTask photo(builtIn);
  EXPECT_EQ(task::TaskFileLines(photo).size(), 43u);
  EXPECT_EQ(photo.BlankImagePath("/opt/o/"), std::string("/opt/o/blankimg") + platform::kPathSeparator + "blank.jpg");
}

}  // namespace
}  // namespace task
