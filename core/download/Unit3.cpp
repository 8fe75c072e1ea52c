#include "core/download/Unit3.h"

#include <algorithm>
#include <chrono>
#include <random>
#include <exception>
#include <map>
#include <stdexcept>
#include <utility>

#include "core/platform/FileBytes.h"
#include "core/platform/Files.h"
#include "core/platform/Numbers.h"
#include "core/task/TaskFiles.h"

namespace download {

namespace {

std::string Decimal(int64_t value) { return platform::FormatInteger(value); }

// The longest pause a server's Retry-After gets.
constexpr long kMaxRetryAfterSeconds = 600;


}  // namespace

TDownThread::TDownThread(bool createSuspended, int32_t threadIndex, const task::MDTask& task,
                         WorkerEnvironment environment)
    : Task(task), ThreadIndex(threadIndex), env_(std::move(environment)) {
  if (!createSuspended) Start();
}

TDownThread::~TDownThread() { WaitFor(); }

task::TilePosition TDownThread::LastPosition() const noexcept {
  return task::FromPackedKey(last_.load(std::memory_order_acquire));
}

TileCounts TDownThread::Counts() const noexcept {
  return TileCounts{saved_.load(), blank_.load(), givenUp_.load(), inFlight_.load(),
                    ended_.load(), refused_.load(), capped_.load()};
}

std::map<std::string, int64_t> TDownThread::GivenUpReasons() const {
  return ended_.load() ? givenUpReasons_ : std::map<std::string, int64_t>{};
}

std::string TDownThread::StopMessage() const { return ended_.load() ? stopMessage_ : std::string(); }

std::string TDownThread::SystemFailure() const { return ended_.load() ? systemFailure_ : std::string(); }

void TDownThread::SetLast(int32_t x, int32_t y) noexcept {
  last_.store(task::PackedKey({x, y}), std::memory_order_release);
}

std::string TDownThread::ThreadNumber() const { return Decimal(int64_t{ThreadIndex} + 1); }

void TDownThread::Report(const std::string& line) { HandOver(LineKind::Log, line); }

void TDownThread::Record(const std::string& line) { HandOver(LineKind::Failed, line); }

void TDownThread::HandOver(LineKind kind, const std::string& line) {
  // A source without a pause would spend its time waiting for the main
  // thread; its lines go through the queue, in order, while it goes on.
  const std::optional<task::TileSource>& source = Task.Source();
  if (env_.Lines != nullptr && source && source->PauseMs == 0) {
    env_.Lines->Push(kind, line);
    return;
  }
  LogText = line;
  if (kind == LineKind::Log) {
    env_.Caller->Synchronize([this] { env_.Sink->AddLogLine(LogText); });
  } else {
    env_.Caller->Synchronize([this] { env_.Sink->AddFailedLine(LogText); });
  }
}

void TDownThread::StoreTile(const std::string& path, const std::string& body) {
  // A tile is a regular file: whatever else is in its place (a named pipe,
  // which would wait for a reader) is no tile to write into.
  if (platform::FileBytes(path, 0).What() == platform::FileBytes::Kind::Other) {
    throw platform::FileError("Cannot create file " + path, platform::kNotRegularFile);
  }
  if (env_.Durable == nullptr) {
    platform::WriteFileAtomic(path, body);
    return;
  }
  platform::WriteFileAtomic(path, body, platform::FileAccess::Default, platform::Flush::Deferred);
  env_.Durable->Add(path);
}

void TDownThread::StoreBlank(const std::string& path) {
  if (env_.Durable == nullptr) {
    platform::CopyFileNoReplace(BlankImagePath, path);
    return;
  }
  if (platform::CopyFileNoReplace(BlankImagePath, path, platform::Flush::Deferred)) env_.Durable->Add(path);
}

void TDownThread::SetUp() {
  if (Client) return;
  BlankImagePath = Task.BlankImagePath(env_.ProgramFolder);
  jitterState_ = (uint64_t{std::random_device{}()} << 32 | std::random_device{}()) | 1;
  Client = MakeTileClient(env_.Run.Proxy, Task.FetchHeaderLines(env_.Run.SourceSecret), env_.Limits);
}

void TDownThread::Execute() {
  const std::string n = ThreadNumber();
  try {
    Walk();
  } catch (const std::exception& e) {
    // A tile that cannot be written (a full disk, a read-only folder) ends
    // the worker with the system's reason, which the run reports.
    if (platform::IsSystemFailure(e)) {
      systemFailure_ = platform::FailureText(e);
    } else {
      stopMessage_ = e.what();
    }
    try {
      Report("T" + n + " Error: " + platform::FailureText(e));
    } catch (...) {
      // The window is gone; the end sequence below still has to be tried.
    }
  } catch (...) {
    try {
      Report("T" + n + " Error: unknown failure");
    } catch (...) {
    }
  }
  // The end sequence: the run's controller counts running workers by these calls,
  // so it must run exactly once whichever way the walk ended.
  inFlight_.store(false);
  ended_.store(true);
  Client.reset();
  try {
    Report("T" + n + " Finished.");
  } catch (...) {
  }
  try {
    env_.Caller->Synchronize([this] { env_.Sink->NotifyFinished(); });
  } catch (...) {
  }
}

void TDownThread::Walk() {
  SetUp();

  const task::MDTask& t = Task;
  const int32_t threadCount = env_.Run.ThreadCount;
  if (threadCount < 1) throw std::runtime_error("thread count is not positive");
  const task::TileRange range = t.Range();

  platform::SleepUnlessSet(TerminateFlag(), ThreadIndex * env_.Pace.StartStaggerMs);
  if (env_.Tiles != nullptr) {
    const std::vector<task::TilePosition>& tiles = *env_.Tiles;
    for (std::size_t i = static_cast<std::size_t>(ThreadIndex); i < tiles.size(); i += static_cast<std::size_t>(threadCount)) {
      if (!Take(range.WalkNumber(tiles[i].X, tiles[i].Y), tiles[i])) return;
    }
    return;
  }
  // Only this slot's walk numbers: p mod ThreadCount == ThreadIndex, beyond
  // the resume point.
  const int64_t resume = range.ResumePoint(t.Resume(ThreadIndex));
  for (int64_t p = range.FirstOfSlot(ThreadIndex, threadCount, resume); p <= range.Count(); p += threadCount) {
    const task::TilePosition tile = range.AtWalkNumber(p);
    // Outside a task's shape: not the task's, never asked for.
    if (!t.HasTile(tile.X, tile.Y)) continue;
    if (!Take(p, tile)) return;
  }
}

bool TDownThread::Take(int64_t p, const task::TilePosition& tile) {
  if (Terminated()) return false;
  if (env_.TileBudget != nullptr && env_.TileBudget->fetch_sub(1) <= 0) {
    capped_.store(true);
    Report("T" + ThreadNumber() + " Stopped: the run has fetched as many tiles as it may.");
    return false;
  }
  // A tile source of the user's own sets its own pace, after every tile; the
  // built-in types pause after a saved tile only.
  const std::optional<task::TileSource>& source = Task.Source();
  inFlight_.store(true);
  const FetchOutcome outcome = FetchTile(tile.X, tile.Y);
  inFlight_.store(false);
  switch (outcome) {
    case FetchOutcome::Saved:
      Report("T" + ThreadNumber() + ":seq=" + Decimal(p) + "," + Task.TileFileName(tile.X, tile.Y) + " OK");
      SetLast(tile.X, tile.Y);
      // The whole pause runs even after a stop; the flag is read at the
      // next position.
      if (source) {
        platform::SleepUnlessSet(TerminateFlag(), source->PauseMs);
      } else {
        platform::SleepMs(env_.Pace.AfterSavedMs);
      }
      return true;
    case FetchOutcome::Substituted:
      SetLast(tile.X, tile.Y);
      if (source) platform::SleepUnlessSet(TerminateFlag(), source->PauseMs);
      return true;
    case FetchOutcome::StopWorker:
      refused_.store(true);
      return false;
    case FetchOutcome::Abandoned:
      return false;
  }
  return false;
}

FetchOutcome TDownThread::FetchTile(int32_t x, int32_t y) {
  SetUp();

  // The URL shown in the log and the failed list keeps a source's secret
  // masked; only the request carries it.
  const std::string url = Task.TileURL(x, y);
  const std::string fetchUrl = Task.FetchURL(x, y, env_.Run.SourceSecret);
  const std::optional<task::TileSource>& source = Task.Source();
  const std::atomic<bool>& stop = TerminateFlag();
  std::string body;
  int64_t attempts = 0;
  std::map<FailureClass, int64_t> failuresOf;
  int64_t transientFailures = 0;
  const auto began = std::chrono::steady_clock::now();

  for (;;) {
    // A stop abandons the tile: nothing is stored, reported or recorded, so a
    // continued run takes it again.
    if (stop.load()) return FetchOutcome::Abandoned;
    // Each attempt starts from an empty buffer, so a stored tile holds the
    // body of its successful request only.
    HttpResult result = GetTile(*Client, fetchUrl, Task.TileExtension(), body, &stop);
    if (result.Aborted) return FetchOutcome::Abandoned;
    if (result.Ok) {
      StoreTile(Task.TileFilePath(x, y), body);
      ++saved_;
      return FetchOutcome::Saved;
    }

    // Every request on the wire counts, also one that libcurl repeated by
    // itself; a failure before any request went out counts as one.
    const int64_t requests = std::max(result.RequestsSent, 1);
    attempts += requests;
    // A tile source's server in trouble is given time, more each time.
    if (source && IsTransient(result)) {
      switch (BackOff(result, ++transientFailures, url)) {
        case Backoff::Again:
          continue;
        case Backoff::Stopped:
          return FetchOutcome::Abandoned;
        case Backoff::GiveUp: {
          const auto seconds =
              std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - began).count();
          Report("T" + ThreadNumber() + " Given up after " + Decimal(transientFailures) + " requests in " +
                 Decimal(seconds) + " s: " + ShortReason(result) + "->" + url);
          return GiveUp(RuleFor(result, Task.SendsApiKey()), result, x, y, url);
        }
      }
    }
    const FailureRule& rule = RuleFor(result, Task.SendsApiKey());
    const int64_t failures = failuresOf[rule.Class] += requests;
    if ((rule.AttemptsAllowed != kWithoutLimit && attempts >= rule.AttemptsAllowed) ||
        (rule.FailuresAllowed != kWithoutLimit && failures >= rule.FailuresAllowed)) {
      return GiveUp(rule, result, x, y, url);
    }
    if (!platform::SleepUnlessSet(stop, rule.PauseMs(env_.Pace, failures))) return FetchOutcome::Abandoned;
  }
}

TDownThread::Backoff TDownThread::BackOff(const HttpResult& result, int64_t retry, const std::string& url) {
  if (retry > env_.Pace.BackoffRetries) return Backoff::GiveUp;
  const std::string n = ThreadNumber();
  int pauseMs = 0;
  if (result.RetryAfterSeconds) {
    const long seconds = std::clamp<long>(*result.RetryAfterSeconds, 0, kMaxRetryAfterSeconds);
    Report("T" + n + " The server asks to wait " + Decimal(seconds) + " s (HTTP " + Decimal(result.Status) + ")->" +
           url);
    pauseMs = static_cast<int>(seconds * 1000);
  } else {
    // xorshift64: a different pause for every worker and request, so that
    // workers that failed together do not come back together.
    jitterState_ ^= jitterState_ << 13;
    jitterState_ ^= jitterState_ >> 7;
    jitterState_ ^= jitterState_ << 17;
    const double jitter = static_cast<double>(jitterState_ >> 11) / static_cast<double>(uint64_t{1} << 53);
    pauseMs = BackoffPauseMs(env_.Pace, retry, jitter);
    Report("T" + n + " " + ShortReason(result) + ", asking again in " + Decimal(pauseMs / 1000) + "." +
           Decimal(pauseMs % 1000 / 100) + " s->" + url);
  }
  return platform::SleepUnlessSet(TerminateFlag(), pauseMs) ? Backoff::Again : Backoff::Stopped;
}

FetchOutcome TDownThread::GiveUp(const FailureRule& rule, const HttpResult& result, int32_t x, int32_t y,
                                 const std::string& url) {
  const std::string n = ThreadNumber();
  const std::string& errorText = result.ErrorText;
  switch (rule.GivingUpReport) {
    case FailureRule::Report::ErrorLine:
      Report("T" + n + " " + errorText + "->" + url);
      break;
    case FailureRule::Report::NotFoundLine:
      Report(kNotFoundMessage + errorText);
      break;
    case FailureRule::Report::FailedLine:
      Report(Task.TileFileName(x, y) + ":failed ->" + url);
      break;
  }
  if (rule.RecordsFailure) {
    Record(task::FailedRecord(Task, x, y));
    ++givenUpReasons_[ShortReason(result)];
    ++givenUp_;
  }
  if (rule.Message != nullptr) Report(rule.Message);
  if (rule.StopsWorker) {
    stopMessage_ = rule.Message != nullptr ? rule.Message : errorText;
    if (!errorText.empty()) stopMessage_ += " (" + ShortReason(result) + ")";
    return FetchOutcome::StopWorker;
  }

  if (!rule.RecordsFailure) ++blank_;
  // Never replaces a tile already there; a missing blank image only means
  // the tile has no file.
  StoreBlank(Task.TileFilePath(x, y));
  Report("T" + n + ":" + Decimal(x) + "-" + Decimal(y) + " got a blank image!");
  return FetchOutcome::Substituted;
}

}  // namespace download
