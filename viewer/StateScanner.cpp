#include "viewer/StateScanner.h"

#include <algorithm>
#include <system_error>

#include "core/platform/Files.h"

namespace viewer {

namespace {

// A view larger than this is scanned in plain order: it is most of the task
// anyway, and choosing among its chunks would cost more than it saves.
constexpr int64_t kMaxPriorityTiles = 64 * TileStates::kChunkTiles;

}  // namespace

TileState StateOf(task::TileState state) {
  switch (state) {
    case task::TileState::Saved: return TileState::Saved;
    case task::TileState::Blank: return TileState::Blank;
    case task::TileState::GivenUp: return TileState::GivenUp;
    case task::TileState::Missing: return TileState::Missing;
    case task::TileState::Unreadable: return TileState::Unreadable;
  }
  return TileState::Unknown;
}

StateScanner::StateScanner(const task::MDTask& task, TileStates& states, std::string programFolder,
                           std::chrono::milliseconds activityCheckInterval)
    : task_(task),
      states_(states),
      programFolder_(std::move(programFolder)),
      activityCheckInterval_(activityCheckInterval) {}

StateScanner::~StateScanner() {
  {
    std::lock_guard lock(mutex_);
    Terminate();
  }
  wake_.notify_all();
  WaitFor();
}

void StateScanner::SetPriorityArea(const task::TileRange& area) {
  const task::TileRange range = states_.Range();
  const task::TileRange clipped{std::max(area.MinX, range.MinX), std::max(area.MinY, range.MinY),
                                std::min(area.MaxX, range.MaxX), std::min(area.MaxY, range.MaxY)};
  std::lock_guard lock(mutex_);
  if (clipped.MinX <= clipped.MaxX && clipped.MinY <= clipped.MaxY) {
    priority_ = clipped;
  } else {
    priority_.reset();
  }
}

void StateScanner::Reload() {
  {
    std::lock_guard lock(mutex_);
    reloadRequested_.store(true);
  }
  wake_.notify_all();
}

StateScanner::ActivityStamp StateScanner::StampNow() const {
  // Saving a tile (a rename into the folder) changes the folder's time.
  std::error_code ignored;
  ActivityStamp stamp;
  stamp.Folder = std::filesystem::last_write_time(task_.ImageFolder, ignored);
  stamp.FailedList = std::filesystem::last_write_time(task_.FailedListFileName, ignored);
  stamp.FailedListSize = std::filesystem::file_size(task_.FailedListFileName, ignored);
  return stamp;
}

void StateScanner::Execute() {
  bool first = true;  // starts at once and looks at every tile
  for (;;) {
    bool full = first;
    {
      std::unique_lock lock(mutex_);
      if (!first) {
        wake_.wait_for(lock, activityCheckInterval_, [this] { return Terminated() || reloadRequested_.load(); });
      }
      if (Terminated()) return;
      full = reloadRequested_.exchange(false) || full;
    }
    if (!full && StampNow() == passStamp_) continue;
    first = false;
    if (!RunPass(full)) return;
  }
}

std::shared_ptr<const task::TileCensus> StateScanner::Census() const {
  std::lock_guard lock(mutex_);
  return census_;
}

void StateScanner::TakeCensus() {
  try {
    auto census = std::make_shared<const task::TileCensus>(task_, programFolder_);
    std::lock_guard lock(mutex_);
    census_ = std::move(census);
  } catch (const platform::FileError&) {
  }
}

bool StateScanner::RunPass(bool full) {
  // Stamped first: whatever changes during the pass brings another one.
  passStamp_ = StampNow();
  TakeCensus();
  if (!census_) return true;  // the next change brings another pass
  std::vector<bool> done(static_cast<std::size_t>(states_.Chunks()), false);
  int64_t sequential = 0;
  for (int64_t chunk = NextChunk(done, sequential); chunk >= 0; chunk = NextChunk(done, sequential)) {
    const int64_t end = states_.ChunkEnd(chunk);
    for (int64_t index = chunk * TileStates::kChunkTiles; index < end; ++index) {
      if (Terminated()) return false;
      const TileState known = states_.At(index);
      if (known == TileState::Outside || (!full && (known == TileState::Saved || known == TileState::Blank))) continue;
      const task::TilePosition tile = states_.TileAt(index);
      if (!task_.HasTile(tile.X, tile.Y)) {
        states_.Learn(index, TileState::Outside);
        continue;
      }
      states_.Learn(index, StateOf(census_->Judge(tile.X, tile.Y).State), full);
    }
    done[static_cast<std::size_t>(chunk)] = true;
    if (reloadRequested_.load()) return true;  // the loop starts the pass over
  }
  return true;
}

int64_t StateScanner::NextChunk(const std::vector<bool>& done, int64_t& sequential) const {
  std::optional<task::TileRange> area;
  {
    std::lock_guard lock(mutex_);
    area = priority_;
  }
  if (area && area->Count() <= kMaxPriorityTiles) {
    for (int32_t x = area->MinX; x <= area->MaxX; ++x) {
      const int64_t first = states_.IndexOf(x, area->MinY) >> TileStates::kChunkShift;
      const int64_t last = states_.IndexOf(x, area->MaxY) >> TileStates::kChunkShift;
      for (int64_t chunk = first; chunk <= last; ++chunk) {
        if (!done[static_cast<std::size_t>(chunk)]) return chunk;
      }
    }
  }
  while (sequential < static_cast<int64_t>(done.size()) && done[static_cast<std::size_t>(sequential)]) ++sequential;
  return sequential < static_cast<int64_t>(done.size()) ? sequential : -1;
}

}  // namespace viewer
