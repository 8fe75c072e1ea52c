#include "core/run/RunController.h"

#include <algorithm>
#include <future>
#include <utility>

#include "core/platform/Files.h"
#include "core/platform/Locale.h"
#include "core/platform/Numbers.h"
#include "core/run/RunEnd.h"
#include "core/task/TaskFile.h"
#include "core/task/TaskFiles.h"
#include "core/task/TileCensus.h"

namespace run {

namespace {

// Lines handed over and not yet taken, at most: a few seconds of the fastest
// download, a small fraction of a megabyte.
constexpr std::size_t kHandedLinesCapacity = 4096;

void Add(download::TileCounts& total, const download::TileCounts& counts) {
  total.Saved += counts.Saved;
  total.Blank += counts.Blank;
  total.GivenUp += counts.GivenUp;
}

// Runs every step even when an earlier one fails and keeps the text of the
// first failure, so closing a run reports one error and still finishes.
class FirstFailure {
 public:
  template <typename Step>
  void Try(Step&& step) {
    try {
      step();
    } catch (const std::exception& error) {
      if (!text_.empty()) return;
      text_ = error.what();
      reason_ = platform::FailureReason(error);
    }
  }
  const std::string& Text() const { return text_; }
  const std::string& Reason() const { return reason_; }

 private:
  std::string text_;
  std::string reason_;
};

}  // namespace

RunController::RunController(const task::TaskParameters& record, RunEnvironment environment, RunObserver& observer)
    : task_(task::TaskOfRun(record, environment.Run, environment.Options)),
      environment_(std::move(environment)),
      observer_(observer),
      handedLines_(kHandedLinesCapacity, [this] { environment_.Queue->Post([this] { TakeHandedLines(); }); }) {
  task_.CreateImageFolder();
  task::RunSettings& run = environment_.Run;
  run.ThreadCount = std::clamp(run.ThreadCount, 1, kMaxWorkers);
  if (task_.TotalImages < run.ThreadCount) run.ThreadCount = task_.TotalImages;
}

RunController::~RunController() {
  if (joiner_.joinable()) joiner_.join();
  if (WorkersGone()) return;
  // Destroyed while its workers run (the front-end skipped ShutDown): they
  // must not wait on a main thread that is busy destroying them.
  for (auto& worker : workers_) {
    if (worker) worker->Terminate();
  }
  environment_.Queue->Close();
  handedLines_.Close();
}

void RunController::Prepare() {
  lock_ = platform::FileLock::TryAcquire(task_.LockFileName());
  if (!lock_) throw TaskBusyError("Another run is working on this task: " + task_.TaskFileName());
  platform::RemoveStaleTemporaries(task_.Spec().Folder);
  platform::RemoveStaleTemporaries(task_.ImageFolder);
  task::WriteTaskFile(task_, environment_.Run);
  task::WriteExtentList(task_, environment_.Run);
  task::WriteLogHeader(task_, environment_.Run);
  task::CreateFailedList(task_, environment_.Run);
  log_.Load(task_.LogFileName);
  failed_.Load(task_.FailedListFileName);
  if (environment_.Fill) AppendLog("Filling the holes: " + platform::FormatInteger(static_cast<int64_t>(environment_.Holes.size())) + " tiles");
}

void RunController::StartWorkers() {
  const task::TileRange range = task_.Range();
  // A fill saves no positions: its tiles are flushed as they are written.
  const download::WorkerEnvironment environment{environment_.Queue,
                                                this,
                                                &handedLines_,
                                                environment_.Fill ? nullptr : &tiles_,
                                                environment_.ProgramFolder,
                                                environment_.Pace,
                                                environment_.Limits,
                                                environment_.Fill ? &environment_.Holes : nullptr,
                                                environment_.MaxTiles > 0 ? &tileBudget_ : nullptr,
                                                environment_.Run};
  tileBudget_.store(environment_.MaxTiles);
  const auto holes = static_cast<int64_t>(environment_.Holes.size());
  runningThreads_ = 0;
  for (int32_t i = 0; i < environment_.Run.ThreadCount; ++i) {
    const auto slot = static_cast<std::size_t>(i);
    shares_[slot] = environment_.Fill ? (holes - i + environment_.Run.ThreadCount - 1) / environment_.Run.ThreadCount
                                      : task_.ShareOf(i, environment_.Run.ThreadCount, range.ResumePoint(task_.Resume(i)));
    workers_[slot] = std::make_unique<download::TDownThread>(false, i, task_, environment);
    ++runningThreads_;
  }
  started_ = true;
  timerTicks_ = 0;
}

void RunController::Stop() {
  if (!Running()) return;
  stopRequested_ = true;
  TakeHandedLines();
  for (int32_t i = 0; i < environment_.Run.ThreadCount; ++i) {
    if (auto& worker = workers_[static_cast<std::size_t>(i)]) worker->Terminate();
    AppendLog("Thread" + platform::FormatInteger(int64_t{i} + 1) + "will be terminated by user. please wait...");
  }
}

void RunController::AppendLog(const std::string& text) { observer_.LogLinesAdded(log_.Append(text)); }

void RunController::AddLogLine(const std::string& line) { AppendLog(line); }

void RunController::AddFailedLine(const std::string& line) { observer_.FailedLinesAdded(failed_.Append(line)); }

void RunController::NotifyFinished() {
  // The worker's last lines, its finish line among them, come before its end.
  TakeHandedLines();
  --runningThreads_;
}

void RunController::TakeHandedLines() {
  std::size_t logLines = 0;
  std::size_t failedLines = 0;
  for (const download::HandedLine& line : handedLines_.TakeAll()) {
    if (line.Kind == download::LineKind::Log) {
      logLines += log_.Append(line.Text);
    } else {
      failedLines += failed_.Append(line.Text);
    }
  }
  if (logLines > 0) observer_.LogLinesAdded(logLines);
  if (failedLines > 0) observer_.FailedLinesAdded(failedLines);
}

void RunController::SavePositions() {
  if (environment_.Fill) return;  // a fill walks no positions
  std::vector<task::SlotPosition> changed;
  for (int32_t i = 0; i < environment_.Run.ThreadCount; ++i) {
    const auto slot = static_cast<std::size_t>(i);
    if (!workers_[slot]) continue;
    const task::TilePosition last = workers_[slot]->LastPosition();
    const task::TilePosition saved = savedPositions_[slot];
    // A value of 0 is never written; an unchanged one need not be.
    task::SlotPosition position{i, {}};
    if (last.X > 0 && last.X != saved.X) position.Last.X = last.X;
    if (last.Y > 0 && last.Y != saved.Y) position.Last.Y = last.Y;
    if (position.Last.X > 0 || position.Last.Y > 0) changed.push_back(position);
  }
  if (changed.empty()) return;
  // Whatever a saved position says is done is on stable storage before the
  // position is: the tiles it covers were written without a flush of their
  // own, so they are flushed here (the positions above were read first, and a
  // worker adds a tile before it publishes the position past it), then their
  // folders, and only then the positions are written. After a crash or a
  // power cut a continued run fetches again only what lies after the saved
  // positions, and no tile before them is empty or torn. A flush that failed
  // once keeps the positions where they are for the rest of the run.
  tiles_.MakeDurable();
  task::TaskFile(task_.TaskFileName()).WritePositions(changed);
  for (const task::SlotPosition& position : changed) {
    task::TilePosition& saved = savedPositions_[static_cast<std::size_t>(position.Slot)];
    if (position.Last.X > 0) saved.X = position.Last.X;
    if (position.Last.Y > 0) saved.Y = position.Last.Y;
  }
}

void RunController::SaveLists() {
  log_.Save(task_.LogFileName);
  failed_.Save(task_.FailedListFileName);
}

CloseReport RunController::SaveEverything(bool walkDone) {
  // Every file is tried whatever fails before it; the first failure is told.
  FirstFailure failure;
  if (environment_.Fill) failure.Try([this] { DropFilledRecords(); });
  failure.Try([this] { log_.Save(task_.LogFileName); });
  failure.Try([this] { failed_.Save(task_.FailedListFileName); });
  failure.Try([this] { SavePositions(); });
  if (walkDone) {
    failure.Try([this] {
      task::TaskFile(task_.TaskFileName()).WritePositions(EndPositions(task_.Range(), environment_.Run.ThreadCount));
    });
  }
  return CloseReport{failure.Text(), failure.Reason()};
}

std::unique_ptr<download::TDownThread> RunController::Retire(std::size_t slot) {
  std::unique_ptr<download::TDownThread> worker = std::move(workers_[slot]);
  if (worker) {
    const download::TileCounts counts = worker->Counts();
    Add(finishedCounts_, counts);
    finishedRefused_ += counts.Refused ? 1 : 0;
    finishedCapped_ += counts.Capped ? 1 : 0;
    for (const auto& [reason, count] : worker->GivenUpReasons()) givenUpReasons_[reason] += count;
    const std::string failure = worker->SystemFailure();
    if (systemFailure_.empty()) systemFailure_ = failure;
    for (const std::string& message : {worker->StopMessage(), failure}) {
      if (!message.empty() && std::find(stopMessages_.begin(), stopMessages_.end(), message) == stopMessages_.end()) {
        stopMessages_.push_back(message);
      }
    }
  }
  return worker;
}

std::optional<CloseReport> RunController::Tick() {
  if (!Running()) return std::nullopt;
  ++timerTicks_;
  TakeHandedLines();
  if (timerTicks_ % 5 == 0) {
    SavePositions();
    SaveLists();
  }
  if (runningThreads_ != 0) return std::nullopt;
  return Close();
}

CloseReport RunController::Close() {
  closed_ = true;
  std::vector<std::string> messages = stopMessages_;
  for (const auto& worker : workers_) {
    if (!worker) continue;
    for (const std::string& message : {worker->StopMessage(), worker->SystemFailure()}) {
      if (!message.empty() && std::find(messages.begin(), messages.end(), message) == messages.end()) {
        messages.push_back(message);
      }
    }
  }
  endReason_ = RunEndReason(stopRequested_, Counters(), messages, environment_.MaxTiles);
  AppendLog("The run ended: " + endReason_ + ".");
  AppendLog("");
  AppendLog("--------------------------------");
  AppendLog("Task Stoped!");
  AppendLog("");
  AppendLog("Now time:" + platform::CurrentDateTimeText());
  AppendLog("");
  AppendLog("Log file has been saved as " + task_.LogFileName);

  // A fill that took every hole it had leaves nothing for the walk: its
  // positions move to the end, so that a continued run does not fetch again
  // what the fill saved.
  const RunCounters counters = Counters();
  const bool filledAll = environment_.Fill && !stopRequested_ && counters.NotTried == 0 &&
                         counters.RefusedWorkers == 0 && counters.CappedWorkers == 0;
  // The run ends whatever fails to be written; the first failure is reported.
  CloseReport report = SaveEverything(filledAll);
  // Their threads have ended: destroying them joins at once.
  for (std::size_t slot = 0; slot < workers_.size(); ++slot) Retire(slot);
  lock_.reset();
  return report;
}

void RunController::DropFilledRecords() {
  const task::TileCensus census(task_, environment_.ProgramFolder);
  const std::vector<std::string>& lines = failed_.Lines();
  // The last record of each tile is the one kept.
  std::map<int64_t, std::size_t> lastOfTile;
  std::vector<std::optional<task::TilePosition>> tiles(lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string target = task::SplitFailedRecord(lines[i]).first;
    tiles[i] = task_.TileOfFileName(platform::ExtractFileName(target));
    if (tiles[i]) lastOfTile[task_.WalkNumber(tiles[i]->X, tiles[i]->Y)] = i;
  }
  std::vector<std::string> kept;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::optional<task::TilePosition>& tile = tiles[i];
    // Records of no tile of this task are not this run's to judge.
    if (tile && (lastOfTile[task_.WalkNumber(tile->X, tile->Y)] != i ||
                 census.Judge(tile->X, tile->Y).State == task::TileState::Saved)) {
      continue;
    }
    kept.push_back(lines[i]);
  }
  if (kept.size() != lines.size()) failed_.Reset(std::move(kept));
}

bool RunController::WorkersGone() const {
  return std::none_of(workers_.begin(), workers_.end(), [](const auto& worker) { return worker != nullptr; });
}

RunCounters RunController::Counters() const {
  RunCounters counters;
  counters.TaskTotal = task_.TotalImages;
  download::TileCounts done = finishedCounts_;
  counters.RefusedWorkers = finishedRefused_;
  counters.CappedWorkers = finishedCapped_;
  for (int32_t i = 0; i < environment_.Run.ThreadCount && started_; ++i) {
    const auto slot = static_cast<std::size_t>(i);
    counters.Total += shares_[slot];
    if (!workers_[slot]) continue;
    const download::TileCounts counts = workers_[slot]->Counts();
    Add(done, counts);
    counters.InFlight += counts.InFlight ? 1 : 0;
    counters.RefusedWorkers += counts.Refused ? 1 : 0;
    counters.CappedWorkers += counts.Capped ? 1 : 0;
    if (counts.Ended) counters.NotTried += shares_[slot] - counts.Saved - counts.Blank - counts.GivenUp;
  }
  counters.Saved = done.Saved;
  counters.Blank = done.Blank;
  counters.GivenUp = done.GivenUp;
  if (closed_) counters.NotTried = counters.Total - counters.Done();
  return counters;
}

std::string RunController::ShutDown(std::chrono::milliseconds grace) {
  platform::MainThreadQueue& queue = *environment_.Queue;
  if (!Running()) {
    queue.Close();
    return {};
  }
  // 1. Every worker abandons the request in hand.
  for (auto& worker : workers_) {
    if (worker) worker->Terminate();
  }
  // 2. Their last reports, served without an event loop.
  const auto graceEnd = std::chrono::steady_clock::now() + grace;
  while (runningThreads_ > 0 && std::chrono::steady_clock::now() < graceEnd) {
    if (queue.RunPending() == 0) queue.WaitForPending(std::chrono::milliseconds(20));
  }
  // 3. From now on no worker waits for the main thread.
  queue.Close();
  handedLines_.Close();
  TakeHandedLines();
  closed_ = true;
  // 4. Keep what the run finished.
  const CloseReport report = SaveEverything();
  lock_.reset();
  return report.FirstFailure;
}

bool RunController::JoinWorkers(std::chrono::milliseconds timeout) {
  std::vector<std::unique_ptr<download::TDownThread>> leaving;
  for (std::size_t slot = 0; slot < workers_.size(); ++slot) {
    if (auto worker = Retire(slot)) leaving.push_back(std::move(worker));
  }
  if (leaving.empty()) return true;
  // Joined on a thread of its own, so that a request hanging in the system
  // cannot hold the caller for good.
  std::promise<void> joinedPromise;
  std::future<void> joined = joinedPromise.get_future();
  joiner_ = std::thread([leaving = std::move(leaving), promise = std::move(joinedPromise)]() mutable {
    leaving.clear();
    promise.set_value();
  });
  return joined.wait_for(timeout) == std::future_status::ready;
}

}  // namespace run
