// The catalogue of the kinds of imagery a task can fetch. Each kind lives in
// a file of its own that says how its tiles are addressed, named, paced and
// judged, by answering the questions below for its value (the Kind...
// functions); a further kind is a file of that shape plus its line in
// Imagery. The answers for the whole catalogue are templates over the
// variant, so they serve any list of kinds alike. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "core/settings/IniFile.h"
#include "core/task/BuiltInMaps.h"
#include "core/task/NearmapApi.h"
#include "core/task/TileSource.h"

namespace task {

// One line per kind, in the order the lists show them.
using Imagery = std::variant<BuiltInMap, NearmapImagery, TileSource>;

// ---- what every kind answers (one overload a kind, in its file) ----
//   std::string KindName(const Kind&)                   its name in the lists
//   std::string KindWords(const Kind&, date)            in words, under the map type
//   int32_t KindMapsType(const Kind&)                   the task file's MapsType code
//   std::string KindCommandWord(const Kind&)            orvenna-cli new --type
//   std::vector<std::string> KindTaskFileLines(const Kind&)   its task file section
//   std::optional<Kind> ReadKind(std::type_identity<Kind>, taskFile, mapsType)
//   std::optional<TileSource> KindTileSource(const Kind&, const NearmapAccount&)
//       how its tiles are addressed, named and paced: nothing for the
//       built-in types, whose addresses BuiltInMaps.h makes
//   bool KindSendsApiKey(const Kind&)                   a 401 or 403 means the key

// The name the lists show (the main window's map type list, the map's base
// layers).
template <typename Kinds>
std::string NameOf(const Kinds& imagery) {
  return std::visit([](const auto& kind) { return KindName(kind); }, imagery);
}
// The imagery in words, as the main window shows it under the map type:
// "Nearmap API, straight down, survey of 2021-03-15". date is the task's
// date field.
template <typename Kinds>
std::string WordsOf(const Kinds& imagery, const std::string& date) {
  return std::visit([&date](const auto& kind) { return KindWords(kind, date); }, imagery);
}
template <typename Kinds>
int32_t MapsTypeCodeOf(const Kinds& imagery) {
  return std::visit([](const auto& kind) { return KindMapsType(kind); }, imagery);
}
template <typename Kinds>
std::string CommandWordOf(const Kinds& imagery) {
  return std::visit([](const auto& kind) { return KindCommandWord(kind); }, imagery);
}
// The task file's lines of it after [THREADS] (none for a built-in type).
template <typename Kinds>
std::vector<std::string> TaskFileLinesOf(const Kinds& imagery) {
  return std::visit([](const auto& kind) { return KindTaskFileLines(kind); }, imagery);
}
// The tile source that fetches it (the Nearmap API's from account).
template <typename Kinds>
std::optional<TileSource> TileSourceOf(const Kinds& imagery, const NearmapAccount& account) {
  return std::visit([&account](const auto& kind) { return KindTileSource(kind, account); }, imagery);
}
template <typename Kinds>
bool SendsApiKeyOf(const Kinds& imagery) {
  return std::visit([](const auto& kind) { return KindSendsApiKey(kind); }, imagery);
}
// The imagery a task file with MapsType code mapsType describes: the first
// kind, in the catalogue's order, that reads it; nothing for a code no kind
// knows.
template <typename Kinds, std::size_t I = 0>
std::optional<Kinds> ReadImageryOf(const settings::IniFile& taskFile, int32_t mapsType) {
  if constexpr (I == std::variant_size_v<Kinds>) {
    return std::nullopt;
  } else {
    using Kind = std::variant_alternative_t<I, Kinds>;
    if (std::optional<Kind> kind = ReadKind(std::type_identity<Kind>{}, taskFile, mapsType)) return Kinds{std::move(*kind)};
    return ReadImageryOf<Kinds, I + 1>(taskFile, mapsType);
  }
}

// The same for the program's catalogue.
std::string ImageryName(const Imagery& imagery);
std::string ImageryWords(const Imagery& imagery, const std::string& date);
int32_t MapsTypeOf(const Imagery& imagery);
std::string CommandWord(const Imagery& imagery);
std::vector<std::string> TaskFileLines(const Imagery& imagery);
std::optional<Imagery> ReadImagery(const settings::IniFile& taskFile, int32_t mapsType);

}  // namespace task
