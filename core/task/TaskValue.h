// One task as a value: what every program builds, hands on and keeps. The
// main window parses its texts into it at its edge (run::ReadTaskSpec), the
// task file is read into it and written from it, the map windows and
// orvenna-cli build it from numbers. The task file's record (TaskParameters)
// is made from it together with the account's settings (the Nearmap API's
// address); what a run needs beyond the task (workers, the proxy, the
// secrets) travels beside it in task::RunSettings.
//
// A task's area is its rectangle and, when the user gave one, a shape inside
// it; its zoom levels a range of one level today.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <optional>

#include "core/task/Imagery.h"
#include "core/task/LonLat.h"
#include "core/task/TileShape.h"

namespace task {

inline constexpr const char* kTaskFileExtension = ".otsk";

// The task as its file stores it, field by field: what Start and the task
// file hand the task model (MDTask).
struct TaskParameters {
  double LeftLongitude = 0;
  double RightLongitude = 0;
  double TopLatitude = 0;
  double BottomLatitude = 0;
  int32_t Zoom = 13;
  int32_t MapsType = kMapPhoto;
  std::string HistoryDate;
  std::string SavePath;  // ends in the path separator
  std::string TaskName;  // ends in ".otsk"
  // Part PartIndex (1-based) of PartCount bands of the task's rows, run on
  // its own with bookkeeping files of its own; PartCount 0 is the whole task.
  int32_t PartIndex = 0;
  int32_t PartCount = 0;
  // With MapsType kMapUserSource or kMapNearmapApi: the source (its secret
  // is the run's, task::RunSettings).
  std::optional<TileSource> Source;
  // With MapsType kMapNearmapApi: the imagery the task fetches (Source is
  // built from it and the account's settings).
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

struct TaskArea {
  LonLatBox Box;
  // Only the tiles the shape touches within Box are the task's; none: every
  // tile of Box. Shared, as a shape may hold many vertices and is never changed.
  std::shared_ptr<const task::Shape> Shape;

  friend bool operator==(const TaskArea& a, const TaskArea& b) {
    return a.Box.West == b.Box.West && a.Box.East == b.Box.East && a.Box.North == b.Box.North &&
           a.Box.South == b.Box.South && SameShape(a.Shape, b.Shape);
  }
};

// The zoom levels a task fetches, From to To; one level (From == To) today.
struct ZoomLevels {
  int32_t From = 13;
  int32_t To = 13;

  static ZoomLevels One(int32_t zoom) { return ZoomLevels{zoom, zoom}; }
  friend bool operator==(const ZoomLevels&, const ZoomLevels&) = default;
};

struct TaskSpec {
  std::string Name;    // the task file's name, ".otsk" at its end
  std::string Folder;  // the save folder, ending in the path separator
  TaskArea Area;
  ZoomLevels Zooms;
  TaskPart Part;  // none (0 of 0): the whole task
  task::Imagery Imagery = BuiltInMap{};
  // The date field: the photo map's date, a source's {date}, or the date
  // that chooses the Nearmap API's survey.
  std::string Date;

  friend bool operator==(const TaskSpec&, const TaskSpec&) = default;
};

// The task a run's record describes (its source as the record holds it).
TaskSpec SpecOf(const TaskParameters& record);

// The record of spec: imagery and date set, the rectangle, the zoom, the
// folder, the name and the part.
// The Nearmap API's tile source comes from account.
TaskParameters RecordOf(const TaskSpec& spec, const NearmapAccount& account = {});

}  // namespace task
