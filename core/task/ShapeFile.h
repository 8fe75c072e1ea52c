// A task's shape as a GeoJSON text (RFC 7946: longitude, latitude, one
// feature holding a MultiPolygon), the form kept beside a task so that any
// GIS opens it. Pure functions; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/task/TileShape.h"

namespace task {

// Every coordinate in the shortest text that reads back as the same double,
// "." as the decimal mark; rings closed, as GeoJSON wants.
std::string ShapeGeoJson(const Shape& shape);

// The polygons of a GeoJSON text: a Polygon or MultiPolygon, a Feature, a
// FeatureCollection or a GeometryCollection of them; other geometries are
// passed over. Nothing when the text is no such JSON or holds no polygon.
std::optional<Shape> ShapeFromGeoJson(std::string_view text);

}  // namespace task
