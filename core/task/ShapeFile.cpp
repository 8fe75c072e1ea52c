#include "core/task/ShapeFile.h"

#include <nlohmann/json.hpp>

#include <charconv>

namespace task {

namespace {

void AppendNumber(std::string& out, double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}

void AppendRing(std::string& out, const Ring& ring) {
  out += '[';
  for (std::size_t i = 0; i <= ring.size(); ++i) {
    const LonLatPoint& p = ring[i % ring.size()];
    if (i > 0) out += ',';
    out += '[';
    AppendNumber(out, p.Lon);
    out += ',';
    AppendNumber(out, p.Lat);
    out += ']';
  }
  out += ']';
}

std::optional<Ring> RingOf(const nlohmann::json& positions) {
  if (!positions.is_array()) return std::nullopt;
  Ring ring;
  for (const nlohmann::json& position : positions) {
    if (!position.is_array() || position.size() < 2 || !position[0].is_number() || !position[1].is_number()) {
      return std::nullopt;
    }
    ring.push_back({position[0].get<double>(), position[1].get<double>()});
  }
  if (ring.size() > 1 && ring.front() == ring.back()) ring.pop_back();
  if (ring.size() < 3) return std::nullopt;
  return ring;
}

bool AddPolygon(const nlohmann::json& rings, Shape& shape) {
  if (!rings.is_array() || rings.empty()) return false;
  ShapePolygon polygon;
  for (std::size_t i = 0; i < rings.size(); ++i) {
    std::optional<Ring> ring = RingOf(rings[i]);
    if (!ring) return false;
    (i == 0 ? polygon.Outer : polygon.Holes.emplace_back()) = std::move(*ring);
  }
  shape.Polygons.push_back(std::move(polygon));
  return true;
}

// False when a polygon is malformed; geometries of other kinds are passed over.
bool AddGeoJson(const nlohmann::json& value, Shape& shape, int depth) {
  if (!value.is_object() || depth > 32) return false;
  const auto type = value.find("type");
  if (type == value.end() || !type->is_string()) return false;
  const std::string& kind = type->get_ref<const std::string&>();
  const auto member = [&](const char* name) -> const nlohmann::json& {
    static const nlohmann::json kNull;
    const auto it = value.find(name);
    return it == value.end() ? kNull : *it;
  };
  if (kind == "FeatureCollection") {
    if (!member("features").is_array()) return false;
    for (const nlohmann::json& feature : member("features")) {
      if (!AddGeoJson(feature, shape, depth + 1)) return false;
    }
    return true;
  }
  if (kind == "Feature") return member("geometry").is_null() || AddGeoJson(member("geometry"), shape, depth + 1);
  if (kind == "GeometryCollection") {
    if (!member("geometries").is_array()) return false;
    for (const nlohmann::json& geometry : member("geometries")) {
      if (!AddGeoJson(geometry, shape, depth + 1)) return false;
    }
    return true;
  }
  if (kind == "Polygon") return AddPolygon(member("coordinates"), shape);
  if (kind == "MultiPolygon") {
    if (!member("coordinates").is_array()) return false;
    for (const nlohmann::json& polygon : member("coordinates")) {
      if (!AddPolygon(polygon, shape)) return false;
    }
    return true;
  }
  return true;
}

}  // namespace

std::string ShapeGeoJson(const Shape& shape) {
  std::string out = R"({"type":"FeatureCollection","features":[{"type":"Feature","properties":{},)"
                    R"("geometry":{"type":"MultiPolygon","coordinates":[)";
  bool first = true;
  for (const ShapePolygon& polygon : shape.Polygons) {
    if (polygon.Outer.empty()) continue;
    if (!first) out += ',';
    first = false;
    out += '[';
    AppendRing(out, polygon.Outer);
    for (const Ring& hole : polygon.Holes) {
      out += ',';
      AppendRing(out, hole);
    }
    out += ']';
  }
  out += "]}}]}\n";
  return out;
}

std::optional<Shape> ShapeFromGeoJson(std::string_view text) {
  const nlohmann::json value = nlohmann::json::parse(text, nullptr, false);
  if (value.is_discarded()) return std::nullopt;
  Shape shape;
  if (!AddGeoJson(value, shape, 0) || shape.Empty()) return std::nullopt;
  return shape;
}

}  // namespace task
