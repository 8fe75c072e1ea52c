// The area window as a user drives it, with the loopback tile server as its
// base layer: a drag gives its four edges and the task's tile count; the
// source's connections and pause hold; the cache serves the map once the
// server is gone, and the map says it is offline; an area Start would refuse
// is refused; a pasted box, a vector file and the outlines of earlier tasks.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QToolTip>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "core/area/VectorFile.h"
#include "core/platform/Numbers.h"
#include "core/run/ConfigFile.h"
#include "core/run/NewTask.h"
#include "core/run/Start.h"
#include "core/run/TaskControls.h"
#include "core/task/Commonfunc.h"
#include "mapkit/AreaWindow.h"
#include "qtkit/Dialogs.h"
#include "tests/support/NearmapStandIn.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileServer.h"

namespace {

using mapkit::AreaMap;
using mapkit::AreaWindow;
using testsupport::TempDir;

constexpr int kPauseMs = 40;
constexpr int kConnections = 2;
const area::Area kBeijing{116.3, 39.8, 116.5, 40};

template <typename Done>
bool WaitFor(Done done, int timeoutMs = 20000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

class AreaWindowTest : public ::testing::Test {
 protected:
  AreaWindowTest() : server_(std::make_unique<testsupport::TileServer>()) {
    std::filesystem::create_directories(program_.File("ini"));
    testsupport::WriteFileBytes(program_.File("ini/config.ini"),
                                "[TileSource loop]\r\nName=loop\r\nUrl=http://" + server_->HostPort() +
                                    "/{z}/{x}/{y}.jpg\r\nPrefix=lp\r\nPauseMs=" + platform::FormatInteger(kPauseMs) +
                                    "\r\nMaxWorkers=" + platform::FormatInteger(kConnections) + "\r\nMaxZoom=19\r\n");
  }
  ~AreaWindowTest() override { qtkit::SetChooserForTests({}); }

  void OpenWindow(std::optional<area::Area> box) {
    window_.reset();
    mapkit::AreaWindowOptions options{program_.Path(), QStringLiteral("Use this area"),
                                      std::make_shared<mapkit::TileCache>(cache_.Path(), int64_t{64} << 20), {}};
    window_ = std::make_unique<AreaWindow>(options);
    window_->resize(900, 600);
    window_->Open({box, 13, QStringLiteral("loop"), {}});
    map_ = window_->Map;
    window_->Accepted = [this](const mapkit::AreaChoice& choice) { accepted_ = choice; };
  }
  // Every base tile of the view is drawn with its own image.
  bool WaitUntilLoaded() {
    return WaitFor([this] {
      map_->repaint();
      return map_->TilesPending() == 0 && map_->Loader()->Fetched() + map_->Loader()->FromCache() > 0;
    });
  }
  void Drag(QPoint from, QPoint to) {
    QTest::mousePress(map_, Qt::LeftButton, {}, from);
    QTest::mouseMove(map_, (from + to) / 2);
    QTest::mouseMove(map_, to);
    QTest::mouseRelease(map_, Qt::LeftButton, {}, to);
  }
  QString Text(double degrees) const { return QString::fromStdString(area::CoordinateText(degrees)); }

  TempDir program_;
  TempDir cache_;
  std::unique_ptr<testsupport::TileServer> server_;
  std::unique_ptr<AreaWindow> window_;
  AreaMap* map_ = nullptr;
  std::optional<mapkit::AreaChoice> accepted_;
};

TEST_F(AreaWindowTest, ADragGivesItsEdgesAndTileCountAtTheSourcesPace) {
  OpenWindow(std::nullopt);
  EXPECT_TRUE(window_->DrawAction->isChecked()) << "without an area the first drag draws one";
  map_->ShowBox(kBeijing);
  ASSERT_TRUE(WaitUntilLoaded());

  // The source's connections, each pausing between its requests, and no tile twice.
  const std::vector<testsupport::RecordedRequest> requests = server_->Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_LE(server_->MostOpenConnections(), static_cast<std::size_t>(kConnections));
  std::map<std::size_t, std::chrono::steady_clock::time_point> lastOn;
  std::set<std::string> paths;
  for (const testsupport::RecordedRequest& request : requests) {
    EXPECT_TRUE(paths.insert(request.Path).second) << request.Path << " asked twice";
    if (const auto last = lastOn.find(request.Connection); last != lastOn.end()) {
      EXPECT_GE(request.Time - last->second, std::chrono::milliseconds(kPauseMs)) << request.Path;
    }
    lastOn[request.Connection] = request.Time;
  }

  const QPoint from(250, 180);
  const QPoint to(610, 430);
  Drag(from, to);
  EXPECT_FALSE(window_->DrawAction->isChecked()) << "one area drawn, drags pan again";
  const mapkit::GridPoint a = map_->View().ToGrid(from.x(), from.y());
  const mapkit::GridPoint b = map_->View().ToGrid(to.x(), to.y());
  const area::Area expected = area::RoundedToNearest(
      {mapkit::LongitudeAt(a.X), mapkit::LatitudeAt(b.Y), mapkit::LongitudeAt(b.X), mapkit::LatitudeAt(a.Y)});
  EXPECT_EQ(window_->WestEdit->text(), Text(expected.West));
  EXPECT_EQ(window_->EastEdit->text(), Text(expected.East));
  EXPECT_EQ(window_->NorthEdit->text(), Text(expected.North));
  EXPECT_EQ(window_->SouthEdit->text(), Text(expected.South));

  const int64_t columns = task::LongitudeToTileX(expected.East, 13) - task::LongitudeToTileX(expected.West, 13) + 1;
  const int64_t rows = task::LatitudeToTileY(expected.South, 13) - task::LatitudeToTileY(expected.North, 13) + 1;
  ASSERT_TRUE(window_->Estimate());
  EXPECT_EQ(window_->Estimate()->Range.Count(), columns * rows);
  EXPECT_TRUE(window_->TilesLabel->text().startsWith(
      QStringLiteral("Tiles: %1 x %2 = %3 ").arg(columns).arg(rows).arg(columns * rows)))
      << window_->TilesLabel->text().toStdString();
  EXPECT_EQ(window_->Estimate()->Workers, kConnections);
  EXPECT_EQ(window_->Estimate()->AfterTileMs, kPauseMs);

  // The status bar reads the cursor at the task's zoom.
  QTest::mouseMove(map_, from);
  EXPECT_EQ(window_->CursorLabel->text(),
            QStringLiteral("Longitude %1  Latitude %2  Column %3  Row %4 at zoom 13")
                .arg(QString::number(mapkit::LongitudeAt(a.X), 'f', 6), QString::number(mapkit::LatitudeAt(a.Y), 'f', 6))
                .arg(task::LongitudeToTileX(mapkit::LongitudeAt(a.X), 13))
                .arg(task::LatitudeToTileY(mapkit::LatitudeAt(a.Y), 13)));

  // A handle moves its edge alone; the accept button hands the area over.
  const QRectF rect = map_->AreaRect();
  Drag(QPointF(rect.right(), rect.center().y()).toPoint(), QPointF(rect.right() + 60, rect.center().y()).toPoint());
  ASSERT_TRUE(map_->Area());
  EXPECT_GT(map_->Area()->East, expected.East);
  EXPECT_EQ(map_->Area()->West, expected.West);
  EXPECT_EQ(map_->Area()->North, expected.North);

  // The keys pan and zoom the map, not the area.
  map_->setFocus();
  const mapkit::GridPoint middle = map_->View().ToGrid(map_->width() / 2.0, map_->height() / 2.0);
  const double scale = map_->View().Scale();
  QTest::keyClick(map_, Qt::Key_Left);
  EXPECT_LT(map_->View().ToGrid(map_->width() / 2.0, map_->height() / 2.0).X, middle.X);
  QTest::keyClick(map_, Qt::Key_Plus);
  EXPECT_DOUBLE_EQ(map_->View().Scale(), 2 * scale);
  QTest::keyClick(map_, Qt::Key_Minus);
  EXPECT_DOUBLE_EQ(map_->View().Scale(), scale);

  window_->AcceptButton->click();
  ASSERT_TRUE(accepted_);
  EXPECT_EQ(accepted_->Box, *map_->Area());
  EXPECT_EQ(accepted_->Zoom, 13);
  EXPECT_EQ(accepted_->Map.Name, "loop");
}

TEST_F(AreaWindowTest, TheCacheServesTheMapWithTheServerGoneAndTheMapSaysItIsOffline) {
  OpenWindow(kBeijing);
  ASSERT_TRUE(WaitUntilLoaded());
  const int64_t fetched = map_->Loader()->Fetched();
  EXPECT_GT(fetched, 0);
  server_.reset();

  OpenWindow(kBeijing);
  ASSERT_TRUE(WaitUntilLoaded());
  EXPECT_EQ(map_->Loader()->Fetched(), 0);
  EXPECT_GE(map_->Loader()->FromCache(), fetched);
  EXPECT_EQ(window_->OfflineLabel->text(), QString());

  // Closer in, nothing is cached: a cell that tells why, and the window says so.
  map_->ZoomBy(4);
  ASSERT_TRUE(WaitFor([this] { return !window_->OfflineLabel->text().isEmpty(); }));
  EXPECT_TRUE(window_->OfflineLabel->text().startsWith(QStringLiteral("Offline")));
  ASSERT_TRUE(WaitFor([this] { return map_->ProblemAt(map_->rect().center()).has_value(); }));
  EXPECT_NE(map_->ProblemAt(map_->rect().center())->find("Connection refused"), std::string::npos)
      << *map_->ProblemAt(map_->rect().center());
  // Hovering the cell says why, in a tip and never in an error box.
  QHelpEvent hover(QEvent::ToolTip, map_->rect().center(), map_->mapToGlobal(map_->rect().center()));
  QCoreApplication::sendEvent(map_, &hover);
  EXPECT_TRUE(QToolTip::text().startsWith(QStringLiteral("This tile did not load: "))) << QToolTip::text().toStdString();
  EXPECT_TRUE(QToolTip::text().contains(QStringLiteral("Connection refused")));
}

TEST_F(AreaWindowTest, AnAreaStartWouldRefuseIsRefusedAndAPastedBoxIsTaken) {
  OpenWindow(kBeijing);
  ASSERT_TRUE(window_->AcceptButton->isEnabled());
  window_->WestEdit->setText(QStringLiteral("170"));
  window_->EastEdit->setText(QStringLiteral("-170"));
  emit window_->EastEdit->editingFinished();
  EXPECT_TRUE(window_->ProblemLabel->text().startsWith(QStringLiteral("The area crosses the 180th meridian")))
      << window_->ProblemLabel->text().toStdString();
  EXPECT_FALSE(window_->AcceptButton->isEnabled());
  EXPECT_FALSE(window_->Estimate());

  QGuiApplication::clipboard()->setText(QStringLiteral("40.0, 116.3\n39.8, 116.5"));
  window_->PasteButton->click();
  EXPECT_EQ(map_->Area(), kBeijing);
  EXPECT_EQ(window_->ProblemLabel->text(), QString());
  EXPECT_TRUE(window_->AcceptButton->isEnabled());
  ASSERT_TRUE(window_->Estimate());
  EXPECT_EQ(window_->Estimate()->Range.Count(), 42);  // the README's first task

  QGuiApplication::clipboard()->setText(QStringLiteral("somewhere nice"));
  window_->PasteButton->click();
  EXPECT_TRUE(window_->ProblemLabel->text().startsWith(QStringLiteral("The clipboard holds no box")));
  EXPECT_EQ(map_->Area(), kBeijing);
}

TEST_F(AreaWindowTest, AVectorFilesFeaturesWithAMarginBecomeTheAreaBesideEarlierTasks) {
  // An earlier task in the viewer's recent files: its outline is drawn.
  TempDir save;
  run::TaskControls controls{"earlier.otsk", 0, "116.3", "116.5", "40", "39.8", "13", save.Path(), "", {}, ""};
  const run::ControlsCheck check = run::CheckStart(controls, run::ConfigFile(program_.File("ini/config.ini")));
  ASSERT_TRUE(check.Parameters) << check.Message;
  run::WriteTaskFiles(*check.Parameters, check.Run, program_.Path());
  testsupport::WriteFileBytes(program_.File("ini/tileview.ini"), "[Recent]\r\nFile1=" + save.File("earlier.otsk") +
                                                                     "\r\nFile2=" + save.File("gone.otsk") + "\r\n");
  const std::string file = save.File("park.geojson");
  testsupport::WriteFileBytes(file, R"({"type":"Feature","properties":{},"geometry":{"type":"LineString",
      "coordinates":[[116.31,39.81],[116.42,39.93]]}})");
  qtkit::SetChooserForTests({[&](QWidget*, const QString&, const QString&, const QString&, const QString&) {
                               return std::optional<QString>(QString::fromStdString(file));
                             },
                             {},
                             {}});
  OpenWindow(std::nullopt);
  EXPECT_TRUE(WaitFor([this] { return window_->OutlinesShown() == 1; }));

  window_->OpenFileButton->click();
  const area::Area box{116.31, 39.81, 116.42, 39.93};
  ASSERT_TRUE(WaitFor([&] { return map_->Area() == box; }));
  window_->MarginBox->setValue(500);
  EXPECT_EQ(map_->Area(), area::RoundedOutward(area::WithMargin(box, 500)));
  EXPECT_FALSE(window_->DrawAction->isChecked());
  // A line has no inside: with a margin it is a corridor, whose tiles alone count.
  ASSERT_TRUE(WaitFor([this] { return window_->Shape() != nullptr && window_->Estimate(); }));
  EXPECT_TRUE(window_->Estimate()->Shaped);
}

// With a key the Nearmap API is a base layer, the one the window starts on:
// its tiles asked with the key in the header only, at the account's pace,
// and the estimate at the account's connections.
TEST_F(AreaWindowTest, TheNearmapApiIsTheBaseLayerOnceAKeyIsSet) {
  const std::string key = "K3Y-77aa";
  testsupport::NearmapStandIn api(key, {{"s2021", "2021-06-01"}, {"s2023", "2023-11-30"}});
  testsupport::WriteFileBytes(program_.File("ini/config.ini"), "[NearmapApi]\r\nBaseUrl=" + api.BaseUrl() +
                                                                   "\r\nSecret=" + key +
                                                                   "\r\nPauseMs=20\r\nMaxWorkers=3\r\n");
  window_ = std::make_unique<AreaWindow>(mapkit::AreaWindowOptions{
      program_.Path(), QStringLiteral("Use this area"),
      std::make_shared<mapkit::TileCache>(cache_.Path(), int64_t{64} << 20), {}});
  window_->resize(900, 600);
  window_->Open({kBeijing, 13, QString(), {}, std::nullopt});
  map_ = window_->Map;
  EXPECT_EQ(window_->LayerBox->currentText(), QStringLiteral("Nearmap API"));
  ASSERT_TRUE(WaitUntilLoaded());
  EXPECT_FALSE(map_->Offline());
  const std::vector<testsupport::RecordedRequest> requests = api.Server().Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_LE(api.Server().MostOpenConnections(), 3u);
  for (const testsupport::RecordedRequest& request : requests) {
    EXPECT_EQ(request.Path.rfind("/tiles/v3/Vert/", 0), 0u) << request.Path;
    EXPECT_EQ(request.Target.find(key), std::string::npos);
    EXPECT_EQ(request.Headers.at("authorization"), "Apikey " + key);
  }
  ASSERT_TRUE(window_->Estimate());
  EXPECT_EQ(window_->Estimate()->Workers, 3);
  EXPECT_EQ(window_->Estimate()->Range.Count(), 42);

  // A task pinned to a survey shows that survey's imagery.
  window_->Open({kBeijing, 13, QString(), {}, task::Imagery{task::NearmapImagery{"Vert", "s2021", "2021-06-01"}}});
  EXPECT_EQ(window_->LayerBox->currentText(), QStringLiteral("Nearmap API"));
  const auto surveyAsked = [&api] {
    for (const testsupport::RecordedRequest& request : api.Server().Requests()) {
      if (request.Path.rfind("/tiles/v3/surveys/s2021/Vert/", 0) == 0) return true;
    }
    return false;
  };
  EXPECT_TRUE(WaitFor(surveyAsked));
}

}  // namespace

namespace {

// A shape as a user makes one: clicked corner by corner (its box follows, and
// only its tiles count), pasted as WKT, refused when broken, dropped when a
// box edge is typed; the choice hands it on.
TEST_F(AreaWindowTest, AShapeDrawnOrPastedIsTheTasksAndTheChoiceHandsItOn) {
  OpenWindow(kBeijing);
  ASSERT_TRUE(window_->Estimate());
  EXPECT_FALSE(window_->Estimate()->Shaped);

  window_->DrawShapeAction->trigger();
  ASSERT_TRUE(map_->ShapeDrawing());
  const QRectF box = map_->AreaRect();
  const QPoint corners[] = {box.topLeft().toPoint() + QPoint(5, 5), box.topRight().toPoint() + QPoint(-5, 5),
                            box.bottomLeft().toPoint() + QPoint(5, -5)};
  for (const QPoint& corner : corners) QTest::mouseClick(map_, Qt::LeftButton, {}, corner);
  QTest::keyClick(map_, Qt::Key_Return);
  EXPECT_FALSE(map_->ShapeDrawing());
  ASSERT_TRUE(window_->Shape());
  ASSERT_EQ(window_->Shape()->Polygons.size(), 1u);
  EXPECT_EQ(window_->Shape()->Polygons[0].Outer.size(), 3u);
  ASSERT_TRUE(window_->Estimate());
  EXPECT_TRUE(window_->Estimate()->Shaped);
  EXPECT_LT(window_->Estimate()->Tiles, window_->Estimate()->Range.Count());
  EXPECT_TRUE(window_->TilesLabel->text().contains(QStringLiteral(" of the shape; its box ")))
      << window_->TilesLabel->text().toStdString();
  window_->AcceptButton->click();
  ASSERT_TRUE(accepted_);
  EXPECT_EQ(accepted_->Shape, window_->Shape());
  const task::LonLatBox bounds = task::BoundsOf(*accepted_->Shape);
  EXPECT_EQ(accepted_->Box, area::RoundedOutward({bounds.West, bounds.South, bounds.East, bounds.North}));

  // Pasted: WKT of a triangle, its 42-tile box with fewer tiles.
  QGuiApplication::clipboard()->setText(QStringLiteral("POLYGON((116.3 39.8, 116.5 39.8, 116.3 40, 116.3 39.8))"));
  window_->PasteButton->click();
  ASSERT_TRUE(WaitFor([this] { return map_->Area() == kBeijing; }));
  ASSERT_TRUE(window_->Estimate());
  EXPECT_TRUE(window_->Estimate()->Shaped);
  EXPECT_EQ(window_->Estimate()->Range.Count(), 42);
  EXPECT_LT(window_->Estimate()->Tiles, 42);
  EXPECT_GT(window_->Estimate()->Tiles, 21);

  QGuiApplication::clipboard()->setText(QStringLiteral("POLYGON((116.3 39.8, 116.5"));
  window_->PasteButton->click();
  ASSERT_TRUE(WaitFor([this] { return !window_->ProblemLabel->text().isEmpty(); }));
  EXPECT_FALSE(window_->AcceptButton->isEnabled());
  EXPECT_FALSE(window_->Shape());

  // A typed edge makes the area a rectangle again.
  QGuiApplication::clipboard()->setText(QStringLiteral("POLYGON((116.3 39.8, 116.5 39.8, 116.3 40, 116.3 39.8))"));
  window_->PasteButton->click();
  ASSERT_TRUE(WaitFor([this] { return window_->Shape() != nullptr; }));
  window_->WestEdit->setText(QStringLiteral("116.25"));
  emit window_->WestEdit->editingFinished();
  EXPECT_FALSE(window_->Shape());
  ASSERT_TRUE(window_->Estimate());
  EXPECT_FALSE(window_->Estimate()->Shaped);
}

}  // namespace
