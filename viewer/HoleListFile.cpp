#include "viewer/HoleListFile.h"

#include "core/task/TileCensus.h"

namespace viewer {

int64_t SaveHoleList(const task::MDTask& task, const TileStates& states, const std::string& path) {
  task::FailedListWriter out(task, path);
  for (int64_t index = 0; index < states.Size(); ++index) {
    if (!IsHole(states.At(index))) continue;
    const task::TilePosition tile = states.TileAt(index);
    out.Add(tile.X, tile.Y);
  }
  out.Commit();
  return out.Count();
}

}  // namespace viewer
