#include "tests/support/NearmapStandIn.h"

#include <algorithm>
#include <charconv>

#include "tests/support/TileImages.h"

namespace testsupport {

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t at = text.find(separator); at != std::string::npos; at = text.find(separator, start)) {
    parts.push_back(text.substr(start, at - start));
    start = at + 1;
  }
  parts.push_back(text.substr(start));
  return parts;
}

bool IsNumber(const std::string& text) {
  double value = 0;
  const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && parsed.ec == std::errc() && parsed.ptr == text.data() + text.size();
}

Reply Json(int status, const std::string& reason, const std::string& body) {
  Reply reply = Reply::StatusOnly(status, reason);
  reply.Body = body;
  reply.ContentType = "application/json";
  return reply;
}

}  // namespace

NearmapStandIn::NearmapStandIn(std::string key, std::vector<task::Survey> surveys)
    : key_(std::move(key)), surveys_([&surveys] {
        std::sort(surveys.begin(), surveys.end(),
                  [](const task::Survey& a, const task::Survey& b) { return a.CaptureDate > b.CaptureDate; });
        return surveys;
      }()) {
  server_.SetHandler([this](const RecordedRequest& request) { return Answer(request); });
}

std::string NearmapStandIn::BaseUrl() const { return "http://" + server_.HostPort(); }

std::string NearmapStandIn::TilePath(const std::string& direction, int32_t zoom, int32_t x, int32_t y,
                                     const std::string& surveyId) {
  return "/tiles/v3/" + (surveyId.empty() ? "" : "surveys/" + surveyId + "/") + direction + "/" +
         std::to_string(zoom) + "/" + std::to_string(x) + "/" + std::to_string(y) + ".jpg";
}

std::string NearmapStandIn::Tile(const std::string& surveyId, const std::string& direction, int32_t zoom, int32_t x,
                                 int32_t y) {
  return TileImage("nearmap " + surveyId + " " + TilePath(direction, zoom, x, y));
}

void NearmapStandIn::Override(const std::string& path, std::vector<Reply> replies) {
  server_.Script(path, std::move(replies));
  std::lock_guard lock(mutex_);
  overridden_.insert(path);
}

std::optional<Reply> NearmapStandIn::Answer(const RecordedRequest& request) {
  const auto authorization = request.Headers.find("authorization");
  if (authorization == request.Headers.end() || authorization->second != "Apikey " + key_) {
    return Json(401, "Unauthorized", "{\"error\": \"Invalid API key\"}");
  }
  const std::string& path = request.Path;
  {
    std::lock_guard lock(mutex_);
    if (overridden_.count(path) != 0) return std::nullopt;  // the server's scripts answer
  }
  const std::string coverage = "/coverage/v2/poly/";
  if (path.rfind(coverage, 0) == 0) {
    const std::vector<std::string> parts = Split(path.substr(coverage.size()), '?');
    const std::vector<std::string> numbers = Split(parts[0], ',');
    // A closed ring of at least four lon,lat points.
    if (parts.size() != 2 || numbers.size() < 8 || numbers.size() % 2 != 0 ||
        !std::all_of(numbers.begin(), numbers.end(), IsNumber) || numbers[0] != numbers[numbers.size() - 2] ||
        numbers[1] != numbers.back()) {
      return Json(400, "Bad Request", "{\"error\": \"Invalid polygon\"}");
    }
    std::string list;
    for (const task::Survey& survey : surveys_) {
      list += std::string(list.empty() ? "" : ", ") + "{\"id\": \"" + survey.Id + "\", \"captureDate\": \"" +
              survey.CaptureDate + "\", \"resources\": {\"tiles\": [{\"type\": \"Vert\", \"scale\": 21}]}, " +
              "\"pixelSize\": 0.075}";
    }
    return Json(200, "OK",
                "{\"surveys\": [" + list + "], \"limit\": 1000, \"offset\": 0, \"total\": " +
                    std::to_string(surveys_.size()) + "}");
  }
  // /tiles/v3/[surveys/<id>/]<Direction>/<z>/<x>/<y>.jpg
  std::vector<std::string> parts = Split(path, '/');
  if (parts.size() < 7 || parts[1] != "tiles" || parts[2] != "v3") return Json(404, "Not Found", "{}");
  std::string surveyId = surveys_.empty() ? std::string() : surveys_.front().Id;
  if (parts[3] == "surveys" && parts.size() == 9) {
    surveyId = parts[4];
    parts.erase(parts.begin() + 3, parts.begin() + 5);
  }
  const bool known = std::any_of(surveys_.begin(), surveys_.end(),
                                 [&](const task::Survey& survey) { return survey.Id == surveyId; });
  const std::vector<std::string> file = Split(parts[6], '.');
  if (!known || parts.size() != 7 || file.size() != 2 || file[1] != "jpg") return Json(404, "Not Found", "{}");
  return Reply::Ok(Tile(surveyId, parts[3], std::stoi(parts[4]), std::stoi(parts[5]), std::stoi(file[0])));
}

}  // namespace testsupport
