// One download task: the tile range of a longitude/latitude rectangle, the
// names of its files, its tiles' names and URLs, and its resume positions
// (its files are written by TaskFiles).
//
// Built in the main thread from a TaskParameters record; read-only afterwards,
// so workers may call the tile operations concurrently.
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

namespace task {

inline constexpr const char* kTaskFileExtension = ".otsk";

// Refusal of a zoom outside the grid's range (window check and construction).
inline constexpr const char* kZoomRangeMessage = "Zoom level should be between 1 and 21.";

struct TaskParameters {
  double LeftLongitude = 0;
  double RightLongitude = 0;
  double TopLatitude = 0;
  double BottomLatitude = 0;
  int32_t Zoom = 13;
  int32_t ThreadCount = 8;
  int32_t ThreadSlots = 8;
  int32_t MapsType = kMapPhoto;
  std::string HistoryDate;
  std::string SavePath;  // ends in the path separator
  std::string TaskName;  // ends in ".otsk"
  bool UseProxy = false;
  std::string ProxyServer;
  std::string ProxyPort;
  std::string ProxyUsername;
  std::string ProxyPassword;
  bool ContinueTask = false;
  // Part PartIndex (1-based) of PartCount bands of the task's rows, run on
  // its own with bookkeeping files of its own; PartCount 0 is the whole task.
  int32_t PartIndex = 0;
  int32_t PartCount = 0;
  // With MapsType kMapUserSource or kMapNearmapApi: the source, and its
  // secret (from the settings file; never written to a task file or a log).
  std::optional<TileSource> Source;
  std::string SourceSecret;
  // With MapsType kMapNearmapApi: the imagery the task fetches (Source is
  // built from it and the account's settings, SourceSecret is the API key).
  std::optional<NearmapImagery> Nearmap;
  // The task's imagery whole, as the task value gave it (RecordOf); a
  // record filled field by field has none, and MapsType, Source and Nearmap
  // say it.
  std::optional<task::Imagery> Imagery;
  // The task's shape within its rectangle (none: the whole rectangle), kept
  // in a file of its own beside the task file.
  std::shared_ptr<const Shape> AreaShape;
};

// The task file a run of parameters keeps its positions in: SavePath +
// TaskName, or for a part "<name>.part<k>of<n>.otsk" beside it.
std::string TaskFileOf(const TaskParameters& parameters);

// Part k of n of a task, as TaskParameters numbers it (1-based).
struct TaskPart {
  int32_t Index = 0;
  int32_t Count = 0;
  friend bool operator==(const TaskPart&, const TaskPart&) = default;
};
// The part whose task file (TaskFileOf) is named fileName beside the whole
// task's file wholeTaskFile; nothing for any other name.
std::optional<TaskPart> PartOfTaskFileName(const std::string& wholeTaskFile, const std::string& fileName);

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

class MDTask {
 public:
  static constexpr int kResumeSlots = 16;

  // params must outlive the task; it is never changed here. When
  // params->ContinueTask is set, reads the resume positions from the task
  // file; writes nothing. Throws TaskCreateError for a zoom outside 1..21, an
  // unknown map type, coordinates outside the window's ranges, an empty range
  // or more than 2147483647 tiles.
  explicit MDTask(const TaskParameters* params, TaskOptions options = {});

  std::array<int32_t, kResumeSlots> ResumeX{};
  std::array<int32_t, kResumeSlots> ResumeY{};
  const TaskParameters* Parameters;
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

  std::string TaskFileName() const;  // TaskFileOf(*Parameters)
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
  // The URL a worker fetches: a source's secret in it.
  std::string FetchURL(int32_t x, int32_t y) const;
  // A source's header lines to send, the secret in them (none for the
  // built-in map types).
  std::vector<std::string> FetchHeaderLines() const;
  // Whether its requests carry the account's API key: a 401 or 403 then says
  // the key was refused.
  bool SendsApiKey() const { return Parameters->MapsType == kMapNearmapApi; }
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
  // Whether the tiles come from Parameters->Source (a source of the user's
  // own, or the Nearmap API).
  bool FromSource() const;
  // Narrows the rows to band part (1-based) of parts equal bands.
  void TakeBandOfRows(int32_t part, int32_t parts);

  TaskOptions options_;
};


}  // namespace task
