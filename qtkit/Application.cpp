#include "qtkit/Application.h"

namespace qtkit {

Application::Application(int& argc, char** argv, const QString& name) : QApplication(argc, argv) {
  setApplicationName(name);
}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    HandleException(error);
  } catch (...) {
    HandleUnknownException();
  }
  return false;
}

void Application::HandleException(const std::exception& error) { ShowFailure(error); }

void Application::HandleUnknownException() { ShowErrorMessage(QStringLiteral("Unknown error")); }

}  // namespace qtkit
