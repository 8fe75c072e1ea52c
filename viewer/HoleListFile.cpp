#include "viewer/HoleListFile.h"

#include "core/platform/Files.h"

namespace viewer {

int64_t SaveHoleList(const task::MDTask& task, const TileStates& states, const std::string& path) {
  constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
  platform::AtomicFileWriter out(path);
  std::string chunk;
  int64_t records = 0;
  for (int64_t index = 0; index < states.Size(); ++index) {
    if (!IsHole(states.At(index))) continue;
    const task::TilePosition tile = states.TileAt(index);
    chunk += task.FailedRecord(tile.X, tile.Y);
    chunk += "\r\n";
    ++records;
    if (chunk.size() >= kChunkBytes) {
      out.Write(chunk);
      chunk.clear();
    }
  }
  out.Write(chunk);
  out.Commit();
  return records;
}

}  // namespace viewer
