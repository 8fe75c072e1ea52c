// The given-up and missing tiles of a task as a list, in the task's walk
// order, without a list of them in memory: rows are found through the
// per-chunk hole counts, so a task with a million holes costs a few bytes
// per chunk. Refresh() takes in what the scanner has learned since.
//
// GUI thread only.
#pragma once

#include <QAbstractListModel>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "viewer/LoadedTask.h"

namespace viewer {

class HoleListModel final : public QAbstractListModel {
  Q_OBJECT

 public:
  using QAbstractListModel::QAbstractListModel;

  void SetTask(std::shared_ptr<const LoadedTask> task);
  void Refresh();

  // The tile index of a row; nothing when the states changed under it.
  std::optional<int64_t> TileIndexAt(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  std::shared_ptr<const LoadedTask> task_;
  // Holes before each chunk, and after the last: a snapshot of the counts.
  std::vector<int64_t> holesBefore_;
};

}  // namespace viewer
