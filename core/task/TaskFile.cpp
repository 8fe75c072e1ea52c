#include "core/task/TaskFile.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "core/platform/Files.h"
#include "core/platform/Numbers.h"
#include "core/task/ShapeFile.h"
#include "core/task/TaskValue.h"
#include "core/task/Unitclasstask.h"

namespace task {

namespace {

constexpr const char* kMapsTypeSection = "MapsType";
constexpr const char* kAreaSection = "AREA";
constexpr const char* kZoomSection = "Zoom";
constexpr const char* kThreadsSection = "THREADS";
constexpr const char* kMapsType = "MapsType";
constexpr const char* kHistoryDate = "HistoryDate";
constexpr const char* kLeftLongitude = "LeftLongitude";
constexpr const char* kRightLongitude = "RightLongitude";
constexpr const char* kTopLatitude = "TopLatitude";
constexpr const char* kBottomLatitude = "BottomLatitude";
constexpr const char* kZoom = "Zoom";
constexpr const char* kShapeSection = "Shape";
constexpr const char* kShapeFileKey = "File";

std::string Decimal(int64_t value) { return platform::FormatInteger(value); }

// "T" + thread number + axis: T1X .. T8Y.
std::string PositionKey(int32_t slot, char axis) { return "T" + Decimal(int64_t{slot} + 1) + axis; }

std::string Entry(const char* key, const std::string& value) { return std::string(key) + "=" + value; }

}  // namespace

TaskFile::TaskFile(std::string path) : ini_(std::move(path)) {}

std::vector<std::string> TaskFile::FreshLines(const MDTask& task, const RunSettings& run) {
  const TaskParameters p = task.Record();
  std::vector<std::string> lines = {
      std::string("[") + kMapsTypeSection + "]",
      Entry(kMapsType, Decimal(p.MapsType)),
      Entry(kHistoryDate, p.HistoryDate),
      "",
      std::string("[") + kAreaSection + "]",
      Entry(kLeftLongitude, task.General(p.LeftLongitude)),
      Entry(kRightLongitude, task.General(p.RightLongitude)),
      Entry(kTopLatitude, task.General(p.TopLatitude)),
      Entry(kBottomLatitude, task.General(p.BottomLatitude)),
      "",
      "Left_Longitude_download=" + task.General(task.LeftLongitudeDownload),
      "Right_Longitude_download=" + task.General(task.RightLongitudeDownload),
      "Top_Latitude_download=" + task.General(task.TopLatitudeDownload),
      "Bottom_Latitude_download=" + task.General(task.BottomLatitudeDownload),
      "",
      std::string("[") + kZoomSection + "]",
      Entry(kZoom, Decimal(p.Zoom)),
      "",
      "[XY]",
      "MinX=" + Decimal(task.MinX),
      "MinY=" + Decimal(task.MinY),
      "MaxX=" + Decimal(task.MaxX),
      "MaxY=" + Decimal(task.MaxY),
      "",
      std::string("[") + kThreadsSection + "]",
      "ThreadCount=" + Decimal(run.ThreadCount),
  };
  for (int32_t slot = 0; slot < run.ThreadSlots; ++slot) {
    lines.push_back(PositionKey(slot, 'X') + "=");
    lines.push_back(PositionKey(slot, 'Y') + "=");
  }
  lines.emplace_back();
  const std::vector<std::string> imagery = TaskFileLines(task.Spec().Imagery);
  lines.insert(lines.end(), imagery.begin(), imagery.end());
  if (task.Spec().Area.Shape) {
    // Only a shaped task has the section: a rectangle's file stays as it was.
    lines.push_back(std::string("[") + kShapeSection + "]");
    lines.push_back(Entry(kShapeFileKey, platform::ExtractFileName(task.ShapeFileName())));
    lines.emplace_back();
  }
  return lines;
}

std::vector<std::string> TaskFile::NearmapLines(const NearmapImagery& imagery) { return KindTaskFileLines(imagery); }

bool TaskFile::HasArea() const {
  const std::string_view area = kAreaSection;
  const auto sameName = [area](const std::string& name) {
    return std::equal(name.begin(), name.end(), area.begin(), area.end(), [](char a, char b) {
      return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
    });
  };
  const std::vector<std::string> names = ini_.SectionNames();
  return std::any_of(names.begin(), names.end(), sameName);
}

StoredTask TaskFile::Read(int32_t missingNumber) const {
  StoredTask stored;
  stored.LeftLongitude = ini_.ReadString(kAreaSection, kLeftLongitude, "");
  stored.RightLongitude = ini_.ReadString(kAreaSection, kRightLongitude, "");
  stored.TopLatitude = ini_.ReadString(kAreaSection, kTopLatitude, "");
  stored.BottomLatitude = ini_.ReadString(kAreaSection, kBottomLatitude, "");
  stored.Zoom = ini_.ReadInteger(kZoomSection, kZoom, missingNumber);
  stored.MapsType = ini_.ReadInteger(kMapsTypeSection, kMapsType, missingNumber);
  stored.HistoryDate = ini_.ReadString(kMapsTypeSection, kHistoryDate, "");
  stored.Source = ReadSource(ini_, kTaskFileSourceSection);
  stored.Imagery = ReadImagery(ini_, stored.MapsType);
  stored.ShapeFile = ini_.ReadString(kShapeSection, kShapeFileKey, "");
  if (stored.Imagery) {
    if (const auto* nearmap = std::get_if<NearmapImagery>(&*stored.Imagery)) stored.Nearmap = *nearmap;
  }
  return stored;
}

std::shared_ptr<const Shape> TaskFile::ReadShape(const StoredTask& stored) const {
  if (stored.ShapeFile.empty()) return nullptr;
  const std::string path = platform::ExtractFilePath(Path()) + stored.ShapeFile;
  const std::string cannot = "The task's shape file " + path + " cannot be read: ";
  // A name only: the shape lies beside its task, wherever the folder moved.
  if (std::any_of(stored.ShapeFile.begin(), stored.ShapeFile.end(), platform::IsPathDelimiter) ||
      stored.ShapeFile == "." || stored.ShapeFile == "..") {
    throw ShapeFileError(cannot + "the task file names it with a folder");
  }
  std::string text;
  std::string reason;
  if (platform::ReadWholeFile(path, text, &reason) != platform::ReadOutcome::Ok) {
    throw ShapeFileError(cannot + (reason.empty() ? std::string("no such file") : reason));
  }
  std::optional<Shape> shape = ShapeFromGeoJson(text);
  if (!shape) throw ShapeFileError(cannot + "it holds no GeoJSON polygon");
  return std::make_shared<const Shape>(std::move(*shape));
}

std::vector<TilePosition> TaskFile::ReadPositions(int32_t slots) const {
  std::vector<TilePosition> positions;
  for (int32_t slot = 0; slot < slots; ++slot) {
    positions.push_back(TilePosition{ini_.ReadInteger(kThreadsSection, PositionKey(slot, 'X'), 0),
                                     ini_.ReadInteger(kThreadsSection, PositionKey(slot, 'Y'), 0)});
  }
  return positions;
}

void TaskFile::WritePositions(const std::vector<SlotPosition>& positions) {
  std::vector<settings::IniEntry> entries;
  for (const SlotPosition& position : positions) {
    if (position.Last.X > 0) entries.push_back({kThreadsSection, PositionKey(position.Slot, 'X'), Decimal(position.Last.X)});
    if (position.Last.Y > 0) entries.push_back({kThreadsSection, PositionKey(position.Slot, 'Y'), Decimal(position.Last.Y)});
  }
  if (!entries.empty()) ini_.Write(entries);
}

}  // namespace task
