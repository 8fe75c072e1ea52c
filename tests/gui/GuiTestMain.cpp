// main() of the main window's GUI tests: the program's own application
// object, so its general error handler is the one under test.
#include <gtest/gtest.h>

#include "qtkit/Application.h"
#include "core/download/HttpClient.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qtkit::Application application(argc, argv);
  download::HttpClient::GlobalInit();
  return RUN_ALL_TESTS();
}
