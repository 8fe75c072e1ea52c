// What a download worker needs from a main window, for tests and benchmarks:
// a main thread that runs the workers' actions one at a time, a window that
// records every line and finish call, and tasks over a chosen block of tiles.
//
// Threads: the caller and the sink may be used from any number of workers and
// read from the test's thread at the same time.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/download/Unit3.h"
#include "core/platform/Thread.h"
#include "core/task/Unitclasstask.h"

namespace testsupport {

// Plays the main thread: every action runs under one mutex, so actions of
// different workers never overlap, as on a real main thread.
class SerialCaller final : public platform::MainThreadCaller {
 public:
  void Synchronize(const std::function<void()>& action) override;
  // Keeps the main thread busy (as a modal run does) while the lock is held;
  // workers wait at their next call.
  std::unique_lock<std::mutex> Hold();
  // True while the calling thread runs an action given to Synchronize.
  static bool InMainThread();

 private:
  std::mutex mutex_;
};

struct SinkEvent {
  enum class Kind { Log, Failed, Finished };
  Kind What;
  std::string Text;  // empty for Finished
  std::chrono::steady_clock::time_point Time;
};

// The window side of a download: records what the workers hand over.
class RecordingSink final : public download::DownloadSink {
 public:
  void AddLogLine(const std::string& line) override;
  void AddFailedLine(const std::string& line) override;
  void NotifyFinished() override;

  std::vector<SinkEvent> Events() const;
  std::vector<std::string> LogLines() const;
  std::vector<std::string> FailedLines() const;
  int FinishedCount() const;
  // Calls that did not arrive through SerialCaller (a worker touching the
  // window from its own thread).
  int CallsOutsideMainThread() const;
  // Log lines of thread number n: those that begin "T<n>:" or "T<n> ".
  std::vector<std::string> LinesOf(int threadNumber) const;
  // Waits (bounded) until NotifyFinished has come count times.
  bool WaitForFinished(int count, std::chrono::milliseconds deadline = std::chrono::seconds(20)) const;

 private:
  void Add(SinkEvent::Kind kind, const std::string& text);
  mutable std::mutex mutex_;
  std::vector<SinkEvent> events_;
  int outside_ = 0;
};

// Every pause of the program scaled to unitMs per real second.
download::Pacing ScaledPacing(int unitMs);

// Columns X0 .. X0 + Columns - 1 and rows Y0 .. Y0 + Rows - 1 at Zoom.
struct TileBlock {
  int32_t X0 = 6742;
  int32_t Y0 = 3101;
  int32_t Columns = 1;
  int32_t Rows = 1;
  int32_t Zoom = 13;
};

// Parameters of a fresh task whose rectangle covers exactly the block (each
// edge lies inside a border tile, so no rounding can widen it).
task::TaskParameters BlockParameters(const std::string& savePath, const TileBlock& block,
                                     const std::string& taskName = "t.otsk");
// A fresh run of threadCount workers, as many position slots.
task::RunSettings BlockRun(int32_t threadCount);

// The path and query of an absolute http URL ("/maps/..."), as a server sees it.
std::string UrlPath(const std::string& url);

// A program folder holding blankimg/blank.<extension> with these bytes.
void MakeBlankImage(const std::string& programFolder, const std::string& bytes,
                    const std::string& extension = "jpg");

// Starts count workers in slot order, as the main window does.
std::vector<std::unique_ptr<download::TDownThread>> StartWorkers(
    int32_t count, const task::MDTask& task, const download::WorkerEnvironment& environment);

}  // namespace testsupport
