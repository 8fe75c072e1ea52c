#include "core/task/NearmapApi.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>

#include "core/platform/Numbers.h"

namespace task {

namespace {

struct Direction {
  const char* Name;
  const char* Prefix;
  const char* Words;
};

constexpr Direction kDirections[] = {
    {"Vert", "na", "straight down"},   {"North", "nan", "looking north"}, {"East", "nae", "looking east"},
    {"South", "nas", "looking south"}, {"West", "naw", "looking west"},
};

bool IsDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A survey id goes into the tile path: a plain name only, so that no answer of
// the service can lead a request elsewhere.
bool IsSurveyId(std::string_view id) {
  constexpr std::size_t kLongestId = 100;
  return !id.empty() && id.size() <= kLongestId && std::all_of(id.begin(), id.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_';
  });
}

bool IsCaptureDate(std::string_view date) {
  return date.size() == 10 && date[4] == '-' && date[7] == '-' && IsDigits(date.substr(0, 4)) &&
         IsDigits(date.substr(5, 2)) && IsDigits(date.substr(8, 2));
}

// Degrees in plain decimal notation (never the scientific form), '.' as the mark.
std::string Degrees(double value) {
  std::string text = platform::FormatFixed(value, 0, 9);
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
  return text == "-0" ? "0" : text;
}

std::string WithoutTrailingSlashes(std::string url) {
  while (!url.empty() && url.back() == '/') url.pop_back();
  return url;
}

}  // namespace

const std::vector<std::string>& NearmapDirections() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> list;
    for (const Direction& direction : kDirections) list.emplace_back(direction.Name);
    return list;
  }();
  return names;
}

std::string NearmapPrefix(const std::string& direction) {
  for (const Direction& d : kDirections) {
    if (direction == d.Name) return d.Prefix;
  }
  return {};
}

std::string DirectionWords(const std::string& direction) {
  for (const Direction& d : kDirections) {
    if (direction == d.Name) return d.Words;
  }
  return direction;
}

std::string KindWords(const NearmapImagery& imagery, const std::string& date) {
  std::string words = std::string(kNearmapApiName) + ", " + DirectionWords(imagery.Direction) + ", ";
  if (!imagery.SurveyId.empty()) return words + "survey of " + imagery.SurveyDate;
  if (!date.empty()) return words + "the newest survey on or before " + date;
  return words + "latest imagery";
}

namespace {

constexpr const char* kNearmapSection = "NearmapApi";
constexpr const char* kDirectionKey = "Direction";
constexpr const char* kSurveyIdKey = "SurveyId";
constexpr const char* kSurveyDateKey = "SurveyDate";

}  // namespace

std::vector<std::string> KindTaskFileLines(const NearmapImagery& imagery) {
  return {
      std::string("[") + kNearmapSection + "]",
      std::string(kDirectionKey) + "=" + imagery.Direction,
      std::string(kSurveyIdKey) + "=" + imagery.SurveyId,
      std::string(kSurveyDateKey) + "=" + imagery.SurveyDate,
      "",
  };
}

std::optional<NearmapImagery> ReadKind(std::type_identity<NearmapImagery>, const settings::IniFile& taskFile,
                                       int32_t mapsType) {
  if (mapsType != kMapNearmapApi) return std::nullopt;
  return NearmapImagery{taskFile.ReadString(kNearmapSection, kDirectionKey, kNearmapDefaultDirection),
                        taskFile.ReadString(kNearmapSection, kSurveyIdKey, ""),
                        taskFile.ReadString(kNearmapSection, kSurveyDateKey, "")};
}

std::optional<TileSource> KindTileSource(const NearmapImagery& imagery, const NearmapAccount& account) {
  return NearmapSource(account, imagery);
}

std::optional<std::string> NearmapDirectionOf(std::string_view text) {
  for (const Direction& d : kDirections) {
    const std::string_view name = d.Name;
    if (name.size() == text.size() &&
        std::equal(name.begin(), name.end(), text.begin(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        })) {
      return std::string(name);
    }
  }
  return std::nullopt;
}

std::string NearmapProblem(const NearmapImagery& imagery) {
  if (NearmapPrefix(imagery.Direction).empty()) {
    return "Unknown direction " + imagery.Direction + ": the directions are Vert, North, East, South and West.";
  }
  if (!imagery.SurveyId.empty() && !IsSurveyId(imagery.SurveyId)) {
    return "The survey id " + imagery.SurveyId + " is not one the service gives (letters, digits, - and _).";
  }
  return {};
}

std::string NearmapBaseUrlProblem(const std::string& baseUrl) {
  if (baseUrl.find_first_of("{}?#| \r\n") != std::string::npos) {
    return "The address of the Nearmap API cannot hold blanks, { } ? # or |.";
  }
  if (!SourceProblem(NearmapSource(NearmapAccount{baseUrl, 0, 1}, NearmapImagery{})).empty()) {
    return "The address of the Nearmap API must begin with http:// or https://.";
  }
  return {};
}

std::string NearmapAuthorization(const std::string& key) { return "Authorization: Apikey " + key; }

TileSource NearmapSource(const NearmapAccount& account, const NearmapImagery& imagery) {
  TileSource source;
  source.Name = kNearmapApiName;
  source.UrlTemplate = WithoutTrailingSlashes(account.BaseUrl) + "/tiles/v3/" +
                       (imagery.SurveyId.empty() ? "" : "surveys/" + imagery.SurveyId + "/") + imagery.Direction +
                       "/{z}/{x}/{y}.jpg";
  source.FilePrefix = NearmapPrefix(imagery.Direction);
  source.Extension = "jpg";
  source.HeaderLines = {NearmapAuthorization(kSecretPlaceholder)};
  source.MinZoom = 1;
  source.MaxZoom = 21;
  source.PauseMs = account.PauseMs;
  source.MaxWorkers = account.MaxWorkers;
  return source;
}

std::string CoverageUrl(const std::string& baseUrl, const LonLatBox& box) {
  const std::string west = Degrees(box.West);
  const std::string east = Degrees(box.East);
  const std::string north = Degrees(box.North);
  const std::string south = Degrees(box.South);
  return WithoutTrailingSlashes(baseUrl) + "/coverage/v2/poly/" + west + "," + north + "," + east + "," + north +
         "," + east + "," + south + "," + west + "," + south + "," + west + "," + north +
         "?limit=" + platform::FormatInteger(kCoverageLimit);
}

std::optional<std::vector<Survey>> ParseSurveys(std::string_view json) {
  const nlohmann::json answer = nlohmann::json::parse(json, nullptr, /*allow_exceptions=*/false);
  if (!answer.is_object()) return std::nullopt;
  const auto list = answer.find("surveys");
  if (list == answer.end() || !list->is_array()) return std::nullopt;
  std::vector<Survey> surveys;
  for (const nlohmann::json& entry : *list) {
    if (!entry.is_object()) continue;
    const auto id = entry.find("id");
    const auto date = entry.find("captureDate");
    if (id == entry.end() || date == entry.end() || !id->is_string() || !date->is_string()) continue;
    Survey survey{id->get<std::string>(), date->get<std::string>()};
    if (IsSurveyId(survey.Id) && IsCaptureDate(survey.CaptureDate)) surveys.push_back(std::move(survey));
  }
  std::stable_sort(surveys.begin(), surveys.end(),
                   [](const Survey& a, const Survey& b) { return a.CaptureDate > b.CaptureDate; });
  return surveys;
}

std::string CompactDate(const std::string& captureDate) {
  if (!IsCaptureDate(captureDate)) return {};
  return captureDate.substr(0, 4) + captureDate.substr(5, 2) + captureDate.substr(8, 2);
}

bool IsCompactDate(std::string_view text) { return text.size() == 8 && IsDigits(text); }

std::optional<Survey> SurveyOnOrBefore(const std::vector<Survey>& surveys, const std::string& date) {
  std::optional<Survey> newest;
  for (const Survey& survey : surveys) {
    const std::string captured = CompactDate(survey.CaptureDate);
    if (captured <= date && (!newest || survey.CaptureDate > newest->CaptureDate)) newest = survey;
  }
  return newest;
}

}  // namespace task
