// The Nearmap API in the windows: its page of Options with the key and the
// test, Tools > Surveys..., a run of the survey chosen and its task opened
// again, a refused key, against a loopback stand-in of the API.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <string>
#include <vector>

#include "core/download/FailureRules.h"
#include "core/platform/Files.h"
#include "core/run/ConfigFile.h"
#include "core/task/TaskFile.h"
#include "gui/NearmapApiWindow.h"
#include "gui/SurveysWindow.h"
#include "gui/Unitoptions.h"
#include "tests/gui/MainWindowFixture.h"
#include "tests/support/NearmapStandIn.h"

namespace guitest {
namespace {

using testsupport::NearmapStandIn;

const std::string kKey = "K3Y-77aa";

class NearmapApiTest : public MainWindowFixture {
 protected:
  // The API reached directly, with key.
  void WriteApiConfig(const std::string& key) {
    testsupport::WriteFileBytes(Config(), "[IniParas]\r\nDefaultPath=" + SavePath() + "\r\n[NearmapApi]\r\nBaseUrl=" +
                                              api_.BaseUrl() + "\r\nSecret=" + key + "\r\nPauseMs=5\r\n");
  }
  std::string Config() const { return program_->Path() + "ini/config.ini"; }

  NearmapStandIn api_{kKey, {{"s2019", "2019-02-03"}, {"s2021", "2021-06-01"}, {"s2023", "2023-11-30"}}};
};

TEST_F(NearmapApiTest, TheOptionsPageKeepsTheKeyMaskedAndTestsItOnTheRectangle) {
  WriteApiConfig("WRONG");
  run::AreaCheck area = run::ReadArea("116.30", "116.31", "40.00", "39.99");
  TfrmNearmapApi page(qtkit::FromLocal(Config()), [&area] { return area; });
  EXPECT_EQ(page.EditApiKey->echoMode(), QLineEdit::Password);
  EXPECT_EQ(page.EditApiKey->text(), QStringLiteral("WRONG"));
  EXPECT_EQ(page.ComboDirection->currentText(), QStringLiteral("Vert"));

  const auto test = [&page] {
    page.ButtonTest->click();
    EXPECT_TRUE(QTest::qWaitFor([&page] { return page.ButtonTest->isEnabled(); }, 20000));
    return page.LabelTest->text();
  };
  EXPECT_EQ(test(), QString::fromLatin1(download::kKeyRefusedMessage) + QStringLiteral(" (HTTP 401)"));
  // The key as typed, before it is saved.
  page.EditApiKey->setText(QString::fromStdString(kKey));
  EXPECT_EQ(test(), QStringLiteral("The key works: 3 surveys cover the rectangle, the newest captured 2023-11-30."));
  area = run::ReadArea("116.30", "", "40.00", "39.99");
  EXPECT_EQ(test(), QStringLiteral("The main window's rectangle: Longitude or latitude input error!"));

  // OK writes the page; an address that cannot be used is refused first.
  page.EditBaseUrl->setText(QStringLiteral("api.nearmap.com"));
  page.ComboDirection->setCurrentText(QStringLiteral("East"));
  page.ButtonOK->click();
  EXPECT_EQ(MessageTexts(),
            std::vector<QString>{QStringLiteral("The address of the Nearmap API must begin with http:// or https://.")});
  EXPECT_EQ(run::ConfigFile(Config()).ReadNearmapApi().Secret, "WRONG");
  page.EditBaseUrl->setText(QString::fromStdString(api_.BaseUrl()));
  page.ButtonOK->click();
  EXPECT_EQ(page.result(), QDialog::Accepted);
  const run::NearmapApiSettings saved = run::ConfigFile(Config()).ReadNearmapApi();
  EXPECT_EQ(saved.Secret, kKey);
  EXPECT_EQ(saved.Direction, "East");
  EXPECT_EQ(saved.Account, (task::NearmapAccount{api_.BaseUrl(), 5, 4}));

  // Options opens the page.
  TfrmOptions options(qtkit::FromLocal(Config()));
  EXPECT_EQ(options.ButtonNearmapApi->text(), QStringLiteral("Nearmap API..."));
}

// Tools > Surveys... pins the task to the survey chosen; Start fetches its
// tiles with the key in the header only; Open task and Start continue it.
TEST_F(NearmapApiTest, TheSurveyChosenIsDownloadedAndItsTaskContinues) {
  WriteApiConfig(kKey);
  OpenWindow();
  FillOneTile(QStringLiteral("nm"));
  // The modal list, as the user meets it: once it has come, the second row.
  QTimer::singleShot(0, [] {
    auto* surveys = qobject_cast<TfrmSurveys*>(QApplication::activeModalWidget());
    if (surveys == nullptr) return ADD_FAILURE() << "no surveys window";
    if (!QTest::qWaitFor([surveys] { return surveys->Asked(); }, 20000) || surveys->SurveyList->count() != 3) {
      surveys->reject();
      return ADD_FAILURE() << "the list did not come: " << qtkit::ToLocal(surveys->LabelState->text());
    }
    EXPECT_EQ(surveys->SurveyList->item(0)->text(), QStringLiteral("2023-11-30   s2023"));
    EXPECT_EQ(surveys->LabelState->text(), QStringLiteral("3 surveys, the newest first."));
    surveys->SurveyList->setCurrentRow(1);
    surveys->ButtonUse->click();
  });
  Surveys1()->trigger();
  EXPECT_EQ(radio_mapstype()->currentText(), QStringLiteral("Nearmap API"));
  EXPECT_EQ(EditDate()->text(), QStringLiteral("20210601"));

  ClickStart();
  ASSERT_TRUE(WaitForRunEnd());
  const std::string tile = NearmapStandIn::TilePath("Vert", 13, 6742, 3101, "s2021");
  EXPECT_EQ(testsupport::ReadFileBytes(SavePath() + "nm/na_6742_3101_13.jpg"),
            NearmapStandIn::Tile("s2021", "Vert", 13, 6742, 3101));
  EXPECT_EQ(api_.Server().RequestsFor(tile).size(), 1u);
  for (const testsupport::RecordedRequest& request : api_.Server().Requests()) {
    EXPECT_EQ(request.Target.find(kKey), std::string::npos);
    EXPECT_EQ(request.Headers.at("authorization"), "Apikey " + kKey);
  }
  for (const char* file : {"nm.otsk", "nm_log.txt", "nm_failed.ftl", "nm_list.txt"}) {
    EXPECT_EQ(testsupport::ReadFileBytes(SavePath() + file).find(kKey), std::string::npos) << file;
  }
  EXPECT_EQ(task::TaskFile(SavePath() + "nm.otsk").Read(0).Nearmap,
            (task::NearmapImagery{"Vert", "s2021", "2021-06-01"}));

  // Another session: Open task brings the survey back, and Start continues.
  window_.reset();
  OpenWindow();
  qtkit::FileChooser chooser;
  chooser.OpenFile = [this](QWidget*, const QString&, const QString&, const QString&, const QString&) {
    return std::optional<QString>(qtkit::FromLocal(SavePath() + "nm.otsk"));
  };
  qtkit::SetChooserForTests(chooser);
  Button4()->click();
  EXPECT_EQ(radio_mapstype()->currentText(), QStringLiteral("Nearmap API"));
  messages_.clear();
  const std::size_t before = api_.Server().RequestCount();
  ClickStart();
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_TRUE(window_->CurrentRunSettings()->ContinueTask);
  EXPECT_EQ(api_.Server().RequestCount(), before) << "done, and no survey list asked for";
}

// A task file with a date but no survey (written by hand): Start asks the
// API for the survey of the date, the window going on meanwhile.
TEST_F(NearmapApiTest, ADateAloneChoosesTheNewestSurveyOnOrBeforeItAtStart) {
  WriteApiConfig(kKey);
  platform::WriteTextLines(SavePath() + "dated.otsk",
                           {"[MapsType]", "MapsType=21", "HistoryDate=20220101", "[AREA]", "LeftLongitude=116.30",
                            "RightLongitude=116.31", "TopLatitude=40.00", "BottomLatitude=39.99", "[Zoom]", "Zoom=13"});
  OpenWindow();
  qtkit::FileChooser chooser;
  chooser.OpenFile = [this](QWidget*, const QString&, const QString&, const QString&, const QString&) {
    return std::optional<QString>(qtkit::FromLocal(SavePath() + "dated.otsk"));
  };
  qtkit::SetChooserForTests(chooser);
  Button4()->click();
  EXPECT_EQ(radio_mapstype()->currentText(), QStringLiteral("Nearmap API"));
  EXPECT_EQ(EditDate()->text(), QStringLiteral("20220101"));
  ClickStart();
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_TRUE(window_->isEnabled());
  EXPECT_EQ(testsupport::ReadFileBytes(SavePath() + "dated/na_6742_3101_13.jpg"),
            NearmapStandIn::Tile("s2021", "Vert", 13, 6742, 3101));
  const task::StoredTask stored = task::TaskFile(SavePath() + "dated.otsk").Read(0);
  EXPECT_EQ(stored.HistoryDate, "20220101");
  EXPECT_EQ(stored.Nearmap, (task::NearmapImagery{"Vert", "s2021", "2021-06-01"}));

  // A date before every survey is refused, with nothing fetched.
  EditDate()->setText(QStringLiteral("20180101"));
  messages_.clear();
  const std::size_t before = api_.Server().RequestCount();
  ClickStart();
  EXPECT_EQ(MessageTexts(), std::vector<QString>{QStringLiteral("No survey of this area was captured on or before 20180101.")});
  EXPECT_EQ(api_.Server().RequestCount(), before + 1) << "the survey list only";
}

TEST_F(NearmapApiTest, ARefusedKeyStopsTheRunWithItsMessage) {
  WriteApiConfig("WRONG");
  OpenWindow();
  FillExample(QStringLiteral("bad"));
  radio_mapstype()->setCurrentIndex(3);
  ClickStart();
  ASSERT_TRUE(WaitForRunEnd());
  const std::vector<std::string> log = Memo1Lines();
  EXPECT_EQ(std::count(log.begin(), log.end(), download::kKeyRefusedMessage), 4) << "each of the four workers";
  EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& line) { return line.find("banned") != std::string::npos; }), 0);
  EXPECT_EQ(api_.Server().RequestCount(), 4u) << "no request repeated";
  EXPECT_EQ(window_->CurrentRunSettings()->ThreadCount, 4) << "the account's connections";

  // Without a key nothing starts.
  WriteApiConfig("");
  messages_.clear();
  ClickStart();
  EXPECT_EQ(MessageTexts(), std::vector<QString>{QString::fromLatin1(download::kNoApiKeyMessage)});
}

}  // namespace
}  // namespace guitest
