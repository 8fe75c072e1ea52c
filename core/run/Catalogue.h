// The catalogue of imagery: every list of imagery a program shows (the main
// window's map types, the map windows' base layers, orvenna-cli's --type) is
// made here, from the kinds of task::Imagery and the settings file. Main
// thread or any thread that may read the settings file.
#pragma once

#include <string>
#include <vector>

#include "core/run/ConfigFile.h"
#include "core/task/Imagery.h"

namespace run {

// One item of a list: its name and what it fetches.
struct MapSource {
  std::string Name;
  task::Imagery Imagery;

  friend bool operator==(const MapSource&, const MapSource&) = default;
};

enum class CatalogueFor {
  // What a task may fetch: the three built-in types at the first three
  // places, the Nearmap API (Start says so when no key is set), the user's
  // sources.
  Tasks,
  // What a map can show: the same, the Nearmap API only when a key is set.
  Maps,
};

std::vector<MapSource> ImageryCatalogue(const ConfigFile& config, CatalogueFor use);

// The item of catalogue that shows imagery: the same kind and source, the
// Nearmap API whatever its direction and survey. Its index, -1 for none.
int CatalogueIndexOf(const std::vector<MapSource>& catalogue, const task::Imagery& imagery);

}  // namespace run
