// Hands work from background threads to the GUI thread: Post() queues a
// function and wakes the GUI thread with an empty event; the event's handler
// runs everything queued, in order, each under qtkit::RunHandler (an error
// that escapes one goes to the error box). The functions pass through this
// object's own mutex, which the thread sanitizer sees, never through Qt's
// event queue, which it cannot.
//
// Threads: Post() from any thread; construct and destroy in the GUI thread,
// after every thread that posts has stopped. What is still queued then is
// dropped.
#pragma once

#include <QObject>

#include <functional>
#include <mutex>
#include <vector>

namespace mapkit {

class GuiInbox final : public QObject {
 public:
  void Post(std::function<void()> action);

 protected:
  void customEvent(QEvent* event) override;

 private:
  std::mutex mutex_;
  std::vector<std::function<void()>> queued_;
  bool wakePosted_ = false;
};

}  // namespace mapkit
