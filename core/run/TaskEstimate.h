// What a task will cost before it runs: its tiles, the disk its files take
// and the time its workers need at the source's pace. One function for the
// command line's dry run and the area window's live figures, so both say the
// same. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>

#include "core/task/RunSettings.h"
#include "core/task/Unitclasstask.h"

namespace run {

// What a tile of the built-in service takes on disk, about.
inline constexpr double kTypicalTileBytes = 20 * 1024;

struct TaskEstimate {
  task::TileRange Range;
  // The task's tiles: Range's, or those of it that its shape touches.
  int64_t Tiles = 0;
  // Its shape leaves some tiles of Range out.
  bool Shaped = false;
  int32_t Zoom = 0;
  bool Continued = false;
  // Tiles the run fetches: all of them, or those after the saved positions.
  int64_t TilesLeft = 0;
  // The workers and the pause after a tile that the run would have (a tile
  // source may allow fewer workers and ask for another pause).
  int32_t Workers = 0;
  int32_t AfterTileMs = 0;
  // The least time at that pause; without a pause, nothing to go by (kUnpacedTime).
  double Seconds = 0;
  bool Paced() const { return AfterTileMs > 0; }
  double TileBytes = 0;
  double ListBytes = 0;  // the extent list (none when continued)
  double LogBytes = 0;
  double DiskBytes() const { return TileBytes + ListBytes + LogBytes; }
};

// What an estimate cannot tell: the time of a source that asks for no pause
// after a tile, whose server and network set the pace.
inline constexpr const char* kUnpacedTime =
    "not known before a run: the source asks for no pause after a tile, so the server and the network set the pace";

// The estimate of task as a run of it with run's settings would go (their
// thread count and continuation, the task's resume positions and source).
TaskEstimate EstimateTask(const task::MDTask& task, const task::RunSettings& run);

// "846.1 KiB", "4.6 MiB", "3876.5 GiB": one decimal, the largest unit below
// the number.
std::string ByteSizeText(double bytes);

}  // namespace run
