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
      {2, 2, std::string("\xFF\xD8\xFF\x01garbage after a JPEG signature"), false, TileState::Unreadable,
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
  // The hole list: walk order (column by column), the state beside each name.
  ASSERT_EQ(window->Holes->rowCount(), 8);
  const auto row = [&](int r) { return window->Holes->data(window->Holes->index(r), Qt::DisplayRole).toString(); };
  EXPECT_EQ(row(0), QString::fromStdString(task.TileFileName(x0, y0 + 1)) + "  given up");
  EXPECT_EQ(row(1), QString::fromStdString(task.TileFileName(x0, y0 + 2)) + "  unreadable");
  EXPECT_EQ(row(4), QString::fromStdString(task.TileFileName(x0 + 2, y0 + 1)) + "  missing");
  EXPECT_EQ(row(7), QString::fromStdString(task.TileFileName(x0 + 3, y0 + 2)) + "  missing");

  const auto pixelAt = [&](const QImage& image, const Tile& tile, double across, double down) {
    const viewer::ScreenPoint point = window->Map->View().ToScreen({x0 + tile.Column + across, y0 + tile.Row + down});
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
    if (tile.Expected == TileState::Blank) {
      // Hatched: its colour and the darker lines across it.
      bool base = false, hatch = false;
      for (double across = 0.3; across < 0.7; across += 0.01) {
        const QColor pixel = pixelAt(drawn, tile, across, 0.5);
        base = base || Near(pixel, tile.Drawn);
        hatch = hatch || Near(pixel, tile.Drawn.darker(140));
      }
      EXPECT_TRUE(base && hatch) << "blank substitute";
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

}  // namespace
}  // namespace viewertest
