#include "qtkit/BackgroundJob.h"

#include <QEventLoop>

#include <utility>

namespace qtkit {

BackgroundJob::~BackgroundJob() { StopAndJoin(); }

void BackgroundJob::StopAndJoin() {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
}

void BackgroundJob::Start(Job job) {
  if (thread_.joinable()) thread_.join();
  stop_.store(false);
  busy_ = true;
  const int number = ++started_;
  thread_ = std::thread([this, number, job = std::move(job)] {
    std::function<void()> completion = job(stop_);
    inbox_.Post([this, number, completion = std::move(completion)] {
      if (number != started_ || !busy_) return;
      busy_ = false;
      if (completion) completion();
    });
  });
}

bool BackgroundJob::RunAndWait(Job job) {
  QEventLoop loop;
  bool completed = false;
  Start([job = std::move(job), &loop, &completed](const std::atomic<bool>& stop) {
    return [completion = job(stop), &loop, &completed] {
      completion();
      completed = true;
      loop.quit();
    };
  });
  // Also left when the application quits: the job is then stopped and its
  // completion, which refers to this frame, never runs.
  if (!completed) loop.exec();
  if (!completed) {
    StopAndJoin();
    busy_ = false;
  }
  return completed;
}

}  // namespace qtkit
