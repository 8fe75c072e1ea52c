// The task file (.otsk): the one place that knows its sections and keys. It
// is written whole for a fresh task; afterwards only the per-worker positions
// of [THREADS] change. Readers take the keys with the settings-file rules, so
// a damaged file reads as its defaults key by key. Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <optional>
#include <string>
#include <vector>

#include "core/settings/IniFile.h"
#include "core/task/Imagery.h"
#include "core/task/NearmapApi.h"
#include "core/task/RunSettings.h"
#include "core/task/TileRange.h"
#include "core/task/TileShape.h"
#include "core/task/TileSource.h"

namespace task {

class MDTask;

// The task's parameters as stored, texts exactly as written.
struct StoredTask {
  std::string LeftLongitude;
  std::string RightLongitude;
  std::string TopLatitude;
  std::string BottomLatitude;
  int32_t Zoom = 0;
  int32_t MapsType = 0;
  std::string HistoryDate;
  // The tile source of a task of a source of the user's own.
  std::optional<TileSource> Source;
  // The imagery of a task of the Nearmap API.
  std::optional<NearmapImagery> Nearmap;
  // What the task fetches, when a kind of imagery knows its MapsType.
  std::optional<task::Imagery> Imagery;
  // The file beside the task file that holds the task's shape, as stored (a
  // name without a folder); empty for a rectangle task.
  std::string ShapeFile;
};

// The last finished tile of one worker slot (0-based). A coordinate of 0 is
// not written: the stored value stays as it was.
struct SlotPosition {
  int32_t Slot = 0;
  TilePosition Last;
};

// The shape file a task file names cannot be read or holds no shape: the
// task cannot be taken as its rectangle instead (that would fetch tiles the
// user left out).
class ShapeFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TaskFile {
 public:
  explicit TaskFile(std::string path);

  const std::string& Path() const { return ini_.FileName(); }

  // The lines of a fresh task file for task run with run's workers
  // (positions all empty).
  static std::vector<std::string> FreshLines(const MDTask& task, const RunSettings& run);
  // The section of a task of the Nearmap API: its direction and survey (the
  // service's address and the key belong to the settings file), ending in an
  // empty line. The log header shows it too.
  static std::vector<std::string> NearmapLines(const NearmapImagery& imagery);

  // Whether the file has the [AREA] section that every task file has: a file
  // without it is some other file, not a damaged task file.
  bool HasArea() const;

  // missingNumber is what a missing or non-numeric Zoom or MapsType reads as
  // (the continue test uses 100, Open task 0).
  StoredTask Read(int32_t missingNumber) const;
  // The shape of the file stored.ShapeFile names beside this task file; none
  // when it names none. Throws ShapeFileError.
  std::shared_ptr<const Shape> ReadShape(const StoredTask& stored) const;
  // The stored positions of slots 0 .. slots - 1; {0, 0} where none is.
  std::vector<TilePosition> ReadPositions(int32_t slots) const;
  // All the positions in one atomic write. Throws platform::FileError.
  void WritePositions(const std::vector<SlotPosition>& positions);

 private:
  settings::IniFile ini_;
};

}  // namespace task
