#include "core/run/TaskInTheWay.h"

#include <exception>
#include <optional>

#include "core/platform/Files.h"
#include "core/platform/Locale.h"
#include "core/platform/Numbers.h"
#include "core/run/OpenedTask.h"
#include "core/run/TaskControls.h"
#include "core/task/TaskFile.h"
#include "core/task/TileCensus.h"

namespace run {

namespace {

bool SameNumber(const std::string& stored, double typed) {
  const std::optional<double> value = ParseCoordinate(stored);
  return value && *value == typed;
}

// The stored task is record's in every number and choice, whatever texts
// were typed for the coordinates.
bool SameTask(const task::StoredTask& stored, const task::TaskParameters& record) {
  return stored.MapsType == record.MapsType && SameNumber(stored.LeftLongitude, record.LeftLongitude) &&
         SameNumber(stored.RightLongitude, record.RightLongitude) &&
         SameNumber(stored.TopLatitude, record.TopLatitude) &&
         SameNumber(stored.BottomLatitude, record.BottomLatitude) && stored.Zoom == record.Zoom &&
         stored.HistoryDate == record.HistoryDate && stored.Nearmap == record.Nearmap &&
         (record.Nearmap || stored.Source == record.Source);
}

}  // namespace

std::string GroupedCount(int64_t value) {
  std::string digits = platform::FormatInteger(value < 0 ? -value : value);
  for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3) {
    digits.insert(static_cast<std::size_t>(at), ",");
  }
  return value < 0 ? "-" + digits : digits;
}

namespace {

enum class Match { Another, SameWithFiles, SameWithoutFiles };

Match MatchOf(const task::TaskParameters& record, const std::string& file) {
  try {
    if (!SameTask(task::TaskFile(file).Read(100), record)) return Match::Another;
    // A task whose first Start failed before its log and list were written
    // has nothing to continue: it starts anew, and nothing is lost.
    const task::MDTask task(record);
    return platform::FileExists(task.LogFileName) && platform::FileExists(task.FailedListFileName)
               ? Match::SameWithFiles
               : Match::SameWithoutFiles;
  } catch (const std::exception&) {
    return Match::Another;  // a file that cannot be read is no task to continue
  }
}

}  // namespace

bool SameTaskInOtherTexts(const task::TaskParameters& record, const task::RunSettings& run) {
  const std::string file = task::TaskFileOf(record);
  if (run.ContinueTask || !platform::FileExists(file)) return false;
  return MatchOf(record, file) == Match::SameWithFiles;
}

TaskInTheWay TaskInTheWayOf(const task::TaskParameters& record, const task::RunSettings& run,
                            const std::string& programFolder) {
  const std::string file = task::TaskFileOf(record);
  if (run.ContinueTask || !platform::FileExists(file)) return {};
  switch (MatchOf(record, file)) {
    case Match::SameWithFiles: return {TaskInTheWay::Kind::SameTask, {}};
    case Match::SameWithoutFiles: return {};
    case Match::Another: break;
  }
  std::string facts;
  try {
    const std::unique_ptr<OpenedTask> opened = OpenedTask::Open(file);
    const task::CensusCounts counts = task::TileCensus(opened->Task, programFolder).Walk();
    facts = ": " + GroupedCount(counts[task::TileState::Saved]) + " of " + GroupedCount(counts.Total()) +
            " tiles saved";
  } catch (const std::exception&) {
    // Another task all the same; what it holds cannot be told.
  }
  const std::string written = platform::FileWrittenText(file);
  if (!written.empty()) facts += (facts.empty() ? ": " : ", ") + std::string("last run ") + written;
  return {TaskInTheWay::Kind::Another,
          platform::ExtractFileName(file) + " in this folder holds another task" + facts + ". Replace it?"};
}

}  // namespace run
