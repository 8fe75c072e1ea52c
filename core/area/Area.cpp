#include "core/area/Area.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <vector>

#include "core/platform/Locale.h"
#include "core/platform/Numbers.h"
#include "core/run/TaskControls.h"

namespace area {

namespace {

constexpr double kMetresPerDegree = 111319.49;
constexpr double kPi = 3.14159265358979323846;
constexpr double kMillionths = 1e6;
// Start's latitude limit, inside the grid's own of 85.0511.
constexpr double kMercatorLimit = 85;

bool IsNumberCharacter(char c) { return (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'; }

// The numbers of text, split at anything that cannot be part of one;
// nothing when a piece is no number.
std::optional<std::vector<double>> Numbers(std::string_view text) {
  std::vector<double> numbers;
  std::size_t at = 0;
  while (at < text.size()) {
    if (!IsNumberCharacter(text[at])) {
      ++at;
      continue;
    }
    std::size_t end = at;
    while (end < text.size() && IsNumberCharacter(text[end])) ++end;
    const std::optional<double> number = platform::ParseDecimal(text.substr(at, end - at));
    if (!number) return std::nullopt;
    numbers.push_back(*number);
    at = end;
  }
  return numbers;
}

bool OnlySeparators(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return IsNumberCharacter(c) || c == ',' || c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
  });
}

// The non-empty pieces of text between any of separators.
std::vector<std::string_view> Pieces(std::string_view text, std::string_view separators) {
  std::vector<std::string_view> pieces;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t end = std::min(text.find_first_of(separators, at), text.size());
    if (end > at) pieces.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return pieces;
}

// Two "lat, lon" pairs: on two lines (or split by ";"), or each pair written
// without blanks and the pairs apart by blanks.
bool IsTwoPoints(std::string_view text) {
  const auto blank = [](std::string_view piece) { return piece.find_first_not_of(" \t") == std::string_view::npos; };
  std::vector<std::string_view> groups = Pieces(text, "\r\n;");
  groups.erase(std::remove_if(groups.begin(), groups.end(), blank), groups.end());
  if (groups.size() == 2) return true;
  const std::vector<std::string_view> words = Pieces(text, " \t\r\n");
  return words.size() == 2 && std::all_of(words.begin(), words.end(), [](std::string_view word) {
           const std::size_t comma = word.find(',');
           return comma != std::string_view::npos && comma > 0 && comma + 1 < word.size() &&
                  word.find(',', comma + 1) == std::string_view::npos;
         });
}

double Rounded(double degrees, double (*round)(double)) { return round(degrees * kMillionths) / kMillionths; }

}  // namespace

bool LooksLikeShapeText(std::string_view text) {
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return false;
  text.remove_prefix(start);
  if (text.front() == '{') return true;
  std::string word;
  for (const char c : text) {
    if (!std::isalpha(static_cast<unsigned char>(c))) break;
    word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  for (const char* name : {"POINT", "LINESTRING", "POLYGON", "MULTIPOINT", "MULTILINESTRING", "MULTIPOLYGON",
                           "GEOMETRYCOLLECTION"}) {
    if (word == name) return true;
  }
  return false;
}

std::optional<Area> ParseAreaText(std::string_view text) {
  if (!OnlySeparators(text)) return std::nullopt;
  const std::optional<std::vector<double>> numbers = Numbers(text);
  if (!numbers || numbers->size() != 4) return std::nullopt;
  const std::vector<double>& n = *numbers;
  if (IsTwoPoints(text)) {
    return Area{std::min(n[1], n[3]), std::min(n[0], n[2]), std::max(n[1], n[3]), std::max(n[0], n[2])};
  }
  return Area{n[0], n[1], n[2], n[3]};
}

Area WithMargin(const Area& area, double metres) {
  if (!(metres > 0)) return area;
  const double farthest = std::min(std::max(std::abs(area.North), std::abs(area.South)), 89.9);
  const double latitudeDegrees = metres / kMetresPerDegree;
  const double longitudeDegrees = metres / (kMetresPerDegree * std::cos(farthest * kPi / 180));
  return Area{area.West - longitudeDegrees, area.South - latitudeDegrees, area.East + longitudeDegrees,
              area.North + latitudeDegrees};
}

Area RoundedOutward(const Area& area) {
  return Area{Rounded(area.West, std::floor), Rounded(area.South, std::floor), Rounded(area.East, std::ceil),
              Rounded(area.North, std::ceil)};
}

Area RoundedToNearest(const Area& area) {
  return Area{Rounded(area.West, std::round), Rounded(area.South, std::round), Rounded(area.East, std::round),
              Rounded(area.North, std::round)};
}

std::string AreaRefusal(const Area& area) {
  const std::string start = run::AreaProblem(area.West, area.East, area.North, area.South);
  if (start.empty()) return {};
  if (area.West > area.East && std::abs(area.West) <= 180 && std::abs(area.East) <= 180) {
    return "The area crosses the 180th meridian; a task cannot. Make two tasks, one on each side. (" + start + ")";
  }
  const auto beyond = [](double latitude) { return !(std::abs(latitude) <= kMercatorLimit); };
  if (beyond(area.North) || beyond(area.South)) {
    return "The area reaches beyond 85 degrees north or south, where the Web Mercator map ends. (" + start + ")";
  }
  return start;
}

std::string CoordinateText(double degrees) { return platform::FormatGeneral(degrees, platform::DesktopDecimalSeparator()); }

}  // namespace area
