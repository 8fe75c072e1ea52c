// The catalogue of imagery in every program, and a task pinned to a survey
// of the Nearmap API kept from window to window: Open task, the area window
// (whose base layer is the survey's imagery), Use this area, Surveys...,
// Start; and the window's progress as the command line words it.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <string>
#include <vector>

#include "core/run/Catalogue.h"
#include "core/run/ConfigFile.h"
#include "core/task/TaskFile.h"
#include "gui/NearmapApiWindow.h"
#include "gui/SurveysWindow.h"
#include "mapkit/AreaWindow.h"
#include "tests/gui/MainWindowFixture.h"
#include "tests/support/NearmapStandIn.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace guitest {
namespace {

using testsupport::NearmapStandIn;

const std::string kKey = "K3Y-77aa";

class ImageryTest : public MainWindowFixture {
 protected:
  // The API with its key, and a tile source of the user's own.
  void WriteSettings() {
    testsupport::WriteFileBytes(
        Config(), "[IniParas]\r\nDefaultPath=" + SavePath() + "\r\n[NearmapApi]\r\nBaseUrl=" + api_.BaseUrl() +
                      "\r\nSecret=" + kKey + "\r\nPauseMs=5\r\n[TileSource Mine]\r\nName=Mine\r\nUrl=http://" +
                      server_->HostPort() + "/{z}/{x}/{y}.png\r\nPrefix=mi\r\nExtension=png\r\n");
  }
  std::string Config() const { return program_->Path() + "ini/config.ini"; }
  std::vector<std::string> Cli(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), ORVENNA_CLI_PROGRAM);
    arguments.push_back("--config=" + Config());
    return arguments;
  }
  static std::vector<QString> Items(const QComboBox& box) {
    std::vector<QString> items;
    for (int i = 0; i < box.count(); ++i) items.push_back(box.itemText(i));
    return items;
  }
  mapkit::AreaWindow* OpenAreaWindow() {
    window_->findChild<QAction*>(QStringLiteral("ChooseAreaonmap1"))->trigger();
    return window_->AreaWindow();
  }

  testsupport::TempDir cache_;
  testsupport::ScopedEnvironment cacheHome_{"XDG_CACHE_HOME", cache_.Path().c_str()};
  NearmapStandIn api_{kKey, {{"s2019", "2019-02-03"}, {"s2021", "2021-06-01"}, {"s2023", "2023-11-30"}}};
};

TEST_F(ImageryTest, EveryListOfImageryIsTheCatalogue) {
  WriteSettings();
  const std::vector<run::MapSource> catalogue =
      run::ImageryCatalogue(run::ConfigFile(Config()), run::CatalogueFor::Tasks);
  std::vector<QString> names;
  for (const run::MapSource& item : catalogue) names.push_back(QString::fromStdString(item.Name));
  ASSERT_EQ(names, (std::vector<QString>{QStringLiteral("Nearmap PhotoMap"), QStringLiteral("Nearmap StreetMap"),
                                          QStringLiteral("Nearmap Terrain"), QStringLiteral("Nearmap API"),
                                          QStringLiteral("Mine")}));

  // The main window: the catalogue, the API offered first with a key set.
  OpenWindow();
  const auto* mapsType = window_->findChild<QComboBox*>(QStringLiteral("radio_mapstype"));
  EXPECT_EQ(Items(*mapsType), names);
  EXPECT_EQ(mapsType->currentText(), QStringLiteral("Nearmap API"));
  EXPECT_EQ(window_->findChild<QLabel*>(QStringLiteral("LabelImagery"))->text(),
            QStringLiteral("Nearmap API, straight down, latest imagery"));

  // The area window's base layers (the viewer's is the same window).
  mapkit::AreaWindow* chooser = OpenAreaWindow();
  ASSERT_NE(chooser, nullptr);
  EXPECT_EQ(Items(*chooser->LayerBox), names);
  EXPECT_EQ(chooser->LayerBox->currentText(), QStringLiteral("Nearmap API"));
  chooser->close();

  // orvenna-cli new takes every item by its word, and nothing else.
  for (const run::MapSource& item : catalogue) {
    const std::string word = task::CommandWord(item.Imagery);
    const testsupport::ProcessResult dry =
        testsupport::RunProcess(Cli({"new", "--name", "t", "--type", word, "--left", "116.30", "--right", "116.31",
                                     "--top", "40.00", "--bottom", "39.99", "--zoom", "13", "--folder", SavePath(),
                                     "--dry-run"}));
    EXPECT_EQ(dry.ExitStatus, 0) << word << ": " << dry.Err;
  }
  const testsupport::ProcessResult unknown = testsupport::RunProcess(
      Cli({"new", "--name", "t", "--type", "Yours", "--left", "116.30", "--right", "116.31", "--top", "40.00",
           "--bottom", "39.99", "--zoom", "13", "--folder", SavePath(), "--dry-run"}));
  EXPECT_EQ(unknown.ExitStatus, 2);
  EXPECT_NE(unknown.Err.find("--type is photo, street, terrain, nearmap or a tile source"), std::string::npos)
      << unknown.Err;

  // Without a key the map cannot show the API; the window still lists it,
  // and Start says why it cannot fetch it.
  testsupport::WriteFileBytes(Config(), "[IniParas]\r\nDefaultPath=" + SavePath() + "\r\n");
  OpenWindow();
  EXPECT_EQ(window_->findChild<QComboBox*>(QStringLiteral("radio_mapstype"))->currentText(),
            QStringLiteral("Nearmap PhotoMap"));
  chooser = OpenAreaWindow();
  EXPECT_EQ(Items(*chooser->LayerBox), (std::vector<QString>{QStringLiteral("Nearmap PhotoMap"),
                                                            QStringLiteral("Nearmap StreetMap"),
                                                            QStringLiteral("Nearmap Terrain")}));
}

// The task made on the command line, pinned to a survey, keeps it through
// the windows to its finished download; the area window shows that survey.
TEST_F(ImageryTest, APinnedSurveyStaysTheTasksThroughEveryWindow) {
  WriteSettings();
  const testsupport::ProcessResult made = testsupport::RunProcess(
      Cli({"new", "--name", "pinned", "--type", "nearmap", "--survey", "s2021", "--left", "116.30", "--right",
           "116.31", "--top", "40.00", "--bottom", "39.99", "--zoom", "13", "--folder", SavePath()}));
  ASSERT_EQ(made.ExitStatus, 0) << made.Err;
  const task::NearmapImagery pinned{"Vert", "s2021", "2021-06-01"};
  ASSERT_EQ(task::TaskFile(SavePath() + "pinned.otsk").Read(0).Nearmap, pinned);

  OpenWindow();
  window_->OpenFile(QString::fromStdString(SavePath() + "pinned.otsk"));
  auto* mapsType = window_->findChild<QComboBox*>(QStringLiteral("radio_mapstype"));
  auto* imagery = window_->findChild<QLabel*>(QStringLiteral("LabelImagery"));
  const QString words = QStringLiteral("Nearmap API, straight down, survey of 2021-06-01");
  EXPECT_EQ(mapsType->currentText(), QStringLiteral("Nearmap API"));
  EXPECT_EQ(imagery->text(), words);

  // Surveys... comes with the task's survey selected.
  int preselected = -1;
  QTimer::singleShot(0, [&preselected] {
    auto* surveys = qobject_cast<TfrmSurveys*>(QApplication::activeModalWidget());
    if (surveys == nullptr) return ADD_FAILURE() << "no surveys window";
    if (QTest::qWaitFor([surveys] { return surveys->Asked(); }, 20000)) preselected = surveys->SurveyList->currentRow();
    surveys->reject();
  });
  window_->findChild<QAction*>(QStringLiteral("Surveys1"))->trigger();
  EXPECT_EQ(preselected, 1) << "s2021, the second newest";

  // The area window shows the survey's own tiles, asked with the key.
  mapkit::AreaWindow* chooser = OpenAreaWindow();
  ASSERT_NE(chooser, nullptr);
  EXPECT_EQ(chooser->LayerBox->currentText(), QStringLiteral("Nearmap API"));
  const std::string surveyTiles = "/tiles/v3/surveys/s2021/Vert/";
  const auto surveyTileAsked = [this, &surveyTiles] {
    for (const testsupport::RecordedRequest& request : api_.Server().Requests()) {
      if (request.Path.rfind(surveyTiles, 0) == 0) return true;
    }
    return false;
  };
  EXPECT_TRUE(QTest::qWaitFor(surveyTileAsked, 20000));
  for (const testsupport::RecordedRequest& request : api_.Server().Requests()) {
    EXPECT_EQ(request.Headers.at("authorization"), "Apikey " + kKey) << request.Path;
    if (request.Path.rfind("/tiles/", 0) == 0) {
      EXPECT_EQ(request.Path.rfind(surveyTiles, 0), 0u) << request.Path;
    }
  }
  // Use this area changes the area and nothing else.
  chooser->EastEdit->setText(QStringLiteral("116.32"));
  emit chooser->EastEdit->editingFinished();
  ASSERT_TRUE(chooser->AcceptButton->isEnabled()) << chooser->ProblemLabel->text().toStdString();
  chooser->AcceptButton->click();
  EXPECT_EQ(window_->findChild<QLineEdit*>(QStringLiteral("Edit3"))->text(), QStringLiteral("116.32"));
  EXPECT_EQ(mapsType->currentText(), QStringLiteral("Nearmap API"));
  EXPECT_EQ(window_->findChild<QLineEdit*>(QStringLiteral("EditDate"))->text(), QStringLiteral("20210601"));
  EXPECT_EQ(imagery->text(), words);

  // Start (of a task of its own name) fetches the survey, without asking
  // for the list again.
  const auto coverageAsked = [this] {
    std::size_t asked = 0;
    for (const testsupport::RecordedRequest& request : api_.Server().Requests()) {
      asked += request.Path.rfind("/coverage/", 0) == 0 ? 1 : 0;
    }
    return asked;
  };
  const std::size_t coverageBefore = coverageAsked();
  window_->findChild<QLineEdit*>(QStringLiteral("EditTaskName"))->setText(QStringLiteral("pinned2"));
  ClickStart();
  ASSERT_NE(window_->CurrentTask(), nullptr) << (messages_.empty() ? "" : messages_.front().Text.toStdString());
  EXPECT_EQ(window_->CurrentTask()->Record().Nearmap, pinned);
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(coverageAsked(), coverageBefore);
  EXPECT_EQ(testsupport::ReadFileBytes(SavePath() + "pinned2/na_6742_3101_13.jpg"),
            NearmapStandIn::Tile("s2021", "Vert", 13, 6742, 3101));
  const task::StoredTask stored = task::TaskFile(SavePath() + "pinned2.otsk").Read(0);
  EXPECT_EQ(stored.Nearmap, pinned);
  EXPECT_EQ(stored.HistoryDate, "20210601");
}

// Options > Nearmap API... > Test tries the key on a point of its own when
// the main window holds no rectangle.
TEST_F(ImageryTest, TheKeyIsTestedWithoutARectangle) {
  WriteSettings();
  // What the window answers when no edge is typed.
  TfrmNearmapApi page(qtkit::FromLocal(Config()), [] { return std::optional<run::AreaCheck>(); });
  page.ButtonTest->click();
  ASSERT_TRUE(QTest::qWaitFor([&page] { return page.ButtonTest->isEnabled(); }, 20000));
  EXPECT_EQ(page.LabelTest->text(),
            QStringLiteral("The key works: the service answered for a point of Sydney (no rectangle is typed)."));
  ASSERT_EQ(api_.Server().RequestCount(), 1u);
  EXPECT_EQ(api_.Server().Requests().front().Path.rfind("/coverage/v2/poly/151.2,-33.86,", 0), 0u)
      << api_.Server().Requests().front().Path;
}

// The status bar words a run's progress as orvenna-cli's progress line does.
TEST_F(ImageryTest, TheStatusBarShowsPercentRateAndTimeLeft) {
  OpenWindow(FastPacing(200));
  FillExample(QStringLiteral("progress"));
  auto* progress = window_->findChild<QLabel*>(QStringLiteral("RunProgressText"));
  ASSERT_NE(progress, nullptr);
  EXPECT_FALSE(progress->isVisible());
  ClickStart();
  EXPECT_TRUE(progress->isVisible());
  const QRegularExpression form(QStringLiteral(
      R"(^(\d+)/42 tiles of the task \(\d+\.\d%\), this run \1/42, \d+\.\d\d tiles/s, ETA [^,]+, \d+ given up$)"));
  EXPECT_TRUE(form.match(progress->text()).hasMatch()) << progress->text().toStdString();
  // A later tick: some tiles done, a rate and a time left.
  ASSERT_TRUE(QTest::qWaitFor([progress] { return !progress->text().startsWith(QStringLiteral("0/")); }, 20000));
  EXPECT_TRUE(form.match(progress->text()).hasMatch()) << progress->text().toStdString();
  EXPECT_FALSE(progress->text().contains(QStringLiteral("ETA ?"))) << progress->text().toStdString();
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_FALSE(progress->isVisible());
}

}  // namespace
}  // namespace guitest
