// The program's application object: its general error handler shows every
// error that escapes an event handler in the error box and lets the message
// loop go on. Main thread only.
#pragma once

#include <QApplication>

#include <exception>

namespace gui {

class OrvennaApplication : public QApplication {
  Q_OBJECT

 public:
  OrvennaApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  // Shows the error box for an error that no handler caught.
  static void HandleException(const std::exception& error);
  static void HandleUnknownException();
};

// Runs an event handler where Qt's signal machinery calls into our code: an
// error that escapes the handler goes to the general error box right here,
// instead of unwinding through Qt, which does not support exceptions.
template <typename Handler>
void RunHandler(Handler&& handler) noexcept {
  try {
    handler();
  } catch (const std::exception& error) {
    OrvennaApplication::HandleException(error);
  } catch (...) {
    OrvennaApplication::HandleUnknownException();
  }
}

// A slot that runs a window's handler through RunHandler.
template <typename Window>
auto Slot(Window* window, void (Window::*handler)()) {
  return [window, handler] { RunHandler([&] { (window->*handler)(); }); };
}

}  // namespace gui
