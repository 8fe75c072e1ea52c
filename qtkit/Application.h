// The application object of every window program: an error that escapes an
// event handler (or anything else the event loop runs) is shown in the error
// box and the event loop goes on. Main thread only.
#pragma once

#include <QApplication>

#include <exception>

#include "qtkit/Dialogs.h"

namespace qtkit {

class Application : public QApplication {
 public:
  // name: the application's name (settings and caches are kept under it).
  Application(int& argc, char** argv, const QString& name = QString::fromLatin1(kApplicationTitle));

  bool notify(QObject* receiver, QEvent* event) override;

  // Shows the error box for an error that no handler caught.
  static void HandleException(const std::exception& error);
  static void HandleUnknownException();
};

}  // namespace qtkit
