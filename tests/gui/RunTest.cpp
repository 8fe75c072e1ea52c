// Real downloads from the main window against the loopback tile server:
// a whole run, Stop, continuing an opened task, the periodic save, a write
// failure at the close of a run, the general error handler and closing the
// window during a run.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <set>

#include "core/task/TaskFiles.h"
#include "core/platform/Locale.h"
#include "core/platform/Numbers.h"
#include "core/platform/Shell.h"
#include "core/settings/IniFile.h"
#include "tests/support/TileImages.h"
#include "tests/gui/MainWindowFixture.h"

namespace guitest {
namespace {

namespace fs = std::filesystem;
using testsupport::Reply;

// The worked example's range: columns 6742..6747, rows 3101..3107.
constexpr int32_t kMinX = 6742, kMaxX = 6747, kMinY = 3101, kMaxY = 3107;
constexpr int kRows = kMaxY - kMinY + 1;
constexpr int kTiles = (kMaxX - kMinX + 1) * kRows;

struct Tile {
  int32_t X, Y;
  bool operator<(const Tile& o) const { return X != o.X ? X < o.X : Y < o.Y; }
  bool operator==(const Tile& o) const = default;
};

Tile TileOfWalk(int p) { return {kMinX + (p - 1) / kRows, kMinY + (p - 1) % kRows}; }
int WalkOf(const Tile& t) { return (t.X - kMinX) * kRows + (t.Y - kMinY) + 1; }

std::string PathOf(const Tile& t) {
  return "/maps/hl=en&x=" + platform::FormatInteger(t.X) + "&y=" + platform::FormatInteger(t.Y) +
         "&z=13&nml=Vert";
}

std::set<Tile> TilesIn(const std::vector<std::string>& paths) {
  std::set<Tile> tiles;
  for (int p = 1; p <= kTiles; ++p) {
    if (std::find(paths.begin(), paths.end(), PathOf(TileOfWalk(p))) != paths.end()) tiles.insert(TileOfWalk(p));
  }
  return tiles;
}

std::string JoinCrLf(const std::vector<std::string>& lines) {
  std::string bytes;
  for (const auto& line : lines) bytes += line + "\r\n";
  return bytes;
}

int CountEndingWith(const std::vector<std::string>& lines, const std::string& tail) {
  return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.size() >= tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
  }));
}

class RunTest : public MainWindowFixture {
 protected:
  // [THREADS] T<n>X / T<n>Y of the task file, 0 when absent.
  Tile StoredPosition(int threadNumber, const std::string& taskName = "gui.otsk") const {
    const settings::IniFile file(TaskFilePath(taskName));
    const std::string n = platform::FormatInteger(threadNumber);
    return {file.ReadInteger("THREADS", "T" + n + "X", 0), file.ReadInteger("THREADS", "T" + n + "Y", 0)};
  }
  int OkLines() const { return CountEndingWith(Memo1Lines(), " OK"); }
  // The files hold exactly what the two windows show.
  void ExpectFilesEqualWindows() const {
    EXPECT_EQ(testsupport::ReadFileBytes(window_->CurrentTask()->LogFileName), JoinCrLf(Memo1Lines()));
    EXPECT_EQ(testsupport::ReadFileBytes(window_->CurrentTask()->FailedListFileName), JoinCrLf(Memo2Lines()));
    EXPECT_EQ(Memo1Lines(), window_->LogLines().Lines());
    EXPECT_EQ(Memo2Lines(), window_->FailedLines().Lines());
  }
  void ExpectCompletionBlockAtEnd() const {
    const auto lines = Memo1Lines();
    ASSERT_GE(lines.size(), 7u);
    const std::vector<std::string> tail(lines.end() - 7, lines.end());
    EXPECT_EQ(tail[0], "");
    EXPECT_EQ(tail[1], std::string(32, '-'));
    EXPECT_EQ(tail[2], "Task Stoped!");
    EXPECT_EQ(tail[3], "");
    EXPECT_EQ(tail[4].rfind("Now time:", 0), 0u) << tail[4];
    EXPECT_GT(tail[4].size(), std::string("Now time:").size());
    EXPECT_EQ(tail[5], "");
    EXPECT_EQ(tail[6], "Log file has been saved as " + window_->CurrentTask()->LogFileName);
  }
  bool AllWorkersGone() const { return window_->WorkersGone(); }
};

TEST_F(RunTest, FreshRunFetchesEveryTileSavesEverythingAndClosesOnce) {
  const Tile failing{6744, 3104};
  server_->Script(PathOf(failing), {Reply::StatusOnly(500, "Internal Server Error")});
  OpenWindow();
  FillExample();
  ClickStart();
  EXPECT_EQ(LabelTotalxy()->text(), QStringLiteral("Total images: 42"));
  ASSERT_TRUE(WaitForRunEnd());

  ASSERT_EQ(messages_.size(), 1u) << messages_[0].Text.toStdString();
  EXPECT_EQ(messages_[0].Text, kTaskStopped);
  EXPECT_FALSE(messages_[0].IsError);
  EXPECT_EQ(messages_[0].CaptionThen, QStringLiteral("Start"));
  EXPECT_FALSE(Timer1()->isActive());
  EXPECT_EQ(window_->RunningThreads(), 0);
  EXPECT_TRUE(AllWorkersGone());
  EXPECT_FALSE(window_->CurrentRunSettings()->ContinueTask);
  EXPECT_EQ(window_->CurrentRunSettings()->ThreadCount, 8);

  const auto requested = RequestedPaths();
  EXPECT_EQ(TilesIn(requested).size(), static_cast<std::size_t>(kTiles));
  EXPECT_EQ(std::count(requested.begin(), requested.end(), PathOf(failing)), 3);
  EXPECT_EQ(requested.size(), static_cast<std::size_t>(kTiles + 2));

  ExpectFilesEqualWindows();
  ExpectCompletionBlockAtEnd();
  const auto log = Memo1Lines();
  EXPECT_EQ(log.front(), "Project: " + SavePath() + "gui.otsk");
  EXPECT_EQ(OkLines(), kTiles - 1);
  EXPECT_EQ(CountEndingWith(log, " Finished."), 8);
  EXPECT_EQ(CountEndingWith(log, ":6744-3104 got a blank image!"), 1);
  const std::string record = task::FailedRecord(*window_->CurrentTask(), failing.X, failing.Y);
  EXPECT_EQ(testsupport::ReadFileBytes(window_->CurrentTask()->FailedListFileName), record + "\r\n");
  EXPECT_EQ(platform::ReadTextLines(window_->CurrentTask()->ListFileName).size(), static_cast<std::size_t>(kTiles + 1));

  // Every slot's last tile of its share (a substituted tile counts) is saved.
  for (int slot = 0; slot < 8; ++slot) {
    int last = 0;
    for (int p = 1; p <= kTiles; ++p) {
      if (p % 8 == slot) last = p;
    }
    EXPECT_EQ(StoredPosition(slot + 1), TileOfWalk(last)) << "thread " << slot + 1;
  }
  for (int p = 1; p <= kTiles; ++p) {
    const Tile t = TileOfWalk(p);
    EXPECT_TRUE(fs::exists(window_->CurrentTask()->TileFilePath(t.X, t.Y))) << p;
  }

  // The finished run's log is still the one View log file opens.
  Viewlogfile1()->trigger();
  EXPECT_EQ(desktop_.Opened,
            std::vector<QUrl>{QUrl::fromLocalFile(qtkit::FromLocal(window_->CurrentTask()->LogFileName))});
}

TEST_F(RunTest, OneTileRunsOneWorker) {
  OpenWindow();
  FillOneTile();
  ClickStart();
  EXPECT_EQ(LabelTotalxy()->text(), QStringLiteral("Total images: 1"));
  EXPECT_EQ(window_->CurrentRunSettings()->ThreadCount, 1);
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(server_->RequestCount(), 1u);
  EXPECT_EQ(OkLines(), 1);
  ExpectFilesEqualWindows();
  // Threads 2 to 8 wrote no position.
  EXPECT_NE(StoredPosition(1, "one.otsk").X, 0);
  for (int n = 2; n <= 8; ++n) EXPECT_EQ(StoredPosition(n, "one.otsk"), (Tile{0, 0})) << n;
}

// Tools > Map Viewer shows the window's task: none before a task is loaded,
// then that of the last Open task or Start.
TEST_F(RunTest, MapViewerOpensTheTaskOfTheLastOpenTaskOrStart) {
  const std::string viewer = program_->Path() + platform::kMapViewerProgram;
  const std::string record = program_->Path() + "viewer-arguments";
  testsupport::WriteFileBytes(viewer, "#!/bin/sh\necho \"$#${1:+ $1}\" >> '" + record + "'\n");
  fs::permissions(viewer, fs::perms::owner_all);
  const auto viewerRuns = [&](std::size_t runs) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return fs::exists(record) && platform::ReadTextLines(record).size() == runs; }, 10000));
    return fs::exists(record) ? platform::ReadTextLines(record) : std::vector<std::string>{};
  };
  OpenWindow();
  MapViewer1()->trigger();
  EXPECT_EQ(viewerRuns(1).back(), "0");

  const std::string opened = SavePath() + "opened.otsk";
  testsupport::WriteFileBytes(opened, "[AREA]\r\nLeftLongitude=116.3\r\n[Zoom]\r\nZoom=13\r\n");
  qtkit::FileChooser chooser;
  chooser.OpenFile = [&](QWidget*, const QString&, const QString&, const QString&, const QString&) {
    return std::optional<QString>(qtkit::FromLocal(opened));
  };
  qtkit::SetChooserForTests(chooser);
  QTest::mouseClick(Button4(), Qt::LeftButton);
  MapViewer1()->trigger();
  EXPECT_EQ(viewerRuns(2).back(), "1 " + opened);

  FillOneTile();
  ClickStart();
  ASSERT_TRUE(WaitForRunEnd());
  MapViewer1()->trigger();
  EXPECT_EQ(viewerRuns(3).back(), "1 " + TaskFilePath("one.otsk"));
  EXPECT_TRUE(messages_.size() == 1 && messages_[0].Text.startsWith(kTaskStopped)) << messages_.size();
}

TEST_F(RunTest, StopEndsEveryWorkerAndOpenTaskContinuesBehindTheSavedPositions) {
  OpenWindow(FastPacing(300));
  FillExample();
  ClickStart();
  ASSERT_TRUE(QTest::qWaitFor([this] { return OkLines() >= 10; }, 15000));
  ClickStart();  // the button reads "Stop"
  EXPECT_EQ(BitBtn1()->text(), QStringLiteral("Stop"));
  {
    const auto log = Memo1Lines();
    const auto first = std::find(log.begin(), log.end(), "Thread1will be terminated by user. please wait...");
    ASSERT_NE(first, log.end());
    ASSERT_GE(log.end() - first, 8);
    for (int n = 1; n <= 8; ++n) {
      EXPECT_EQ(*(first + n - 1), "Thread" + platform::FormatInteger(n) + "will be terminated by user. please wait...");
    }
  }
  ASSERT_TRUE(WaitForRunEnd());
  ExpectFilesEqualWindows();
  ExpectCompletionBlockAtEnd();
  const std::size_t firstRunRequests = server_->RequestCount();
  const std::set<Tile> firstRun = TilesIn(RequestedPaths());
  ASSERT_LT(firstRun.size(), static_cast<std::size_t>(kTiles)) << "the run ended before Stop";
  const std::vector<std::string> firstLog = Memo1Lines();
  std::array<int, 8> resumeWalk{};
  for (int slot = 0; slot < 8; ++slot) {
    const Tile stored = StoredPosition(slot + 1);
    resumeWalk[static_cast<std::size_t>(slot)] = stored.X == 0 ? 0 : WalkOf(stored);
  }

  // Open the task file and press Start with nothing changed: it continues.
  qtkit::FileChooser chooser;
  chooser.OpenFile = [this](QWidget*, const QString&, const QString&, const QString&, const QString&) {
    return std::optional<QString>(qtkit::FromLocal(TaskFilePath()));
  };
  qtkit::SetChooserForTests(chooser);
  EditTaskName()->setText(QStringLiteral("other"));
  Edit1()->clear();
  QTest::mouseClick(Button4(), Qt::LeftButton);
  EXPECT_EQ(EditTaskName()->text(), QStringLiteral("gui.otsk"));
  EXPECT_EQ(Edit1()->text(), QStringLiteral("116.3"));
  ClickStart();
  ASSERT_TRUE(window_->CurrentRunSettings()->ContinueTask);
  ASSERT_TRUE(QTest::qWaitFor([this] { return CountMessages(kTaskStopped) == 2 && BitBtn1()->text() == "Start"; },
                              20000));

  const auto secondRequests = RequestedPaths(firstRunRequests);
  const std::set<Tile> secondRun = TilesIn(secondRequests);
  for (const Tile& t : secondRun) {
    const int p = WalkOf(t);
    EXPECT_GT(p, resumeWalk[static_cast<std::size_t>(p % 8)]) << "tile " << p << " fetched again";
  }
  std::set<Tile> both = firstRun;
  both.insert(secondRun.begin(), secondRun.end());
  EXPECT_EQ(both.size(), static_cast<std::size_t>(kTiles));

  // The log goes on behind the first run's, which it keeps whole.
  const auto log = Memo1Lines();
  ASSERT_GT(log.size(), firstLog.size() + 3);
  EXPECT_TRUE(std::equal(firstLog.begin(), firstLog.end(), log.begin()));
  EXPECT_EQ(log[firstLog.size()], std::string(44, '-'));
  EXPECT_EQ(log[firstLog.size() + 1], "Log continue...");
  ExpectFilesEqualWindows();
  ExpectCompletionBlockAtEnd();
}

TEST_F(RunTest, EveryFifthTickSavesWhileRunningAndStopAbortsStalledRequests) {
  server_->SetDefault(Reply::Stalled(std::string(200, 'x')));
  for (int p = 1; p <= 8; ++p) server_->Script(PathOf(TileOfWalk(p)), {Reply::Ok(testsupport::TileImage("tile"))});
  OpenWindow();
  FillExample();
  ClickStart();
  // Each worker stores its first tile, then hangs in its second request.
  ASSERT_TRUE(QTest::qWaitFor([this] { return OkLines() == 8 && server_->RequestCount() >= 16; }, 15000));
  ASSERT_TRUE(QTest::qWaitFor([this] { return window_->TimerTicks() >= 5; }, 15000));
  EXPECT_EQ(BitBtn1()->text(), QStringLiteral("Stop"));
  ExpectFilesEqualWindows();
  EXPECT_TRUE(window_->LogLines().LastSaveAppended());  // only the new lines were written
  for (int slot = 0; slot < 8; ++slot) {
    EXPECT_EQ(StoredPosition(slot + 1), TileOfWalk(slot == 0 ? 8 : slot)) << "thread " << slot + 1;
  }

  ClickStart();  // Stop
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(CountEndingWith(Memo1Lines(), " Finished."), 8);
  EXPECT_TRUE(AllWorkersGone());
  ExpectFilesEqualWindows();
}

TEST_F(RunTest, WriteFailureWhileClosingIsShownOnceAndTheWindowStillGoesIdle) {
  OpenWindow();
  FillOneTile("closing");
  ClickStart();
  // Before the first tick: the log's place is taken by a folder.
  const std::string logFile = window_->CurrentTask()->LogFileName;
  fs::remove(logFile);
  fs::create_directory(logFile);
  ASSERT_TRUE(WaitForRunEnd());

  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_TRUE(messages_[0].IsError);
  EXPECT_NE(messages_[0].Text.indexOf(qtkit::FromLocal(logFile)), -1) << messages_[0].Text.toStdString();
  EXPECT_EQ(messages_[1].Text, kTaskStopped);
  EXPECT_EQ(messages_[1].CaptionThen, QStringLiteral("Start"));
  EXPECT_TRUE(AllWorkersGone());
  EXPECT_FALSE(Timer1()->isActive());
  // The failed list and the position were still saved.
  EXPECT_EQ(testsupport::ReadFileBytes(window_->CurrentTask()->FailedListFileName), "");
  EXPECT_NE(StoredPosition(1, "closing.otsk").X, 0);

  messages_.clear();
  Viewlogfile1()->trigger();
  EXPECT_EQ(MessageTexts(), std::vector<QString>{QStringLiteral("No logfile now.") + QString(25, QLatin1Char(' '))});
}

TEST_F(RunTest, FileErrorOfStartReachesTheGeneralErrorHandler) {
  OpenWindow();
  FillOneTile("blocked");
  fs::create_directory(SavePath() + "blocked_log.txt");
  ClickStart();  // a real click: the error leaves the handler for the application
  ASSERT_EQ(messages_.size(), 1u);
  const QString text = messages_[0].Text;
  EXPECT_TRUE(messages_[0].IsError);
  EXPECT_TRUE(text.startsWith(QStringLiteral("Cannot create file ")) || text.startsWith(QStringLiteral("Unable to write to ")))
      << text.toStdString();
  EXPECT_TRUE(text.endsWith(QStringLiteral("blocked_log.txt."))) << text.toStdString();
  EXPECT_EQ(messages_[0].Reason, QStringLiteral("Is a directory"));
  EXPECT_EQ(BitBtn1()->text(), QStringLiteral("Start"));
  EXPECT_NE(window_->CurrentTask(), nullptr);
  EXPECT_TRUE(AllWorkersGone());
  EXPECT_EQ(window_->RunningThreads(), 0);
  EXPECT_EQ(server_->RequestCount(), 0u);

  // The message loop goes on: the window still works.
  fs::remove(SavePath() + "blocked_log.txt");
  messages_.clear();
  ClickStart();
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(MessageTexts(), std::vector<QString>{kTaskStopped});
  EXPECT_TRUE(questions_.empty()) << "the same task, without a log to keep, is no other task";
}

// An object whose handler lets an error escape.
class Throwing : public QObject {
 public:
  std::function<void()> Throw;
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) Throw();
    return QObject::event(event);
  }
};

TEST_F(RunTest, GeneralErrorHandlerShowsTheTextWithAClosingPeriod) {
  struct Case {
    std::function<void()> Throw;
    QString shown;
    QString reason = {};  // under the text, which stays the framework's
  };
  const std::vector<Case> cases = {
      {[] { throw platform::FileError("Cannot open file /x/task.otsk"); }, "Cannot open file /x/task.otsk."},
      {[] { throw platform::FileError("Unable to write to /x/y_log.txt", "No space left on device"); },
       "Unable to write to /x/y_log.txt.", "No space left on device"},
      {[] { throw std::runtime_error("Disk full."); }, "Disk full."},
      {[] { throw std::runtime_error("odd!"); }, "odd!"},
  };
  Throwing target;
  for (const Case& c : cases) {
    messages_.clear();
    target.Throw = c.Throw;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].Text, c.shown);
    EXPECT_EQ(messages_[0].Reason, c.reason);
    EXPECT_TRUE(messages_[0].IsError);
  }
  const std::unique_ptr<QMessageBox> box =
      qtkit::MakeMessageBox(QStringLiteral("Unable to write to /x/y_log.txt."), true, QStringLiteral("No space left on device"));
  EXPECT_EQ(box->text(), QStringLiteral("Unable to write to /x/y_log.txt."));
  EXPECT_EQ(box->informativeText(), QStringLiteral("No space left on device"));
}

TEST_F(RunTest, ClosingTheWindowDuringARunKeepsTheFinishedTilesAndDoesNotHang) {
  server_->SetDefault(Reply::Stalled(std::string(200, 'x')));
  for (int p = 1; p <= 8; ++p) server_->Script(PathOf(TileOfWalk(p)), {Reply::Ok(testsupport::TileImage("tile"))});
  OpenWindow();
  bool hardExit = false;
  window_->SetHardExitForTests([&hardExit](int) { hardExit = true; });
  FillExample();
  ClickStart();
  ASSERT_TRUE(QTest::qWaitFor([this] { return OkLines() == 8 && server_->RequestCount() >= 16; }, 15000));
  const std::string logFile = window_->CurrentTask()->LogFileName;

  Exit1()->trigger();

  EXPECT_FALSE(hardExit);  // every worker gave up its hung request and ended
  EXPECT_TRUE(AllWorkersGone());
  EXPECT_EQ(CountMessages(kTaskStopped), 0);
  const auto saved = platform::ReadTextLines(logFile);
  EXPECT_EQ(saved, window_->LogLines().Lines());
  EXPECT_EQ(CountEndingWith(saved, " OK"), 8);
  EXPECT_EQ(testsupport::ReadFileBytes(window_->CurrentTask()->FailedListFileName), JoinCrLf(Memo2Lines()));
  for (int slot = 0; slot < 8; ++slot) {
    EXPECT_EQ(StoredPosition(slot + 1), TileOfWalk(slot == 0 ? 8 : slot)) << "thread " << slot + 1;
  }
}

// The status bar shows the run's progress to the right of its fixed text
// while the run goes on, and nothing of it afterwards.
TEST_F(RunTest, StatusBarShowsTheProgressOfARunAndHidesItAfterwards) {
  OpenWindow(FastPacing(/*afterSavedMs=*/400));
  EXPECT_FALSE(RunProgress()->isVisible());
  FillExample();
  ClickStart();
  ASSERT_TRUE(QTest::qWaitFor([this] { return window_->TimerTicks() >= 2 && OkLines() > 0; }, 15000));
  EXPECT_TRUE(RunProgress()->isVisible());
  EXPECT_EQ(RunProgress()->maximum(), kTiles);
  const int done = RunProgress()->value();
  EXPECT_GT(done, 0);
  EXPECT_EQ(RunProgress()->text(), QString::number(done) + QStringLiteral(" / 42"));
  EXPECT_TRUE(RunProgress()->toolTip().startsWith(QStringLiteral("Saved: "))) << RunProgress()->toolTip().toStdString();
  EXPECT_EQ(StatusBar1Text()->text(), QStringLiteral("Download photomap images from NearMap!"));
  EXPECT_EQ(LabelTotalxy()->text(), QStringLiteral("Total images: 42"));

  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_FALSE(RunProgress()->isVisible());
  // After the run, why it ended and what the task needs next.
  EXPECT_EQ(StatusBar1Text()->text(),
            QStringLiteral("The run ended: the workers are done. The task has every tile."));
}

// A worker that cannot end in time (here: in its pause after a saved tile)
// is left behind with the files saved, and the program says so by its exit
// status; it ends with 0 only when every worker ended.
TEST_F(RunTest, ExitThatLeavesAWorkerBehindEndsWithANonZeroStatus) {
  OpenWindow(FastPacing(/*afterSavedMs=*/6000));
  std::vector<int> exitStatuses;
  window_->SetHardExitForTests([&exitStatuses](int status) { exitStatuses.push_back(status); });
  FillOneTile();
  ClickStart();
  ASSERT_TRUE(QTest::qWaitFor([this] { return OkLines() == 1; }, 15000));
  const std::string logFile = window_->CurrentTask()->LogFileName;

  Exit1()->trigger();

  EXPECT_EQ(exitStatuses, std::vector<int>{kExitWorkersAbandoned});
  EXPECT_NE(kExitWorkersAbandoned, 0);
  EXPECT_EQ(platform::ReadTextLines(logFile), window_->LogLines().Lines()) << "saved before leaving";
}

// Start over a task file that holds another task asks first: No changes
// nothing, Yes starts anew as Start does. The same task typed in other texts
// of its numbers goes on without a question. The end box keeps its text; the
// status bar says why the run ended and what the task needs next.
TEST_F(RunTest, StartAsksBeforeReplacingAnotherTaskAndContinuesTheSameTaskInOtherTexts) {
  OpenWindow();
  FillExample();
  ClickStart();
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_TRUE(questions_.empty());
  const std::string taskBytes = testsupport::ReadFileBytes(TaskFilePath());
  const std::string logBytes = testsupport::ReadFileBytes(window_->CurrentTask()->LogFileName);
  const std::size_t requests = server_->RequestCount();
  const std::size_t messages = messages_.size();

  Edit3()->setText(QStringLiteral("116.4"));  // another rectangle
  answer_ = false;
  ClickStart();
  ASSERT_EQ(questions_.size(), 1u);
  EXPECT_EQ(questions_[0], QStringLiteral("gui.otsk in this folder holds another task: 42 of 42 tiles saved, "
                                          "last run %1. Replace it?")
                               .arg(QString::fromStdString(platform::FileWrittenText(TaskFilePath()))));
  QTest::qWait(100);
  EXPECT_EQ(BitBtn1()->text(), QStringLiteral("Start"));
  EXPECT_EQ(testsupport::ReadFileBytes(TaskFilePath()), taskBytes);
  EXPECT_EQ(testsupport::ReadFileBytes(window_->CurrentTask()->LogFileName), logBytes);
  EXPECT_EQ(server_->RequestCount(), requests);
  EXPECT_EQ(messages_.size(), messages);

  answer_ = true;
  ClickStart();
  ASSERT_EQ(questions_.size(), 2u);
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_FALSE(window_->CurrentRunSettings()->ContinueTask);
  EXPECT_EQ(settings::IniFile(TaskFilePath()).ReadString("AREA", "RightLongitude", ""), "116.4");
  EXPECT_EQ(CountMessages(kTaskStopped), 2);

  // The stored "116.4" typed as "116.40", "40.0" as "40": the same task.
  Edit3()->setText(QStringLiteral("116.40"));
  Edit2()->setText(QStringLiteral("40"));
  const std::size_t before = server_->RequestCount();
  ClickStart();
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(questions_.size(), 2u);
  EXPECT_TRUE(window_->CurrentRunSettings()->ContinueTask);
  EXPECT_EQ(server_->RequestCount(), before) << "a continued task whose walk is done fetches nothing";
  EXPECT_EQ(messages_.back().Text, kTaskStopped);
  EXPECT_EQ(StatusBar1Text()->text(),
            QStringLiteral("The run ended: the workers are done. The task has every tile."));
  const std::vector<std::string> log = Memo1Lines();
  EXPECT_NE(std::find(log.begin(), log.end(), "The run ended: the workers are done."), log.end());
}

}  // namespace
}  // namespace guitest
