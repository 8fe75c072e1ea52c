// The catalogue of the kinds of imagery a task can fetch. Each kind lives in
// a file of its own that says how its tiles are addressed, named, paced and
// judged, and answers the questions below for its value (its Kind...
// functions); a further kind is a file of that shape plus its line in
// Imagery. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/settings/IniFile.h"

#include "core/task/BuiltInMaps.h"
#include "core/task/NearmapApi.h"
#include "core/task/TileSource.h"

namespace task {

// One line per kind, in the order the lists show them.
using Imagery = std::variant<BuiltInMap, NearmapImagery, TileSource>;

// The name the lists show (the main window's map type list, the map's base
// layers).
std::string ImageryName(const Imagery& imagery);
// The imagery in words, as the main window shows it under the map type:
// "Nearmap API, straight down, survey of 2021-03-15". date is the task's
// date field.
std::string ImageryWords(const Imagery& imagery, const std::string& date);
// The task file's MapsType code.
int32_t MapsTypeOf(const Imagery& imagery);
// The name orvenna-cli new --type takes for it.
std::string CommandWord(const Imagery& imagery);
// The task file's lines of it after [THREADS] (none for a built-in type).
std::vector<std::string> TaskFileLines(const Imagery& imagery);
// The imagery a task file with MapsType code mapsType describes; nothing for
// a code no kind knows.
std::optional<Imagery> ReadImagery(const settings::IniFile& taskFile, int32_t mapsType);

// ---- the questions every kind answers (one overload a kind, in its file) ----
// KindName, KindWords, KindMapsType, KindCommandWord, KindTaskFileLines, and
// ReadKind(std::type_identity<Kind>, taskFile, mapsType).

}  // namespace task
