// The main window: the task controls, Start/Stop, the progress timer that
// saves a run and closes it, "Open task ...", the menu and its launchers.
//
// Threads: everything here runs in the main thread. The download workers reach
// AddLogLine, AddFailedLine and NotifyFinished only through the main-thread
// caller, while they wait.
//
// Run life cycle: Idle (caption "Start") -> Start -> Running (caption "Stop",
// Timer1 on) -> the last worker reports its end -> Timer1Timer closes the run
// -> Idle. Closing the window during a run stops the workers, saves what they
// finished and ends without waiting for good on a hung request.
#pragma once

#include <QMainWindow>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/run/LineFile.h"
#include "gui/MainThreadCallerQt.h"
#include "gui/MessageDialog.h"
#include "core/run/TaskControls.h"
#include "core/download/HttpClient.h"
#include "core/download/Unit3.h"
#include "core/platform/Files.h"
#include "core/task/Unitclasstask.h"

class QAction;
class QComboBox;
class QDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
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

class TForm1 : public QMainWindow, public download::DownloadSink {
  Q_OBJECT

 public:
  static constexpr int kMaxWorkers = 8;

  // programFolder: the folder with ini/, blankimg/ and help/, ending in the
  // separator. The program passes the defaults; tests pass a throwaway folder
  // and shorter pauses.
  explicit TForm1(QString programFolder = gui::FromLocal(platform::ProgramFolder()),
                  download::Pacing pacing = {}, download::HttpLimits limits = {},
                  QWidget* parent = nullptr);
  ~TForm1() override;

  // The settings file of a program folder.
  static QString ConfigFileIn(const QString& programFolder);

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
  void Usermanual1Click();
  void Homepage1Click();
  void About1Click();

  // What the workers call, in the main thread.
  void AddLogLine(const std::string& line) override;
  void AddFailedLine(const std::string& line) override;
  void NotifyFinished() override;

  // The lines of Memo1 and Memo2 as they are saved.
  const run::LineFile& LogLines() const { return logLines_; }
  const run::LineFile& FailedLines() const { return failedLines_; }

  // Tests: what ends the process when a worker does not end at shutdown
  // (std::_Exit by default; the files are saved before).
  void SetHardExitForTests(std::function<void()> hardExit) { hardExit_ = std::move(hardExit); }

  // Set at first show.
  QString ConfigPath;
  QString HelpPath;
  QString HomepageAddress;
  QString MailAddress;
  QString DefaultPath;
  QString DefaultOutputName;
  int32_t DefaultThreadCount = 1;
  QString Version;

  // Controls.
  QWidget* PanelLeft;
  QLabel* LabelTaskName;
  QLineEdit* EditTaskName;
  QPushButton* Button4;
  QLabel* LabelMapsType;
  QComboBox* radio_mapstype;
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
  QMenu* Help1;
  QAction* Usermanual1;
  QAction* Homepage1;
  QAction* About1;

  // Run state: the record and the task of the last Start, the workers of the
  // current run (index = thread number - 1).
  std::shared_ptr<task::TaskParameters> CurrentParameters;
  std::unique_ptr<task::MDTask> CurrentTask;
  std::array<std::unique_ptr<download::TDownThread>, kMaxWorkers> Workers;
  int32_t RunningThreads = 0;
  int32_t TimerTicks = 0;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void BuildMenu();
  run::TaskControls ReadControls() const;
  void Start();
  void Stop();
  void CloseRun();
  // The last finished tile of worker i into the task file's [THREADS].
  void SavePosition(int i);
  void SavePositions();
  void SaveLog();
  void SaveFailedList();
  void AppendToMemo1(const std::string& text);
  // Stops a run for good when the program ends: see the header comment.
  void ShutDownRun();
  void OpenOnDesktop(const QUrl& url);

  QString programFolder_;
  download::Pacing pacing_;
  download::HttpLimits limits_;
  bool shown_ = false;
  bool inTimer_ = false;
  bool shutDown_ = false;

  run::LineFile logLines_;
  run::LineFile failedLines_;
  // What SavePosition last wrote per slot, to skip unchanged values.
  std::array<task::TilePosition, kMaxWorkers> savedPositions_{};
  // Keeps the record of CurrentTask alive after a failed Start replaced
  // CurrentParameters.
  std::shared_ptr<task::TaskParameters> currentTaskRecord_;

  QDialog* about_ = nullptr;
  QDialog* convert_ = nullptr;
  QDialog* options_ = nullptr;
  QDialog* flt_ = nullptr;

  std::function<void()> hardExit_;
  // Declared last: destroyed first, after ShutDownRun has closed it.
  gui::MainThreadCallerQt caller_;
};
