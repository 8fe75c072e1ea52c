#include "gui/MainThreadCallerQt.h"

#include <QCoreApplication>
#include <QEvent>

namespace gui {

MainThreadCallerQt::MainThreadCallerQt() : waker_(*this) {}

void MainThreadCallerQt::WakeMainThread() {
  // Thread-safe, and never calls back into the queue.
  QCoreApplication::postEvent(&waker_, new QEvent(QEvent::User));
}

}  // namespace gui
