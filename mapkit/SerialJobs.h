// File work of the viewer (opening a task, saving a list, the recent-files
// list) on a thread of its own, one job after the other in the order given,
// so the GUI thread never waits for the disk. A job returns what is to run
// afterwards in the GUI thread (or nothing); an error that escapes a job is
// shown in the error box.
//
// Threads: Run() from the GUI thread. Destruction finishes the queued jobs
// (a list being saved is written whole) and joins; what they hand back to the
// GUI thread then is dropped with the inbox.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "qtkit/GuiInbox.h"

namespace mapkit {

class SerialJobs {
 public:
  using Job = std::function<std::function<void()>()>;

  // inbox must outlive this object.
  explicit SerialJobs(qtkit::GuiInbox& inbox);
  ~SerialJobs();
  SerialJobs(const SerialJobs&) = delete;
  SerialJobs& operator=(const SerialJobs&) = delete;

  void Run(Job job);

 private:
  void Serve();

  qtkit::GuiInbox& inbox_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> jobs_;
  bool stopping_ = false;
  std::thread thread_;  // last: starts once the rest exists
};

}  // namespace mapkit
