// One task as a value: what every program builds, hands on and keeps. The
// main window parses its texts into it at its edge (run::ReadTaskSpec), the
// task file is read into it and written from it, the map windows and
// orvenna-cli build it from numbers. The run's record (TaskParameters) is made
// from it together with what the run's environment knows (the account's
// settings, the secrets, the proxy).
//
// A task's area is its rectangle and, when the user gave one, a shape inside
// it; its zoom levels a range of one level today.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/task/Imagery.h"
#include "core/task/TileShape.h"
#include "core/task/Unitclasstask.h"

namespace task {

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
// folder, the name and the part; the threads and the secrets are the caller's.
// The Nearmap API's tile source comes from account.
TaskParameters RecordOf(const TaskSpec& spec, const NearmapAccount& account = {});

}  // namespace task
