// The rectangle of a task given otherwise than by typing four numbers: pasted
// as text, taken from a vector file's features, drawn on a map. Degrees, east
// and north positive. Pure functions; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace area {

struct Area {
  double West = 0;
  double South = 0;
  double East = 0;
  double North = 0;
  friend bool operator==(const Area&, const Area&) = default;
};

// A pasted box: "west,south,east,north" (commas or blanks between the four
// numbers), or two corner points "lat, lon" on two lines (or "lat,lon lat,lon",
// or split by ";"). The decimal mark is ".". Corners give the box they span;
// four numbers are taken as they are (a west east of the east edge stays so,
// for the check to refuse). Nothing for any other text.
std::optional<Area> ParseAreaText(std::string_view text);

// Whether text is meant as a shape rather than a box: it starts (after
// blanks) with "{" (GeoJSON) or a WKT geometry's name.
bool LooksLikeShapeText(std::string_view text);

// area grown by metres on every side (0 or less: unchanged): a degree of
// latitude is 111,319.49 m, a degree of longitude that times the cosine of
// the latitude farthest from the equator, so the margin is at least metres
// everywhere.
Area WithMargin(const Area& area, double metres);

// Degrees kept to six decimals (about 0.1 m): outward, so that the rounded
// box still holds the whole area, or to the nearest (a rectangle drawn by hand).
Area RoundedOutward(const Area& area);
Area RoundedToNearest(const Area& area);

// Start's refusal of area, with why in the user's words first: a box across
// the 180th meridian or beyond the Mercator limit of 85 degrees; empty when
// Start takes it.
std::string AreaRefusal(const Area& area);

// A coordinate written as the task file writes it (the general form, the
// desktop's decimal mark), so that Start compares a task made of the same
// area equal and continues it.
std::string CoordinateText(double degrees);

}  // namespace area
