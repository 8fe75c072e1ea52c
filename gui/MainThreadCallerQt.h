// The workers' main-thread call over Qt's event loop: every queued action
// also posts an event to the context object, whose handler (in the main
// thread) runs it. The queue itself is the core's, so the main thread can
// serve it without the event loop and close it at shutdown (see
// MainThreadQueue).
//
// Threads: as MainThreadQueue. The context object must outlive the caller or
// its Close() call, whichever comes first.
#pragma once

#include <functional>

#include "core/platform/MainThreadQueue.h"

class QObject;

namespace gui {

class MainThreadCallerQt final : public platform::MainThreadQueue {
 public:
  explicit MainThreadCallerQt(QObject* context) : context_(context) {}

 protected:
  void Announce(std::function<void()> serve) override;

 private:
  QObject* context_;
};

}  // namespace gui
