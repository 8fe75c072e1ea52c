// main() of the GUI test programs: a QApplication on the offscreen platform
// whose notify() routes a file error escaping a handler to the error box, as
// the program's own application does.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/MessageDialog.h"
#include "platform/Files.h"

namespace {

class GuiTestApplication : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const platform::FileError& error) {
      app::ShowErrorMessage(app::FromLocal(error.what()));
      return false;
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  GuiTestApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
