// The files a task writes beside its tiles and the lines they hold: the task
// file, the image extent list, the log header and the failed-tile list, whose
// records the failed-list run and the census read back. Start calls the four
// preparation steps in this order with the run's settings (the workers, the
// proxy the log names; a fresh task of eight workers when none are given);
// each looks at the settings' ContinueTask itself and throws
// platform::FileError. Main thread.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/task/RunSettings.h"
#include "core/task/TileRange.h"
#include "core/task/Unitclasstask.h"

namespace task {

void WriteTaskFile(const MDTask& task, const RunSettings& run = {});
void WriteExtentList(const MDTask& task, const RunSettings& run = {});
void WriteLogHeader(const MDTask& task, const RunSettings& run = {});
void CreateFailedList(const MDTask& task, const RunSettings& run = {});

// The lines WriteTaskFile writes for a fresh task.
std::vector<std::string> TaskFileLines(const MDTask& task, const RunSettings& run = {});
// The lines WriteLogHeader writes for a fresh task (the time taken now).
std::vector<std::string> LogHeaderLines(const MDTask& task, const RunSettings& run = {});
// One extent-list line of tile (x, y), without line end.
std::string ExtentLine(const MDTask& task, int32_t x, int32_t y);

inline constexpr const char* kExtentListHeader =
    "ImageFileName    Left_Edge_Longitude    Right_Edge_Longitude   Top_Edge_Latitude      "
    "Bottom_Edge_Latitude";

// Record of the failed-tile list: TileFilePath + "|" + TileURL.
std::string FailedRecord(const MDTask& task, int32_t x, int32_t y);
// A record cut at its first "|": the target path and the URL (a line without
// "|" is all URL).
std::pair<std::string, std::string> SplitFailedRecord(const std::string& record);
// The tiles the task's failed-tile list names, in its order (duplicates
// kept); records that name no tile of the task are passed over, and a
// missing list names none. Throws platform::FileError when it cannot be read.
std::vector<TilePosition> GivenUpTiles(const MDTask& task);

}  // namespace task
