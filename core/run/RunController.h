// One download run of a task: the task and its parameters, the workers, the
// log and failed-list lines, the positions saved every fifth tick, closing the
// run and shutting down with requests that hang. Front-ends (the window, the
// command-line runner) drive it and show what it reports; the workers reach a
// front-end only through it.
//
// Threads: every member runs in the thread that drives the run (the
// front-end's main thread), which also serves the workers' calls from the
// MainThreadQueue. Workers run on their own threads and touch the controller
// only through that queue, while they wait, and, when their tile source does
// not pause, through the queue of handed lines (which they do not wait for)
// and the batch of tiles to flush.
//
// Life cycle: constructed (the task is built) -> Prepare() (the task's files
// written, the log and failed list loaded) -> StartWorkers() -> Running:
// Tick() about once a second, Stop() at will -> the last worker reports its
// end -> the next Tick() closes the run -> Closed. ShutDown() ends a run for
// good from any state (the program ends).
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/download/HttpClient.h"
#include "core/download/Unit3.h"
#include "core/platform/FileLock.h"
#include "core/platform/MainThreadQueue.h"
#include "core/run/LineFile.h"
#include "core/task/RunSettings.h"
#include "core/task/Unitclasstask.h"

namespace run {

// What a front-end shows of a run. Called in the driving thread.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // count lines were appended at the end of the log or the failed list.
  virtual void LogLinesAdded(std::size_t count) = 0;
  virtual void FailedLinesAdded(std::size_t count) = 0;
};

struct RunEnvironment {
  platform::MainThreadQueue* Queue = nullptr;  // the front-end's; outlives the run
  std::string ProgramFolder;                   // ends in the separator; holds blankimg/
  download::Pacing Pace;
  download::HttpLimits Limits;
  task::TaskOptions Options;
  // Filling holes: these tiles of an existing task instead of its walk. The
  // task file and the positions stay as they are; at the close, the failed
  // list loses the records of tiles saved now and keeps one record a tile.
  std::vector<task::TilePosition> Holes;
  bool Fill = false;
  // The most tiles this run may take (a paid source's quota); 0: no cap.
  int64_t MaxTiles = 0;
  // The workers, whether the task's earlier run is continued, the proxy and
  // the secret of the task's imagery: the run's, never the task's.
  task::RunSettings Run{};
};

// The tiles of this run: each slot's share of the walk beyond its resume
// point. Saved, Blank and GivenUp never overlap (see download::TileCounts).
struct RunCounters {
  int64_t Total = 0;
  int64_t Saved = 0;
  int64_t Blank = 0;
  int64_t GivenUp = 0;
  int64_t InFlight = 0;
  // Tiles that no worker will reach: the rest of the share of every worker
  // that has ended (all of them once the run is over).
  int64_t NotTried = 0;
  // Workers that ended because the server refused them or the network failed.
  int32_t RefusedWorkers = 0;
  // Workers that ended because the run's cap of tiles (MaxTiles) was reached.
  int32_t CappedWorkers = 0;
  // The whole task's tiles; those outside this run's (before the resume
  // points, or no holes when filling) count as done.
  int64_t TaskTotal = 0;
  int64_t Done() const { return Saved + Blank + GivenUp; }
  int64_t TaskDone() const { return TaskTotal - Total + Done(); }
};

// Another run (of this program or another) is working on the task.
class TaskBusyError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct CloseReport {
  // The text of the first file that could not be written while closing; the
  // run closed all the same.
  std::string FirstFailure;
  // The system's words for why it could not (platform::FailureReason).
  std::string Reason;
};

class RunController final : private download::DownloadSink {
 public:
  static constexpr int32_t kMaxWorkers = 8;

  // Builds the task of record (resumed from its task file's positions when
  // environment.Run.ContinueTask is set) and lowers the thread count to the
  // tile count. Throws task::TaskCreateError (its text, when not empty, is
  // for the user) or another exception when the task cannot be built.
  RunController(const task::TaskParameters& record, RunEnvironment environment, RunObserver& observer);
  ~RunController() override;
  RunController(const RunController&) = delete;
  RunController& operator=(const RunController&) = delete;

  // The run's settings, its thread count lowered to what the task can use.
  const task::RunSettings& Settings() const { return environment_.Run; }
  const task::MDTask& Task() const { return task_; }
  const LineFile& LogLines() const { return log_; }
  const LineFile& FailedLines() const { return failed_; }

  // Takes the task's lock (held until the run closes or the controller goes),
  // removes temporary files that a killed run left, writes the task file,
  // the extent list, the log header and the failed list (each looks at
  // the run's ContinueTask), then loads the log and the failed list. Throws
  // TaskBusyError when another run holds the task, platform::FileError when a
  // file cannot be written or read; the run then never starts.
  void Prepare();
  // Starts ThreadCount workers in slot order.
  void StartWorkers();
  // Asks every worker to end and logs "Thread<n>will be terminated by user.
  // please wait..." for each, in slot order. The run goes on until they have.
  void Stop();
  // One tick of the progress timer: every fifth saves the positions, the log
  // and the failed list (a file error is thrown and the tick ends there; the
  // next fifth tick tries again); once every worker has reported its end, closes
  // the run: the completion block, the saves, the workers destroyed. Returns
  // the report when this tick closed the run.
  std::optional<CloseReport> Tick();

  bool Running() const { return started_ && !closed_; }
  // Stop() was called during this run.
  bool StopRequested() const { return stopRequested_; }
  int32_t RunningThreads() const { return runningThreads_; }
  int32_t TimerTicks() const { return timerTicks_; }
  bool WorkersGone() const;
  RunCounters Counters() const;
  // Once the run has closed: this run's given-up tiles by reason
  // (download::ShortReason), and the message of each worker that a refusal,
  // the network or a failure of the system ended, once each.
  const std::map<std::string, int64_t>& GivenUpReasons() const { return givenUpReasons_; }
  const std::vector<std::string>& StopMessages() const { return stopMessages_; }
  // Once the run has closed: the first failure of the system that ended a
  // worker (a tile that could not be written: a full disk, a read-only
  // folder), with the system's reason; empty when none did.
  const std::string& SystemFailure() const { return systemFailure_; }
  // Once the run has closed: why it ended (run::RunEndReason), also the
  // log's line "The run ended: <reason>." before the completion block.
  const std::string& EndReason() const { return endReason_; }

  // Ends the run for good (the program is ending): asks every worker to stop
  // (requests in hand abort), serves their last reports for up to grace,
  // closes the queue (no worker waits on the main thread any more), saves the
  // positions, the log and the failed list. Returns the first save failure's
  // text, empty when all were written.
  std::string ShutDown(std::chrono::milliseconds grace);
  // After ShutDown: waits up to timeout for the worker threads to end. False
  // when one still runs (a request hanging in the system); it is then joined
  // when the controller is destroyed.
  bool JoinWorkers(std::chrono::milliseconds timeout);

 private:
  void AddLogLine(const std::string& line) override;
  void AddFailedLine(const std::string& line) override;
  void NotifyFinished() override;

  void AppendLog(const std::string& text);
  // Appends the lines the workers handed over, in the order they came.
  void TakeHandedLines();
  void SavePositions();
  void SaveLists();
  // The log, the failed list and the positions, each tried whatever fails
  // before it; the text of the first failure, empty when none.
  // walkDone: the positions are moved to the end of the walk as well.
  CloseReport SaveEverything(bool walkDone = false);
  // Takes a worker out of its slot, its counts kept in the run's tally.
  std::unique_ptr<download::TDownThread> Retire(std::size_t slot);
  CloseReport Close();
  // Fill: the failed list without the records of tiles that are saved now,
  // one record a tile (the last).
  void DropFilledRecords();

  task::MDTask task_;
  RunEnvironment environment_;
  RunObserver& observer_;
  std::optional<platform::FileLock> lock_;
  LineFile log_;
  LineFile failed_;
  // Before the workers, which use both until they are joined.
  platform::DurableBatch tiles_;
  download::LineQueue handedLines_;

  std::array<std::unique_ptr<download::TDownThread>, kMaxWorkers> workers_;
  // Counts of workers already destroyed, and each slot's share.
  download::TileCounts finishedCounts_;
  int32_t finishedRefused_ = 0;
  int32_t finishedCapped_ = 0;
  std::atomic<int64_t> tileBudget_{0};
  bool stopRequested_ = false;
  std::string endReason_;
  std::map<std::string, int64_t> givenUpReasons_;
  std::vector<std::string> stopMessages_;
  std::string systemFailure_;
  std::array<int64_t, kMaxWorkers> shares_{};
  // What the last save wrote per slot, to skip unchanged values.
  std::array<task::TilePosition, kMaxWorkers> savedPositions_{};
  int32_t runningThreads_ = 0;
  int32_t timerTicks_ = 0;
  bool started_ = false;
  bool closed_ = false;
  std::thread joiner_;
};

}  // namespace run
