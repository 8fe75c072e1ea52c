#include "gui/BackgroundJob.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>

#include <utility>

namespace gui {

BackgroundJob::~BackgroundJob() {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
}

void BackgroundJob::Start(Job job) {
  if (thread_.joinable()) thread_.join();
  stop_.store(false);
  busy_ = true;
  thread_ = std::thread([this, job = std::move(job)] {
    std::function<void()> completion = job(stop_);
    {
      std::lock_guard lock(mutex_);
      completion_ = std::move(completion);
    }
    QCoreApplication::postEvent(this, new QEvent(QEvent::User));
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
  // completion, which refers to this frame, dropped.
  if (!completed) loop.exec();
  if (!completed) {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    completion_ = nullptr;
    busy_ = false;
  }
  return completed;
}

void BackgroundJob::customEvent(QEvent*) {
  std::function<void()> completion;
  {
    std::lock_guard lock(mutex_);
    completion.swap(completion_);
  }
  if (!completion) return;
  busy_ = false;
  completion();
}

}  // namespace gui
