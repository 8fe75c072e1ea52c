// One job at a time on a thread of its own, for a window that asks the
// network or the disk and must stay responsive meanwhile. The job's
// completion (what it found, captured) runs in the GUI thread afterwards,
// handed over through a GuiInbox.
//
// Threads: Start, RunAndWait and the destructor in the GUI thread; the job
// on its own thread.
// Life cycle: destroying it sets the stop flag the job was given, waits for
// the job's end and drops its completion.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include "qtkit/GuiInbox.h"

namespace qtkit {

class BackgroundJob final {
 public:
  // Runs on the job's thread; returns what is then to run in the GUI thread.
  using Job = std::function<std::function<void()>(const std::atomic<bool>& stop)>;

  BackgroundJob() = default;
  ~BackgroundJob();
  BackgroundJob(const BackgroundJob&) = delete;
  BackgroundJob& operator=(const BackgroundJob&) = delete;

  bool Busy() const { return busy_; }
  // Starts job (after the previous one has ended).
  void Start(Job job);
  // Starts job and returns once its completion has run (true), the events
  // going on meanwhile; false when the program began to end first.
  bool RunAndWait(Job job);

 private:
  void StopAndJoin();

  GuiInbox inbox_;  // before the thread: outlives it
  std::thread thread_;
  std::atomic<bool> stop_{false};
  bool busy_ = false;
  int started_ = 0;  // jobs started; a completion of an abandoned one is not run
};

}  // namespace qtkit
