// The combiner's window offscreen, driven from the keyboard and the mouse as a
// user would: a task given on the command line, the output that follows the
// format, the file choosers, Start, the summary, Open folder, a refused
// option and Cancel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <chrono>
#include <optional>
#include <set>
#include <string>

#include "combiner/CombinerWindow.h"
#include "core/platform/Files.h"
#include "qtkit/Desktop.h"
#include "qtkit/Dialogs.h"
#include "tests/combiner/SyntheticTask.h"

namespace {

using namespace std::chrono_literals;

template <typename Widget>
Widget* Find(combiner::CombinerWindow& window, const char* name) {
  auto* widget = window.findChild<Widget*>(name);
  EXPECT_NE(widget, nullptr) << name;
  return widget;
}

// Runs the event loop until the window's combine has ended.
bool WaitUntilIdle(combiner::CombinerWindow& window) {
  return testsupport::WaitFor(
      [&] {
        QApplication::processEvents();
        return !window.IsRunning() && !Find<QPushButton>(window, "CancelButton")->isEnabled();
      },
      30s);
}

QString Local(const std::string& path) { return QString::fromLocal8Bit(path.c_str()); }

TEST(CombinerWindow, CombinesTheTaskItWasStartedWithFromTheKeyboard) {
  combinertest::MixedTask mixed;
  const std::string task = mixed.Task().TaskPath();
  combiner::CombinerWindow window(Local(task));
  window.show();
  auto* output = Find<QLineEdit>(window, "OutputEdit");
  EXPECT_EQ(output->text(), Local(platform::RemoveFileExt(task) + ".tif"));

  // Another format, and the output's extension follows.
  auto* format = Find<QComboBox>(window, "FormatBox");
  format->setFocus();
  QTest::keyClick(format, Qt::Key_Down);  // Cloud-Optimized GeoTIFF
  QTest::keyClick(format, Qt::Key_Down);  // JPEG
  QTest::keyClick(format, Qt::Key_Down);  // PNG
  EXPECT_EQ(output->text(), Local(platform::RemoveFileExt(task) + ".png"));
  EXPECT_FALSE(Find<QComboBox>(window, "CompressBox")->isEnabled());
  // A GeoPackage and a KMZ have coordinates of their own; the overviews of a
  // GeoPackage are its lower zooms.
  QTest::keyClick(format, Qt::Key_Down);  // MBTiles
  QTest::keyClick(format, Qt::Key_Down);  // GeoPackage
  EXPECT_EQ(output->text(), Local(platform::RemoveFileExt(task) + ".gpkg"));
  EXPECT_FALSE(Find<QComboBox>(window, "SrsBox")->isEnabled());
  EXPECT_TRUE(Find<QCheckBox>(window, "OverviewsBox")->isEnabled());
  QTest::keyClick(format, Qt::Key_Down);  // KMZ
  EXPECT_EQ(output->text(), Local(platform::RemoveFileExt(task) + ".kmz"));
  EXPECT_FALSE(Find<QComboBox>(window, "SrsBox")->isEnabled());
  EXPECT_EQ(Find<QComboBox>(window, "SrsBox")->currentIndex(), 1);  // degrees
  EXPECT_FALSE(Find<QCheckBox>(window, "OverviewsBox")->isEnabled());
  for (int i = 0; i < 3; ++i) QTest::keyClick(format, Qt::Key_Up);
  EXPECT_EQ(output->text(), Local(platform::RemoveFileExt(task) + ".png"));
  EXPECT_TRUE(Find<QComboBox>(window, "SrsBox")->isEnabled());
  EXPECT_EQ(Find<QComboBox>(window, "SrsBox")->currentIndex(), 0);  // the GeoPackage's metres on the way
  output->setText(Local(mixed.Output("map.png")));

  QTest::keyClick(&window, Qt::Key_Return);  // Start is the default button
  ASSERT_TRUE(WaitUntilIdle(window));
  const QString summary = Find<QPlainTextEdit>(window, "SummaryView")->toPlainText();
  EXPECT_TRUE(summary.contains("Wrote " + Local(mixed.Output("map.png")))) << summary.toStdString();
  EXPECT_TRUE(summary.contains("4 holes")) << summary.toStdString();
  EXPECT_EQ(Find<QLabel>(window, "StageLabel")->text(), "Done");
  EXPECT_EQ(Find<QProgressBar>(window, "ProgressBar")->value(), Find<QProgressBar>(window, "ProgressBar")->maximum());
  EXPECT_EQ(testsupport::Entries(mixed.OutputFolder()),
            (std::set<std::string>{"map.png", "map.pgw", "map.prj", "map.png.aux.xml", "map_holes.ftl", "map_holes.txt"}));

  QString opened;
  qtkit::SetUrlOpenerForTests([&](const QUrl& folder) { opened = folder.toLocalFile(); });
  auto* openFolder = Find<QPushButton>(window, "OpenFolderButton");
  ASSERT_TRUE(openFolder->isEnabled());
  EXPECT_TRUE(openFolder->hasFocus());
  QTest::keyClick(openFolder, Qt::Key_Space);
  qtkit::SetUrlOpenerForTests({});
  EXPECT_EQ(opened + "/", Local(mixed.OutputFolder()));
}

TEST(CombinerWindow, RefusesAnUnknownColourAndCancelsLeavingNothing) {
  testsupport::TempDir dir;
  combinertest::SyntheticTask task(dir.Path(), 12, 12);
  task.WriteAllTiles();
  combiner::CombinerWindow window;
  window.show();
  auto* start = Find<QPushButton>(window, "StartButton");
  Find<QLineEdit>(window, "TaskEdit")->setText(Local(task.TaskPath()));
  Find<QLineEdit>(window, "OutputEdit")->setText(Local(dir.File("map.png")));
  Find<QComboBox>(window, "SrsBox")->setCurrentIndex(1);  // degrees: a warp, long enough to cancel
  Find<QLineEdit>(window, "FillEdit")->setText("mauve");
  QTest::mouseClick(start, Qt::LeftButton);
  EXPECT_FALSE(window.IsRunning());
  EXPECT_TRUE(Find<QPlainTextEdit>(window, "SummaryView")->toPlainText().contains("Unknown fill colour"));

  Find<QLineEdit>(window, "FillEdit")->setText("#000000");
  QTest::mouseClick(start, Qt::LeftButton);
  EXPECT_TRUE(window.IsRunning());
  EXPECT_FALSE(start->isEnabled());
  QTest::keyClick(&window, Qt::Key_Escape);  // cancels, and the window stays
  ASSERT_TRUE(WaitUntilIdle(window));
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(Find<QLabel>(window, "StageLabel")->text(), "Cancelled");
  EXPECT_FALSE(platform::FileExists(dir.File("map.png")));
  EXPECT_FALSE(Find<QPushButton>(window, "OpenFolderButton")->isEnabled());
  const std::set<std::string> left = testsupport::Entries(dir.Path());
  EXPECT_EQ(left, (std::set<std::string>{"mosaic", "mosaic.otsk", "mosaic_failed.ftl", "mosaic_list.txt"}));
}

TEST(CombinerWindow, TakesTheTaskAndTheOutputFromTheFileChoosers) {
  QString openFilter;
  QString openStart;
  QString saveSuggested;
  qtkit::FileChooser chooser;
  chooser.OpenFile = [&](QWidget*, const QString&, const QString& filter, const QString& startFolder,
                         const QString&) -> std::optional<QString> {
    openFilter = filter;
    openStart = startFolder;
    return QString("/maps/alps.otsk");
  };
  chooser.SaveFile = [&](QWidget*, const QString&, const QString&, const QString& suggested) -> std::optional<QString> {
    saveSuggested = suggested;
    return QString("/maps/out/alps.tif");
  };
  qtkit::SetChooserForTests(chooser);
  combiner::CombinerWindow window(QString("/data/old.otsk"));
  window.show();
  auto* output = Find<QLineEdit>(window, "OutputEdit");

  QTest::mouseClick(Find<QPushButton>(window, "TaskBrowseButton"), Qt::LeftButton);
  EXPECT_TRUE(openFilter.contains("*.otsk")) << openFilter.toStdString();
  EXPECT_EQ(openStart, "/data");
  EXPECT_EQ(Find<QLineEdit>(window, "TaskEdit")->text(), "/maps/alps.otsk");
  EXPECT_EQ(output->text(), "/maps/alps.tif");  // beside the new task, not the old one

  QTest::mouseClick(Find<QPushButton>(window, "OutputBrowseButton"), Qt::LeftButton);
  EXPECT_EQ(saveSuggested, "/maps/alps.tif");
  EXPECT_EQ(output->text(), "/maps/out/alps.tif");

  // Cancelled choosers leave the fields as they are.
  chooser.OpenFile = [](QWidget*, const QString&, const QString&, const QString&, const QString&) {
    return std::optional<QString>();
  };
  chooser.SaveFile = [](QWidget*, const QString&, const QString&, const QString&) { return std::optional<QString>(); };
  qtkit::SetChooserForTests(chooser);
  QTest::mouseClick(Find<QPushButton>(window, "TaskBrowseButton"), Qt::LeftButton);
  QTest::mouseClick(Find<QPushButton>(window, "OutputBrowseButton"), Qt::LeftButton);
  EXPECT_EQ(Find<QLineEdit>(window, "TaskEdit")->text(), "/maps/alps.otsk");
  EXPECT_EQ(output->text(), "/maps/out/alps.tif");
  qtkit::SetChooserForTests({});
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
