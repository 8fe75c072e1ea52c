#include "combiner/MbTiles.h"

#include <sqlite3.h>

#include <memory>

#include "combiner/TileArea.h"
#include "core/platform/Files.h"
#include "core/platform/Numbers.h"

namespace combiner {

namespace {

struct DatabaseCloser {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

class Database {
 public:
  explicit Database(const std::string& path) : path_(path) {
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    db_.reset(db);
    if (opened != SQLITE_OK) platform::ThrowCannotCreate(path);
  }

  void Execute(const char* sql) {
    if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail();
  }

  Statement Prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql, -1, &statement, nullptr) != SQLITE_OK) Fail();
    return Statement(statement);
  }

  void Run(sqlite3_stmt* statement) {
    if (sqlite3_step(statement) != SQLITE_DONE) Fail();
    sqlite3_reset(statement);
  }

  void Close() {
    if (sqlite3_close(db_.release()) != SQLITE_OK) platform::ThrowUnableToWrite(path_);
  }

 private:
  [[noreturn]] void Fail() {
    throw platform::FileError("Unable to write to " + path_ + ": " + sqlite3_errmsg(db_.get()));
  }

  std::string path_;
  std::unique_ptr<sqlite3, DatabaseCloser> db_;
};

std::string Number(double value) { return platform::FormatGeneral(value, '.'); }

}  // namespace

TileTally WriteMbTiles(const std::string& path, const std::string& name, const task::TileRange& range,
                       const TaskTiles& tiles, HoleList& holes, Progress& progress, const std::string& stage) {
  const task::MDTask& task = tiles.Task();
  const int32_t zoom = task.Parameters->Zoom;
  Database db(path);
  // A temporary file until it is complete: no journal needed.
  db.Execute("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
  db.Execute("CREATE TABLE metadata (name TEXT, value TEXT);"
             "CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, tile_data BLOB);");
  db.Execute("BEGIN");

  const DegreeBox box = DegreesOf(range, zoom);
  const std::string bounds =
      Number(box.West) + "," + Number(box.South) + "," + Number(box.East) + "," + Number(box.North);
  const std::string zoomText = platform::FormatInteger(zoom);
  const std::pair<const char*, std::string> metadata[] = {
      {"name", name},         {"format", "jpg"},        {"bounds", bounds},
      {"minzoom", zoomText},  {"maxzoom", zoomText},    {"type", "baselayer"},
  };
  Statement addMetadata = db.Prepare("INSERT INTO metadata (name, value) VALUES (?, ?)");
  for (const auto& [key, value] : metadata) {
    sqlite3_bind_text(addMetadata.get(), 1, key, -1, SQLITE_STATIC);
    sqlite3_bind_text(addMetadata.get(), 2, value.c_str(), -1, SQLITE_TRANSIENT);
    db.Run(addMetadata.get());
  }

  Statement addTile =
      db.Prepare("INSERT INTO tiles (zoom_level, tile_column, tile_row, tile_data) VALUES (?, ?, ?, ?)");
  const auto keepAsIs = [](const JpegLayout& layout) { return IsWholeJpeg(layout); };
  const int64_t lastRow = (int64_t{1} << zoom) - 1;
  TileTally tally;
  const int64_t total = range.Count();
  for (int64_t index = 0; index < total; ++index) {
    if (progress.CancelRequested()) throw Cancelled();
    const auto x = static_cast<int32_t>(range.MinX + index % range.Columns());
    const auto y = static_cast<int32_t>(range.MinY + index / range.Columns());
    TileContent tile = tiles.Load(x, y, keepAsIs);
    if (tile.What == TileContent::Kind::Hole) {
      holes.Add(x, y, tile.Verdict);
    } else {
      if (tile.What == TileContent::Kind::AsDownloaded) {
        ++tally.Copied;
      } else {
        ++tally.Reencoded;
        tile.Bytes = EncodeJpeg(tile.Image, ChromaSampling{}, kJpegQuality);
      }
      sqlite3_bind_int(addTile.get(), 1, zoom);
      sqlite3_bind_int64(addTile.get(), 2, x);
      sqlite3_bind_int64(addTile.get(), 3, lastRow - y);  // TMS counts rows from the south
      sqlite3_bind_blob64(addTile.get(), 4, tile.Bytes.data(), tile.Bytes.size(), SQLITE_STATIC);
      db.Run(addTile.get());
    }
    progress.Report(stage, static_cast<double>(index + 1) / static_cast<double>(total));
  }
  addTile.reset();
  addMetadata.reset();
  db.Execute("COMMIT");
  db.Execute("CREATE UNIQUE INDEX tile_index ON tiles (zoom_level, tile_column, tile_row)");
  db.Close();
  return tally;
}

}  // namespace combiner
