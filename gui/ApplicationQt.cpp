#include "gui/ApplicationQt.h"

#include "gui/MessageDialog.h"

namespace gui {

OrvennaApplication::OrvennaApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(kApplicationTitle);
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
  ShowErrorMessage(FromLocal(error.what()));
}

void OrvennaApplication::HandleUnknownException() { ShowErrorMessage(QStringLiteral("Unknown error")); }

}  // namespace gui
