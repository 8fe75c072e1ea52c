// The viewer's files: opening a task every way a user can, the holes saved as
// a failed-tile list, refreshing while a download writes tiles, and handing
// the task to the map combiner.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QUrl>

#include <filesystem>

#include "core/task/TaskFiles.h"
#include "core/platform/Files.h"
#include "core/platform/Shell.h"
#include "mapkit/AreaWindow.h"
#include "core/run/ConfigFile.h"
#include "core/run/Job.h"
#include "core/run/NewTask.h"
#include "core/run/Start.h"
#include "core/task/TaskValue.h"
#include "tests/support/NearmapStandIn.h"
#include "tests/viewer/ViewerFixture.h"
#include "viewer/HoleListModel.h"
#include "viewer/MapView.h"

namespace viewertest {
namespace {

using viewer::TileState;

TEST_F(ViewerTest, HolesAreSavedAsAFailedTileListOfTheDownloadersRecords) {
  const testsupport::TileBlock block{6742, 3101, 5, 4, 13};
  const task::MDTask& task = MakeTask(block);
  // Columns 0 and 3 downloaded (one tile a blank substitute, one an error
  // page), two tiles given up, the rest never fetched.
  std::vector<task::TilePosition> holes;
  const std::vector<task::TilePosition> givenUp = {{6743, 3102}, {6745, 3104}};
  for (int32_t x = block.X0; x < block.X0 + block.Columns; ++x) {
    for (int32_t y = block.Y0; y < block.Y0 + block.Rows; ++y) {
      const bool downloaded = (x == 6742 || x == 6745) && y != 3104;
      const bool errorPage = x == 6745 && y == 3103;
      if (!downloaded || errorPage) holes.push_back({x, y});
      if (!downloaded) continue;
      WriteTile(x, y, y == 3101 ? blank : errorPage ? "<html>" : ImageBytes(Qt::darkGreen));
    }
  }
  WriteFailedList(givenUp);
  ASSERT_TRUE(OpenMade());
  ASSERT_TRUE(WaitUntilAllKnown());
  ASSERT_EQ(window->Holes->rowCount(), static_cast<int>(holes.size()));

  saveAnswer = QString::fromStdString(save.File("holes"));  // the extension comes by itself
  window->SaveHolesAction->trigger();
  const std::string saved = save.File("holes.ftl");
  ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(saved); }, 10000));
  std::vector<std::string> expected;
  for (const task::TilePosition& tile : holes) expected.push_back(task::FailedRecord(task, tile.X, tile.Y));
  EXPECT_EQ(testsupport::ReadFileBytes(saved), platform::JoinLinesCrLf(expected));
  EXPECT_TRUE(boxes.empty());

  // Read back as the downloader reads its own failed list: exactly the holes, in order.
  std::filesystem::rename(saved, task.FailedListFileName);
  EXPECT_EQ(task::GivenUpTiles(task), holes);
}

// The Holes panel lists the holes found so far while the scan of a large
// task goes on, not only once it has ended.
TEST_F(ViewerTest, TheHolesListFillsWhileTheScanGoesOn) {
  const testsupport::TileBlock block{6000, 3000, 600, 600, 13};  // 360,000 tiles, none downloaded
  MakeTask(block);
  ASSERT_TRUE(OpenMade());
  const int64_t total = int64_t{block.Columns} * block.Rows;
  bool listedMidway = false;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        const int64_t unknown = window->Task()->States().Count(TileState::Unknown);
        if (unknown > 0 && unknown < total && window->Holes->rowCount() > 0) listedMidway = true;
        return unknown == 0;
      },
      60000));
  EXPECT_TRUE(listedMidway);
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->Holes->rowCount() == static_cast<int>(total); }, 10000));
}

TEST_F(ViewerTest, TilesWrittenAfterOpeningAppearOnReloadAndByThemselvesWithoutFlicker) {
  const testsupport::TileBlock block{6742, 3101, 6, 4, 13};
  const task::MDTask& task = MakeTask(block);
  WriteTile(6742, 3101, ImageBytes(Qt::blue));
  ASSERT_TRUE(OpenMade());
  ASSERT_TRUE(WaitUntilAllKnown());
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->Map->CachedImageBytes() > 0; }, 10000));
  const qint64 imageBytes = window->Map->CachedImageBytes();
  // From now on no tile may fall back to unknown, and the image stays.
  bool flickered = false;
  const auto steady = [&](const std::function<bool()>& done) {
    return QTest::qWaitFor(
        [&] {
          flickered = flickered || window->Task()->States().Count(TileState::Unknown) > 0 ||
                      window->Map->CachedImageBytes() < imageBytes;
          return done();
        },
        10000);
  };

  // F5 after a download run: new tiles, a new given-up tile.
  WriteTile(6743, 3101, ImageBytes(Qt::red));
  WriteTile(6744, 3102, blank);
  WriteFailedList({{6747, 3104}});
  QTest::keyClick(window->Map, Qt::Key_F5);
  EXPECT_TRUE(steady([&] {
    return CountText(TileState::Saved) == "Saved: 2" && CountText(TileState::Blank) == "Blank substitute: 1" &&
           CountText(TileState::GivenUp) == "Given up: 1";
  }));

  // While a download runs, its tiles appear without F5.
  for (int32_t y = 3101; y < 3105; ++y) WriteTile(6746, y, ImageBytes(Qt::yellow));
  EXPECT_TRUE(steady([&] { return CountText(TileState::Saved) == "Saved: 6"; }));
  EXPECT_TRUE(steady([&] { return window->HoleSummary->text() == "1 given up, 16 not downloaded, 0 unreadable"; }));
  EXPECT_EQ(StateOf(6746, 3104), TileState::Saved);
  EXPECT_FALSE(flickered);
  (void)task;
}

TEST_F(ViewerTest, OpensFromTheDialogADropAndTheRecentFilesAndRefusesADamagedTask) {
  MakeTask({6742, 3101, 2, 2, 13}, "first.otsk");
  const std::string first = save.File("first.otsk");
  MakeTask({6742, 3101, 3, 3, 14}, "second.otsk");
  const std::string second = save.File("second.otsk");
  OpenWindow();

  openAnswer = QString::fromStdString(first);
  window->OpenTaskAction->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->Task() != nullptr && window->Task()->Path() == first; }, 10000));
  EXPECT_EQ(window->windowTitle(), "first.otsk - Orvenna Map Viewer");

  QMimeData dropped;
  dropped.setUrls({QUrl::fromLocalFile("/nowhere/notes.txt"), QUrl::fromLocalFile(QString::fromStdString(second))});
  QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window.get(), &drop);
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->Task()->Path() == second; }, 10000));
  EXPECT_EQ(window->Task()->Task().Range().Count(), 9);

  // Damaged or missing task files and other files are refused, each saying
  // why; the task on view stays.
  testsupport::WriteFileBytes(save.File("damaged.otsk"), "[AREA]\r\nLeftLongitude=x\r\n[Zoom]\r\nZoom=99");
  testsupport::WriteFileBytes(save.File("notes.txt"), std::string("\0\x01[AREA\r\nZoom=99", 16));
  for (const char* name : {"damaged.otsk", "absent.otsk", "notes.txt"}) {
    window->OpenTask(QString::fromStdString(save.File(name)));
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.size() == 3; }, 10000));
  EXPECT_EQ(boxes[0].Text, "Longitude or latitude input error!");
  // The error box closes a text that ends in a letter with a period.
  EXPECT_EQ(boxes[1].Text, QString::fromStdString("Cannot open file " + save.File("absent.otsk") + "."));
  EXPECT_EQ(boxes[2].Text, QString::fromStdString(save.File("notes.txt") + " is not a task file: it has no [AREA] "
                                                                            "section with the task's longitudes and latitudes."));
  EXPECT_TRUE(boxes[0].IsError && boxes[1].IsError && boxes[2].IsError);
  EXPECT_EQ(window->Task()->Path(), second);
  EXPECT_EQ(window->windowTitle(), "second.otsk - Orvenna Map Viewer");

  // A new viewer offers both, newest first, and opens the one chosen.
  ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(program.File("ini/tileview.ini")); }, 10000));
  window.reset();
  OpenWindow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->RecentMenu->actions().size() == 2; }, 10000));
  EXPECT_EQ(window->RecentMenu->actions()[0]->text(), QString::fromStdString(second));
  window->RecentMenu->actions()[1]->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->Task() != nullptr && window->Task()->Path() == first; }, 10000));
  EXPECT_EQ(window->Recent().Paths(), (std::vector<std::string>{first, second}));
}

TEST_F(ViewerTest, ExportImageHandsTheTaskToTheMapCombinerWhenItIsInstalled) {
  MakeTask({6742, 3101, 2, 2, 13});
  ASSERT_TRUE(OpenMade());
  const std::string combiner = program.File(platform::kMapCombinerProgram);
  window->ExportImageAction->trigger();
  ASSERT_EQ(boxes.size(), 1U);
  EXPECT_EQ(
      boxes[0].Text,
      QString::fromStdString("The map combiner is not installed beside this program: " + combiner + " is missing."));

  // A stand-in combiner that writes down what it was given.
  const std::string record = program.File("combiner-arguments.txt");
  testsupport::WriteFileBytes(
      combiner, "#!/bin/sh\nprintf '%s|' \"$@\" > " + record + ".part && mv " + record + ".part " + record + "\n");
  std::filesystem::permissions(combiner, std::filesystem::perms::owner_all);
  window->ExportImageAction->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(record); }, 10000));
  EXPECT_EQ(testsupport::ReadFileBytes(record), save.File("t.otsk") + "|");
  EXPECT_EQ(boxes.size(), 1U);
}

}  // namespace
}  // namespace viewertest

namespace viewertest {
namespace {

// File > New task from area... writes the task of the area chosen on the map
// as "orvenna-cli new" writes it, with the map's base layer as its map type,
// and shows it; the area window starts on the task on view.
TEST_F(ViewerTest, NewTaskFromAnAreaIsWrittenAndShown) {
  MakeTask({6742, 3101, 2, 2, 13});
  ASSERT_TRUE(OpenMade());
  window->NewTaskAction->trigger();
  mapkit::AreaWindow* area = window->AreaWindow();
  ASSERT_NE(area, nullptr);
  ASSERT_TRUE(area->Map->Area());
  EXPECT_EQ(area->ZoomBox->value(), 13);
  EXPECT_TRUE(QTest::qWaitFor([&] { return area->OutlinesShown() == 1; }, 10000));

  area->WestEdit->setText(QStringLiteral("116.3"));
  area->EastEdit->setText(QStringLiteral("116.5"));
  area->NorthEdit->setText(QStringLiteral("40"));
  area->SouthEdit->setText(QStringLiteral("39.8"));
  emit area->SouthEdit->editingFinished();
  area->LayerBox->setCurrentIndex(1);
  const std::string path = save.File("from area.otsk");
  saveAnswer = QString::fromStdString(path);
  area->AcceptButton->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->Task() != nullptr && window->Task()->Path() == path; }, 10000));
  EXPECT_FALSE(area->isVisible());
  const task::MDTask& made = window->Task()->Task();
  EXPECT_EQ(made.TotalImages, 42);
  EXPECT_EQ(made.MapsType(), task::kMapStreet);
  EXPECT_EQ(made.Spec().Area.Box.West, 116.3);
  EXPECT_EQ(made.Spec().Area.Box.North, 40);
  // Every file of a new task, as a Start writes them before its download.
  EXPECT_TRUE(platform::FileExists(made.ListFileName));
  EXPECT_TRUE(platform::FileExists(made.LogFileName));
  EXPECT_TRUE(platform::FileExists(made.FailedListFileName));
  EXPECT_TRUE(boxes.empty());
}

// A task of the Nearmap API pinned to a survey: the area window starts on
// that imagery, and the task made of another area keeps the survey.
TEST_F(ViewerTest, NewTaskFromAreaKeepsTheSurveyOfTheTaskOnView) {
  testsupport::NearmapStandIn api("K3Y", {{"s2021", "2021-06-01"}, {"s2023", "2023-11-30"}});
  const std::string config = program.File("ini/config.ini");
  testsupport::WriteFileBytes(config, "[NearmapApi]\r\nBaseUrl=" + api.BaseUrl() + "\r\nSecret=K3Y\r\n");
  const task::NearmapImagery pinned{"Vert", "s2021", "2021-06-01"};
  task::TaskSpec spec;
  spec.Name = "pinned.otsk";
  spec.Folder = save.Path();
  spec.Area.Box = task::LonLatBox{116.30, 116.31, 40.00, 39.99};
  spec.Zooms = task::ZoomLevels::One(13);
  spec.Imagery = pinned;
  spec.Date = "20210601";
  const run::ControlsCheck check = run::CheckStart(spec, run::ConfigFile(config));
  ASSERT_TRUE(check.Parameters) << check.Message;
  run::WriteTaskFiles(*check.Parameters, check.Run, program.Path());
  ASSERT_TRUE(Open(save.File("pinned.otsk")));

  window->NewTaskAction->trigger();
  mapkit::AreaWindow* area = window->AreaWindow();
  ASSERT_NE(area, nullptr);
  EXPECT_EQ(area->LayerBox->currentText(), QStringLiteral("Nearmap API"));
  area->EastEdit->setText(QStringLiteral("116.32"));
  emit area->EastEdit->editingFinished();
  const std::string path = save.File("wider.otsk");
  saveAnswer = QString::fromStdString(path);
  ASSERT_TRUE(area->AcceptButton->isEnabled());
  area->AcceptButton->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->Task() != nullptr && window->Task()->Path() == path; }, 10000));
  const task::TaskParameters made = window->Task()->Task().Record();
  EXPECT_EQ(made.MapsType, task::kMapNearmapApi);
  EXPECT_EQ(made.Nearmap, pinned);
  EXPECT_EQ(made.HistoryDate, "20210601");
  EXPECT_EQ(made.RightLongitude, 116.32);
  EXPECT_TRUE(boxes.empty());
}

// A job opens at its deepest level; the level box goes through its tasks,
// and the job is the recent file.
TEST_F(ViewerTest, AJobOpensAtItsDeepestLevelAndItsLevelsAreChosenByZoom) {
  const std::string shallow = MakeTask({3371, 1550, 2, 2, 12}, "site_z12.otsk").TaskFileName();
  const std::string deep = MakeTask({6742, 3101, 4, 4, 13}, "site_z13.otsk").TaskFileName();
  const std::string job = save.File("site.ojob");
  run::WriteJobFile(job, {12, 13}, "site");
  OpenWindow();
  window->OpenTask(QString::fromStdString(job));
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->Task() != nullptr && window->Task()->Path() == deep; }, 10000));
  EXPECT_TRUE(window->LevelBox->isVisibleTo(window.get()));
  ASSERT_EQ(window->LevelBox->count(), 2);
  EXPECT_EQ(window->LevelBox->itemText(0), QStringLiteral("Zoom 12"));
  EXPECT_EQ(window->LevelBox->currentIndex(), 1);
  EXPECT_EQ(window->Recent().Paths().front(), job);

  window->LevelBox->setCurrentIndex(0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->Task()->Path() == shallow; }, 10000));
  EXPECT_EQ(window->Task()->Task().Zoom(), 12);
  EXPECT_EQ(window->Recent().Paths().front(), job);

  // A task on its own has no levels to choose.
  ASSERT_TRUE(Open(deep));
  EXPECT_FALSE(window->LevelBox->isVisibleTo(window.get()));

  // New task from area with a "to" zoom: a job of a task per level, shown.
  window->NewTaskAction->trigger();
  mapkit::AreaWindow* area = window->AreaWindow();
  ASSERT_NE(area, nullptr);
  ASSERT_TRUE(area->ToZoomBox->isVisibleTo(area));
  area->ToZoomBox->setValue(15);
  EXPECT_TRUE(area->TilesLabel->text().startsWith(QStringLiteral("Tiles: "))) << area->TilesLabel->text().toStdString();
  EXPECT_TRUE(area->TilesLabel->text().contains(QStringLiteral(" in zooms 13 to 15 (16 at zoom 13, ")))
      << area->TilesLabel->text().toStdString();
  saveAnswer = QString::fromStdString(save.File("pyramid.otsk"));
  area->AcceptButton->click();
  const std::string deepest = save.File("pyramid_z15.otsk");
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->Task() != nullptr && window->Task()->Path() == deepest; }, 10000));
  EXPECT_EQ(window->LevelBox->count(), 3);
  const run::JobFile made = run::ReadJobFile(save.File("pyramid.ojob"));
  EXPECT_EQ(made.Tasks, (std::vector<std::string>{save.File("pyramid_z13.otsk"), save.File("pyramid_z14.otsk"), deepest}));
  EXPECT_EQ(window->Task()->Task().Zoom(), 15);
  EXPECT_GT(window->Task()->Task().TotalImages, 16 * 4);
  EXPECT_TRUE(boxes.empty());
}

}  // namespace
}  // namespace viewertest
