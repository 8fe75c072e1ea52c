#include "core/task/TaskValue.h"

namespace task {

TaskSpec SpecOf(const TaskParameters& p) {
  TaskSpec spec;
  spec.Name = p.TaskName;
  spec.Folder = p.SavePath;
  spec.Area.Box = LonLatBox{p.LeftLongitude, p.RightLongitude, p.TopLatitude, p.BottomLatitude};
  spec.Area.Shape = p.AreaShape;
  spec.Zooms = ZoomLevels::One(p.Zoom);
  spec.Part = TaskPart{p.PartIndex, p.PartCount};
  // The record's own fields say the kinds they know (and may have been
  // changed since); another kind comes whole.
  const bool fieldsSayIt = ListPositionFromMapsType(p.MapsType) >= 0 || p.MapsType == kMapNearmapApi ||
                           p.MapsType == kMapUserSource;
  if (p.Imagery && !fieldsSayIt) {
    spec.Imagery = *p.Imagery;
  } else if (p.MapsType == kMapNearmapApi && p.Nearmap) {
    spec.Imagery = *p.Nearmap;
  } else if (p.MapsType == kMapUserSource && p.Source) {
    spec.Imagery = *p.Source;
  } else {
    spec.Imagery = BuiltInMap{p.MapsType};
  }
  spec.Date = p.HistoryDate;
  return spec;
}

TaskParameters RecordOf(const TaskSpec& spec, const NearmapAccount& account) {
  TaskParameters p;
  p.TaskName = spec.Name;
  p.SavePath = spec.Folder;
  p.LeftLongitude = spec.Area.Box.West;
  p.RightLongitude = spec.Area.Box.East;
  p.TopLatitude = spec.Area.Box.North;
  p.BottomLatitude = spec.Area.Box.South;
  p.AreaShape = spec.Area.Shape;
  p.Zoom = spec.Zooms.From;
  p.PartIndex = spec.Part.Index;
  p.PartCount = spec.Part.Count;
  p.MapsType = MapsTypeOf(spec.Imagery);
  p.HistoryDate = spec.Date;
  p.Imagery = spec.Imagery;
  p.Source = TileSourceOf(spec.Imagery, account);
  if (const auto* nearmap = std::get_if<NearmapImagery>(&spec.Imagery)) p.Nearmap = *nearmap;
  return p;
}

}  // namespace task
