// What a task needs next and why a run ended: the walk's end read from the
// saved positions, the positions that mark it done, the next step, the
// reason, and the numbers of the replace question.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/run/NewTask.h"
#include "core/run/OpenedTask.h"
#include "core/run/RunController.h"
#include "core/run/RunEnd.h"
#include "core/run/TaskInTheWay.h"
#include "core/task/TaskFile.h"
#include "tests/support/TempDir.h"
#include "tests/support/WorkerHarness.h"

namespace run {
namespace {

TEST(RunEnd, EndPositionsAreEachSlotsLastTileAndMakeTheWalkEnded) {
  testsupport::TempDir save;
  testsupport::TempDir program;
  // 3 columns x 4 rows, 8 workers (as a run of a built-in type has): slot 0
  // takes 8, slot 1 takes 1 and 9, ..., slot 4 takes 4 and 12, slot 5 takes 5.
  task::TaskParameters record = testsupport::BlockParameters(save.Path(), {6742, 3101, 3, 4, 13}, "t.otsk");
  ASSERT_EQ(WriteTaskFiles(record, testsupport::BlockRun(8), program.Path()), 12);
  const task::TileRange range{6742, 3101, 6744, 3104};
  const std::vector<task::SlotPosition> end = EndPositions(range, 8);
  ASSERT_EQ(end.size(), 8u);
  const int64_t lastOf[] = {8, 9, 10, 11, 12, 5, 6, 7};
  for (int32_t slot = 0; slot < 8; ++slot) {
    EXPECT_EQ(end[static_cast<std::size_t>(slot)].Slot, slot);
    EXPECT_EQ(end[static_cast<std::size_t>(slot)].Last, range.AtWalkNumber(lastOf[slot])) << slot;
  }
  const auto walkEnded = [&] { return WalkEnded(OpenedTask::Open(save.Path() + "t.otsk")->Task, 8); };
  EXPECT_FALSE(walkEnded()) << "a fresh task";
  task::TaskFile(save.Path() + "t.otsk").WritePositions({end.begin(), end.end() - 1});
  EXPECT_FALSE(walkEnded()) << "slot 7 is short of its end";
  task::TaskFile(save.Path() + "t.otsk").WritePositions({end[7], {4, range.AtWalkNumber(4)}});
  EXPECT_FALSE(walkEnded()) << "slot 4 has its 12th tile to go";
  task::TaskFile(save.Path() + "t.otsk").WritePositions(end);
  EXPECT_TRUE(walkEnded());
}

TEST(RunEnd, NextStepReasonAndGroupedCounts) {
  struct Step {
    bool WalkEnded;
    int64_t Holes;
    NextStep Expected;
  } const steps[] = {{false, 5, NextStep::Continue}, {false, 0, NextStep::Nothing}, {true, 2, NextStep::Fill},
                     {true, 0, NextStep::Nothing}};
  for (const Step& s : steps) EXPECT_EQ(NextStepOf(s.WalkEnded, s.Holes), s.Expected) << s.WalkEnded << s.Holes;

  RunCounters capped;
  capped.CappedWorkers = 2;
  struct Reason {
    bool Stopped;
    RunCounters Counters;
    std::vector<std::string> Messages;
    std::string Expected;
  } const reasons[] = {
      {false, {}, {}, "the workers are done"},
      {true, {}, {}, "stopped by the user"},
      {true, capped, {}, "stopped at the cap of 40 tiles a run may fetch"},
      {true, capped, {"Error: may be your IP is banned.\nPlease try again later. (HTTP 403)"},
       "may be your IP is banned. Please try again later. (HTTP 403)"},
      {false, {}, {"Cannot create file /m/t/a.jpg: No space left on device."},
       "Cannot create file /m/t/a.jpg: No space left on device"},
  };
  for (const Reason& r : reasons) EXPECT_EQ(RunEndReason(r.Stopped, r.Counters, r.Messages, 40), r.Expected);

  const std::pair<int64_t, const char*> counts[] = {{0, "0"},         {612, "612"},         {7104, "7,104"},
                                                    {100000, "100,000"}, {1234567, "1,234,567"}, {-4500, "-4,500"}};
  for (const auto& [value, text] : counts) EXPECT_EQ(GroupedCount(value), text);
}

}  // namespace
}  // namespace run
