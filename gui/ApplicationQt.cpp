#include "gui/ApplicationQt.h"

#include "qtkit/Dialogs.h"

namespace gui {

OrvennaApplication::OrvennaApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(qtkit::kApplicationTitle);
}

bool OrvennaApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    HandleException(error);
  } catch (...) {
    HandleUnknownException();
  }
  return false;
}

void OrvennaApplication::HandleException(const std::exception& error) {
  qtkit::ShowErrorMessage(qtkit::FromLocal(error.what()));
}

void OrvennaApplication::HandleUnknownException() { qtkit::ShowErrorMessage(QStringLiteral("Unknown error")); }

}  // namespace gui
