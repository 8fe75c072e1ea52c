#include "mapkit/GuiInbox.h"

#include <QCoreApplication>
#include <QEvent>

#include "qtkit/Dialogs.h"

namespace mapkit {

void GuiInbox::Post(std::function<void()> action) {
  std::lock_guard lock(mutex_);
  queued_.push_back(std::move(action));
  // One wake-up serves everything queued until it is handled.
  if (!wakePosted_) {
    wakePosted_ = true;
    QCoreApplication::postEvent(this, new QEvent(QEvent::User));
  }
}

void GuiInbox::customEvent(QEvent*) {
  std::vector<std::function<void()>> actions;
  {
    std::lock_guard lock(mutex_);
    actions.swap(queued_);
    wakePosted_ = false;
  }
  for (const auto& action : actions) qtkit::RunHandler(action);
}

}  // namespace mapkit
