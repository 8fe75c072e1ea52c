#include "combiner/TileArea.h"

#include <algorithm>

#include "core/platform/Files.h"
#include "core/platform/Numbers.h"
#include "core/task/Commonfunc.h"

namespace combiner {

namespace {

constexpr const char* kTilesPrefix = "tiles:";
constexpr const char* kDegreesPrefix = "lonlat:";
constexpr const char* kAreaForms = "give the area as tiles:MINX,MINY,MAXX,MAXY or lonlat:WEST,SOUTH,EAST,NORTH";
// The task's own limits of latitude (the window's ranges).
constexpr double kMaxLatitude = 85;

std::vector<std::string> SplitCommas(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) return parts;
    start = comma + 1;
  }
}

std::string Decimal(int64_t value) { return platform::FormatInteger(value); }

std::string RangeText(const task::TileRange& r) {
  return "columns " + Decimal(r.MinX) + ".." + Decimal(r.MaxX) + ", rows " + Decimal(r.MinY) + ".." + Decimal(r.MaxY);
}

std::string Padded(int64_t value, std::size_t width) {
  std::string text = Decimal(value);
  return std::string(width > text.size() ? width - text.size() : 0, '0') + text;
}

}  // namespace

AreaRequest ParseArea(const std::string& text) {
  const bool inDegrees = text.rfind(kDegreesPrefix, 0) == 0;
  if (!inDegrees && text.rfind(kTilesPrefix, 0) != 0) {
    throw AreaError("unknown area '" + text + "': " + kAreaForms);
  }
  const std::vector<std::string> parts = SplitCommas(text.substr(text.find(':') + 1));
  if (parts.size() != 4) throw AreaError(std::string("the area needs four numbers: ") + kAreaForms);

  if (inDegrees) {
    double values[4];
    for (std::size_t i = 0; i < 4; ++i) {
      const auto value = platform::ParseDecimal(parts[i]);
      if (!value) throw AreaError("'" + parts[i] + "' is not a number of degrees");
      values[i] = *value;
    }
    const DegreeBox box{values[0], values[1], values[2], values[3]};
    if (!(box.West < box.East) || !(box.South < box.North)) {
      throw AreaError("the area's west must lie west of its east and its south south of its north");
    }
    if (box.West < -180 || box.East > 180 || box.South < -kMaxLatitude || box.North > kMaxLatitude) {
      throw AreaError("the area's longitudes must lie within -180..180 and its latitudes within -85..85");
    }
    return box;
  }
  int32_t values[4];
  for (std::size_t i = 0; i < 4; ++i) {
    const auto value = platform::ParseInteger(parts[i]);
    if (!value || *value < 0) throw AreaError("'" + parts[i] + "' is not a tile number");
    values[i] = *value;
  }
  const task::TileRange range{values[0], values[1], values[2], values[3]};
  if (range.MinX > range.MaxX || range.MinY > range.MaxY) {
    throw AreaError("the area's first tile must not lie after its last");
  }
  return range;
}

DegreeBox DegreesOf(const task::TileRange& range, int32_t zoom) {
  return {task::TileXToLongitude(range.MinX, zoom), task::TileYToLatitude(static_cast<double>(range.MaxY) + 1, zoom),
          task::TileXToLongitude(static_cast<double>(range.MaxX) + 1, zoom), task::TileYToLatitude(range.MinY, zoom)};
}

task::TileRange ResolveArea(const AreaRequest& request, const task::MDTask& task) {
  task::TileRange area;
  if (const auto* tiles = std::get_if<task::TileRange>(&request)) {
    area = *tiles;
  } else {
    const DegreeBox& box = std::get<DegreeBox>(request);
    const int32_t zoom = task.Zoom();
    area.MinX = task::LongitudeToTileX(box.West, zoom);
    area.MinY = task::LatitudeToTileY(box.North, zoom);
    area.MaxX = task::LongitudeToTileX(box.East, zoom);
    area.MaxY = task::LatitudeToTileY(box.South, zoom);
    // An east or south edge on a tile edge ends the area before that tile.
    if (area.MaxX > area.MinX && task::TileXToLongitude(area.MaxX, zoom) >= box.East) --area.MaxX;
    if (area.MaxY > area.MinY && task::TileYToLatitude(area.MaxY, zoom) <= box.South) --area.MaxY;
  }
  const task::TileRange all = task.Range();
  if (area.MinX < all.MinX || area.MaxX > all.MaxX || area.MinY < all.MinY || area.MaxY > all.MaxY) {
    throw AreaError("the area (" + RangeText(area) + ") is not inside the task's tiles (" + RangeText(all) + ")");
  }
  return area;
}

std::vector<Sheet> PlanSheets(const task::TileRange& area, int64_t tilesPerSide, const std::string& outputPath) {
  const int64_t sheetColumns = (area.Columns() + tilesPerSide - 1) / tilesPerSide;
  const int64_t sheetRows = (area.Rows() + tilesPerSide - 1) / tilesPerSide;
  if (sheetColumns == 1 && sheetRows == 1) return {Sheet{area, outputPath}};

  const std::string stem = platform::RemoveFileExt(outputPath);
  const std::string extension = platform::ExtractFileExt(outputPath);
  const std::size_t rowDigits = Decimal(sheetRows).size();
  const std::size_t columnDigits = Decimal(sheetColumns).size();
  std::vector<Sheet> sheets;
  for (int64_t row = 0; row < sheetRows; ++row) {
    for (int64_t column = 0; column < sheetColumns; ++column) {
      task::TileRange range;
      range.MinX = static_cast<int32_t>(area.MinX + column * tilesPerSide);
      range.MinY = static_cast<int32_t>(area.MinY + row * tilesPerSide);
      range.MaxX = static_cast<int32_t>(std::min<int64_t>(range.MinX + tilesPerSide - 1, area.MaxX));
      range.MaxY = static_cast<int32_t>(std::min<int64_t>(range.MinY + tilesPerSide - 1, area.MaxY));
      sheets.push_back(Sheet{range, stem + "_r" + Padded(row + 1, rowDigits) + "_c" +
                                        Padded(column + 1, columnDigits) + extension});
    }
  }
  return sheets;
}

}  // namespace combiner
