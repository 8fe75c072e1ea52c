// The tile service a map shows under the area: an item of the catalogue of
// imagery (a built-in map type, the Nearmap API, a tile source of the
// settings file), asked as the download asks it (the same URLs, headers and
// secret), at the source's pace and with at most its
// connections, because a map that browses is a client its usage policy binds.
// A plain value; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <optional>

#include "core/run/Catalogue.h"
#include "core/task/Unitclasstask.h"

namespace mapkit {

struct BaseLayer {
  run::MapSource Map;
  std::string Secret;  // the source's or the API key, from the settings file
  task::NearmapAccount Account;  // the Nearmap API's address and pace
  std::string TileHost = task::kTileServerHost;

  // The layer's folder in the cache: its name, made safe, and a digest of
  // what decides its tiles (a source changed in the settings gets a new one).
  std::string CacheName() const;
  std::string Url(int32_t z, int32_t x, int32_t y) const;
  std::vector<std::string> HeaderLines() const;
  std::string Extension() const;
  int32_t MinZoom() const;
  int32_t MaxZoom() const;
  // The pause after each request of a connection, and the connections.
  int32_t PauseMs() const;
  int32_t Connections() const;

 private:
  // What a source or the API fetches; nothing for a built-in map type.
  std::optional<task::TileSource> Source() const;
};

}  // namespace mapkit
