// main() of the viewer's tests: one application object under the offscreen
// platform for every window the tests build, and libcurl set up.
#include <gtest/gtest.h>

#include <QApplication>

#include "core/download/HttpClient.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  // Before the area window's map makes a client.
  download::HttpClient::GlobalInit();
  return RUN_ALL_TESTS();
}
