// One download task: the tile range of a longitude/latitude rectangle, the
// names of its files, its tiles' names and URLs, and its resume positions
// (its files are written by TaskFiles).
//
// Built in the main thread from a task value (or the task file's record),
// which it keeps; it reads and writes no file while it is built. Read-only
// afterwards, so workers may call the tile operations concurrently. What a
// run needs beyond the task (workers, the proxy, the secret) is the run's
// (task::RunSettings).
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <utility>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/platform/Files.h"
#include "core/task/BuiltInMaps.h"
#include "core/task/Imagery.h"
#include "core/task/NearmapApi.h"
#include "core/task/TileRange.h"
#include "core/task/TileShape.h"
#include "core/task/TileSource.h"
#include "core/task/RunSettings.h"
#include "core/task/TaskValue.h"

namespace task {

// Refusal of a zoom outside the grid's range (window check and construction).
inline constexpr const char* kZoomRangeMessage = "Zoom level should be between 1 and 21.";

// Construction failed. message() is the text to show the user first (for
// example "Create directory <folder> Failed."); the caller then reports the
// failure of the task as a whole. Reason() is the system's words when a call
// of the system failed (the folder could not be made), else empty.
class TaskCreateError : public std::runtime_error, public platform::SystemReason {
 public:
  explicit TaskCreateError(const std::string& message, std::string reason = {})
      : std::runtime_error(message), platform::SystemReason(std::move(reason)) {}
};

// Options a test may change; the program uses the defaults.
struct TaskOptions {
  std::string TileHost = kTileServerHost;
  // 0: the desktop's decimal mark.
  char DecimalMark = 0;
};

// The last finished tile of each worker slot of an earlier run, slot 0
// first ({0, 0}: none).
using ResumePositions = std::vector<TilePosition>;

// The positions that record's task file (TaskFileOf) holds for slots worker
// slots (at most MDTask::kResumeSlots): what a continued run resumes from.
// A missing file holds none.
ResumePositions ReadResumePositions(const TaskParameters& record, int32_t slots);

class MDTask {
 public:
  static constexpr int kResumeSlots = 16;

  // The task of spec, fetched through source when its imagery has one (the
  // Nearmap API's is made with the account's settings: TileSourceOf), with
  // the positions an earlier run left (ReadResumePositions). Throws
  // TaskCreateError for a zoom outside 1..21, an unknown map type,
  // coordinates outside the window's ranges, an empty range or more than
  // 2147483647 tiles.
  MDTask(TaskSpec spec, std::optional<TileSource> source, TaskOptions options = {}, const ResumePositions& resume = {});
  // The task of a task file's record (its source as the record holds it).
  explicit MDTask(const TaskParameters& record, TaskOptions options = {}, const ResumePositions& resume = {});

  std::array<int32_t, kResumeSlots> ResumeX{};
  std::array<int32_t, kResumeSlots> ResumeY{};
  int32_t MinX = 0;
  int32_t MinY = 0;
  int32_t MaxX = 0;
  int32_t MaxY = 0;
  double LeftLongitudeDownload = 0;
  double RightLongitudeDownload = 0;
  double TopLatitudeDownload = 0;
  double BottomLatitudeDownload = 0;
  // The task's tiles: those of the range, or with a shape those of the range
  // that the shape touches.
  int32_t TotalImages = 0;
  // The shape's tiles at the task's zoom; none for a rectangle task.
  std::shared_ptr<const TileShape> ShapeTiles;
  std::string LogFileName;
  std::string FailedListFileName;
  std::string ListFileName;
  std::string ImageFolder;  // ends in the path separator

  // The task value it was built from.
  const TaskSpec& Spec() const { return spec_; }
  int32_t Zoom() const { return spec_.Zooms.From; }
  // The task file's MapsType code of its imagery.
  int32_t MapsType() const { return mapsType_; }
  // The source its tiles come from (none for a built-in map type).
  const std::optional<TileSource>& Source() const { return source_; }
  // The Nearmap API's imagery of a task of the Nearmap API, else nullptr.
  const NearmapImagery* Nearmap() const { return std::get_if<NearmapImagery>(&spec_.Imagery); }
  // The task file's record of the task.
  TaskParameters Record() const;

  std::string TaskFileName() const;  // TaskFileOf(Record())
  // The GeoJSON file of a shaped task's shape: "<name>_area.geojson" beside
  // the task file (a part's too: it shares the task's shape).
  std::string ShapeFileName() const;
  // Creates the image folder (one level) unless it is there. Throws
  // TaskCreateError("Create directory <folder> Failed.").
  void CreateImageFolder() const;
  // The file whose lock marks the task as worked by a run: hidden, beside
  // the task file.
  std::string LockFileName() const;
  std::string TileFileName(int32_t x, int32_t y) const;
  std::string TileFilePath(int32_t x, int32_t y) const;
  std::string TileExtension() const;
  // The blank image that stands in for a tile given up: blankimg/blank.<the
  // tiles' extension> in programFolder (ending in the separator).
  std::string BlankImagePath(const std::string& programFolder) const;
  // The URL as files and the log show it: a source's secret masked.
  std::string TileURL(int32_t x, int32_t y) const;
  // The URL a worker fetches: the source's secret (the run's) in it.
  std::string FetchURL(int32_t x, int32_t y, const std::string& secret) const;
  // A source's header lines to send, the secret in them (none for the
  // built-in map types).
  std::vector<std::string> FetchHeaderLines(const std::string& secret) const;
  // Whether its requests carry a key of the user's (the kind of imagery
  // says, task::SendsApiKeyOf): a 401 or 403 then says the key was refused.
  bool SendsApiKey() const { return sendsApiKey_; }
  TileRange Range() const { return TileRange{MinX, MinY, MaxX, MaxY}; }
  // Whether tile (x, y) is one of the task's: in its range and, for a shaped
  // task, touched by its shape. The walk skips the others without a request,
  // and no program counts them as holes.
  bool HasTile(int32_t x, int32_t y) const {
    return Range().Contains(x, y) && (!ShapeTiles || ShapeTiles->Contains(x, y));
  }
  // How many of the task's tiles slot (of threads workers) takes after walk
  // number after: TileRange::ShareOf, without the tiles outside a shape.
  int64_t ShareOf(int32_t slot, int32_t threads, int64_t after) const;
  // Walk number of tile (x, y): 1 for (MinX, MinY), column by column.
  int64_t WalkNumber(int32_t x, int32_t y) const { return Range().WalkNumber(x, y); }
  // The last tile slot finished in an earlier run ({0, 0}: none).
  TilePosition Resume(int32_t slot) const;

  // The tile of a file name TileFileName gives (no folder), when it is one
  // of this task's range.
  std::optional<TilePosition> TileOfFileName(const std::string& name) const;
  // A number in the general form with this task's decimal mark.
  std::string General(double value) const;

 private:
  std::string TilePrefix() const;
  // Whether the tiles come from source_ (a source of the user's own, or the
  // Nearmap API).
  bool FromSource() const;
  // Narrows the rows to band part (1-based) of parts: equal bands of rows,
  // or for a shape, bands that hold its tiles as evenly as whole rows allow,
  // each holding some.
  void TakeBandOfRows(int32_t part, int32_t parts);
  void TakeBandOfShapeRows(int32_t part, int32_t parts);

  TaskSpec spec_;
  std::optional<TileSource> source_;
  int32_t mapsType_ = 0;
  bool sendsApiKey_ = false;
  TaskOptions options_;
};

// The task of record as a run with run's settings takes it up: resumed from
// its task file's positions (ReadResumePositions) when the run continues it.
MDTask TaskOfRun(const TaskParameters& record, const RunSettings& run, TaskOptions options = {});

}  // namespace task
