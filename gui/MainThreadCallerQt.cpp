#include "gui/MainThreadCallerQt.h"

#include <QMetaObject>
#include <QObject>

#include <utility>

namespace gui {

void MainThreadCallerQt::Announce(std::function<void()> serve) {
  // Posting an event never calls back into the queue.
  QMetaObject::invokeMethod(context_, std::move(serve), Qt::QueuedConnection);
}

}  // namespace gui
