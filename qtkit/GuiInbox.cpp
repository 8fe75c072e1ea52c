#include "qtkit/GuiInbox.h"

#include <QCoreApplication>
#include <QEvent>

#include "qtkit/Dialogs.h"

namespace qtkit {

GuiInbox::GuiInbox() : waker_(*this) {}

void GuiInbox::WakeMainThread() {
  if (wakePosted_.exchange(true)) return;
  // Thread-safe, and never calls back into the queue.
  QCoreApplication::postEvent(&waker_, new QEvent(QEvent::User));
}

void GuiInbox::Invoke(const std::function<void()>& action) { RunHandler(action); }

}  // namespace qtkit
