// The map under the mouse and the keys: the status-bar readout, zoom around
// the cursor within its bounds, pan, Home; and the decoded images' bounds.
#include <gtest/gtest.h>

#include <QLabel>
#include <QListView>
#include <QTest>
#include <QWheelEvent>

#include <algorithm>
#include <atomic>
#include <map>

#include "core/task/Commonfunc.h"
#include "tests/viewer/ViewerFixture.h"
#include "viewer/HoleListModel.h"
#include "viewer/MapView.h"
#include "mapkit/TileDecoder.h"

namespace viewertest {
namespace {

using mapkit::GridPoint;

void Wheel(QWidget* widget, QPointF at, int notches) {
  QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(widget, &event);
}

GridPoint Under(const viewer::MapView* map, QPointF at) { return map->View().ToGrid(at.x(), at.y()); }

class NavigationTest : public ViewerTest {
 protected:
  void SetUp() override {
    MakeTask(block);
    ASSERT_TRUE(OpenMade());
    map = window->Map;
  }
  double FitScale() const {
    return std::min(map->width() / (block.Columns * 256.0), map->height() / (block.Rows * 256.0));
  }
  // Home shows the whole task, as large as fits, in the middle.
  void ExpectWholeTask() const {
    EXPECT_DOUBLE_EQ(map->View().Scale(), FitScale());
    const GridPoint middle = Under(map, QPointF(map->width() / 2.0, map->height() / 2.0));
    EXPECT_DOUBLE_EQ(middle.X, block.X0 + block.Columns / 2.0);
    EXPECT_DOUBLE_EQ(middle.Y, block.Y0 + block.Rows / 2.0);
  }

  const testsupport::TileBlock block{6742, 3101, 12, 9, 13};
  viewer::MapView* map = nullptr;
};

TEST_F(NavigationTest, StatusBarReadsTheCursorsPositionAtEveryZoom) {
  ExpectWholeTask();
  const task::MDTask& task = window->Task()->Task();
  const QPointF middle(map->width() / 2.0, map->height() / 2.0);
  for (const int zoomIns : {0, 2, 4}) {
    while (map->View().Scale() < std::min(4.0, FitScale() * (1 << zoomIns))) QTest::keyClick(map, Qt::Key_Plus);
    for (const QPointF offset : {QPointF(0, 0), QPointF(-137, 59), QPointF(211, -97)}) {
      const QPointF at = middle + offset;
      QTest::mouseMove(map, at.toPoint());
      // The middle shows the task's middle; a tile is 256 pixels at 100 %.
      const double tile = 256 * map->View().Scale();
      const double x = block.X0 + block.Columns / 2.0 + (at.toPoint().x() - middle.x()) / tile;
      const double y = block.Y0 + block.Rows / 2.0 + (at.toPoint().y() - middle.y()) / tile;
      const auto column = static_cast<int32_t>(std::floor(x));
      const auto row = static_cast<int32_t>(std::floor(y));
      const QString expected = QStringLiteral("Longitude %1  Latitude %2  Column %3  Row %4  %5")
                                   .arg(QString::number(task::TileXToLongitude(x, block.Zoom), 'f', 6),
                                        QString::number(task::TileYToLatitude(y, block.Zoom), 'f', 6))
                                   .arg(column)
                                   .arg(row)
                                   .arg(QString::fromStdString(task.TileFileName(column, row)));
      EXPECT_EQ(window->CursorLabel->text().toStdString(), expected.toStdString()) << zoomIns << " zoom-ins";
    }
  }
  // Whole at the window's first size, the file name at its end included.
  const QLabel* readout = window->CursorLabel;
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return readout->contentsRect().width() >= readout->fontMetrics().horizontalAdvance(readout->text()); }, 5000))
      << readout->contentsRect().width() << " pixels for " << readout->text().toStdString();
  // Pinned: just inside the north-west corner of tile 6742, 3101 at zoom 13
  // lies longitude 116.279296875 (to within a pixel).
  QTest::keyClick(map, Qt::Key_Home);
  const double tile = 256 * map->View().Scale();
  const mapkit::ScreenPoint corner = map->View().ToScreen({6742, 3101.5});
  QTest::mouseMove(map, QPoint(static_cast<int>(std::ceil(corner.X)), static_cast<int>(corner.Y)));
  const QStringList words = window->CursorLabel->text().split(' ', Qt::SkipEmptyParts);
  ASSERT_EQ(words.size(), 9) << window->CursorLabel->text().toStdString();
  EXPECT_NEAR(words[1].toDouble(), 116.279296875, 360.0 / 8192 / tile);
  EXPECT_EQ(words.mid(4).join(' '), "Column 6742 Row 3101 nm_6742_3101_13.jpg");
}

TEST_F(NavigationTest, ZoomKeepsThePointUnderTheCursorWithinItsBounds) {
  struct Step {
    QPointF At;
    int Notches;
  };
  const QPointF middle(map->width() / 2.0, map->height() / 2.0);
  for (const Step step : {Step{middle + QPointF(40, 30), 3}, Step{middle + QPointF(-90, 50), 2},
                          Step{middle + QPointF(120, -70), 4}, Step{middle + QPointF(-30, -20), -2}}) {
    const GridPoint before = Under(map, step.At);
    const double scale = map->View().Scale();
    Wheel(map, step.At, step.Notches);
    EXPECT_NEAR(map->View().Scale(), scale * std::pow(1.25, step.Notches), 1e-12);
    const GridPoint after = Under(map, step.At);
    EXPECT_NEAR(after.X, before.X, 1e-9);
    EXPECT_NEAR(after.Y, before.Y, 1e-9);
  }
  // From "the whole task fits" to 400 %, however far the wheel turns.
  Wheel(map, middle, 40);
  EXPECT_DOUBLE_EQ(map->View().Scale(), 4.0);
  QTest::keyClick(map, Qt::Key_Plus);
  EXPECT_DOUBLE_EQ(map->View().Scale(), 4.0);
  QTest::keyClick(map, Qt::Key_Minus);
  EXPECT_DOUBLE_EQ(map->View().Scale(), 2.0);
  EXPECT_EQ(window->ZoomLabel->text(), "Zoom 200 %");
  Wheel(map, middle, -60);
  EXPECT_DOUBLE_EQ(map->View().Scale(), FitScale());
}

TEST_F(NavigationTest, DragAndArrowKeysPanAndHomeShowsTheWholeTask) {
  QTest::keyClick(map, Qt::Key_Plus);
  QTest::keyClick(map, Qt::Key_Plus);
  const QPointF probe(map->width() / 2.0, map->height() / 2.0);
  const double tile = 256 * map->View().Scale();

  GridPoint before = Under(map, probe);
  QTest::mousePress(map, Qt::LeftButton, {}, QPoint(300, 200));
  QTest::mouseMove(map, QPoint(340, 230));
  QTest::mouseMove(map, QPoint(380, 170));
  QTest::mouseRelease(map, Qt::LeftButton, {}, QPoint(380, 170));
  GridPoint after = Under(map, probe);
  // The map follows the mouse: 80 pixels right, 30 up.
  EXPECT_NEAR(after.X, before.X - 80 / tile, 1e-9);
  EXPECT_NEAR(after.Y, before.Y + 30 / tile, 1e-9);

  struct Arrow {
    Qt::Key Key;
    double Dx, Dy;  // grid units per window width, height
  };
  for (const Arrow arrow :
       {Arrow{Qt::Key_Right, 1, 0}, Arrow{Qt::Key_Left, -1, 0}, Arrow{Qt::Key_Down, 0, 1}, Arrow{Qt::Key_Up, 0, -1}}) {
    before = Under(map, probe);
    QTest::keyClick(map, arrow.Key);
    after = Under(map, probe);
    EXPECT_NEAR(after.X - before.X, arrow.Dx * map->width() / 8.0 / tile, 1e-9);
    EXPECT_NEAR(after.Y - before.Y, arrow.Dy * map->height() / 8.0 / tile, 1e-9);
  }
  // The view never leaves the task: the middle stays on it however far the map is dragged.
  QTest::mousePress(map, Qt::LeftButton, {}, QPoint(10, 10));
  QTest::mouseMove(map, QPoint(map->width() - 1, map->height() - 1));
  QTest::mouseRelease(map, Qt::LeftButton, {}, QPoint(map->width() - 1, map->height() - 1));
  for (int i = 0; i < 30; ++i) {
    QTest::keyClick(map, Qt::Key_Left);
    QTest::keyClick(map, Qt::Key_Up);
  }
  EXPECT_DOUBLE_EQ(Under(map, probe).X, block.X0);
  EXPECT_DOUBLE_EQ(Under(map, probe).Y, block.Y0);

  QTest::keyClick(map, Qt::Key_Home);
  ExpectWholeTask();
}

// A hole chosen in the Holes panel, by a click or the arrow keys, is shown in
// the middle of the map, outlined until another is chosen or Home pressed.
TEST_F(NavigationTest, AHoleChosenInTheListIsCentredAndOutlinedUntilHome) {
  ASSERT_TRUE(WaitUntilAllKnown());  // no tile is there: every one a hole
  QTest::keyClick(map, Qt::Key_Plus);
  const auto tileOfRow = [&](int row) { return window->Task()->States().TileAt(*window->Holes->TileIndexAt(row)); };
  const auto outlineShown = [&](task::TilePosition tile) {
    const mapkit::ScreenPoint left = map->View().ToScreen({double(tile.X), tile.Y + 0.5});
    const QColor edge = map->grab().toImage().pixelColor(int(std::lround(left.X)), int(left.Y));
    return edge.red() > 200 && edge.green() > 200 && edge.blue() < 100;  // the outline's yellow
  };
  const auto expectShown = [&](task::TilePosition tile) {
    ASSERT_TRUE(map->OutlinedTile().has_value());
    EXPECT_EQ(map->OutlinedTile()->X, tile.X);
    EXPECT_EQ(map->OutlinedTile()->Y, tile.Y);
    const GridPoint middle = Under(map, QPointF(map->width() / 2.0, map->height() / 2.0));
    EXPECT_DOUBLE_EQ(middle.X, tile.X + 0.5);
    EXPECT_DOUBLE_EQ(middle.Y, tile.Y + 0.5);
    EXPECT_TRUE(outlineShown(tile));
  };

  const int row = 40;
  window->HoleList->scrollTo(window->Holes->index(row));
  QTest::mouseClick(window->HoleList->viewport(), Qt::LeftButton, {},
                    window->HoleList->visualRect(window->Holes->index(row)).center());
  expectShown(tileOfRow(row));
  // Dragged away and clicked again: back in the middle.
  QTest::mousePress(map, Qt::LeftButton, {}, QPoint(300, 200));
  QTest::mouseMove(map, QPoint(200, 100));
  QTest::mouseRelease(map, Qt::LeftButton, {}, QPoint(200, 100));
  QTest::mouseClick(window->HoleList->viewport(), Qt::LeftButton, {},
                    window->HoleList->visualRect(window->Holes->index(row)).center());
  expectShown(tileOfRow(row));
  QTest::keyClick(window->HoleList, Qt::Key_Down);
  expectShown(tileOfRow(row + 1));
  EXPECT_FALSE(outlineShown(tileOfRow(row)));

  const task::TilePosition last = tileOfRow(row + 1);
  QTest::keyClick(map, Qt::Key_Home);
  ExpectWholeTask();
  EXPECT_FALSE(map->OutlinedTile().has_value());
  EXPECT_FALSE(outlineShown(last));
}

TEST_F(NavigationTest, DecodedImagesStayWithinTheCacheBoundWhilePanningOverEveryTile) {
  // Room for 16 images of 256 x 256, fewer than the task's 108 tiles.
  options.CacheBytes = 16 * 256 * 256 * 4;
  window.reset();
  MakeTask(block);
  for (int32_t x = block.X0; x < block.X0 + block.Columns; ++x) {
    for (int32_t y = block.Y0; y < block.Y0 + block.Rows; ++y)
      WriteTile(x, y, ImageBytes(QColor::fromHsv((x * 37 + y * 11) % 360, 200, 200)));
  }
  ASSERT_TRUE(OpenMade());
  map = window->Map;
  ASSERT_TRUE(WaitUntilAllKnown());
  // 100 %: tiles decoded whole.
  Wheel(map, QPointF(map->width() / 2.0, map->height() / 2.0), 40);
  QTest::keyClick(map, Qt::Key_Minus);
  QTest::keyClick(map, Qt::Key_Minus);
  ASSERT_DOUBLE_EQ(map->View().Scale(), 1.0);
  for (int32_t x = block.X0; x < block.X0 + block.Columns; x += 2) {
    for (int32_t y = block.Y0; y < block.Y0 + block.Rows; y += 2) {
      map->ShowTile({x, y});
      map->repaint();
      // Every tile on view comes to show its image.
      ASSERT_TRUE(QTest::qWaitFor([&] { return map->ImagesPending() == 0; }, 10000));
      EXPECT_LE(map->CachedImageBytes(), map->CacheLimit());
    }
  }
  EXPECT_GT(map->Decoder().Decoded(), 16) << "more images than the cache holds were decoded";
  EXPECT_GT(map->CachedImageBytes(), map->CacheLimit() / 2) << "the cache is used";
}

TEST(TileDecoder, RequestsThatLeftTheViewAreDroppedAndNoneIsDecodedTwice) {
  testsupport::TempDir dir;
  const std::string path = dir.File("tile.jpg");
  testsupport::WriteFileBytes(path, ImageBytes(QColor(10, 120, 200)));
  std::atomic<int> ready{0};
  mapkit::TileDecoder decoder(2, [&] { ++ready; });
  std::vector<mapkit::DecodeRequest> first;
  for (uint64_t key = 0; key < 300; ++key) first.push_back({key, path, 256});
  decoder.SetWanted(first);
  decoder.SetWanted({{1000, path, 64}, {1001, path, 32}});
  for (const uint64_t key : decoder.Waiting()) EXPECT_GE(key, 1000U) << "only what is wanted now waits";

  std::map<uint64_t, QSize> taken;
  const auto take = [&] {
    for (const mapkit::DecodedTile& tile : decoder.TakeResults()) {
      EXPECT_TRUE(taken.emplace(tile.Key, tile.Image.size()).second) << "decoded twice: " << tile.Key;
    }
  };
  ASSERT_TRUE(testsupport::WaitFor([&] {
    take();
    return taken.count(1000) == 1 && taken.count(1001) == 1;
  }));
  EXPECT_EQ(taken[1000], QSize(64, 64));
  EXPECT_EQ(taken[1001], QSize(32, 32));
  // Each of the first requests was decoded (taken before the change) or dropped, never both, never lost.
  EXPECT_EQ(static_cast<int64_t>(taken.size()) - 2 + decoder.Dropped(), 300);
  EXPECT_GT(decoder.Dropped(), 250);

  // Asked again and again before its result is taken, a tile is decoded once.
  ready = 0;
  decoder.SetWanted({{2000, path, 128}});
  ASSERT_TRUE(testsupport::WaitFor([&] { return ready > 0; }));
  for (int i = 0; i < 50; ++i) decoder.SetWanted({{2000, path, 128}});
  take();
  EXPECT_EQ(taken.count(2000), 1U);
  EXPECT_EQ(ready.load(), 1);
}

}  // namespace
}  // namespace viewertest
