// A loopback stand-in of the Nearmap API, in the shapes the service
// documents: tiles of the latest imagery (/tiles/v3/<Direction>/z/x/y.jpg)
// and of one survey (/tiles/v3/surveys/<id>/<Direction>/z/x/y.jpg), and the
// surveys of an area (/coverage/v2/poly/<lon,lat,...>?limit=N, JSON). Every
// request must carry "Authorization: Apikey <key>", else 401. A survey's
// tiles are real JPEGs labelled with the survey, direction and tile, so a
// test can tell which imagery it got; the latest imagery is the newest
// survey's; an unknown survey is 404.
//
// Threads: as TileServer (every method from any thread).
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/task/NearmapApi.h"
#include "tests/support/TileServer.h"

namespace testsupport {

class NearmapStandIn {
 public:
  NearmapStandIn(std::string key, std::vector<task::Survey> surveys);

  TileServer& Server() { return server_; }
  // "http://127.0.0.1:<port>"
  std::string BaseUrl() const;

  // The path of a tile, of the latest imagery when surveyId is empty.
  static std::string TilePath(const std::string& direction, int32_t zoom, int32_t x, int32_t y,
                              const std::string& surveyId = "");
  // The tile the stand-in serves for survey surveyId.
  static std::string Tile(const std::string& surveyId, const std::string& direction, int32_t zoom, int32_t x,
                          int32_t y);

  // Requests of path are answered by these replies (in turn, the last one
  // repeating) once the key has been checked.
  void Override(const std::string& path, std::vector<Reply> replies);

 private:
  std::optional<Reply> Answer(const RecordedRequest& request);

  const std::string key_;
  const std::vector<task::Survey> surveys_;  // newest first
  std::mutex mutex_;
  std::set<std::string> overridden_;  // under mutex_
  TileServer server_;
};

}  // namespace testsupport
