// A task opened from its file for looking at its tiles.
#include "core/task/TaskFiles.h"
#include "core/run/OpenedTask.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/platform/Files.h"
#include "tests/support/TempDir.h"
#include "tests/support/WorkerHarness.h"

namespace run {
namespace {

TEST(OpenedTask, AWrittenTaskOpensAsItWasAndNothingIsCreated) {
  testsupport::TempDir save;
  task::TaskParameters p = testsupport::BlockParameters(save.Path(), {6742, 3101, 6, 7, 13});
  p.MapsType = task::kMapStreet;
  const task::MDTask written(p);
  task::WriteTaskFile(written);
  std::filesystem::remove(written.ImageFolder);
  testsupport::WriteFileBytes(written.TaskFileName(),
                              testsupport::ReadFileBytes(written.TaskFileName()) + "[THREADS]\r\nT2X=6742\r\nT2Y=3101\r\n");

  const auto opened = OpenedTask::Open(written.TaskFileName());
  EXPECT_EQ(opened->Task.Range().Count(), 42);
  EXPECT_EQ(opened->Task.MinX, 6742);
  EXPECT_EQ(opened->Task.MaxY, 3107);
  EXPECT_EQ(opened->Task.TileFilePath(6742, 3101), written.TileFilePath(6742, 3101));
  EXPECT_EQ(opened->Task.LogFileName, written.LogFileName);
  EXPECT_EQ(opened->Parameters.MapsType, task::kMapStreet);
  EXPECT_FALSE(std::filesystem::exists(written.ImageFolder)) << "opening creates nothing";

  // A name without a folder is in the current one.
  const auto here = std::filesystem::current_path();
  std::filesystem::current_path(save.Path());
  EXPECT_EQ(OpenedTask::Open("t.otsk")->Task.LogFileName, written.LogFileName);
  std::filesystem::current_path(here);

  const TaskControls controls = ControlsFromTaskFile(written.TaskFileName());
  EXPECT_EQ(controls.TaskName, "t.otsk");
  EXPECT_EQ(controls.SavePath, save.Path());
  EXPECT_EQ(controls.MapsTypePosition, 1);
  EXPECT_EQ(controls.Zoom, "13");

  // The window's date field keeps its first 8 characters, so does the copy.
  testsupport::WriteFileBytes(written.TaskFileName(), "[MapsType]\r\nHistoryDate=2009010523\r\n");
  EXPECT_EQ(ControlsFromTaskFile(written.TaskFileName()).HistoryDate, "20090105");
}

TEST(OpenedTask, SomeOtherFileIsNoTaskFileAndADamagedTaskIsRefusedWithStartsWords) {
  testsupport::TempDir dir;
  const std::string notATask = dir.File("t.otsk") + " is not a task file: ";
  const struct {
    std::string bytes;
    std::string message;
  } cases[] = {
      {"", notATask + "it is empty"},
      {"[Settings]\r\nLeftLongitude=1\r\n", notATask + "it has no [AREA] section with the task's longitudes and latitudes"},
      {std::string("\xFF\xD8\xFF\xE0\0[AREA]", 11), notATask + "it has no [AREA] section with the task's longitudes and latitudes"},
      {std::string((1 << 20) + 1, ' '), notATask + "it is larger than 1 MB"},
      // A task file, damaged: its own fault is named.
      {"[area]\r\nLeftLongitude=x\r\n", "Longitude or latitude input error!"},
      {"[AREA]\r\nLeftLongitude=1\r\nRightLongitude=2\r\nTopLatitude=3\r\nBottomLatitude=2\r\n[MapsType]\r\nMapsType=11\r\n",
       "Zoom level should be between 1 and 21."},
      {"[AREA]\r\nLeftLongitude=1\r\nRightLongitude=2\r\nTopLatitude=3\r\nBottomLatitude=2\r\n[Zoom]\r\nZoom=5\r\n"
       "[MapsType]\r\nMapsType=99\r\n",
       "Unknown map type in the task file " + dir.File("t.otsk")},
  };
  for (const auto& c : cases) {
    testsupport::WriteFileBytes(dir.File("t.otsk"), c.bytes);
    try {
      OpenedTask::Open(dir.File("t.otsk"));
      ADD_FAILURE() << c.message;
    } catch (const OpenTaskError& error) {
      EXPECT_EQ(error.what(), c.message);
    }
  }
  EXPECT_THROW(OpenedTask::Open(dir.File("missing.otsk")), OpenTaskError);
  std::filesystem::create_directory(dir.File("folder.otsk"));
  EXPECT_THROW(OpenedTask::Open(dir.File("folder.otsk")), OpenTaskError);
}

}  // namespace
}  // namespace run
