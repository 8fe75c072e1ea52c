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

}  // namespace gui
