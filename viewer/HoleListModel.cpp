#include "viewer/HoleListModel.h"

#include <algorithm>

#include "qtkit/Dialogs.h"

namespace viewer {

void HoleListModel::SetTask(std::shared_ptr<const LoadedTask> task) {
  beginResetModel();
  task_ = std::move(task);
  holesBefore_.assign(1, 0);
  endResetModel();
  Refresh();
}

void HoleListModel::Refresh() {
  if (!task_) return;
  const TileStates& states = task_->States();
  std::vector<int64_t> holesBefore(static_cast<std::size_t>(states.Chunks()) + 1, 0);
  for (int64_t chunk = 0; chunk < states.Chunks(); ++chunk) {
    holesBefore[static_cast<std::size_t>(chunk) + 1] =
        holesBefore[static_cast<std::size_t>(chunk)] + states.HolesInChunk(chunk);
  }
  if (holesBefore == holesBefore_) {
    // Same rows; a tile may have turned from missing to given up.
    if (rowCount() > 0) emit dataChanged(index(0), index(rowCount() - 1));
    return;
  }
  beginResetModel();
  holesBefore_ = std::move(holesBefore);
  endResetModel();
}

int HoleListModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() || holesBefore_.empty()) return 0;
  return static_cast<int>(holesBefore_.back());
}

std::optional<int64_t> HoleListModel::TileIndexAt(int row) const {
  if (!task_ || row < 0 || row >= rowCount()) return std::nullopt;
  // The chunk holding the row, then the row's hole within it.
  const auto after = std::upper_bound(holesBefore_.begin(), holesBefore_.end(), int64_t{row});
  const int64_t chunk = (after - holesBefore_.begin()) - 1;
  int64_t wanted = row - holesBefore_[static_cast<std::size_t>(chunk)];
  const TileStates& states = task_->States();
  const int64_t end = states.ChunkEnd(chunk);
  for (int64_t tile = chunk * TileStates::kChunkTiles; tile < end; ++tile) {
    if (IsHole(states.At(tile)) && wanted-- == 0) return tile;
  }
  return std::nullopt;
}

QVariant HoleListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole) return {};
  const std::optional<int64_t> tile = TileIndexAt(index.row());
  if (!tile) return {};
  const task::TilePosition position = task_->States().TileAt(*tile);
  const TileState state = task_->States().At(*tile);
  const QString why = state == TileState::GivenUp ? tr("given up") : state == TileState::Missing ? tr("missing") : tr("unreadable");
  return QStringLiteral("%1  %2").arg(qtkit::FromLocal(task_->Task().TileFileName(position.X, position.Y)), why);
}

}  // namespace viewer
