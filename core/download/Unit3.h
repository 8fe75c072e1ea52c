// The download worker: walks a task's tile range, fetches its share of the
// tiles and reports every result to its DownloadSink (the run's controller,
// run::RunController, which the window and orvenna-cli observe).
//
// Threads: the constructor, Terminate(), LastPosition() and the destructor are
// called from the main thread; Execute() runs on the worker's own thread and
// reaches its sink only through the MainThreadCaller (waiting for each call)
// or, unpaced, through the LineQueue.
// Life cycle: created running; ends at the end of its share, at a terminate
// request or when the server refuses it; its last act is NotifyFinished, made
// exactly once whatever happens. Destroying it joins the thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/download/FailureRules.h"
#include "core/download/HttpClient.h"
#include "core/download/LineQueue.h"
#include "core/platform/Files.h"
#include "core/platform/Thread.h"
#include "core/task/RunSettings.h"
#include "core/task/Unitclasstask.h"

namespace download {

// Abandoned: a stop request ended the tile before it was finished; nothing
// was stored, reported or recorded for it.
enum class FetchOutcome { Saved, Substituted, StopWorker, Abandoned };

// Every pause of a worker, in milliseconds. The defaults are the program's;
// only tests pass others.
struct Pacing {
  int StartStaggerMs = 100;   // per slot, before the first tile
  int AfterSavedMs = 1000;    // after every saved tile
  int AddressInUseMs = 8000;  // before retrying after socket error 10048
  int RefusedMs = 1000;       // 302 / 403
  int NetworkMs = 2000;       // socket errors, 408
  int NotFoundMs = 1000;      // 404 / 400
  int OtherMs = 1000;         // any other text, and no text
  // After the resets repeated at once (kImmediateResetRepeats), a pause that
  // doubles from ResetPauseMs with every further reset, up to ResetPauseMaxMs.
  int ResetPauseMs = 100;
  int ResetPauseMaxMs = 5000;
  // A tile source (the Nearmap API, the user's own) that fails for a while
  // (500, 502, 503, 504, 429, a connection that fails) is asked again after
  // BackoffFirstMs, doubling each time up to BackoffMaxMs, each pause
  // lengthened by a random part of up to half of it, at most BackoffRetries
  // times; a Retry-After of the server takes the place of the pause.
  int BackoffFirstMs = 1000;
  int BackoffMaxMs = 32000;
  int BackoffRetries = 6;
};

// What a worker reports to (the run's controller). Each method runs in the
// main thread.
class DownloadSink {
 public:
  virtual ~DownloadSink() = default;
  virtual void AddLogLine(const std::string& line) = 0;
  virtual void AddFailedLine(const std::string& line) = 0;
  virtual void NotifyFinished() = 0;
};

struct WorkerEnvironment {
  platform::MainThreadCaller* Caller = nullptr;
  DownloadSink* Sink = nullptr;
  // Where a worker that does not pause hands its lines without waiting
  // (nullptr: every line through Caller and Sink).
  LineQueue* Lines = nullptr;
  // Tiles are written without a flush of their own and added here; whoever
  // saves a position flushes it first (nullptr: each tile flushed as written).
  platform::DurableBatch* Durable = nullptr;
  std::string ProgramFolder;  // ends in the separator; holds blankimg/
  Pacing Pace;
  HttpLimits Limits;
  // Tiles to fetch instead of the task's walk (the holes of a task): slot k
  // of n workers takes the entries i with i mod n == k. Outlives the worker.
  const std::vector<task::TilePosition>* Tiles = nullptr;
  // The tiles the whole run may still take, shared by its workers (nullptr:
  // no cap). A worker that finds it spent ends, its position kept.
  std::atomic<int64_t>* TileBudget = nullptr;
  // The run's workers (ThreadCount slots walk the task), the proxy and the
  // secret of the task's imagery.
  task::RunSettings Run;
};

// What a worker has done with the tiles of its share so far. The three
// counts never overlap: a tile recorded in the failed list counts as given up
// whether or not it got the blank image.
struct TileCounts {
  int64_t Saved = 0;      // stored from the server's answer
  int64_t Blank = 0;      // replaced by the blank image, not recorded (not found)
  int64_t GivenUp = 0;    // recorded in the failed list
  bool InFlight = false;  // a tile is being fetched right now
  bool Ended = false;     // the walk is over; the worker ends or has ended
  bool Refused = false;   // it ended because the server refused it or the network failed
  bool Capped = false;    // it ended because the run's cap of tiles was reached
};

class TDownThread final : public platform::Thread {
 public:
  // Starts the thread at once unless createSuspended (then call Start()).
  TDownThread(bool createSuspended, int32_t threadIndex, const task::MDTask& task,
              WorkerEnvironment environment);
  ~TDownThread() override;

  const task::MDTask& Task;
  const int32_t ThreadIndex;

  // The last finished tile (0, 0 before the first); both from the same tile.
  task::TilePosition LastPosition() const noexcept;
  // Any thread; each count is exact, the four need not be of one instant.
  TileCounts Counts() const noexcept;
  int32_t LastX() const noexcept { return LastPosition().X; }
  int32_t LastY() const noexcept { return LastPosition().Y; }

  // Once Counts().Ended: how many tiles were given up for each reason
  // (ShortReason), and the message of a refusal that ended the worker (or of
  // the error that did, such as a tile that could not be written).
  std::map<std::string, int64_t> GivenUpReasons() const;
  std::string StopMessage() const;
  // Once Counts().Ended: the failure of the system that ended the worker (a
  // tile that could not be written), with its reason; empty when none did.
  std::string SystemFailure() const;

  // Fetches one tile with the retries of its failure class (FailureRules.h).
  // Used by Execute; public for tests.
  FetchOutcome FetchTile(int32_t x, int32_t y);

 protected:
  void Execute() override;

 private:
  // Creates Client with the proxy settings and works out BlankImagePath, once.
  // Throws std::runtime_error for a proxy port that is not a port number.
  void SetUp();
  void Walk();
  // Fetches the tile at walk number p and reports and paces as the walk
  // does; false when the worker is to end.
  bool Take(int64_t p, const task::TilePosition& tile);
  std::string ThreadNumber() const;
  void Report(const std::string& line);
  void Record(const std::string& line);
  void HandOver(LineKind kind, const std::string& line);
  // Writes a fetched tile, or copies the blank image unless a file is there.
  void StoreTile(const std::string& path, const std::string& body);
  void StoreBlank(const std::string& path);
  void SetLast(int32_t x, int32_t y) noexcept;
  FetchOutcome GiveUp(const FailureRule& rule, const HttpResult& result, int32_t x, int32_t y,
                      const std::string& url);
  // Of a source's transient failure: the pause before request retry + 1
  // (Retry-After when the server sent one), reported; false when the tile is
  // to be given up (the retries are spent) or a stop ended the pause.
  enum class Backoff { Again, GiveUp, Stopped };
  Backoff BackOff(const HttpResult& result, int64_t retry, const std::string& url);

  WorkerEnvironment env_;
  std::string LogText;
  std::unique_ptr<HttpClient> Client;
  std::string BlankImagePath;
  std::atomic<uint64_t> last_{0};
  std::atomic<int64_t> saved_{0};
  std::atomic<int64_t> blank_{0};
  std::atomic<int64_t> givenUp_{0};
  std::atomic<bool> inFlight_{false};
  std::atomic<bool> ended_{false};
  std::atomic<bool> refused_{false};
  std::atomic<bool> capped_{false};
  // Written by the worker's thread before ended_ is set, read after.
  std::map<std::string, int64_t> givenUpReasons_;
  std::string stopMessage_;
  std::string systemFailure_;
  uint64_t jitterState_ = 0;
};

}  // namespace download
