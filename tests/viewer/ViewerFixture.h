// A viewer window over a synthetic task: a program folder with its own blank
// image, a task of a chosen block of tiles, tiles made here as JPEG bytes,
// and every message box and file dialog answered by the test.
#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/task/Unitclasstask.h"
#include "tests/support/TempDir.h"
#include "tests/support/WorkerHarness.h"
#include "viewer/ViewerWindow.h"

namespace viewertest {

// A JPEG (or another format) of one colour, size x size pixels.
std::string ImageBytes(QColor color, int size = 256, const char* format = "JPG");

struct Box {
  QString Text;
  bool IsError;
};

class ViewerTest : public ::testing::Test {
 protected:
  ViewerTest();
  ~ViewerTest() override;

  // Options of the window OpenWindow builds (tests may change them first).
  viewer::ViewerOptions options;
  void OpenWindow();

  // Writes the task file of block into its own save folder; the task stays
  // available for its file names.
  const task::MDTask& MakeTask(const testsupport::TileBlock& block, const std::string& name = "t.otsk");
  void WriteTile(int32_t x, int32_t y, const std::string& bytes) const;
  void WriteFailedList(const std::vector<task::TilePosition>& tiles) const;

  // Opens the task as the command line does; true once it is on view.
  bool Open(const std::string& path);
  bool OpenMade() { return Open(task_->TaskFileName()); }
  // True once every tile's state is known and shown.
  bool WaitUntilAllKnown();
  viewer::TileState StateOf(int32_t x, int32_t y) const;
  // The count a status-bar entry shows.
  QString CountText(viewer::TileState state) const;

  testsupport::TempDir program;
  testsupport::TempDir save;
  std::string blank;
  std::unique_ptr<viewer::ViewerWindow> window;
  std::vector<Box> boxes;
  std::optional<QString> openAnswer;
  std::optional<QString> saveAnswer;

 private:
  task::TaskParameters parameters_;
  std::unique_ptr<task::MDTask> task_;
};

}  // namespace viewertest
