#include "viewer/StateScanner.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "core/platform/Files.h"

namespace viewer {

namespace {

// Enough for every format's signature.
constexpr std::size_t kHeaderBytes = 64;
// A view larger than this is scanned in plain order: it is most of the task
// anyway, and choosing among its chunks would cost more than it saves.
constexpr int64_t kMaxPriorityTiles = 64 * TileStates::kChunkTiles;

}  // namespace

TileFile InspectTileFile(const std::string& path, const std::string& blank) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return errno == ENOENT || errno == ENOTDIR ? TileFile::Absent : TileFile::NotImage;
  // One byte more than the blank image: a longer file is told from it by length.
  std::string bytes(std::max(kHeaderBytes, blank.size() + 1), '\0');
  const std::size_t read = std::fread(bytes.data(), 1, bytes.size(), file);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return TileFile::NotImage;  // a folder of that name, a read error
  bytes.resize(read);
  if (!blank.empty() && bytes == blank) return TileFile::Blank;

  QByteArray header = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(std::min(read, kHeaderBytes)));
  QBuffer buffer(&header);
  buffer.open(QIODevice::ReadOnly);
  return QImageReader::imageFormat(&buffer).isEmpty() ? TileFile::NotImage : TileFile::Image;
}

StateScanner::StateScanner(const task::MDTask& task, TileStates& states, std::string blankImagePath,
                           std::chrono::milliseconds activityCheckInterval)
    : task_(task),
      states_(states),
      blankImagePath_(std::move(blankImagePath)),
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
  std::string blank;
  if (platform::ReadWholeFile(blankImagePath_, blank) != platform::ReadOutcome::Ok) blank.clear();

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
    if (!RunPass(blank, full)) return;
  }
}

void StateScanner::ReadGivenUp() {
  std::vector<task::TilePosition> tiles;
  try {
    tiles = task_.GivenUpTiles();
  } catch (const platform::FileError&) {
    return;  // unreadable for now (being replaced?): the last list read stands
  }
  givenUp_.clear();
  givenUp_.reserve(tiles.size());
  for (const task::TilePosition& tile : tiles) givenUp_.push_back(states_.IndexOf(tile.X, tile.Y));
  std::sort(givenUp_.begin(), givenUp_.end());
}

TileState StateScanner::StateOf(int64_t index, const std::string& blank) const {
  const task::TilePosition tile = states_.TileAt(index);
  switch (InspectTileFile(task_.TileFilePath(tile.X, tile.Y), blank)) {
    case TileFile::Absent:
      return std::binary_search(givenUp_.begin(), givenUp_.end(), index) ? TileState::GivenUp : TileState::Missing;
    case TileFile::Blank:
      return TileState::Blank;
    case TileFile::Image:
      return TileState::Saved;
    case TileFile::NotImage:
      break;
  }
  return TileState::Unreadable;
}

bool StateScanner::RunPass(const std::string& blank, bool full) {
  // Stamped first: whatever changes during the pass brings another one.
  passStamp_ = StampNow();
  ReadGivenUp();
  std::vector<bool> done(static_cast<std::size_t>(states_.Chunks()), false);
  int64_t sequential = 0;
  for (int64_t chunk = NextChunk(done, sequential); chunk >= 0; chunk = NextChunk(done, sequential)) {
    const int64_t end = states_.ChunkEnd(chunk);
    for (int64_t index = chunk * TileStates::kChunkTiles; index < end; ++index) {
      if (Terminated()) return false;
      const TileState known = states_.At(index);
      if (!full && (known == TileState::Saved || known == TileState::Blank)) continue;
      states_.Learn(index, StateOf(index, blank), full);
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
