// The Nearmap API's coverage answer over any bytes a server may send, and
// the survey a date chooses among what it gives. Invariants: no crash; every
// survey read has a plain id (so it can only name a path segment of the tile
// address) and a capture date YYYY-MM-DD; they come newest first; the survey
// of a date is the newest captured on or before it, as a plain search finds.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/task/NearmapApi.h"
#include "fuzz/FuzzSupport.h"

namespace {

using fuzz::Quote;

bool IsPlainId(const std::string& id) {
  if (id.empty() || id.size() > 100) return false;
  for (const char c : id) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    if (!plain) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::optional<std::vector<task::Survey>> surveys = task::ParseSurveys(bytes);
  if (!surveys) return 0;
  for (std::size_t i = 0; i < surveys->size(); ++i) {
    const task::Survey& survey = (*surveys)[i];
    FUZZ_CHECK(IsPlainId(survey.Id), Quote(survey.Id));
    const std::string compact = task::CompactDate(survey.CaptureDate);
    FUZZ_CHECK(task::IsCompactDate(compact), Quote(survey.CaptureDate));
    FUZZ_CHECK(i == 0 || (*surveys)[i - 1].CaptureDate >= survey.CaptureDate, Quote(bytes));
    const task::TileSource source = task::NearmapSource({}, {"Vert", survey.Id, survey.CaptureDate});
    FUZZ_CHECK(task::SourceProblem(source).empty(), task::SourceProblem(source));
  }
  // The date of each survey, and a day before the oldest, choose as a plain
  // search does.
  std::vector<std::string> dates = {"00000000", "99999999"};
  for (const task::Survey& survey : *surveys) dates.push_back(task::CompactDate(survey.CaptureDate));
  for (const std::string& date : dates) {
    std::optional<task::Survey> expected;
    for (const task::Survey& survey : *surveys) {
      if (task::CompactDate(survey.CaptureDate) <= date && (!expected || survey.CaptureDate > expected->CaptureDate)) {
        expected = survey;
      }
    }
    const std::optional<task::Survey> chosen = task::SurveyOnOrBefore(*surveys, date);
    FUZZ_CHECK(chosen.has_value() == expected.has_value(), date);
    FUZZ_CHECK(!chosen || chosen->CaptureDate == expected->CaptureDate, date + " " + Quote(bytes));
  }
  return 0;
}
