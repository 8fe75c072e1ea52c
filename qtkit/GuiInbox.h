// Hands work from other threads to the GUI thread, over Qt's event loop: the
// core's main-thread queue (Post, and Synchronize for a worker that waits)
// whose every queued action posts a wake-up event to an object of the GUI
// thread, whose handler serves the queue. The one hand-over of the window
// programs: the download's workers, the map's decoders and file jobs, a
// window's job off its thread.
//
// One wake-up serves everything queued until it is handled, so a burst of
// posts (a screen of decoded tiles) costs one event, not one each.
// The wake-up carries no data and its handler reads nothing of it: every
// hand-over between the threads goes through the queue's own mutex, which
// the thread sanitizer sees, not through Qt's event queue, which it cannot.
// Every action runs under RunHandler: an error that escapes it goes to the
// error box, and the actions queued after it still run.
//
// Threads: as platform::MainThreadQueue; construct and destroy it in the GUI
// thread. Destroying it drops what is still queued (Close() first to run it).
#pragma once

#include <QObject>

#include <atomic>

#include "core/platform/MainThreadQueue.h"

namespace qtkit {

class GuiInbox final : public platform::MainThreadQueue {
 public:
  GuiInbox();
  ~GuiInbox() override { Discard(); }

 protected:
  void WakeMainThread() override;
  void Invoke(const std::function<void()>& action) override;

 private:
  // Lives in the GUI thread; its pending wake-ups go with it.
  class Waker final : public QObject {
   public:
    explicit Waker(GuiInbox& inbox) : inbox_(inbox) {}

   protected:
    void customEvent(QEvent*) override {
      // Cleared first: whatever is queued from here on posts a wake-up of its own.
      inbox_.wakePosted_.store(false);
      inbox_.RunPending();
    }

   private:
    GuiInbox& inbox_;
  };

  std::atomic<bool> wakePosted_{false};
  Waker waker_;
};

}  // namespace qtkit
