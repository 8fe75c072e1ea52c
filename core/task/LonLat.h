// Places and rectangles in longitude and latitude (degrees, east and north
// positive). Plain values.
#pragma once

namespace task {

struct LonLatPoint {
  double Lon = 0;
  double Lat = 0;
  friend bool operator==(const LonLatPoint&, const LonLatPoint&) = default;
};

struct LonLatBox {
  double West = 0;
  double East = 0;
  double North = 0;
  double South = 0;
  friend bool operator==(const LonLatBox&, const LonLatBox&) = default;
};

}  // namespace task
