// One job at a time on a thread of its own, for a window that asks the
// network and must stay responsive meanwhile. The job's completion (what it
// found, captured) runs in the main thread afterwards.
//
// Threads: Start, RunAndWait and the destructor in the main thread; the job
// on its own thread. The completion crosses over under a mutex the thread
// sanitizer sees; the posted wake-up carries nothing.
// Life cycle: destroying it sets the stop flag the job was given, waits for
// the job's end and drops its completion.
#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace gui {

class BackgroundJob final : public QObject {
 public:
  // Runs on the job's thread; returns what is then to run in the main thread.
  using Job = std::function<std::function<void()>(const std::atomic<bool>& stop)>;

  BackgroundJob() = default;
  ~BackgroundJob() override;

  bool Busy() const { return busy_; }
  // Starts job (after the previous one has ended).
  void Start(Job job);
  // Starts job and returns once its completion has run (true), the events
  // going on meanwhile; false when the program began to end first.
  bool RunAndWait(Job job);

 protected:
  void customEvent(QEvent* event) override;

 private:
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::function<void()> completion_;  // under mutex_
  bool busy_ = false;
};

}  // namespace gui
