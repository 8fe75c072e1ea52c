#include "core/run/TaskEstimate.h"

#include <algorithm>

#include "core/download/Unit3.h"
#include "core/platform/Numbers.h"

namespace run {

namespace {

// A log line per tile, about.
constexpr double kLogBytesPerTile = 40;
// Extent-list lines: the file name, 85 characters of edges, CR LF; and the header.
constexpr double kExtentLineBytes = 87;
constexpr double kExtentHeaderBytes = 108;

}  // namespace

TaskEstimate EstimateTask(const task::MDTask& task, const task::RunSettings& run) {
  TaskEstimate estimate;
  estimate.Range = task.Range();
  estimate.Tiles = task.TotalImages;
  // A shape that leaves no tile of its box out changes nothing worth saying.
  estimate.Shaped = task.ShapeTiles != nullptr && task.TotalImages < estimate.Range.Count();
  estimate.Zoom = task.Zoom();
  estimate.Continued = run.ContinueTask;
  const task::TileRange& range = estimate.Range;
  estimate.Workers = static_cast<int32_t>(std::min<int64_t>(task.TotalImages, run.ThreadCount));
  const download::Pacing pace;
  estimate.AfterTileMs = task.Source() ? task.Source()->PauseMs : pace.AfterSavedMs;
  for (int32_t slot = 0; slot < estimate.Workers; ++slot) {
    const int64_t share = task.ShareOf(slot, estimate.Workers, range.ResumePoint(task.Resume(slot)));
    estimate.TilesLeft += share;
    estimate.Seconds =
        std::max(estimate.Seconds, (slot * pace.StartStaggerMs + share * estimate.AfterTileMs) / 1000.0);
  }
  estimate.ListBytes = run.ContinueTask ? 0
                                      : kExtentHeaderBytes + static_cast<double>(task.TotalImages) *
                                                                 (task.TileFileName(range.MaxX, range.MaxY).size() +
                                                                  kExtentLineBytes);
  estimate.TileBytes = static_cast<double>(estimate.TilesLeft) * kTypicalTileBytes;
  estimate.LogBytes = static_cast<double>(estimate.TilesLeft) * kLogBytesPerTile;
  return estimate;
}

std::string ByteSizeText(double bytes) {
  if (bytes < 1024 * 1024) return platform::FormatFixed(bytes / 1024, 0, 1) + " KiB";
  if (bytes < 1024.0 * 1024 * 1024) return platform::FormatFixed(bytes / (1024 * 1024), 0, 1) + " MiB";
  return platform::FormatFixed(bytes / (1024.0 * 1024 * 1024), 0, 1) + " GiB";
}

}  // namespace run
