#include "combiner/Pyramid.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "core/task/TileGrid.h"
#include "combiner/TileWorkers.h"

namespace combiner {

namespace {

constexpr int kHalfSide = task::kTileSize / 2;
constexpr std::size_t kHalfRowBytes = kHalfSide * 3;

// Tiles read ahead of the one being written: enough to keep every thread
// busy, few enough that their bytes cost little memory.
std::size_t TilesAhead(unsigned threads) { return std::max<std::size_t>(128, 16 * std::size_t{threads}); }

// A tile's pixels at half size, empty for the fill colour (a hole, or a
// stream that does not decode after all).
Pixels HalfOf(const TileContent& tile) {
  switch (tile.What) {
    case TileContent::Kind::AsDownloaded: return DecodeJpeg(tile.Bytes, 2).value_or(Pixels());
    case TileContent::Kind::Decoded: return HalveTile(tile.Image);
    case TileContent::Kind::Hole: break;
  }
  return {};
}

constexpr std::size_t kCoverBytes = std::size_t{task::kTileSize} * task::kTileSize;

// A cover at half size: each value the mean of the 2 x 2 below it; empty
// (all covered) stays empty.
Pixels HalveCover(const Pixels& cover) {
  if (cover.empty()) return {};
  Pixels half(static_cast<std::size_t>(kHalfSide) * kHalfSide);
  for (std::size_t row = 0; row < kHalfSide; ++row) {
    const uint8_t* top = cover.data() + 2 * row * task::kTileSize;
    const uint8_t* bottom = top + task::kTileSize;
    for (std::size_t column = 0; column < kHalfSide; ++column) {
      half[row * kHalfSide + column] =
          static_cast<uint8_t>((top[2 * column] + top[2 * column + 1] + bottom[2 * column] + bottom[2 * column + 1] + 2) >> 2);
    }
  }
  return half;
}

struct LoadedTile {
  TileContent Content;
  std::string Bytes;
  Pixels Half;
};

class Builder {
 public:
  Builder(const PyramidPlan& plan, PyramidOutput& output, TileWorkers& workers)
      : plan_(plan), output_(output), workers_(workers) {
    const int64_t firstColumn = plan.Range.MinX - plan.OriginX, lastColumn = plan.Range.MaxX - plan.OriginX;
    const int64_t firstRow = plan.Range.MinY - plan.OriginY, lastRow = plan.Range.MaxY - plan.OriginY;
    for (int level = 0; level <= plan.Levels; ++level) {
      Level& added = levels_.emplace_back();
      added.FirstColumn = firstColumn >> level;
      added.LastRow = lastRow >> level;
      added.Tiles.resize(static_cast<std::size_t>((lastColumn >> level) - added.FirstColumn + 1));
      added.Covers.resize(added.Tiles.size());
      added.HasData.resize(added.Tiles.size());
      added.Row = firstRow >> level;
      added.FirstRow = added.Row;
      added.Columns = added.Tiles.size();
      if (DownloadedLevel(level) != nullptr) {
        added.Judged.assign(static_cast<std::size_t>(added.LastRow - added.FirstRow + 1), false);
        added.Taken.assign(added.Judged.size() * added.Columns, false);
      }
    }
  }

  // Judges row `row` of level's downloaded tiles, once: before Taken is asked
  // of it. The combine's thread.
  void JudgeRow(int level, int64_t row) {
    if (level < 1 || level > plan_.Levels) return;
    Level& target = levels_[static_cast<std::size_t>(level)];
    const TileReader* reader = DownloadedLevel(level);
    if (reader == nullptr || target.Judged[static_cast<std::size_t>(row - target.FirstRow)]) return;
    target.Judged[static_cast<std::size_t>(row - target.FirstRow)] = true;
    const std::size_t first = static_cast<std::size_t>(row - target.FirstRow) * target.Columns;
    workers_.ForEach(target.Columns, [&](std::size_t i) {
      const int64_t column = target.FirstColumn + static_cast<int64_t>(i);
      target.Taken[first + i] = reader->Has(static_cast<int32_t>(column + (plan_.OriginX >> level)),
                                            static_cast<int32_t>(row + (plan_.OriginY >> level)));
    });
  }

  // Whether tile (column, row) of level is a job's downloaded tile (its row
  // judged): then nothing is computed for it, nor for the tiles below it
  // but for their own sake. Any thread.
  bool Taken(int level, int64_t column, int64_t row) const {
    if (level < 1 || level > plan_.Levels) return false;
    const Level& target = levels_[static_cast<std::size_t>(level)];
    if (target.Taken.empty()) return false;
    return target.Taken[static_cast<std::size_t>(row - target.FirstRow) * target.Columns +
                        static_cast<std::size_t>(column - target.FirstColumn)] != 0;
  }

  // The half-size pixels of tile (column, row) of level - 1 (empty for the
  // fill colour) and their cover (empty: all covered) into level.
  void Feed(int level, int64_t column, int64_t row, const Pixels& half, bool hasData, const Pixels& halfCover = {}) {
    Level& target = levels_[static_cast<std::size_t>(level)];
    const auto index = static_cast<std::size_t>((column >> 1) - target.FirstColumn);
    if (!hasData) return;
    target.HasData[index] = true;
    if (half.empty()) return;
    Pixels& tile = target.Tiles[index];
    Pixels& cover = target.Covers[index];
    if (tile.empty()) {
      tile = SolidPixels(plan_.Fill);
      cover.assign(kCoverBytes, 0);
    }
    const std::size_t left = static_cast<std::size_t>(column & 1) * kHalfSide;
    const std::size_t top = static_cast<std::size_t>(row & 1) * kHalfSide;
    for (std::size_t line = 0; line < kHalfSide; ++line) {
      std::copy_n(half.data() + line * kHalfRowBytes, kHalfRowBytes,
                  tile.data() + (top + line) * task::kTileSize * 3 + left * 3);
      uint8_t* coverLine = cover.data() + (top + line) * task::kTileSize + left;
      if (halfCover.empty()) {
        std::fill_n(coverLine, kHalfSide, uint8_t{255});
      } else {
        std::copy_n(halfCover.data() + line * kHalfSide, kHalfSide, coverLine);
      }
    }
  }

  // The tiles of levels above taken from a job's downloaded levels.
  int64_t FromDownloadedLevels() const { return fromDownloadedLevels_; }

  // Row `row` of level is complete: the level above takes its row once both
  // of its halves (or the last row there is) have come.
  void RowDone(int level, int64_t row) {
    if (level == plan_.Levels) return;
    if ((row & 1) == 1 || row == levels_[static_cast<std::size_t>(level)].LastRow) Emit(level + 1);
  }

 private:
  struct Level {
    int64_t FirstColumn = 0;
    int64_t LastRow = 0;
    int64_t Row = 0;           // the row being gathered
    std::vector<Pixels> Tiles;  // empty until a quarter arrives
    std::vector<Pixels> Covers;  // with its tile: 255 where the quarters with data lie
    std::vector<char> HasData;
    int64_t FirstRow = 0;
    std::size_t Columns = 0;  // of Tiles, read from any thread (Tiles is swapped)
    // With a downloaded level: which rows are judged, and which tiles are
    // downloaded ones, row by row.
    std::vector<char> Judged;
    std::vector<char> Taken;
  };

  void Emit(int level) {
    Level& source = levels_[static_cast<std::size_t>(level)];
    std::vector<Pixels> tiles(source.Tiles.size());
    std::vector<Pixels> covers(source.Covers.size());
    std::vector<char> hasData(source.HasData.size(), false);
    tiles.swap(source.Tiles);
    covers.swap(source.Covers);
    hasData.swap(source.HasData);
    const int64_t row = source.Row++;
    const bool top = level == plan_.Levels;
    std::vector<std::string> bytes(tiles.size());
    std::vector<Pixels> halves(tiles.size());
    std::vector<Pixels> halfCovers(tiles.size());
    std::vector<char> downloaded(tiles.size(), false);
    const TileReader* job = DownloadedLevel(level);
    JudgeRow(level, row);
    if (!top) JudgeRow(level + 1, row >> 1);
    workers_.ForEach(tiles.size(), [&](std::size_t i) {
      const int64_t column = source.FirstColumn + static_cast<int64_t>(i);
      // The level above takes this tile's half only where it computes.
      const bool halfNeeded = !top && !Taken(level + 1, column >> 1, row >> 1);
      if (job != nullptr && Taken(level, column, row)) {
        TileContent tile = job->Load(static_cast<int32_t>(column + (plan_.OriginX >> level)),
                                     static_cast<int32_t>(row + (plan_.OriginY >> level)), plan_.KeepAsIs);
        if (tile.What != TileContent::Kind::Hole) {
          // As downloaded, wholly covered.
          downloaded[i] = true;
          if (halfNeeded) halves[i] = HalfOf(tile);
          bytes[i] = output_.EncodeBase(tile);
          Pixels().swap(tiles[i]);
          Pixels().swap(covers[i]);
          return;
        }
        // Judged a tile, but its stream does not decode: nothing below it
        // was computed, so it stays a hole of the level.
        hasData[i] = false;
        return;
      }
      if (!hasData[i]) return;
      if (tiles[i].empty()) {
        tiles[i] = SolidPixels(plan_.Fill);
        Pixels().swap(covers[i]);
      }
      if (std::all_of(covers[i].begin(), covers[i].end(), [](uint8_t value) { return value == 255; })) {
        Pixels().swap(covers[i]);
      }
      bytes[i] = output_.EncodeLevel(tiles[i], covers[i]);
      if (halfNeeded) {
        halves[i] = HalveTile(tiles[i]);
        halfCovers[i] = HalveCover(covers[i]);
      }
      Pixels().swap(tiles[i]);
      Pixels().swap(covers[i]);
    });
    for (std::size_t i = 0; i < tiles.size(); ++i) {
      const int64_t column = source.FirstColumn + static_cast<int64_t>(i);
      const bool data = hasData[i] != 0 || downloaded[i] != 0;
      if (downloaded[i] != 0) ++fromDownloadedLevels_;
      output_.PutLevel(level, column, row, data, downloaded[i] != 0, std::move(bytes[i]));
      if (!top) Feed(level + 1, column, row, halves[i], data, halfCovers[i]);
      Pixels().swap(halves[i]);
      Pixels().swap(halfCovers[i]);
    }
    RowDone(level, row);
  }

  const TileReader* DownloadedLevel(int level) const {
    const auto index = static_cast<std::size_t>(level - 1);
    return index < plan_.Downloaded.size() ? plan_.Downloaded[index] : nullptr;
  }

  const PyramidPlan& plan_;
  PyramidOutput& output_;
  TileWorkers& workers_;
  std::vector<Level> levels_;
  int64_t fromDownloadedLevels_ = 0;
};

}  // namespace

TileTally BuildPyramid(const TileReader& tiles, const PyramidPlan& plan, PyramidOutput& output, HoleList& holes,
                       Progress& progress, const std::string& stage) {
  const task::TileRange& range = plan.Range;
  const auto total = static_cast<std::size_t>(range.Count());
  const auto xOf = [&](std::size_t index) { return range.AtRowMajorIndex(static_cast<int64_t>(index)).X; };
  const auto yOf = [&](std::size_t index) { return range.AtRowMajorIndex(static_cast<int64_t>(index)).Y; };

  // Tile i is read into slot i % ahead while the tiles before it are put.
  // Declared before the workers: their jobs fill it until the pool ends.
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t ahead = TilesAhead(threads);
  std::vector<LoadedTile> slots(ahead);
  const std::unique_ptr<std::atomic<bool>[]> loaded(new std::atomic<bool>[ahead]());
  TileWorkers workers(threads);
  Builder builder(plan, output, workers);
  std::size_t queued = 0;
  const auto queueUpTo = [&](std::size_t end) {
    for (; queued < std::min(end, total); ++queued) {
      builder.JudgeRow(1, (yOf(queued) - plan.OriginY) >> 1);
      workers.Submit([&, index = queued] {
        LoadedTile& tile = slots[index % ahead];
        tile.Content = tiles.Load(xOf(index), yOf(index), plan.KeepAsIs);
        const int64_t column = xOf(index) - plan.OriginX, row = yOf(index) - plan.OriginY;
        if (plan.Levels > 0 && !builder.Taken(1, column >> 1, row >> 1)) tile.Half = HalfOf(tile.Content);
        tile.Bytes = output.EncodeBase(tile.Content);
        Pixels().swap(tile.Content.Image);
        loaded[index % ahead] = true;
      });
    }
  };

  TileTally tally;
  queueUpTo(ahead);
  for (std::size_t index = 0; index < total; ++index) {
    if (progress.CancelRequested()) throw Cancelled();
    const std::size_t slot = index % ahead;
    workers.RunUntil([&] { return loaded[slot].load(); });
    LoadedTile& tile = slots[slot];
    const int32_t x = xOf(index), y = yOf(index);
    switch (tile.Content.What) {
      case TileContent::Kind::AsDownloaded: ++tally.Copied; break;
      case TileContent::Kind::Decoded: ++tally.Reencoded; break;
      case TileContent::Kind::Hole:
        if (tile.Content.Outside) {
          ++tally.Outside;
        } else {
          ++tally.Holes;
          holes.Add(x, y, tile.Content.Verdict);
        }
        break;
    }
    const int64_t column = x - plan.OriginX, row = y - plan.OriginY;
    output.PutBase(column, row, tile.Content, std::move(tile.Bytes));
    if (plan.Levels > 0) {
      builder.Feed(1, column, row, tile.Half, tile.Content.What != TileContent::Kind::Hole);
      if (x == range.MaxX) builder.RowDone(0, row);
    }
    tile = LoadedTile();
    loaded[slot] = false;
    queueUpTo(index + 1 + ahead);
    progress.Report(stage, static_cast<double>(index + 1) / static_cast<double>(total));
  }
  tally.FromDownloadedLevels = builder.FromDownloadedLevels();
  return tally;
}

int32_t ZoomHoldingInOneTile(const task::TileRange& range, int32_t zoom) {
  int32_t fits = zoom;
  while (fits > 0 && ((range.MinX >> (zoom - fits)) != (range.MaxX >> (zoom - fits)) ||
                      (range.MinY >> (zoom - fits)) != (range.MaxY >> (zoom - fits)))) {
    --fits;
  }
  return fits;
}

}  // namespace combiner
