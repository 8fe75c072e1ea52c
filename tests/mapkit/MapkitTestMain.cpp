// main() of the map tests: one application object under the offscreen
// platform, and libcurl set up before any map's loader makes a client.
#include <gtest/gtest.h>

#include <QApplication>

#include "core/download/HttpClient.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  download::HttpClient::GlobalInit();
  return RUN_ALL_TESTS();
}
