// The service's key-protected API as a built-in tile source: tiles of the
// latest imagery or of one survey, in one of the five directions, the key
// sent in the Authorization header only; and the surveys of an area, as the
// coverage endpoint lists them, with the choice of one by date. Pure
// functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "core/task/LonLat.h"
#include "core/task/TileSource.h"

namespace task {

// Map type code of a task of the API (TaskParameters::Nearmap).
inline constexpr int32_t kMapNearmapApi = 21;
// Its item in the main window's map type list and its source's name.
inline constexpr const char* kNearmapApiName = "Nearmap API";
inline constexpr const char* kNearmapDefaultBaseUrl = "https://api.nearmap.com";
inline constexpr const char* kNearmapDefaultDirection = "Vert";
// The surveys one coverage request asks for at most.
inline constexpr int kCoverageLimit = 1000;

// The directions the service names (straight down, then the four obliques),
// as it spells them.
const std::vector<std::string>& NearmapDirections();
// The tile file prefix of a direction: "na" straight down, "nan", "nae",
// "nas", "naw" for the obliques; apart from the built-in types' "nm" "ns" "nt".
std::string NearmapPrefix(const std::string& direction);
// A direction typed in any case, in the service's spelling; nothing for none.
std::optional<std::string> NearmapDirectionOf(std::string_view text);

// What a task of the API fetches: a direction, and the survey it is pinned
// to (no survey: the latest imagery of every place).
struct NearmapImagery {
  std::string Direction = kNearmapDefaultDirection;
  std::string SurveyId;
  std::string SurveyDate;  // its capture date as the service gives it, "YYYY-MM-DD"

  friend bool operator==(const NearmapImagery&, const NearmapImagery&) = default;
};

// What every kind of imagery answers (core/task/Imagery.h).
inline std::string KindName(const NearmapImagery&) { return kNearmapApiName; }
// "Nearmap API, straight down, survey of 2021-03-15"; with no survey, the
// latest imagery or the newest survey on or before date.
std::string KindWords(const NearmapImagery& imagery, const std::string& date);
inline int32_t KindMapsType(const NearmapImagery&) { return kMapNearmapApi; }
inline std::string KindCommandWord(const NearmapImagery&) { return "nearmap"; }
// The task file's section of the imagery: its direction and survey (the
// service's address and the key belong to the settings file), ending in an
// empty line. The log header shows it too.
std::vector<std::string> KindTaskFileLines(const NearmapImagery& imagery);
std::optional<NearmapImagery> ReadKind(std::type_identity<NearmapImagery>, const settings::IniFile& taskFile,
                                       int32_t mapsType);
struct NearmapAccount;
std::optional<TileSource> KindTileSource(const NearmapImagery& imagery, const NearmapAccount& account);
inline bool KindSendsApiKey(const NearmapImagery&) { return true; }
// A direction in words: "straight down", "looking north", ...
std::string DirectionWords(const std::string& direction);

// The account's side, from the settings file: where the API answers (a
// company's gateway may stand in), and the pace and connections it allows.
struct NearmapAccount {
  std::string BaseUrl = kNearmapDefaultBaseUrl;
  int32_t PauseMs = 0;
  int32_t MaxWorkers = 4;

  friend bool operator==(const NearmapAccount&, const NearmapAccount&) = default;
};

// Why imagery cannot be fetched (an unknown direction, a survey id that is
// not a plain name); empty when it can.
std::string NearmapProblem(const NearmapImagery& imagery);
// Why a base address cannot be used; empty when it can.
std::string NearmapBaseUrlProblem(const std::string& baseUrl);

// The header line that carries key.
std::string NearmapAuthorization(const std::string& key);

// The tile source of imagery: the tile endpoint of the latest imagery or of
// the survey, JPEG tiles, the key ({secret}) in the Authorization header.
TileSource NearmapSource(const NearmapAccount& account, const NearmapImagery& imagery);

// The coverage request for the surveys of box: its corners as a closed ring
// of "lon,lat" pairs, as the service's own examples give a polygon.
std::string CoverageUrl(const std::string& baseUrl, const LonLatBox& box);

struct Survey {
  std::string Id;
  std::string CaptureDate;  // "YYYY-MM-DD"

  friend bool operator==(const Survey&, const Survey&) = default;
};

// The surveys of a coverage answer, newest first (the service's order is not
// relied on); entries without a usable id or date are left out. Nothing when
// the answer is not a coverage answer.
std::optional<std::vector<Survey>> ParseSurveys(std::string_view json);

// "YYYYMMDD" of a capture date "YYYY-MM-DD", as the date field holds it.
std::string CompactDate(const std::string& captureDate);
// Whether text is a date as the date field takes it: eight digits.
bool IsCompactDate(std::string_view text);
// The newest of surveys captured on or before date ("YYYYMMDD").
std::optional<Survey> SurveyOnOrBefore(const std::vector<Survey>& surveys, const std::string& date);

}  // namespace task
