#include "core/task/TileCensus.h"

#include <algorithm>
#include <limits>

#include "core/platform/FileBytes.h"
#include "core/task/TaskFiles.h"
#include "core/task/TileImage.h"

namespace task {

namespace {

constexpr std::size_t kFlushBytes = std::size_t{1} << 20;

}  // namespace

const char* TileStateName(TileState state) {
  switch (state) {
    case TileState::Saved: return "saved";
    case TileState::Blank: return "blank";
    case TileState::GivenUp: return "given up";
    case TileState::Missing: return "missing";
    case TileState::Unreadable: return "unreadable";
  }
  return "missing";
}

int64_t CensusCounts::Total() const {
  int64_t total = 0;
  for (const int64_t count : Of) total += count;
  return total;
}

int64_t CensusCounts::Holes() const {
  return (*this)[TileState::GivenUp] + (*this)[TileState::Missing] + (*this)[TileState::Unreadable];
}

TileCensus::TileCensus(const MDTask& task, const std::string& programFolder) : task_(task) {
  if (platform::ReadWholeFile(task.BlankImagePath(programFolder), blank_) != platform::ReadOutcome::Ok) blank_.clear();
  const TileRange range = task.Range();
  for (const TilePosition& tile : task::GivenUpTiles(task)) listed_.push_back(range.WalkNumber(tile.X, tile.Y));
  std::sort(listed_.begin(), listed_.end());
}

bool TileCensus::Listed(int32_t x, int32_t y) const {
  return std::binary_search(listed_.begin(), listed_.end(), task_.WalkNumber(x, y));
}

TileVerdict TileCensus::Judge(int32_t x, int32_t y) const { return JudgeFile(x, y, nullptr); }

TileVerdict TileCensus::JudgeAndRead(int32_t x, int32_t y, std::string& contents) const {
  return JudgeFile(x, y, &contents);
}

TileVerdict TileCensus::JudgeFile(int32_t x, int32_t y, std::string* contents) const {
  if (contents != nullptr) contents->clear();
  // Enough to tell the blank image from a file of the same length at once.
  const std::size_t head = contents != nullptr ? std::numeric_limits<std::size_t>::max()
                                               : std::max<std::size_t>(4096, blank_.size());
  platform::FileBytes file(task_.TileFilePath(x, y), head);
  switch (file.What()) {
    case platform::FileBytes::Kind::Absent:
      return {Listed(x, y) ? TileState::GivenUp : TileState::Missing, {}};
    case platform::FileBytes::Kind::Folder:
      return {TileState::Unreadable, "a folder"};
    case platform::FileBytes::Kind::Other:
      return {TileState::Unreadable, "not a regular file"};
    case platform::FileBytes::Kind::Failed:
      return {TileState::Unreadable, "cannot be read: " + file.ErrorText()};
    case platform::FileBytes::Kind::Regular:
      break;
  }
  if (!blank_.empty() && file.Size() == blank_.size() && file.Read(0, blank_.size()) == blank_) {
    if (contents != nullptr) *contents = blank_;
    return {Listed(x, y) ? TileState::GivenUp : TileState::Blank, {}};
  }
  std::optional<std::string> problem = TileImageProblem(file, task_.TileExtension());
  if (file.What() == platform::FileBytes::Kind::Failed) problem = "cannot be read: " + file.ErrorText();
  if (problem) return {TileState::Unreadable, std::move(*problem)};
  if (contents != nullptr) *contents = file.Read(0, static_cast<std::size_t>(file.Size()));
  return {TileState::Saved, {}};
}

CensusCounts TileCensus::Walk(const std::function<bool(TilePosition, const TileVerdict&)>& visit) const {
  CensusCounts counts;
  const TileRange range = task_.Range();
  for (int64_t p = 1; p <= range.Count(); ++p) {
    const TilePosition tile = range.AtWalkNumber(p);
    if (!task_.HasTile(tile.X, tile.Y)) continue;
    const TileVerdict verdict = Judge(tile.X, tile.Y);
    counts.Add(verdict.State);
    if (visit && !visit(tile, verdict)) break;
  }
  return counts;
}

FailedListWriter::FailedListWriter(const MDTask& task, const std::string& path) : task_(task), out_(path) {}

void FailedListWriter::Add(int32_t x, int32_t y) {
  pending_ += task::FailedRecord(task_, x, y);
  pending_ += "\r\n";
  ++count_;
  if (pending_.size() >= kFlushBytes) {
    out_.Write(pending_);
    pending_.clear();
  }
}

void FailedListWriter::Commit() {
  out_.Write(pending_);
  pending_.clear();
  out_.Commit();
}

}  // namespace task
