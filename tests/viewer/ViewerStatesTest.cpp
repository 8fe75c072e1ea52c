// Every tile state recognised, counted, listed and drawn in its own way.
#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QTest>

#include <filesystem>

#include "tests/viewer/ViewerFixture.h"
#include "viewer/HoleListModel.h"
#include "viewer/MapView.h"

namespace viewertest {
namespace {

using viewer::TileState;

// A JPEG whose header is whole, and its end, but that holds no image data:
// only decoding finds it wanting.
std::string WithoutImageData(const std::string& jpeg) { return jpeg.substr(0, jpeg.find("\xFF\xDA")) + "\xFF\xD9"; }

bool Near(QColor a, QColor b) {
  return std::abs(a.red() - b.red()) <= 6 && std::abs(a.green() - b.green()) <= 6 && std::abs(a.blue() - b.blue()) <= 6;
}

TEST_F(ViewerTest, EveryStateIsRecognisedCountedListedAndDrawnDistinctly) {
  const testsupport::TileBlock block{6742, 3101, 4, 3, 13};
  const task::MDTask& task = MakeTask(block);
  const int32_t x0 = block.X0;
  const int32_t y0 = block.Y0;
  struct Tile {
    int32_t Column, Row;
    std::string Bytes;  // empty: no file
    bool Listed;        // in the failed list
    TileState Expected;
    QColor Drawn;  // the colour its middle shows
  };
  const QColor red(200, 30, 30), green(30, 180, 60), teal(20, 120, 140), grey(0xf0, 0xf0, 0xf0);
  const std::vector<Tile> tiles = {
      {0, 0, ImageBytes(red), false, TileState::Saved, red},
      {1, 0, ImageBytes(green, 256, "PNG"), false, TileState::Unreadable,
       viewer::StateColor(TileState::Unreadable)},  // no tile of a JPEG task
      {2, 0, blank, false, TileState::Blank, viewer::StateColor(TileState::Blank)},
      {3, 0, blank + '\0', false, TileState::Saved, grey},  // longer than the blank image
      {0, 1, "", true, TileState::GivenUp, viewer::StateColor(TileState::GivenUp)},
      {1, 1, ImageBytes(teal), true, TileState::Saved, teal},  // came after it was given up
      {2, 1, "", false, TileState::Missing, viewer::StateColor(TileState::Missing)},
      {3, 1, "<html><body>404 Not Found</body></html>", false, TileState::Unreadable,
       viewer::StateColor(TileState::Unreadable)},
      {0, 2, std::string(), false, TileState::Unreadable, viewer::StateColor(TileState::Unreadable)},  // empty file
      {1, 2, "", false, TileState::Unreadable, viewer::StateColor(TileState::Unreadable)},             // a folder
      {2, 2, WithoutImageData(ImageBytes(red)), false, TileState::Unreadable,
       viewer::StateColor(TileState::Unreadable)},  // found when it fails to decode
      {3, 2, "", false, TileState::Missing, viewer::StateColor(TileState::Missing)},
  };
  std::vector<task::TilePosition> listed;
  for (const Tile& tile : tiles) {
    if (!tile.Bytes.empty()) WriteTile(x0 + tile.Column, y0 + tile.Row, tile.Bytes);
    if (tile.Listed) listed.push_back({x0 + tile.Column, y0 + tile.Row});
  }
  testsupport::WriteFileBytes(task.TileFilePath(x0, y0 + 2), "");
  std::filesystem::create_directory(task.TileFilePath(x0 + 1, y0 + 2));
  WriteFailedList(listed);

  ASSERT_TRUE(OpenMade());
  ASSERT_TRUE(WaitUntilAllKnown());
  // The whole task fits: every tile is drawn as its image, so the undecodable one is found.
  ASSERT_TRUE(QTest::qWaitFor([&] { return StateOf(x0 + 2, y0 + 2) == TileState::Unreadable; }, 10000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return CountText(TileState::Unreadable) == "Unreadable: 5"; }, 5000));
  for (const Tile& tile : tiles) {
    EXPECT_EQ(StateOf(x0 + tile.Column, y0 + tile.Row), tile.Expected) << tile.Column << "," << tile.Row;
  }
  EXPECT_EQ(CountText(TileState::Saved), "Saved: 3");
  EXPECT_EQ(CountText(TileState::Blank), "Blank substitute: 1");
  EXPECT_EQ(CountText(TileState::GivenUp), "Given up: 1");
  EXPECT_EQ(CountText(TileState::Missing), "Not downloaded: 2");
  EXPECT_EQ(window->HoleSummary->text(), "1 given up, 2 not downloaded, 5 unreadable");
  // The hole list: walk order (column by column), the state beside each
  // name, and why an unreadable tile is, once its file has been looked at.
  const auto rowOf = [&](int32_t column, int32_t row, const char* why) {
    return QString::fromStdString(task.TileFileName(x0 + column, y0 + row)) + "  " + why;
  };
  const QStringList expectedRows = {
      rowOf(0, 1, "given up"),           rowOf(0, 2, "unreadable: 0 bytes"),
      rowOf(1, 0, "unreadable: a PNG image, not JPEG"), rowOf(1, 2, "unreadable: a folder"),
      rowOf(2, 1, "missing"),            rowOf(2, 2, "unreadable: does not decode"),
      rowOf(3, 1, "unreadable: not an image"),          rowOf(3, 2, "missing"),
  };
  const auto rows = [&] {
    QStringList shown;
    for (int r = 0; r < window->Holes->rowCount(); ++r) shown << window->Holes->data(window->Holes->index(r), Qt::DisplayRole).toString();
    return shown;
  };
  EXPECT_TRUE(QTest::qWaitFor([&] { return rows() == expectedRows; }, 10000)) << rows().join('\n').toStdString();

  const auto pixelAt = [&](const QImage& image, const Tile& tile, double across, double down) {
    const mapkit::ScreenPoint point = window->Map->View().ToScreen({x0 + tile.Column + across, y0 + tile.Row + down});
    return image.pixelColor(static_cast<int>(point.X), static_cast<int>(point.Y));
  };
  // Every saved tile shows its image.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        window->Map->repaint();
        return window->Map->ImagesPending() == 0;
      },
      10000));
  const QImage drawn = window->Map->grab().toImage();
  for (const Tile& tile : tiles) {
    if (tile.Expected == TileState::Blank || tile.Expected == TileState::Missing) {
      // Hatched: its colour and lines of another across it, never bright.
      bool base = false, hatch = false;
      for (double across = 0.3; across < 0.7; across += 0.01) {
        const QColor pixel = pixelAt(drawn, tile, across, 0.5);
        base = base || Near(pixel, tile.Drawn);
        hatch = hatch || !Near(pixel, tile.Drawn);
        EXPECT_LT(pixel.lightness(), 200) << tile.Column << "," << tile.Row;
      }
      EXPECT_TRUE(base && hatch) << tile.Column << "," << tile.Row;
      continue;
    }
    // Off the diagonals that cross out an unreadable tile.
    const QColor pixel = pixelAt(drawn, tile, 0.5, 0.25);
    EXPECT_TRUE(Near(pixel, tile.Drawn)) << tile.Column << "," << tile.Row << " shows " << pixel.name().toStdString();
  }

  window->HolesOnlyAction->trigger();
  const QImage holes = window->Map->grab().toImage();
  for (const Tile& tile : tiles) {
    const QColor expected = viewer::StateColor(tile.Expected, /*holesOnly=*/true);
    EXPECT_EQ(pixelAt(holes, tile, 0.5, 0.25), expected) << tile.Column << "," << tile.Row;
    EXPECT_EQ(viewer::IsHole(tile.Expected), expected == viewer::StateColor(tile.Expected));
  }
}

// Far out, where tiles are drawn as cells of one colour each: every state's
// colour, the outside of the task and the dimmed tiles of Holes only differ
// clearly from each other, and none is white or bright, like the blank image
// and bright imagery.
TEST_F(ViewerTest, FarOutEveryStateHasAColourOfItsOwnThatIsNeverBright) {
  const testsupport::TileBlock block{6742, 3101, 60, 40, 13};
  const task::MDTask& task = MakeTask(block);
  const struct {
    int32_t Column, Row;
    TileState State;
  } cells[] = {{10, 10, TileState::Saved}, {20, 10, TileState::Blank}, {30, 10, TileState::GivenUp},
               {40, 10, TileState::Missing}, {50, 10, TileState::Unreadable}};
  WriteTile(block.X0 + 10, block.Y0 + 10, ImageBytes(QColor(0xfa, 0xfa, 0xfa)));
  WriteTile(block.X0 + 20, block.Y0 + 10, blank);
  WriteFailedList({{block.X0 + 30, block.Y0 + 10}});
  WriteTile(block.X0 + 50, block.Y0 + 10, "<html>");
  ASSERT_TRUE(OpenMade());
  ASSERT_TRUE(WaitUntilAllKnown());
  ASSERT_LT(window->Map->View().TileSize(), viewer::MapView::kMinImageTileSize);
  const auto colorAt = [&](const QImage& image, double gridX, double gridY) {
    const mapkit::ScreenPoint point = window->Map->View().ToScreen({gridX, gridY});
    return image.pixelColor(static_cast<int>(point.X), static_cast<int>(point.Y));
  };

  std::vector<std::pair<std::string, QColor>> drawn;
  const QImage all = window->Map->grab().toImage();
  for (const auto& cell : cells) {
    const QColor color = colorAt(all, block.X0 + cell.Column + 0.5, block.Y0 + cell.Row + 0.5);
    EXPECT_EQ(color, viewer::StateColor(cell.State)) << cell.Column;
    drawn.emplace_back("state " + std::to_string(static_cast<int>(cell.State)), color);
  }
  drawn.emplace_back("not checked yet", viewer::StateColor(TileState::Unknown));
  // Beside the task's top-left corner, on the side where the task does not fill the view.
  const mapkit::ScreenPoint corner = window->Map->View().ToScreen({double(block.X0), double(block.Y0)});
  const QPoint outside = corner.Y >= 2 ? QPoint(int(corner.X) + 5, int(corner.Y) - 2) : QPoint(int(corner.X) - 2, int(corner.Y) + 5);
  ASSERT_TRUE(all.rect().contains(outside));
  drawn.emplace_back("outside the task", all.pixelColor(outside));
  window->HolesOnlyAction->trigger();
  const QImage holes = window->Map->grab().toImage();
  for (const auto& cell : cells) {
    EXPECT_EQ(colorAt(holes, block.X0 + cell.Column + 0.5, block.Y0 + cell.Row + 0.5),
              viewer::StateColor(cell.State, /*holesOnly=*/true));
  }
  drawn.emplace_back("no hole, holes only", colorAt(holes, block.X0 + 10.5, block.Y0 + 10.5));

  for (std::size_t i = 0; i < drawn.size(); ++i) {
    EXPECT_LT(drawn[i].second.lightness(), 200) << drawn[i].first;
    for (std::size_t j = 0; j < i; ++j) {
      const QColor a = drawn[i].second, b = drawn[j].second;
      const int difference = std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
      EXPECT_GE(difference, 60) << drawn[i].first << " and " << drawn[j].first;
    }
  }
  (void)task;
}

}  // namespace
}  // namespace viewertest
