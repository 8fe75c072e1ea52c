// The three built-in map types of the service's old maps/ addresses: one kind
// of imagery. How their tiles are addressed (the URL and its layer), named
// (the file prefix) and where they stand in the main window's list. Pure
// functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "core/settings/IniFile.h"
#include "core/task/TileSource.h"

namespace task {

// Host of the tile server; the built-in types' URLs are its only users.
inline constexpr const char* kTileServerHost = "www.nearmap.com";

// Map type codes by list position of the main window's map-type list.
inline constexpr int32_t kMapPhoto = 11;
inline constexpr int32_t kMapStreet = 12;
inline constexpr int32_t kMapTerrain = 13;
// The three built-in map types by list position, as the map type list names them.
inline constexpr const char* kMapTypeNames[] = {"Nearmap PhotoMap", "Nearmap StreetMap", "Nearmap Terrain"};
// Their names on the command line (orvenna-cli new --type), by list position.
inline constexpr const char* kMapTypeWords[] = {"photo", "street", "terrain"};

// 0 for a position that is none of the three.
int32_t MapsTypeFromListPosition(int position);
// -1 for a code that is none of the three.
int ListPositionFromMapsType(int32_t mapsType);

// A task of one of the built-in map types.
struct BuiltInMap {
  int32_t MapsType = kMapPhoto;

  friend bool operator==(const BuiltInMap&, const BuiltInMap&) = default;
};

// What every kind of imagery answers (core/task/Imagery.h).
std::string KindName(const BuiltInMap& map);
std::string KindWords(const BuiltInMap& map, const std::string& date);
inline int32_t KindMapsType(const BuiltInMap& map) { return map.MapsType; }
std::string KindCommandWord(const BuiltInMap& map);
// The task file holds nothing beyond the MapsType code.
inline std::vector<std::string> KindTaskFileLines(const BuiltInMap&) { return {}; }
std::optional<BuiltInMap> ReadKind(std::type_identity<BuiltInMap>, const settings::IniFile& taskFile, int32_t mapsType);
// Addressed by BuiltInTileUrl, not by a template.
template <typename Account>
std::optional<TileSource> KindTileSource(const BuiltInMap&, const Account&) { return std::nullopt; }
inline bool KindSendsApiKey(const BuiltInMap&) { return false; }

// The tile file prefix of a built-in map type ("nm", "ns", "nt").
std::string BuiltInPrefix(int32_t mapsType);
// The URL of tile (x, y) at zoom of built-in map type mapsType on host; a
// photo tile of historyDate when that is not empty.
std::string BuiltInTileUrl(const std::string& host, int32_t mapsType, int32_t x, int32_t y, int32_t zoom,
                           const std::string& historyDate);

}  // namespace task
