// Tile sources of the user's own in the windows: the sources dialog, the map
// type list, a run of a source, and a task of a source opened on a machine
// that does not know the source.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <algorithm>
#include <string>
#include <vector>

#include "core/platform/Files.h"
#include "core/run/ConfigFile.h"
#include "core/settings/IniFile.h"
#include "core/task/TaskFile.h"
#include "gui/TileSourcesWindow.h"
#include "tests/gui/MainWindowFixture.h"

namespace guitest {
namespace {

using testsupport::Reply;

const std::string kSecret = "S3CR3T";

class TileSourcesTest : public MainWindowFixture {
 protected:
  task::TileSource Source() const {
    task::TileSource s;
    s.Name = "Mine";
    s.UrlTemplate = "http://" + server_->HostPort() + "/t/{z}/{x}/{y}.png?key={secret}";
    s.FilePrefix = "my";
    s.Extension = "png";
    s.MinZoom = 3;
    s.MaxZoom = 14;
    s.PauseMs = 10;
    s.MaxWorkers = 2;
    return s;
  }
  std::string Config() const { return program_->Path() + "ini/config.ini"; }
  std::string Png() const { return testsupport::ReadFileBytes(ORVENNA_BLANK_IMAGE_PNG); }
};

TEST_F(TileSourcesTest, SourcesAreAddedCheckedTestedAndRemoved) {
  server_->SetDefault(Reply::Ok(Png()).WithHeader("Content-Type", "image/png"));
  TfrmTileSources dialog(qtkit::FromLocal(Config()), [] { return TestTile{6742, 3101, 13}; });
  EXPECT_EQ(dialog.SourceList->count(), 0);

  // A template with a placeholder that does not exist is refused, with why.
  dialog.FillFormForTests = [this](TfrmTileSourceEdit& form) {
    form.SetSource(Source(), QString::fromStdString(kSecret));
    form.EditUrl->setText(QStringLiteral("http://x/{z}/{x}/{row}.png"));
  };
  dialog.ButtonAdd->click();
  EXPECT_EQ(MessageTexts(), std::vector<QString>{QStringLiteral(
                                "Unknown placeholder {row} in the URL template of Mine; there are {z} {x} {y} {-y} "
                                "{q} {s} {date} {secret}.")});
  EXPECT_TRUE(run::ConfigFile(Config()).ReadSources().empty());

  dialog.FillFormForTests = [this](TfrmTileSourceEdit& form) {
    form.SetSource(Source(), QString::fromStdString(kSecret));
  };
  dialog.ButtonAdd->click();
  ASSERT_EQ(dialog.SourceList->count(), 1);
  EXPECT_EQ(dialog.SourceList->item(0)->text(), QStringLiteral("Mine"));
  EXPECT_EQ(run::ConfigFile(Config()).ReadSources(), std::vector<task::TileSource>{Source()});
  EXPECT_EQ(run::ConfigFile(Config()).ReadSourceSecret("Mine"), kSecret);

  // The test fetches one tile of the rectangle, with the secret.
  dialog.ButtonTest->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.ButtonTest->isEnabled(); }, 20000));
  EXPECT_EQ(dialog.LabelTest->text(), QStringLiteral("HTTP 200, image/png, %1 bytes: a tile.").arg(Png().size()));
  ASSERT_EQ(server_->RequestCount(), 1u);
  EXPECT_EQ(server_->Requests()[0].Path, "/t/13/6742/3101.png?key=" + kSecret);
  // A page sent with 200 is judged as the download judges it.
  server_->SetDefault(Reply::Ok("<html>quota</html>").WithHeader("Content-Type", "text/html"));
  dialog.ButtonTest->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.ButtonTest->isEnabled(); }, 20000));
  EXPECT_EQ(dialog.LabelTest->text(), QStringLiteral("HTTP 200, text/html, 18 bytes: no tile (not an image)."));

  dialog.ButtonRemove->click();
  EXPECT_EQ(dialog.SourceList->count(), 0);
  EXPECT_TRUE(run::ConfigFile(Config()).ReadSources().empty());
}

TEST_F(TileSourcesTest, ASourceRunsFromTheWindowAndItsTaskOpensOnAMachineWithoutIt) {
  server_->SetDefault(Reply::Ok(Png()).WithHeader("Content-Type", "image/png"));
  run::ConfigFile(Config()).WriteSource(Source(), kSecret);
  OpenWindow();
  ASSERT_EQ(radio_mapstype()->count(), 5);
  EXPECT_EQ(radio_mapstype()->itemText(3), QStringLiteral("Nearmap API"));
  EXPECT_EQ(radio_mapstype()->itemText(4), QStringLiteral("Mine"));
  radio_mapstype()->setCurrentIndex(4);
  FillExample(QStringLiteral("src"));

  // Outside the source's zoom levels, Start says so.
  UpDown1()->SetPosition(15);
  ClickStart();
  EXPECT_EQ(MessageTexts(), std::vector<QString>{QStringLiteral("The tile source Mine has zoom levels 3 to 14.")});
  messages_.clear();
  UpDown1()->SetPosition(13);
  ClickStart();
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(window_->CurrentRunSettings()->ThreadCount, 2) << "the source's workers";
  EXPECT_TRUE(platform::FileExists(SavePath() + "src/my_6742_3101_13.png"));
  for (const char* file : {"src.otsk", "src_log.txt", "src_failed.ftl", "src_list.txt"}) {
    EXPECT_EQ(testsupport::ReadFileBytes(SavePath() + file).find(kSecret), std::string::npos) << file;
  }
  EXPECT_EQ(task::TaskFile(SavePath() + "src.otsk").Read(0).Source, Source());

  // Another machine: a settings file without the source. Open task brings
  // it back, and Start continues the task.
  window_.reset();
  run::ConfigFile(Config()).RemoveSource("Mine");
  OpenWindow();
  EXPECT_EQ(radio_mapstype()->count(), 4);
  qtkit::FileChooser chooser;
  chooser.OpenFile = [this](QWidget*, const QString&, const QString&, const QString&, const QString&) {
    return std::optional<QString>(qtkit::FromLocal(SavePath() + "src.otsk"));
  };
  qtkit::SetChooserForTests(chooser);
  Button4()->click();
  EXPECT_EQ(radio_mapstype()->currentText(), QStringLiteral("Mine"));
  EXPECT_EQ(run::ConfigFile(Config()).ReadSources(), std::vector<task::TileSource>{Source()});
  messages_.clear();
  const std::size_t before = server_->RequestCount();
  ClickStart();
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_TRUE(window_->CurrentRunSettings()->ContinueTask);
  EXPECT_EQ(server_->RequestCount(), before) << "every tile was done";

  // A task whose source cannot be used is refused with the source's reason,
  // before any field changes.
  settings::IniFile(SavePath() + "src.otsk").WriteString("TileSource", "Url", "ftp://tiles/{z}/{x}/{y}.png");
  Edit1()->setText(QStringLiteral("typed"));
  UpDown1()->SetPosition(7);
  messages_.clear();
  Button4()->click();
  EXPECT_EQ(MessageTexts(),
            std::vector<QString>{QStringLiteral("The URL template of Mine must begin with http:// or https://.")});
  EXPECT_EQ(Edit1()->text(), QStringLiteral("typed"));
  EXPECT_EQ(UpDown1()->Position(), 7);
  EXPECT_EQ(run::ConfigFile(Config()).ReadSources(), std::vector<task::TileSource>{Source()}) << "settings untouched";
}

// The settings' cap on the tiles of a run from a paid source: the run stops
// there, positions saved, the end box unchanged, the status bar saying why;
// the next Start goes on from there.
TEST_F(TileSourcesTest, TheSettingsCapStopsASourcesRunAndTheNextStartGoesOn) {
  server_->SetDefault(Reply::Ok(Png()).WithHeader("Content-Type", "image/png"));
  WriteConfig("MaxTilesPerRun=5\r\n");
  run::ConfigFile(Config()).WriteSource(Source(), kSecret);
  OpenWindow();
  radio_mapstype()->setCurrentIndex(4);
  FillExample(QStringLiteral("cap"));
  ClickStart();
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(server_->RequestCount(), 5u);
  EXPECT_EQ(MessageTexts(), std::vector<QString>{kTaskStopped});
  EXPECT_EQ(StatusBar1Text()->text(),
            QStringLiteral("The run ended: stopped at the cap of 5 tiles a run may fetch. Start continues the task."));
  const std::vector<std::string> log = Memo1Lines();
  EXPECT_NE(std::find(log.begin(), log.end(), "The run ended: stopped at the cap of 5 tiles a run may fetch."),
            log.end());

  ClickStart();
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_TRUE(window_->CurrentRunSettings()->ContinueTask);
  EXPECT_EQ(server_->RequestCount(), 10u);
  std::vector<std::string> paths;
  for (const testsupport::RecordedRequest& request : server_->Requests()) paths.push_back(request.Path);
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(std::adjacent_find(paths.begin(), paths.end()), paths.end()) << "no tile fetched twice";
}

}  // namespace
}  // namespace guitest
