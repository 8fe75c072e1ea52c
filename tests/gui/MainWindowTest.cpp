// The main window without a download: start-up, controls, the checks of
// Start, "Open task ...", the folder browser, the menu and the About box.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "qtkit/Desktop.h"
#include "gui/LogViewQt.h"
#include "gui/Unit2.h"
#include "core/platform/Files.h"
#include "core/platform/Shell.h"
#include "gui/Unitftl.h"
#include "gui/ConvertWindow.h"
#include "gui/Unitoptions.h"
#include "qtkit/Program.h"
#include "tests/gui/MainWindowFixture.h"
#include "tests/support/TileImages.h"

namespace guitest {
namespace {

using MainWindowTest = MainWindowFixture;

// The windows the menu opens, made after the main window as the program makes
// them.
struct MenuWindows {
  explicit MenuWindows(TForm1& main) : about(&main), convert(&main), options(main.ConfigPath, &main), flt(&main) {
    main.SetWindows(&about, &convert, &options, &flt);
  }
  TfrmAbout about;
  TfrmConvert convert;
  TfrmOptions options;
  TfrmFlt flt;
};

TEST_F(MainWindowTest, FirstShowReadsVersionAndDefaultPathOrTheirDefaults) {
  struct Case {
    const char* name;
    bool withConfig;
    std::string iniParas;
    QString caption;
    QString savePath;
  };
  const std::vector<Case> cases = {
      {"no settings file", false, "", QStringLiteral("Orvenna 6.31"), qtkit::FromLocal(platform::BuiltInFolder("brenholt"))},
      {"settings file", true, "Version=7.2\r\n", QStringLiteral("Orvenna 7.2"), QString()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.withConfig) {
      WriteConfig(c.iniParas);
    } else {
      RemoveConfig();
    }
    OpenWindow();
    EXPECT_EQ(window_->windowTitle(), c.caption);
    EXPECT_EQ(Edit6()->text(), c.savePath.isEmpty() ? qtkit::FromLocal(SavePath()) : c.savePath);
    EXPECT_EQ(window_->ConfigPath, qtkit::FromLocal(program_->Path() + "ini/config.ini"));
    // Reading the settings never creates the file.
    EXPECT_EQ(std::filesystem::exists(program_->Path() + "ini/config.ini"), c.withConfig);
  }
}

TEST_F(MainWindowTest, ControlsCarryTheirNamesTextsAndDefaults) {
  OpenWindow();
  TForm1& w = *window_;
  EXPECT_EQ(w.size(), QSize(596, 390));
  struct Named {
    const char* name;
    QWidget* widget;
  };
  for (const Named& n : std::vector<Named>{{"EditTaskName", EditTaskName()}, {"Button4", Button4()},
                                           {"radio_mapstype", radio_mapstype()}, {"Edit1", Edit1()},
                                           {"Edit2", Edit2()}, {"Edit3", Edit3()}, {"Edit4", Edit4()},
                                           {"Edit5", Edit5()}, {"UpDown1", UpDown1()}, {"Edit6", Edit6()},
                                           {"Button1", Button1()}, {"LabelTotalxy", LabelTotalxy()},
                                           {"BitBtn1", BitBtn1()}, {"EditDate", EditDate()},
                                           {"Memo1", Memo1()}, {"Memo2", Memo2()}, {"StatusBar1", StatusBar1()}}) {
    EXPECT_EQ(w.findChild<QWidget*>(QString::fromLatin1(n.name)), n.widget) << n.name;
  }
  EXPECT_EQ(EditTaskName()->text(), QStringLiteral("newtask.otsk"));
  EXPECT_EQ(Button4()->text(), QStringLiteral("Open task ..."));
  // The three specified types, then the service's API.
  ASSERT_EQ(radio_mapstype()->count(), 4);
  EXPECT_EQ(radio_mapstype()->itemText(0), QStringLiteral("Nearmap PhotoMap"));
  EXPECT_EQ(radio_mapstype()->itemText(1), QStringLiteral("Nearmap StreetMap"));
  EXPECT_EQ(radio_mapstype()->itemText(2), QStringLiteral("Nearmap Terrain"));
  EXPECT_EQ(radio_mapstype()->itemText(3), QStringLiteral("Nearmap API"));
  EXPECT_EQ(radio_mapstype()->currentIndex(), 0);
  EXPECT_FALSE(radio_mapstype()->isEditable());
  EXPECT_EQ(Edit5()->text(), QStringLiteral("13"));
  EXPECT_TRUE(Edit5()->isReadOnly());
  EXPECT_EQ(Button1()->text(), QStringLiteral("..."));
  EXPECT_EQ(Button1()->toolTip(), QStringLiteral("Click to select path"));
  EXPECT_EQ(BitBtn1()->text(), QStringLiteral("Start"));
  EXPECT_TRUE(BitBtn1()->isDefault());
  EXPECT_TRUE(BitBtn1()->font().bold());
  EXPECT_TRUE(LabelTotalxy()->text().isEmpty());
  EXPECT_FALSE(EditDate()->isVisibleTo(&w));
  EXPECT_EQ(EditDate()->maxLength(), 8);
  EXPECT_FALSE(Memo2()->isVisibleTo(&w));
  EXPECT_EQ(Memo2()->Text(), QStringLiteral("[Failed tile inforamtion window]"));
  EXPECT_EQ(Memo1()->Text(), QStringLiteral("[log window]"));
  EXPECT_EQ(Memo1()->toolTip(), QStringLiteral("Double click to view log in notepad"));
  EXPECT_EQ(StatusBar1Text()->text(), QStringLiteral("Download photomap images from NearMap!"));
  EXPECT_FALSE(Timer1()->isActive());
  EXPECT_EQ(Timer1()->interval(), 1000);

  QStringList labels;
  for (const QLabel* label : w.findChildren<QLabel*>()) labels << label->text();
  for (const char* text : {"Task name:", "Maps type: ", "Left Longitude:", "Right Longitude:", "Top Latitude:",
                           "Bottom Latitude:", "Zoom level:", "Path to save:",
                           "PhotoMap Images Date:(Leave blank for latest ) ", "(Date Format: yyyymmdd)"}) {
    EXPECT_TRUE(labels.contains(QString::fromLatin1(text))) << text;
  }
}

TEST_F(MainWindowTest, MenuHasItsCaptionsInOrder) {
  OpenWindow();
  QStringList seen;
  for (QAction* top : window_->menuBar()->actions()) {
    seen << top->text();
    for (QAction* item : top->menu()->actions()) {
      seen << (item->isSeparator() ? QStringLiteral("-") : item->objectName() + QLatin1Char('=') + item->text());
    }
  }
  const QStringList expected = {
      QStringLiteral("&File"),
      QStringLiteral("Exit1=E&xit"),
      QStringLiteral("&Options"),
      QStringLiteral("Options2=Options..."),
      QStringLiteral("&Misc"),
      QStringLiteral("ConvertLongitudeorLatitudetodegreen1=Convert \"Degrees,Minutes,Seconds\"  to \"Degrees\"..."),
      QStringLiteral("-"),
      QStringLiteral("Viewlogfile1=View log file"),
      QStringLiteral("&Tools"),
      QStringLiteral("MapViewer1=Map Viewer"),
      QStringLiteral("-"),
      QStringLiteral("CombineImages1=Map Combiner"),
      QStringLiteral("-"),
      QStringLiteral("ReDownloadfailedfiles1=Re-Download failed images"),
      QStringLiteral("-"),
      QStringLiteral("Surveys1=Surveys..."),
      QStringLiteral("ChooseAreaonmap1=Choose area on map..."),
      QStringLiteral("&Help"),
      QStringLiteral("Usermanual1=User manual"),
      QStringLiteral("Homepage1=Homepage"),
      QStringLiteral("-"),
      QStringLiteral("About1=About..."),
  };
  EXPECT_EQ(seen, expected);
}

TEST_F(MainWindowTest, UpDownStepsWithinOneToTwentyOneWithoutWrapping) {
  OpenWindow();
  for (int i = 0; i < 12; ++i) QTest::mouseClick(UpDown1()->UpButton, Qt::LeftButton);
  EXPECT_EQ(Edit5()->text(), QStringLiteral("21"));
  EXPECT_EQ(UpDown1()->Position(), 21);
  for (int i = 0; i < 25; ++i) QTest::mouseClick(UpDown1()->DownButton, Qt::LeftButton);
  EXPECT_EQ(Edit5()->text(), QStringLiteral("1"));
  QTest::keyClick(Edit5(), Qt::Key_Up);
  EXPECT_EQ(Edit5()->text(), QStringLiteral("2"));
}

TEST_F(MainWindowTest, StartRefusesBadControlsWithTheirMessageAndStaysIdle) {
  OpenWindow();
  struct Case {
    QString left, right, top, bottom, path, message;
  };
  const QString folder = qtkit::FromLocal(SavePath());
  const std::vector<Case> cases = {
      {"116.3", "116.5", "40", "39.8", "", "Please select a path to save the images."},
      {"x", "", "", "", "", "Please select a path to save the images."},
      {"1,234.5", "116.5", "40", "39.8", folder, "Longitude or latitude input error!"},
      {"116.3", "", "40", "39.8", folder, "Longitude or latitude input error!"},
      {"10", "5", "40", "39.8", folder, "Left Longitude should less than Right Longitude!"},
      {"116.3", "116.5", "85.5", "39.8", folder, "Top Latitude should be between -85 and 85."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message.toStdString());
    messages_.clear();
    Edit1()->setText(c.left);
    Edit3()->setText(c.right);
    Edit2()->setText(c.top);
    Edit4()->setText(c.bottom);
    Edit6()->setText(c.path);
    ClickStart();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].Text, c.message);
    EXPECT_FALSE(messages_[0].IsError);
    EXPECT_EQ(BitBtn1()->text(), QStringLiteral("Start"));
    EXPECT_EQ(window_->CurrentTask(), nullptr);
    EXPECT_EQ(Edit1()->text(), c.left);  // the edits keep what was typed
  }
  EXPECT_EQ(server_->RequestCount(), 0u);
}

TEST_F(MainWindowTest, AnImageFolderThatCannotBeMadeIsToldWithTheSystemsReason) {
  OpenWindow();
  FillExample();
  std::ofstream(SavePath() + "gui") << "a file where the task's folder goes";
  ClickStart();
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_TRUE(messages_[0].Text.startsWith(qtkit::FromLocal("Create directory " + SavePath() + "gui")));
  EXPECT_TRUE(messages_[0].Text.endsWith(QStringLiteral(" Failed.")));
  EXPECT_EQ(messages_[0].Reason, QStringLiteral("File exists"));
  EXPECT_FALSE(messages_[0].IsError);
  EXPECT_EQ(messages_[1].Text, QStringLiteral("Error: Create task failure."));
  EXPECT_TRUE(messages_[1].Reason.isEmpty());
  EXPECT_EQ(server_->RequestCount(), 0u);
}

TEST_F(MainWindowTest, EnterInAnEditOrTheLogPressesStart) {
  OpenWindow();
  Edit6()->clear();
  QTest::keyClick(Edit1(), Qt::Key_Return);
  QTest::keyClick(Memo1(), Qt::Key_Return);
  const QString refusal = QStringLiteral("Please select a path to save the images.");
  EXPECT_EQ(MessageTexts(), (std::vector<QString>{refusal, refusal}));
}

TEST_F(MainWindowTest, OpenTaskCopiesTheStoredTextsAndCancelChangesNothing) {
  OpenWindow();
  const std::string taskFile = SavePath() + "saved.otsk";
  testsupport::WriteFileBytes(taskFile,
                              "[AREA]\r\nLeftLongitude=116,3\r\nRightLongitude=116.5\r\nTopLatitude=40\r\n"
                              "BottomLatitude=39,8\r\n[Zoom]\r\nZoom=15\r\n[MapsType]\r\nMapsType=12\r\n"
                              "HistoryDate=20200131\r\n");
  struct Asked {
    QString title, filter, folder;
  };
  std::vector<Asked> asked;
  std::optional<QString> answer;
  qtkit::FileChooser chooser;
  chooser.OpenFile = [&](QWidget*, const QString& title, const QString& filter, const QString& folder,
                         const QString&) -> std::optional<QString> {
    asked.push_back({title, filter, folder});
    return answer;
  };
  qtkit::SetChooserForTests(chooser);

  // Cancel first: nothing changes.
  Edit1()->setText(QStringLiteral("typed"));
  QTest::mouseClick(Button4(), Qt::LeftButton);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].title, QStringLiteral("Open project file:"));
  EXPECT_EQ(asked[0].filter, QStringLiteral("Projects(*.otsk)"));
  EXPECT_EQ(asked[0].folder, window_->DefaultPath);
  EXPECT_EQ(Edit1()->text(), QStringLiteral("typed"));

  // The start folder is the default path of the settings file, not Edit6.
  Edit6()->setText(QStringLiteral("/elsewhere"));
  answer = qtkit::FromLocal(taskFile);
  QTest::mouseClick(Button4(), Qt::LeftButton);
  EXPECT_EQ(asked.back().folder, qtkit::FromLocal(SavePath()));
  EXPECT_EQ(Edit1()->text(), QStringLiteral("116,3"));
  EXPECT_EQ(Edit3()->text(), QStringLiteral("116.5"));
  EXPECT_EQ(Edit2()->text(), QStringLiteral("40"));
  EXPECT_EQ(Edit4()->text(), QStringLiteral("39,8"));
  EXPECT_EQ(Edit6()->text(), qtkit::FromLocal(SavePath()));
  EXPECT_EQ(EditTaskName()->text(), QStringLiteral("saved.otsk"));
  EXPECT_EQ(radio_mapstype()->currentIndex(), 1);
  EXPECT_EQ(EditDate()->text(), QStringLiteral("20200131"));
  EXPECT_EQ(Edit5()->text(), QStringLiteral("15"));
  EXPECT_EQ(UpDown1()->Position(), 15);

  // A file without the keys: empty texts, zoom 0 shown (the arrows stay in
  // range), the map type as it was; Start then refuses.
  const std::string bare = SavePath() + "bare.otsk";
  testsupport::WriteFileBytes(bare, "[Other]\r\nx=1\r\n");
  answer = qtkit::FromLocal(bare);
  QTest::mouseClick(Button4(), Qt::LeftButton);
  EXPECT_TRUE(Edit1()->text().isEmpty());
  EXPECT_TRUE(Edit4()->text().isEmpty());
  EXPECT_TRUE(EditDate()->text().isEmpty());
  EXPECT_EQ(Edit5()->text(), QStringLiteral("0"));
  EXPECT_EQ(UpDown1()->Position(), 1);
  EXPECT_EQ(radio_mapstype()->currentIndex(), 1);
  EXPECT_EQ(EditTaskName()->text(), QStringLiteral("bare.otsk"));
  messages_.clear();
  ClickStart();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].Text, QStringLiteral("Longitude or latitude input error!"));
  EXPECT_EQ(window_->CurrentTask(), nullptr);
}

// Started with a file (a double click on it in the file manager): a task file
// fills the controls as "Open task ..." does, a failed-tile list runs in the
// re-download window, anything else is refused.
TEST_F(MainWindowTest, AFileToOpenFillsTheTaskOrRunsTheFailedList) {
  OpenWindow();
  MenuWindows windows(*window_);
  TfrmFlt& flt = windows.flt;

  const std::string taskFile = SavePath() + "Saved.OTSK";
  testsupport::WriteFileBytes(taskFile,
                              "[AREA]\r\nLeftLongitude=116,3\r\nRightLongitude=116.5\r\nTopLatitude=40\r\n"
                              "BottomLatitude=39,8\r\n[Zoom]\r\nZoom=15\r\n[MapsType]\r\nMapsType=12\r\n");
  window_->OpenFile(qtkit::FromLocal(taskFile));
  EXPECT_EQ(Edit1()->text(), QStringLiteral("116,3"));
  EXPECT_EQ(Edit4()->text(), QStringLiteral("39,8"));
  EXPECT_EQ(Edit6()->text(), qtkit::FromLocal(SavePath()));
  EXPECT_EQ(EditTaskName()->text(), QStringLiteral("Saved.OTSK"));
  EXPECT_EQ(radio_mapstype()->currentIndex(), 1);
  EXPECT_EQ(UpDown1()->Position(), 15);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

  // The list's tile is fetched while the window shows; the window stays open
  // with its log until the user closes it.
  const std::string tile = testsupport::TileImage("a");
  server_->Script("/maps/a.jpg", {testsupport::Reply::Ok(tile)});
  const std::string target = SavePath() + "a.jpg";
  const std::string url = "http://" + server_->HostPort() + "/maps/a.jpg";
  const std::string list = SavePath() + "gui_failed.ftl";
  testsupport::WriteFileBytes(list, target + "|" + url + "\r\n");
  QStringList shownLog;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (QApplication::activeModalWidget() != &flt || !flt.Memo1->toPlainText().endsWith(QStringLiteral("Download End."))) return;
    shownLog = flt.Memo1->toPlainText().split(QLatin1Char('\n'));
    flt.reject();
  });
  closer.start(10);
  QTimer::singleShot(10000, &flt, &QDialog::reject);  // a run that never ends fails below
  window_->OpenFile(qtkit::FromLocal(list));
  closer.stop();
  EXPECT_EQ(shownLog, QStringList({"Start...", QString::fromStdString(target + ":" + url + " ->OK"), "Download End."}));
  EXPECT_EQ(testsupport::ReadFileBytes(target), tile);
  EXPECT_TRUE(MessageTexts().empty());

  // Other files are refused, and so is a task file that is not there.
  window_->OpenFile(QStringLiteral("/maps/notes.txt"));
  EXPECT_EQ(MessageTexts(),
            std::vector<QString>{QStringLiteral(
                "/maps/notes.txt is neither a task file (.otsk) nor a failed-tile list (.ftl)")});
  EXPECT_EQ(testsupport::FileErrorText([&] { window_->OpenFile(qtkit::FromLocal(SavePath() + "missing.otsk")); }),
            "Cannot open file " + SavePath() + "missing.otsk");
  EXPECT_EQ(EditTaskName()->text(), QStringLiteral("Saved.OTSK"));
}

TEST_F(MainWindowTest, FolderBrowserSetsThePathAndCancelKeepsIt) {
  OpenWindow();
  std::vector<QString> captions;
  std::optional<QString> answer;
  qtkit::FileChooser chooser;
  chooser.BrowseFolder = [&](QWidget*, const QString& caption) {
    captions.push_back(caption);
    return answer;
  };
  qtkit::SetChooserForTests(chooser);
  Edit6()->setText(QStringLiteral("/before"));
  QTest::mouseClick(Button1(), Qt::LeftButton);
  EXPECT_EQ(Edit6()->text(), QStringLiteral("/before"));
  answer = QStringLiteral("/chosen/folder");
  QTest::mouseClick(Button1(), Qt::LeftButton);
  EXPECT_EQ(Edit6()->text(), QDir::toNativeSeparators(QStringLiteral("/chosen/folder")));
  EXPECT_EQ(captions, (std::vector<QString>{QStringLiteral("Select path to save"), QStringLiteral("Select path to save")}));
}

TEST_F(MainWindowTest, ViewLogFileWithoutATaskSaysSoFromMenuAndDoubleClick) {
  OpenWindow();
  const QString noTask = QStringLiteral("No task running now.") + QString(18, QLatin1Char(' '));
  Viewlogfile1()->trigger();
  QTest::mouseDClick(Memo1()->viewport(), Qt::LeftButton);
  EXPECT_EQ(MessageTexts(), (std::vector<QString>{noTask, noTask}));
  EXPECT_TRUE(desktop_.Opened.empty());
}

// The lines a launched script has written so far.
std::vector<std::string> LinesSoFar(const std::string& path) {
  return platform::FileExists(path) ? platform::ReadTextLines(path) : std::vector<std::string>{};
}

// What cannot be opened or started is named in the error box; what can is
// handed over (the help file, the homepage) or started (the sibling tools).
TEST_F(MainWindowTest, LaunchersOpenTheirTargetsOrSayWhyNot) {
  OpenWindow();
  const QString folder = qtkit::FromLocal(program_->Path());
  const QString viewer = folder + QString::fromLatin1(platform::kMapViewerProgram);
  const QString combiner = folder + QString::fromLatin1(platform::kMapCombinerProgram);
  const QString help = folder + QStringLiteral("help/help.html");

  MapViewer1()->trigger();
  CombineImages1()->trigger();
  Usermanual1()->trigger();
  Homepage1()->trigger();
  EXPECT_EQ(MessageTexts(),
            (std::vector<QString>{
                QStringLiteral("The map viewer is not installed beside this program: ") + viewer + " is missing.",
                QStringLiteral("The map combiner is not installed beside this program: ") + combiner + " is missing.",
                QStringLiteral("Cannot open ") + help + ": the file does not exist.",
            }));
  EXPECT_EQ(desktop_.Opened, std::vector<QUrl>{QUrl(QStringLiteral("https://orvenna.example/"))});

  // Installed, the tools start with no arguments; the help file is handed over.
  messages_.clear();
  const std::string started = program_->Path() + "started";
  for (const QString& tool : {viewer, combiner}) {
    testsupport::WriteFileBytes(qtkit::ToLocal(tool), "#!/bin/sh\necho \"$0 $#\" >> '" + started + "'\n");
    ASSERT_TRUE(QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  }
  std::filesystem::create_directories(program_->Path() + "help");
  testsupport::WriteFileBytes(qtkit::ToLocal(help), "<html></html>");
  MapViewer1()->trigger();
  CombineImages1()->trigger();
  Usermanual1()->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return LinesSoFar(started).size() == 2; }, 10000));
  std::vector<std::string> runs = platform::ReadTextLines(started);
  std::sort(runs.begin(), runs.end());
  EXPECT_EQ(runs, (std::vector<std::string>{qtkit::ToLocal(combiner) + " 0", qtkit::ToLocal(viewer) + " 0"}));
  EXPECT_EQ(desktop_.Opened.back(), QUrl::fromLocalFile(help));
  EXPECT_TRUE(messages_.empty());
}

// The desktop's own way: an opener that fails (no program set up for the
// file) is reported once it has said so; one that succeeds is not.
TEST_F(MainWindowTest, DesktopOpenerFailureIsReported) {
  OpenWindow();
  qtkit::SetUrlOpenerForTests({});
  const std::string opener = program_->Path() + "opener";
  const std::string opened = program_->Path() + "opened";
  testsupport::WriteFileBytes(opener, "#!/bin/sh\necho \"$1\" >> '" + opened + "'\n[ \"$1\" != https://orvenna.example/ ] || exit 3\n");
  ASSERT_TRUE(QFile::setPermissions(qtkit::FromLocal(opener), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  qtkit::SetOpenCommandForTests(qtkit::FromLocal(opener));
  FillOneTile();
  ClickStart();
  ASSERT_TRUE(QTest::qWaitFor([this] { return CountMessages(kTaskStopped) == 1; }, 15000));
  messages_.clear();

  Viewlogfile1()->trigger();
  Homepage1()->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return LinesSoFar(opened).size() == 2 && !messages_.empty(); }, 10000));
  QTest::qWait(100);
  EXPECT_EQ(MessageTexts(), std::vector<QString>{QStringLiteral("The desktop could not open https://orvenna.example/.")});
  std::vector<std::string> handedOver = platform::ReadTextLines(opened);
  std::sort(handedOver.begin(), handedOver.end());  // the two openers run side by side
  EXPECT_EQ(handedOver, (std::vector<std::string>{window_->CurrentTask()->LogFileName, "https://orvenna.example/"}));

  // No opener at all on this machine.
  messages_.clear();
  qtkit::SetOpenCommandForTests(QStringLiteral("/nonexistent/opener"));
  Homepage1()->trigger();
  ASSERT_TRUE(QTest::qWaitFor([this] { return !messages_.empty(); }, 10000));
  EXPECT_EQ(MessageTexts(), std::vector<QString>{QStringLiteral("The desktop could not open https://orvenna.example/.")});
}

TEST_F(MainWindowTest, MessageBoxesAreWideEnoughForTheirCaption) {
  for (const bool isError : {false, true}) {
    for (const QString& text : {QString(), QStringLiteral("."), QStringLiteral("Input Error."),
                                QStringLiteral("No task running now.") + QString(18, QLatin1Char(' '))}) {
      const std::unique_ptr<QMessageBox> box = qtkit::MakeMessageBox(text, isError);
      EXPECT_EQ(box->windowTitle(), QStringLiteral("Orvenna"));
      EXPECT_EQ(box->text(), text);
      EXPECT_EQ(box->icon(), isError ? QMessageBox::Critical : QMessageBox::NoIcon);
      box->show();
      EXPECT_GE(box->width(), qtkit::kMinimumMessageWidth) << text.toStdString();
      EXPECT_GE(box->width(), box->fontMetrics().horizontalAdvance(box->windowTitle()) * 3);
      box->hide();
    }
  }
}

TEST_F(MainWindowTest, AboutBoxCopiesTheCaptionAndOpensItsLinks) {
  WriteConfig("Version=9.1\r\n");
  OpenWindow();
  TfrmAbout about(window_.get());
  EXPECT_EQ(about.windowTitle(), QStringLiteral("About"));
  EXPECT_EQ(about.size(), QSize(315, 181));
  about.show();
  EXPECT_EQ(about.LabelProduct->text(), QStringLiteral("Orvenna 9.1"));
  EXPECT_TRUE(about.LabelProduct->font().underline());
  EXPECT_EQ(about.LinkHomepage->toolTip(), QStringLiteral("Go to my homepage!"));
  EXPECT_EQ(about.LinkEmail->toolTip(), QStringLiteral("Email to me!"));
  EXPECT_EQ(about.ButtonOK->text(), QStringLiteral("&OK"));
  EXPECT_TRUE(about.ButtonOK->isDefault());
  QTest::mouseClick(about.LinkHomepage, Qt::LeftButton);
  QTest::mouseClick(about.LinkEmail, Qt::LeftButton);
  EXPECT_EQ(desktop_.Opened, (std::vector<QUrl>{QUrl(QStringLiteral("https://orvenna.example/")),
                                                QUrl(QStringLiteral("mailto:support@orvenna.example"))}));
  QTest::mouseClick(about.ButtonOK, Qt::LeftButton);
  EXPECT_FALSE(about.isVisible());

  // Shown again after the caption changed, it shows the new caption.
  window_->setWindowTitle(QStringLiteral("Orvenna 9.2"));
  about.show();
  EXPECT_EQ(about.LabelProduct->text(), QStringLiteral("Orvenna 9.2"));

  // The settings file in use, whole in the tooltip, shortened in the middle
  // to the box's width.
  const QString deep = QStringLiteral("/home/somebody/") + QString(60, QLatin1Char('d')) + QStringLiteral("/orvenna/config.ini");
  about.SetSettingsFile(deep);
  EXPECT_EQ(about.LabelSettings->toolTip(), QStringLiteral("Settings: ") + deep);
  EXPECT_TRUE(about.LabelSettings->text().startsWith(QStringLiteral("Settings: /home")));
  EXPECT_TRUE(about.LabelSettings->text().endsWith(QStringLiteral("config.ini")));
  EXPECT_LE(about.LabelSettings->fontMetrics().horizontalAdvance(about.LabelSettings->text()),
            about.LabelSettings->width());
  EXPECT_EQ(about.size(), QSize(315, 181));
}

// Every window of the three programs wears its program's icon, drawn in each
// size the desktop asks for.
TEST_F(MainWindowTest, EveryWindowWearsTheProgramsIcon) {
  const QList<QSize> sizes = {{16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}, {64, 64}, {128, 128}, {256, 256}};
  for (const char* id : {"example.orvenna.Orvenna", "example.orvenna.TileView", "example.orvenna.TileJoin"}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(qtkit::ProgramIcon(id).availableSizes(), sizes);
  }
  EXPECT_TRUE(qtkit::ProgramIcon("example.orvenna.Missing").isNull());

  qtkit::SetUpWindowProgram({"orvenna", "example.orvenna.Orvenna", ""});
  EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral("example.orvenna.Orvenna"));
  OpenWindow();
  MenuWindows windows(*window_);
  auto& [about, convert, options, flt] = windows;
  const std::unique_ptr<QMessageBox> box = qtkit::MakeMessageBox(QStringLiteral("text"), true);
  const qint64 icon = QApplication::windowIcon().cacheKey();
  for (const QWidget* window : std::initializer_list<const QWidget*>{window_.get(), &about, &convert, &options, &flt, box.get()}) {
    SCOPED_TRACE(window->objectName().toStdString());
    EXPECT_EQ(window->windowIcon().cacheKey(), icon);
    EXPECT_EQ(window->windowIcon().availableSizes(), sizes);
  }
  QApplication::setWindowIcon(QIcon());
}

// Closes whichever modal window is open once the event loop runs, noting it.
void CloseModalSoon(std::vector<QWidget*>& seen) {
  QTimer::singleShot(0, [&seen] {
    QWidget* modal = QApplication::activeModalWidget();
    seen.push_back(modal);
    if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
  });
}

TEST_F(MainWindowTest, MenuShowsTheOtherWindowsModallyOrNot) {
  OpenWindow();
  MenuWindows windows(*window_);
  auto& [about, convert, options, flt] = windows;

  std::vector<QWidget*> seen;
  CloseModalSoon(seen);
  Options2()->trigger();
  CloseModalSoon(seen);
  ReDownloadfailedfiles1()->trigger();
  CloseModalSoon(seen);
  About1()->trigger();
  EXPECT_EQ(seen, (std::vector<QWidget*>{&options, &flt, &about}));

  ConvertLongitudeorLatitudetodegreen1()->trigger();
  EXPECT_TRUE(convert.isVisible());
  EXPECT_FALSE(convert.isModal());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  convert.close();
}

TEST_F(MainWindowTest, ClosingTheMainWindowEndsTheMessageLoopWhileTheConverterIsOpen) {
  OpenWindow();
  TfrmConvert convert(window_.get());
  window_->SetWindows(nullptr, &convert, nullptr, nullptr);
  QTimer::singleShot(0, [this] {
    ConvertLongitudeorLatitudetodegreen1()->trigger();
    window_->close();
  });
  QTimer::singleShot(10000, [] { QCoreApplication::exit(7); });  // watchdog
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_FALSE(convert.isVisible());
  EXPECT_FALSE(window_->isVisible());
}

}  // namespace
}  // namespace guitest
