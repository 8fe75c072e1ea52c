#include "qtkit/GuiInbox.h"

#include <QCoreApplication>
#include <QEvent>

namespace qtkit {

GuiInbox::GuiInbox() : waker_(*this) {}

void GuiInbox::WakeMainThread() {
  // Thread-safe, and never calls back into the queue.
  QCoreApplication::postEvent(&waker_, new QEvent(QEvent::User));
}

}  // namespace qtkit
