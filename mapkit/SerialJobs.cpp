#include "mapkit/SerialJobs.h"

#include <exception>

namespace mapkit {

SerialJobs::SerialJobs(qtkit::GuiInbox& inbox) : inbox_(inbox), thread_([this] { Serve(); }) {}

SerialJobs::~SerialJobs() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void SerialJobs::Run(Job job) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  changed_.notify_all();
}

void SerialJobs::Serve() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    std::function<void()> then;
    try {
      then = job();
    } catch (...) {
      // Thrown again in the GUI thread, where the inbox's handler guard shows it.
      then = [error = std::current_exception()] { std::rethrow_exception(error); };
    }
    // Whatever the job held goes here, off the GUI thread.
    job = nullptr;
    if (then) inbox_.Post(std::move(then));
  }
}

}  // namespace mapkit
