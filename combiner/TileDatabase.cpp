#include "combiner/TileDatabase.h"

#include <sqlite3.h>
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "combiner/GdalSteps.h"
#include "combiner/GeoTiff.h"
#include "core/task/TileGrid.h"
#include "combiner/TileArea.h"
#include "core/platform/Files.h"
#include "core/platform/Numbers.h"

namespace combiner {

namespace {

// "GPKG" as the file's application id, and the version of the standard.
constexpr int kGeoPackageApplicationId = 0x47504B47;
constexpr int kGeoPackageVersion = 10200;

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

  void Execute(const std::string& sql) {
    if (sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail();
  }

  Statement Prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql, -1, &statement, nullptr) != SQLITE_OK) Fail();
    return Statement(statement);
  }

  // Binds values (text, integers, doubles) to statement's parameters in
  // order, runs it and makes it ready for the next.
  template <typename... Values>
  void Run(sqlite3_stmt* statement, const Values&... values) {
    int index = 0;
    (Bind(statement, ++index, values), ...);
    if (sqlite3_step(statement) != SQLITE_DONE) Fail();
    sqlite3_reset(statement);
  }

  void Close() {
    if (sqlite3_close(db_.release()) != SQLITE_OK) platform::ThrowUnableToWrite(path_);
  }

 private:
  static void Bind(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  static void Bind(sqlite3_stmt* statement, int index, int64_t value) { sqlite3_bind_int64(statement, index, value); }
  static void Bind(sqlite3_stmt* statement, int index, double value) { sqlite3_bind_double(statement, index, value); }

  [[noreturn]] void Fail() {
    throw platform::FileError("Unable to write to " + path_ + ": " + sqlite3_errmsg(db_.get()));
  }

  std::string path_;
  std::unique_ptr<sqlite3, DatabaseCloser> db_;
};

std::string Number(double value) { return platform::FormatGeneral(value, '.'); }

void CreateMbTiles(Database& db, const TileDatabaseSettings& settings, const task::TileRange& range, int32_t zoom) {
  db.Execute("CREATE TABLE metadata (name TEXT, value TEXT);"
             "CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, tile_data BLOB);");
  const DegreeBox box = DegreesOf(range, zoom);
  const int32_t view = std::max(settings.MinZoom, ZoomHoldingInOneTile(range, zoom));
  const std::pair<const char*, std::string> metadata[] = {
      {"name", settings.Name},
      {"format", "jpg"},
      {"type", "baselayer"},
      {"bounds", Number(box.West) + "," + Number(box.South) + "," + Number(box.East) + "," + Number(box.North)},
      {"center", Number((box.West + box.East) / 2) + "," + Number((box.South + box.North) / 2) + "," +
                     platform::FormatInteger(view)},
      {"minzoom", platform::FormatInteger(settings.MinZoom)},
      {"maxzoom", platform::FormatInteger(zoom)},
  };
  Statement add = db.Prepare("INSERT INTO metadata (name, value) VALUES (?, ?)");
  for (const auto& [key, value] : metadata) db.Run(add.get(), std::string(key), value);
}

void CreateGeoPackage(Database& db, const TileDatabaseSettings& settings, const task::TileRange& range, int32_t zoom) {
  db.Execute("PRAGMA application_id = " + platform::FormatInteger(kGeoPackageApplicationId) +
             "; PRAGMA user_version = " + platform::FormatInteger(kGeoPackageVersion) + ";");
  db.Execute(
      "CREATE TABLE gpkg_spatial_ref_sys (srs_name TEXT NOT NULL, srs_id INTEGER NOT NULL PRIMARY KEY,"
      " organization TEXT NOT NULL, organization_coordsys_id INTEGER NOT NULL, definition TEXT NOT NULL,"
      " description TEXT);"
      "CREATE TABLE gpkg_contents (table_name TEXT NOT NULL PRIMARY KEY, data_type TEXT NOT NULL,"
      " identifier TEXT UNIQUE, description TEXT DEFAULT '',"
      " last_change DATETIME NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%fZ','now')),"
      " min_x DOUBLE, min_y DOUBLE, max_x DOUBLE, max_y DOUBLE, srs_id INTEGER,"
      " CONSTRAINT fk_gc_r_srs_id FOREIGN KEY (srs_id) REFERENCES gpkg_spatial_ref_sys(srs_id));"
      "CREATE TABLE gpkg_tile_matrix_set (table_name TEXT NOT NULL PRIMARY KEY, srs_id INTEGER NOT NULL,"
      " min_x DOUBLE NOT NULL, min_y DOUBLE NOT NULL, max_x DOUBLE NOT NULL, max_y DOUBLE NOT NULL,"
      " CONSTRAINT fk_gtms_table_name FOREIGN KEY (table_name) REFERENCES gpkg_contents(table_name),"
      " CONSTRAINT fk_gtms_srs FOREIGN KEY (srs_id) REFERENCES gpkg_spatial_ref_sys (srs_id));"
      "CREATE TABLE gpkg_tile_matrix (table_name TEXT NOT NULL, zoom_level INTEGER NOT NULL,"
      " matrix_width INTEGER NOT NULL, matrix_height INTEGER NOT NULL, tile_width INTEGER NOT NULL,"
      " tile_height INTEGER NOT NULL, pixel_x_size DOUBLE NOT NULL, pixel_y_size DOUBLE NOT NULL,"
      " CONSTRAINT pk_ttm PRIMARY KEY (table_name, zoom_level),"
      " CONSTRAINT fk_tmm_table_name FOREIGN KEY (table_name) REFERENCES gpkg_contents(table_name));"
      "CREATE TABLE tiles (id INTEGER PRIMARY KEY AUTOINCREMENT, zoom_level INTEGER NOT NULL,"
      " tile_column INTEGER NOT NULL, tile_row INTEGER NOT NULL, tile_data BLOB NOT NULL,"
      " UNIQUE (zoom_level, tile_column, tile_row));");

  Statement addSrs = db.Prepare(
      "INSERT INTO gpkg_spatial_ref_sys (srs_name, srs_id, organization, organization_coordsys_id, definition)"
      " VALUES (?, ?, ?, ?, ?)");
  const std::string undefined = "undefined";
  db.Run(addSrs.get(), std::string("Undefined cartesian SRS"), int64_t{-1}, std::string("NONE"), int64_t{-1}, undefined);
  db.Run(addSrs.get(), std::string("Undefined geographic SRS"), int64_t{0}, std::string("NONE"), int64_t{0}, undefined);
  for (const auto& [name, epsg] : {std::pair<const char*, int64_t>{"WGS 84 geodetic", task::kWgs84Epsg},
                                   std::pair<const char*, int64_t>{"WGS 84 / Pseudo-Mercator", task::kWebMercatorEpsg}}) {
    db.Run(addSrs.get(), std::string(name), epsg, std::string("EPSG"), epsg, WktText(static_cast<int>(epsg)));
  }

  Statement addContents = db.Prepare(
      "INSERT INTO gpkg_contents (table_name, data_type, identifier, min_x, min_y, max_x, max_y, srs_id)"
      " VALUES ('tiles', 'tiles', ?, ?, ?, ?, ?, ?)");
  db.Run(addContents.get(), settings.Name, task::ColumnEdgeMetres(range.MinX, zoom), task::RowEdgeMetres(range.MaxY + 1, zoom),
         task::ColumnEdgeMetres(range.MaxX + 1, zoom), task::RowEdgeMetres(range.MinY, zoom), int64_t{task::kWebMercatorEpsg});
  Statement addMatrixSet = db.Prepare(
      "INSERT INTO gpkg_tile_matrix_set (table_name, srs_id, min_x, min_y, max_x, max_y)"
      " VALUES ('tiles', ?, ?, ?, ?, ?)");
  db.Run(addMatrixSet.get(), int64_t{task::kWebMercatorEpsg}, -task::kGridHalfSpan, -task::kGridHalfSpan, task::kGridHalfSpan, task::kGridHalfSpan);
  Statement addMatrix = db.Prepare(
      "INSERT INTO gpkg_tile_matrix (table_name, zoom_level, matrix_width, matrix_height, tile_width, tile_height,"
      " pixel_x_size, pixel_y_size) VALUES ('tiles', ?, ?, ?, ?, ?, ?, ?)");
  for (int32_t level = settings.MinZoom; level <= zoom; ++level) {
    const int64_t side = int64_t{1} << level;
    const double pixel = task::TileSpanMetres(level) / task::kTileSize;
    db.Run(addMatrix.get(), int64_t{level}, side, side, int64_t{task::kTileSize}, int64_t{task::kTileSize}, pixel, pixel);
  }
}

void AppendBigEndian(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(value >> shift & 0xFF);
}

void AppendChunk(std::string& out, const char* type, const std::string& data) {
  AppendBigEndian(out, static_cast<uint32_t>(data.size()));
  const std::string typed = std::string(type, 4) + data;
  out += typed;
  AppendBigEndian(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(typed.data()),
                                                   static_cast<uInt>(typed.size()))));
}

// A tile's RGB pixels with alpha as an 8-bit RGBA PNG.
std::string EncodePngWithAlpha(const Pixels& rgb, const Pixels& alpha) {
  constexpr std::size_t kSide = task::kTileSize;
  std::string raw;
  raw.reserve(kSide * (1 + kSide * 4));
  for (std::size_t row = 0; row < kSide; ++row) {
    raw += '\0';  // no filter
    for (std::size_t column = 0; column < kSide; ++column) {
      const std::size_t pixel = row * kSide + column;
      raw.append(reinterpret_cast<const char*>(rgb.data() + pixel * 3), 3);
      raw += static_cast<char>(alpha[pixel]);
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  // Compressing into a buffer of compressBound's size fails only when memory runs out.
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
                static_cast<uLong>(raw.size()), Z_DEFAULT_COMPRESSION) != Z_OK) {
    throw std::bad_alloc();
  }
  packed.resize(packedSize);
  std::string header;
  AppendBigEndian(header, kSide);
  AppendBigEndian(header, kSide);
  header += std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA, deflate, no filter, not interlaced
  std::string png("\x89PNG\r\n\x1A\n", 8);
  AppendChunk(png, "IHDR", header);
  AppendChunk(png, "IDAT", packed);
  AppendChunk(png, "IEND", "");
  return png;
}

// The pyramid's tiles into the database's tiles table.
class TileDatabaseOutput final : public PyramidOutput {
 public:
  TileDatabaseOutput(Database& db, TileDatabaseKind kind, int32_t zoom)
      : db_(db), kind_(kind), zoom_(zoom),
        add_(db.Prepare("INSERT INTO tiles (zoom_level, tile_column, tile_row, tile_data) VALUES (?, ?, ?, ?)")) {}

  std::string EncodeBase(TileContent& tile) const override {
    switch (tile.What) {
      case TileContent::Kind::AsDownloaded: return std::move(tile.Bytes);
      case TileContent::Kind::Decoded: return EncodeLevel(tile.Image, {});
      case TileContent::Kind::Hole: break;
    }
    return {};
  }
  // A tile that lies partly on holes or beyond the task is a PNG, clear
  // there: a map program shows what lies under it rather than the fill colour.
  std::string EncodeLevel(const Pixels& tile, const Pixels& cover) const override {
    return cover.empty() ? EncodeJpeg(tile, ChromaSampling{}, kJpegQuality) : EncodePngWithAlpha(tile, cover);
  }

  void PutBase(int64_t column, int64_t row, const TileContent& tile, std::string bytes) override {
    if (tile.What != TileContent::Kind::Hole) Add(zoom_, column, row, bytes);
  }
  void PutLevel(int level, int64_t column, int64_t row, bool hasData, bool, std::string bytes) override {
    if (hasData) Add(zoom_ - level, column, row, bytes);
  }

  void Finish() { add_.reset(); }

 private:
  void Add(int32_t zoom, int64_t column, int64_t row, const std::string& bytes) {
    // MBTiles counts rows from the south (TMS), a GeoPackage from the north.
    const int64_t storedRow = kind_ == TileDatabaseKind::MbTiles ? (int64_t{1} << zoom) - 1 - row : row;
    sqlite3_bind_int(add_.get(), 1, zoom);
    sqlite3_bind_int64(add_.get(), 2, column);
    sqlite3_bind_int64(add_.get(), 3, storedRow);
    sqlite3_bind_blob64(add_.get(), 4, bytes.data(), bytes.size(), SQLITE_STATIC);
    db_.Run(add_.get());
  }

  Database& db_;
  TileDatabaseKind kind_;
  int32_t zoom_;
  Statement add_;
};

}  // namespace

TileTally WriteTileDatabase(const std::string& path, const task::TileRange& range, const TileReader& tiles,
                            const TileDatabaseSettings& settings, HoleList& holes, Progress& progress,
                            const std::string& stage) {
  const int32_t zoom = tiles.Task().Zoom();
  Database db(path);
  // A temporary file until it is complete: no journal needed.
  db.Execute("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
  db.Execute("BEGIN");
  if (settings.Kind == TileDatabaseKind::MbTiles) {
    CreateMbTiles(db, settings, range, zoom);
  } else {
    CreateGeoPackage(db, settings, range, zoom);
  }
  TileDatabaseOutput output(db, settings.Kind, zoom);
  PyramidPlan plan;
  plan.Range = range;
  plan.Levels = zoom - settings.MinZoom;
  plan.Fill = settings.Fill;
  plan.KeepAsIs = [](const JpegLayout& layout) { return IsWholeJpeg(layout); };
  // The web map's grid is every task's: each downloaded level lines up.
  for (int level = 1; level <= plan.Levels; ++level) {
    const TileReader* found = nullptr;
    for (const TileReader* reader : settings.Downloaded) {
      if (reader->Task().Zoom() == zoom - level) found = reader;
    }
    plan.Downloaded.push_back(found);
  }
  const TileTally tally = BuildPyramid(tiles, plan, output, holes, progress, stage);
  output.Finish();
  db.Execute("COMMIT");
  if (settings.Kind == TileDatabaseKind::MbTiles) {
    db.Execute("CREATE UNIQUE INDEX tile_index ON tiles (zoom_level, tile_column, tile_row)");
  }
  db.Close();
  return tally;
}

}  // namespace combiner
