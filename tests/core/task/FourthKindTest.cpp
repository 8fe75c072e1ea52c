// A fourth kind of imagery, as a later one would come: this file (the kind:
// its name, words, task file section, how its tiles are addressed, named and
// paced) and one line, the catalogue with it. Nothing else is touched: the
// catalogue's answers, the task file's reading and the task's tiles serve it
// as they serve the kinds of the program.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "core/platform/Files.h"
#include "core/task/Imagery.h"
#include "core/task/Unitclasstask.h"
#include "tests/support/TempDir.h"

namespace {

// ---- the fourth kind's own file ----
struct WmtsLayer {
  std::string Layer;
  friend bool operator==(const WmtsLayer&, const WmtsLayer&) = default;
};
constexpr int32_t kMapWmts = 30;
std::string KindName(const WmtsLayer&) { return "WMTS"; }
std::string KindWords(const WmtsLayer& wmts, const std::string&) { return "WMTS, layer " + wmts.Layer; }
int32_t KindMapsType(const WmtsLayer&) { return kMapWmts; }
std::string KindCommandWord(const WmtsLayer&) { return "wmts"; }
std::vector<std::string> KindTaskFileLines(const WmtsLayer& wmts) { return {"[Wmts]", "Layer=" + wmts.Layer, ""}; }
std::optional<WmtsLayer> ReadKind(std::type_identity<WmtsLayer>, const settings::IniFile& file, int32_t mapsType) {
  if (mapsType != kMapWmts) return std::nullopt;
  return WmtsLayer{file.ReadString("Wmts", "Layer", "")};
}
std::optional<task::TileSource> KindTileSource(const WmtsLayer& wmts, const task::NearmapAccount&) {
  task::TileSource source;
  source.Name = "WMTS";
  source.UrlTemplate = "http://wmts.example/" + wmts.Layer + "/{z}/{y}/{x}.jpg";
  source.FilePrefix = "wm";
  source.PauseMs = 250;
  source.MaxWorkers = 3;
  return source;
}
bool KindSendsApiKey(const WmtsLayer&) { return false; }

// ---- the one line: the catalogue with the fourth kind ----
using FourKinds = std::variant<task::BuiltInMap, task::NearmapImagery, task::TileSource, WmtsLayer>;

TEST(FourthKind, TheCataloguesAnswersTheTaskFileAndTheTilesServeIt) {
  const std::vector<FourKinds> kinds = {task::BuiltInMap{task::kMapStreet}, task::NearmapImagery{"North", "s1", "2021-03-15"},
                                        WmtsLayer{"ortho"}};
  struct Expected {
    std::string Name, Words, Word;
    int32_t Code;
    bool SendsKey;
  };
  const std::vector<Expected> expected = {
      {"Nearmap StreetMap", "Nearmap StreetMap", "street", task::kMapStreet, false},
      {"Nearmap API", "Nearmap API, looking north, survey of 2021-03-15", "nearmap", task::kMapNearmapApi, true},
      {"WMTS", "WMTS, layer ortho", "wmts", kMapWmts, false},
  };
  testsupport::TempDir dir;
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    SCOPED_TRACE(expected[i].Name);
    EXPECT_EQ(task::NameOf(kinds[i]), expected[i].Name);
    EXPECT_EQ(task::WordsOf(kinds[i], ""), expected[i].Words);
    EXPECT_EQ(task::CommandWordOf(kinds[i]), expected[i].Word);
    EXPECT_EQ(task::MapsTypeCodeOf(kinds[i]), expected[i].Code);
    EXPECT_EQ(task::SendsApiKeyOf(kinds[i]), expected[i].SendsKey);
    // Its task file section is read back into the same kind.
    std::vector<std::string> lines = {"[MapsType]", "MapsType=" + std::to_string(expected[i].Code), ""};
    const std::vector<std::string> own = task::TaskFileLinesOf(kinds[i]);
    lines.insert(lines.end(), own.begin(), own.end());
    const std::string path = dir.File("t" + std::to_string(i) + ".otsk");
    platform::WriteTextLines(path, lines);
    EXPECT_EQ(task::ReadImageryOf<FourKinds>(settings::IniFile(path), expected[i].Code), kinds[i]);
  }
  // The program's catalogue does not know the code.
  EXPECT_FALSE(task::ReadImagery(settings::IniFile(dir.File("t2.otsk")), kMapWmts));

  // A task of it: its tiles named and addressed by the kind, at its pace.
  task::TaskParameters p;
  p.LeftLongitude = 116.3;
  p.RightLongitude = 116.5;
  p.TopLatitude = 40.0;
  p.BottomLatitude = 39.8;
  p.Zoom = 13;
  p.SavePath = dir.Path();
  p.TaskName = "w.otsk";
  p.MapsType = task::MapsTypeCodeOf(kinds[2]);
  p.Source = task::TileSourceOf(kinds[2], task::NearmapAccount{});
  const task::MDTask t(p);
  EXPECT_EQ(t.TotalImages, 42);
  EXPECT_EQ(t.TileFileName(6742, 3101), "wm_6742_3101_13.jpg");
  EXPECT_EQ(t.TileURL(6742, 3101), "http://wmts.example/ortho/13/3101/6742.jpg");
  EXPECT_FALSE(t.SendsApiKey());
  EXPECT_EQ(t.Source()->MaxWorkers, 3);
}

}  // namespace
