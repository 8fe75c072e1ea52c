// The tiles of a task as the combiner reads them: by the names the downloader
// gives them (the folder is never listed), each either usable as downloaded,
// decoded to pixels, or a hole that says why. Read-only after construction.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>

#include "combiner/JpegCodec.h"
#include "core/task/TileRange.h"
#include "core/task/Unitclasstask.h"

namespace combiner {

enum class HoleReason { Missing, GivenUp, Unreadable };
// "missing", "given up", "unreadable".
const char* HoleReasonText(HoleReason reason);

struct TileContent {
  enum class Kind { AsDownloaded, Decoded, Hole };
  Kind What = Kind::Hole;
  std::string Bytes;  // AsDownloaded: the file's bytes
  Pixels Image;       // Decoded
  HoleReason Reason = HoleReason::Missing;
};

class TaskTiles {
 public:
  // Reads the task's failed-tile list; throws platform::FileError when it
  // cannot be read.
  explicit TaskTiles(const task::MDTask& task);

  const task::MDTask& Task() const { return task_; }

  // Tile (x, y): its bytes when it is a JPEG stream that keepAsIs accepts,
  // else its pixels, else a hole: no file (given up when the failed list
  // names it, else missing) or a file that does not decode to a tile. A file
  // that is there wins over the failed list (a later run fetched it).
  TileContent Load(int32_t x, int32_t y, const std::function<bool(const JpegLayout&)>& keepAsIs) const;

  // The sampling that most of an even sample of area's tiles have, among
  // those a JPEG TIFF can take as they are; nullopt when none can.
  std::optional<ChromaSampling> CommonTiffSampling(const task::TileRange& area) const;

 private:
  const task::MDTask& task_;
  std::unordered_set<int64_t> givenUp_;
};

}  // namespace combiner
