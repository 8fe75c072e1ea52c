#include "core/task/BuiltInMaps.h"

#include <iterator>

#include "core/platform/Numbers.h"

namespace task {

namespace {

struct MapType {
  int32_t code;
  const char* prefix;
  const char* layer;
};

constexpr MapType kMapTypes[] = {
    {kMapPhoto, "nm", "&nml=Vert"},
    {kMapStreet, "ns", "&nml=Map"},
    {kMapTerrain, "nt", "&nml=Dem"},
};

const MapType& Find(int32_t code) {
  for (const MapType& type : kMapTypes) {
    if (type.code == code) return type;
  }
  return kMapTypes[0];
}

std::string Decimal(int64_t value) { return platform::FormatInteger(value); }

}  // namespace

int32_t MapsTypeFromListPosition(int position) {
  if (position < 0 || position >= static_cast<int>(std::size(kMapTypes))) return 0;
  return kMapTypes[position].code;
}

int ListPositionFromMapsType(int32_t mapsType) {
  for (int i = 0; i < static_cast<int>(std::size(kMapTypes)); ++i) {
    if (kMapTypes[i].code == mapsType) return i;
  }
  return -1;
}

std::string KindName(const BuiltInMap& map) {
  const int position = ListPositionFromMapsType(map.MapsType);
  return position >= 0 ? kMapTypeNames[position] : "Map type " + Decimal(map.MapsType);
}

std::string KindWords(const BuiltInMap& map, const std::string& date) {
  // Only the photo map takes a date.
  if (map.MapsType == kMapPhoto && !date.empty()) return KindName(map) + ", imagery of " + date;
  return KindName(map);
}

std::string KindCommandWord(const BuiltInMap& map) {
  const int position = ListPositionFromMapsType(map.MapsType);
  return position >= 0 ? kMapTypeWords[position] : Decimal(map.MapsType);
}

std::optional<BuiltInMap> ReadKind(std::type_identity<BuiltInMap>, const settings::IniFile&, int32_t mapsType) {
  if (ListPositionFromMapsType(mapsType) < 0) return std::nullopt;
  return BuiltInMap{mapsType};
}

std::string BuiltInPrefix(int32_t mapsType) { return Find(mapsType).prefix; }

std::string BuiltInTileUrl(const std::string& host, int32_t mapsType, int32_t x, int32_t y, int32_t zoom,
                           const std::string& historyDate) {
  std::string url = "http://" + host + "/maps/hl=en&x=" + Decimal(x) + "&y=" + Decimal(y) + "&z=" + Decimal(zoom) +
                    Find(mapsType).layer;
  if (mapsType == kMapPhoto && !historyDate.empty()) url += "&nmd=" + historyDate;
  return url;
}

}  // namespace task
