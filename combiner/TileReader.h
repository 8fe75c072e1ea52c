// Reads the tiles of an opened task (run::OpenedTask) for the combiner: by the
// names the downloader gives them (the folder is never listed), judged by the
// task's census, each either usable as downloaded, decoded to pixels, or a
// hole that says why. Read-only after construction.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>

#include "combiner/JpegCodec.h"
#include "core/task/TileCensus.h"
#include "core/task/TileRange.h"
#include "core/task/Unitclasstask.h"

namespace combiner {

// Why a tile is a hole: given up, missing or unreadable (task::IsHole).
using HoleReason = task::TileState;
// "missing", "given up", "unreadable".
inline const char* HoleReasonText(HoleReason reason) { return task::TileStateName(reason); }

struct TileContent {
  enum class Kind { AsDownloaded, Decoded, Hole };
  Kind What = Kind::Hole;
  std::string Bytes;  // AsDownloaded: the file's bytes
  Pixels Image;       // Decoded
  task::TileVerdict Verdict{HoleReason::Missing, {}};  // Hole: its state and reason
  // A hole because the tile is none of the task's: outside its shape.
  bool Outside = false;
};

class TileReader {
 public:
  // programFolder (ending in the separator) holds the program's blank image.
  // Reads the task's failed-tile list; throws platform::FileError when it
  // cannot be read.
  TileReader(const task::MDTask& task, const std::string& programFolder);

  const task::MDTask& Task() const { return task_; }

  // Tile (x, y): its bytes when it is a JPEG stream that keepAsIs accepts,
  // else its pixels, else a hole as the census judges it, or unreadable when
  // it does not decode.
  TileContent Load(int32_t x, int32_t y, const std::function<bool(const JpegLayout&)>& keepAsIs) const;
  // Whether tile (x, y) is one of the task's and no hole as the census
  // judges it (reading only the start and end of its file). Load may still
  // find it unreadable: a stream that does not decode.
  bool Has(int32_t x, int32_t y) const;

  // The sampling that most of an even sample of area's tiles have, among
  // those a JPEG TIFF can take as they are; nullopt when none can.
  std::optional<ChromaSampling> CommonTiffSampling(const task::TileRange& area) const;

 private:
  const task::MDTask& task_;
  const task::TileCensus census_;
};

}  // namespace combiner
