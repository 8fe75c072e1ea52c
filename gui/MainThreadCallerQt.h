// The workers' main-thread call over Qt's event loop: every queued action
// posts a wake-up event to an object of the main thread, whose handler serves
// the queue. The queue itself is the core's, so the main thread can also
// serve it without the event loop and close it at shutdown (see
// MainThreadQueue).
//
// The wake-up carries no data and its handler reads nothing of it: every
// hand-over between the threads goes through the queue's own mutex, which
// the thread sanitizer sees, not through Qt's event queue, which it cannot.
//
// Threads: as MainThreadQueue; construct it in the main thread.
#pragma once

#include <QObject>

#include "core/platform/MainThreadQueue.h"

namespace gui {

class MainThreadCallerQt final : public platform::MainThreadQueue {
 public:
  MainThreadCallerQt();
  // Closes the queue first: no worker wakes a waker that is going away.
  ~MainThreadCallerQt() override { Close(); }

 protected:
  void WakeMainThread() override;

 private:
  // Lives in the main thread; its pending wake-ups go with it.
  class Waker final : public QObject {
   public:
    explicit Waker(MainThreadCallerQt& queue) : queue_(queue) {}

   protected:
    void customEvent(QEvent*) override { queue_.RunPending(); }

   private:
    MainThreadCallerQt& queue_;
  };

  Waker waker_;
};

}  // namespace gui
