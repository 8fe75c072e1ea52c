// The main window: the task controls, Start/Stop, the progress timer that
// saves a run and closes it, "Open task ...", the menu and its launchers.
//
// Threads: everything here runs in the main thread. The download workers reach
// AddLogLine, AddFailedLine and NotifyFinished only through the main-thread
// caller, while they wait.
//
// Run life cycle: Idle (caption "Start") -> Start -> Running (caption "Stop",
// Timer1 on) -> the last worker reports its end -> Timer1Timer closes the run
// -> Idle. The run itself (task, workers, lines, saves) is a run::RunController;
// this window reads the controls, shows what the run reports and drives it
// with Timer1. Closing the window during a run stops the workers, saves what
// they finished and ends without waiting for good on a hung request.
#pragma once

#include <QMainWindow>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/download/HttpClient.h"
#include "core/download/Unit3.h"
#include "core/platform/Files.h"
#include "core/platform/Locations.h"
#include "core/run/Catalogue.h"
#include "core/run/LineFile.h"
#include "core/run/RunController.h"
#include "core/run/Surveys.h"
#include "core/run/TaskControls.h"
#include "core/task/Unitclasstask.h"
#include "qtkit/BackgroundJob.h"
#include "qtkit/GuiInbox.h"
#include "gui/TileSourcesWindow.h"
#include "mapkit/AreaWindow.h"
#include "qtkit/Dialogs.h"

class QAction;
class QComboBox;
class QDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTimer;
class QToolButton;
class QUrl;
class QWidget;
class TLogView;

// Up and down arrows bound to an edit that shows their position: limited to
// a range, no wrap-around. The arrow keys in the edit step it too.
class TUpDown : public QWidget {
  Q_OBJECT

 public:
  explicit TUpDown(QWidget* parent = nullptr);

  void SetRange(int minimum, int maximum);
  int Minimum() const { return minimum_; }
  int Maximum() const { return maximum_; }
  int Position() const { return position_; }
  // Kept within the range; the associated edit shows the result.
  void SetPosition(int position);
  void StepUp() { SetPosition(position_ + 1); }
  void StepDown() { SetPosition(position_ - 1); }
  void SetAssociate(QLineEdit* edit);

  QToolButton* UpButton;
  QToolButton* DownButton;

 signals:
  void PositionChanged(int position);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLineEdit* associate_ = nullptr;
  int minimum_ = 0;
  int maximum_ = 100;
  int position_ = 0;
};

// The exit status of a program that had to leave a worker stuck in a request
// behind at Exit (every file was saved before).
inline constexpr int kExitWorkersAbandoned = 3;

class TForm1 : public QMainWindow, private run::RunObserver {
  Q_OBJECT

 public:
  static constexpr int kMaxWorkers = run::RunController::kMaxWorkers;

  // programFolder: the folder with blankimg/ and help/ (and ini/ when the
  // settings are kept beside the program), ending in the separator. The
  // program passes the defaults; tests pass a throwaway folder and shorter
  // pauses.
  explicit TForm1(QString programFolder = qtkit::FromLocal(platform::ProgramFolder()),
                  download::Pacing pacing = {}, download::HttpLimits limits = {},
                  QWidget* parent = nullptr);
  ~TForm1() override;

  // The settings file of the programs of a program folder.
  static QString ConfigFileIn(const QString& programFolder);

  // A file the program was started with, once the window shows: a task file
  // opens as "Open task ..." opens it, a failed-tile list in the re-download
  // window, which fetches its tiles. Throws platform::FileError for a file
  // that cannot be read.
  void OpenFile(const QString& path);

  // The area window of Tools > Choose area on map... (null until first opened).
  mapkit::AreaWindow* AreaWindow() const { return areaWindow_; }

  // The windows the menu opens; created after this one, living as long.
  void SetWindows(QDialog* about, QDialog* convert, QDialog* options, QDialog* flt);

  // Handlers.
  void FormShow();
  void BitBtn1Click();
  void Timer1Timer();
  void Button1Click();
  void LoadParametersfromprojectfilel1Click();
  void Exit1Click();
  void Options2Click();
  void ConvertLongitudeorLatitudetodegreen1Click();
  void Viewlogfile1Click();
  void MapViewer1Click();
  void CombineImages1Click();
  void ReDownloadfailedfiles1Click();
  // The Nearmap surveys of the rectangle; the one chosen pins the task.
  void Surveys1Click();
  void ChooseAreaonmap1Click();
  void Usermanual1Click();
  void Homepage1Click();
  void About1Click();

  // The run state: the settings and the task of the last Start that built one
  // (null before), its workers' count and the ticks since that Start.
  const task::RunSettings* CurrentRunSettings() const { return run_ ? &run_->Settings() : nullptr; }
  const task::MDTask* CurrentTask() const { return run_ ? &run_->Task() : nullptr; }
  int32_t RunningThreads() const { return run_ ? run_->RunningThreads() : 0; }
  int32_t TimerTicks() const { return run_ ? run_->TimerTicks() : 0; }
  bool WorkersGone() const { return !run_ || run_->WorkersGone(); }

  // The lines of Memo1 and Memo2 as they are saved.
  const run::LineFile& LogLines() const { return shownRun_ ? shownRun_->LogLines() : initialLog_; }
  const run::LineFile& FailedLines() const { return shownRun_ ? shownRun_->FailedLines() : initialFailed_; }

  // Tests: what ends the process, with its exit status, when a worker does
  // not end at shutdown (std::_Exit by default; the files are saved before).
  void SetHardExitForTests(std::function<void(int status)> hardExit) { hardExit_ = std::move(hardExit); }

  // Set at first show.
  QString ConfigPath;
  QString HelpPath;
  QString HomepageAddress;
  QString MailAddress;
  QString DefaultPath;
  QString DefaultOutputName;
  int32_t DefaultThreadCount = 1;
  QString Version;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The controls and the menu: private to the window, which maps them to and
  // from the task; each carries its name as objectName (tests find it so).
  QWidget* PanelLeft;
  QLabel* LabelTaskName;
  QLineEdit* EditTaskName;
  QPushButton* Button4;
  QLabel* LabelMapsType;
  QComboBox* radio_mapstype;
  // The task's imagery in words, under the map type.
  QLabel* LabelImagery;
  QGroupBox* GroupBoxArea;
  QLabel* LabelLeft;
  QLineEdit* Edit1;
  QLabel* LabelRight;
  QLineEdit* Edit3;
  QLabel* LabelTop;
  QLineEdit* Edit2;
  QLabel* LabelBottom;
  QLineEdit* Edit4;
  QLabel* LabelZoom;
  QLineEdit* Edit5;
  TUpDown* UpDown1;
  QLabel* LabelPath;
  QLineEdit* Edit6;
  QPushButton* Button1;
  QLabel* LabelTotalxy;
  QPushButton* BitBtn1;
  QGroupBox* GroupBoxDate;
  QLabel* LabelDate;
  QLabel* LabelDateFormat;
  QLineEdit* EditDate;
  QWidget* PanelFailed;
  TLogView* Memo2;
  TLogView* Memo1;
  QStatusBar* StatusBar1;
  QLabel* StatusBar1Text;
  // Right of the status text while a run goes on: the run's progress as the
  // command line shows it, and tiles done of this run's.
  QLabel* RunProgressText;
  QProgressBar* RunProgress;
  QTimer* Timer1;

  // Menu.
  QMenu* File1;
  QAction* Exit1;
  QMenu* Options1;
  QAction* Options2;
  QMenu* Misc1;
  QAction* ConvertLongitudeorLatitudetodegreen1;
  QAction* Viewlogfile1;
  QMenu* Tools1;
  QAction* MapViewer1;
  QAction* CombineImages1;
  QAction* ReDownloadfailedfiles1;
  QAction* Surveys1;
  QAction* ChooseAreaonmap1;
  QMenu* Help1;
  QAction* Usermanual1;
  QAction* Homepage1;
  QAction* About1;


  // What the run reports.
  void LogLinesAdded(std::size_t count) override;
  void FailedLinesAdded(std::size_t count) override;

  void BuildControls();
  void BuildTaskFields();
  void BuildAreaFields();
  void BuildStartControls();
  void BuildLogView(QWidget* parent);
  void BuildStatusBar();
  void BuildMenu();
  run::TaskControls ReadControls() const;
  void Start();
  void Stop();
  void RunClosed(const run::CloseReport& report);
  void ShowProgress();
  // The map type list from the catalogue of imagery: the three built-in
  // types, the Nearmap API, the user's tile sources of the settings file; the
  // selection kept by name where it can be.
  void ReloadSources();
  // What the selected map type and the date field fetch: the Nearmap API's
  // item with its direction and the survey pinned for that date.
  task::Imagery SelectedImagery() const;
  // LabelImagery after a change of the map type, the date or the survey.
  void ShowImagery();
  // The task's shape within the rectangle of the four edits (none: all of it).
  void SetShape(std::shared_ptr<const task::Shape> shape);
  // The middle of the rectangle typed in, at the zoom shown; tile 0, 0 at
  // zoom 1 when the edits hold no rectangle.
  TestTile CurrentRectangleTile() const;
  // The rectangle typed in, checked as Start checks it.
  run::AreaCheck CurrentArea() const;
  // The same, nothing when no edge is typed at all.
  std::optional<run::AreaCheck> TypedRectangle() const;
  // Start's surveys of an area, asked on a thread of its own while the
  // window, disabled, keeps its events going.
  download::SurveysAnswer FetchSurveysWaiting(const run::NearmapApiSettings& api, const run::ProxySettings& proxy,
                                              const task::LonLatBox& box);
  // The Nearmap API's item selected and the task pinned to survey (none:
  // the latest imagery), its date in the date field.
  void PinSurvey(const std::optional<task::Survey>& survey);
  // "Use this area" of the area window: the four coordinates in the form the
  // task file writes them (so a Start continues a task of the same area) and
  // the zoom; the map type and the survey stay the task's.
  void UseArea(const mapkit::AreaChoice& choice);
  // The window's rectangle as the area window starts with it; nothing unless
  // all four edits hold numbers.
  std::optional<area::Area> TypedArea() const;
  // Fills the controls from a task file (Open task).
  void LoadTaskFile(const QString& path);
  // Open task of a task of a tile source: the source back in the list,
  // selected.
  void RestoreSource(const task::TileSource& source);
  // Memo1 and Memo2 show the lines of run (null: the initial lines).
  void ShowLinesOf(run::RunController* run);
  // Stops a run for good when the program ends: see the header comment.
  void ShutDownRun();
  // The sibling program name among this one's programs, or an error box
  // saying it is not installed.
  void LaunchSibling(const char* program, const QString& title, const QStringList& arguments = {});

  QString programFolder_;
  download::Pacing pacing_;
  download::HttpLimits limits_;
  bool shown_ = false;
  bool inTimer_ = false;
  bool shutDown_ = false;

  // Serves the workers' calls; declared before the runs, so it outlives them
  // (a run destroyed after shutdown still joins workers that call it).
  qtkit::GuiInbox caller_;
  // The lines the windows show before the first run.
  run::LineFile initialLog_;
  run::LineFile initialFailed_;
  // The run of CurrentTask; and, while a Start that failed to prepare its
  // files is the current one, the run whose lines the windows still show.
  std::unique_ptr<run::RunController> run_;
  std::unique_ptr<run::RunController> previousRun_;
  // The task file of the last Start or Open task: the task the map viewer shows.
  QString loadedTaskFile_;
  run::RunController* shownRun_ = nullptr;

  // The map type list's items, in its order.
  std::vector<run::MapSource> catalogue_;
  // When the shown run started: its rate and time left.
  std::chrono::steady_clock::time_point runStarted_;
  // What the Nearmap API's item fetches: the settings' direction (or an
  // opened task's) and the survey pinned for the date field's text
  // nearmapDate_ (a survey or Open task pins it); another date there is
  // looked up at Start.
  task::NearmapImagery nearmap_;
  // From the area window or a task file; dropped when a coordinate is typed.
  std::shared_ptr<const task::Shape> shape_;
  QString nearmapDate_;
  std::string settingsDirection_;
  qtkit::BackgroundJob surveysJob_;

  QDialog* about_ = nullptr;
  QDialog* convert_ = nullptr;
  QDialog* options_ = nullptr;
  QDialog* flt_ = nullptr;
  // Made when first asked for; a window of its own, living as long as this one.
  mapkit::AreaWindow* areaWindow_ = nullptr;

  std::function<void(int)> hardExit_;
};
