#include "viewer/HoleListModel.h"

#include <algorithm>

#include "core/task/TileCensus.h"
#include "qtkit/Dialogs.h"

namespace viewer {

namespace {

constexpr std::size_t kMaxReasons = 10000;

}  // namespace

void HoleListModel::SetTask(std::shared_ptr<const TaskWatch> task) {
  beginResetModel();
  task_ = std::move(task);
  holesBefore_.assign(1, 0);
  ForgetReasons();
  endResetModel();
  Refresh();
}

void HoleListModel::ForgetReasons() {
  reasons_.clear();
  asked_.clear();
  toAsk_.clear();
}

void HoleListModel::Refresh() {
  if (!task_) return;
  const TileStates& states = task_->States();
  // A reason stands while its tile stays unreadable.
  std::erase_if(reasons_, [&states](const auto& entry) {
    return entry.second.isEmpty() || states.At(entry.first) != TileState::Unreadable;
  });
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

void HoleListModel::LearnReasons(const TaskWatch* task, const std::vector<std::pair<int64_t, std::string>>& reasons) {
  if (task != task_.get()) return;
  // Scrolling through a million unreadable tiles keeps no million reasons:
  // those out of sight are asked for again when shown again.
  if (reasons_.size() + reasons.size() > kMaxReasons) reasons_.clear();
  for (const auto& [tile, reason] : reasons) {
    asked_.erase(tile);
    reasons_[tile] = qtkit::FromLocal(reason);
  }
  if (rowCount() > 0) emit dataChanged(index(0), index(rowCount() - 1));
}

std::optional<QString> HoleListModel::ReasonOf(int64_t tile) const {
  // Known without reading the file.
  if (task_->States().Undecodable(tile)) return QString::fromLatin1(task::kDoesNotDecode);
  if (const auto known = reasons_.find(tile); known != reasons_.end()) return known->second;
  if (lookup_ && asked_.insert(tile).second) {
    // The rows painted together are asked for together, once they all are.
    if (toAsk_.empty()) {
      QMetaObject::invokeMethod(
          const_cast<HoleListModel*>(this),
          [this] {
            if (!toAsk_.empty()) lookup_(std::exchange(toAsk_, {}));
          },
          Qt::QueuedConnection);
    }
    toAsk_.push_back(tile);
  }
  return std::nullopt;
}

QVariant HoleListModel::data(const QModelIndex& index, int role) const {
  // The tooltip: a long reason in a narrow panel.
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  const std::optional<int64_t> tile = TileIndexAt(index.row());
  if (!tile) return {};
  const task::TilePosition position = task_->States().TileAt(*tile);
  const TileState state = task_->States().At(*tile);
  QString why = state == TileState::GivenUp ? tr("given up") : state == TileState::Missing ? tr("missing") : tr("unreadable");
  if (state == TileState::Unreadable) {
    if (const std::optional<QString> reason = ReasonOf(*tile); reason && !reason->isEmpty()) why += QStringLiteral(": ") + *reason;
  }
  return QStringLiteral("%1  %2").arg(qtkit::FromLocal(task_->Task().TileFileName(position.X, position.Y)), why);
}

}  // namespace viewer
