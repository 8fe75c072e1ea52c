// The holes of a task (given up, missing, unreadable) as a list, in the
// task's walk order, without a list of them in memory: rows are found through
// the per-chunk hole counts, so a task with a million holes costs a few bytes
// per chunk. Refresh() takes in what the scanner has learned since. An
// unreadable tile's row tells why once that is known: the reasons of the rows
// shown are asked for as they are shown (telling means reading the file).
//
// GUI thread only.
#pragma once

#include <QAbstractListModel>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "viewer/TaskWatch.h"

namespace viewer {

class HoleListModel final : public QAbstractListModel {
  Q_OBJECT

 public:
  using QAbstractListModel::QAbstractListModel;

  // Asks for the reasons of unreadable tiles (tile indices); they come back
  // through LearnReasons.
  using ReasonLookup = std::function<void(std::vector<int64_t> tiles)>;
  void SetReasonLookup(ReasonLookup lookup) { lookup_ = std::move(lookup); }

  void SetTask(std::shared_ptr<const TaskWatch> task);
  void Refresh();
  // Reasons found for task's tiles (empty: the tile is not unreadable now);
  // those of a task no longer shown are dropped.
  void LearnReasons(const TaskWatch* task, const std::vector<std::pair<int64_t, std::string>>& reasons);
  // The files may have changed: reasons are asked for again.
  void ForgetReasons();

  // The tile index of a row; nothing when the states changed under it.
  std::optional<int64_t> TileIndexAt(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  // Why an unreadable tile is; nothing while the reason is being asked for.
  std::optional<QString> ReasonOf(int64_t tile) const;

  std::shared_ptr<const TaskWatch> task_;
  // Holes before each chunk, and after the last: a snapshot of the counts.
  std::vector<int64_t> holesBefore_;
  ReasonLookup lookup_;
  std::unordered_map<int64_t, QString> reasons_;
  // Asked for and not answered yet; those still to be sent.
  mutable std::unordered_set<int64_t> asked_;
  mutable std::vector<int64_t> toAsk_;
};

}  // namespace viewer
