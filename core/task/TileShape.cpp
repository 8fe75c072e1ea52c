#include "core/task/TileShape.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "core/task/Commonfunc.h"

namespace task {

namespace {

// Positions in tiles of the task's zoom (x east, y south), in the precision
// the rectangle rule truncates, so that a vertex falls into the tile a box
// corner at the same place would.
struct GridPoint {
  long double X = 0;
  long double Y = 0;
};

// An edge with its ends ordered north to south (Top.Y <= Bottom.Y).
struct Edge {
  GridPoint Top;
  GridPoint Bottom;
  uint32_t Polygon = 0;

  bool Horizontal() const { return Top.Y == Bottom.Y; }
  long double XAt(long double y) const {
    return Top.X + (y - Top.Y) * (Bottom.X - Top.X) / (Bottom.Y - Top.Y);
  }
};

int32_t Floor(long double v) { return static_cast<int32_t>(std::floor(v)); }

void AddRing(const Ring& ring, uint32_t polygon, int32_t zoom, std::vector<Edge>& edges) {
  const std::size_t n = ring.size();
  for (std::size_t i = 0; i < n; ++i) {
    const LonLatPoint& a = ring[i];
    const LonLatPoint& b = ring[(i + 1) % n];
    GridPoint p{LongitudeToGridX(a.Lon, zoom), LatitudeToGridY(a.Lat, zoom)};
    GridPoint q{LongitudeToGridX(b.Lon, zoom), LatitudeToGridY(b.Lat, zoom)};
    if (q.Y < p.Y) std::swap(p, q);
    edges.push_back(Edge{p, q, polygon});
  }
}

// The columns holding a point of edge within row y (tiles are half-open:
// [c, c + 1) x [y, y + 1)). The edge is known to have such a point.
ColumnSpan ColumnsOfEdgeInRow(const Edge& e, int32_t row) {
  if (e.Horizontal()) {
    const auto [lo, hi] = std::minmax(e.Top.X, e.Bottom.X);
    return {Floor(lo), Floor(hi)};
  }
  const long double top = std::max<long double>(e.Top.Y, row);
  const long double bottom = row + 1.0L;
  // The southern end lies on the row's excluded south boundary unless the
  // edge ends inside the row.
  const bool bottomOpen = e.Bottom.Y >= bottom;
  const long double xTop = top == e.Top.Y ? e.Top.X : e.XAt(top);
  const long double xBottom = bottomOpen && e.Bottom.Y != bottom ? e.XAt(bottom) : e.Bottom.X;
  const int32_t first = Floor(std::min(xTop, xBottom));
  int32_t last = Floor(std::max(xTop, xBottom));
  // Approached from the west, an open end on a column boundary belongs to
  // the column before it.
  if (bottomOpen && xBottom > xTop && xBottom == std::floor(xBottom)) --last;
  return {first, std::max(first, last)};
}

}  // namespace

bool Shape::Empty() const {
  return std::none_of(Polygons.begin(), Polygons.end(), [](const ShapePolygon& p) { return !p.Outer.empty(); });
}

LonLatBox BoundsOf(const Shape& shape) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  LonLatBox box{.West = kInf, .East = -kInf, .North = -kInf, .South = kInf};
  for (const ShapePolygon& polygon : shape.Polygons) {
    for (const LonLatPoint& p : polygon.Outer) {
      box.West = std::min(box.West, p.Lon);
      box.East = std::max(box.East, p.Lon);
      box.South = std::min(box.South, p.Lat);
      box.North = std::max(box.North, p.Lat);
    }
  }
  return box;
}

TileShape::TileShape(const Shape& shape, int32_t zoom) {
  if (shape.Empty()) throw std::invalid_argument("a shape without a polygon has no tiles");
  const LonLatBox box = BoundsOf(shape);
  Bounds_ = TileRange{LongitudeToTileX(box.West, zoom), LatitudeToTileY(box.North, zoom),
                      LongitudeToTileX(box.East, zoom), LatitudeToTileY(box.South, zoom)};

  std::vector<Edge> edges;
  for (uint32_t i = 0; i < shape.Polygons.size(); ++i) {
    const ShapePolygon& polygon = shape.Polygons[i];
    if (polygon.Outer.empty()) continue;
    AddRing(polygon.Outer, i, zoom, edges);
    for (const Ring& hole : polygon.Holes) AddRing(hole, i, zoom, edges);
  }
  std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.Top.Y < b.Top.Y; });

  struct Crossing {
    long double X;
    uint32_t Polygon;
  };
  std::vector<const Edge*> active;
  std::vector<Crossing> crossings;
  std::vector<ColumnSpan> row;
  std::vector<uint8_t> odd(shape.Polygons.size(), 0);
  std::size_t next = 0;
  RowStart_.reserve(static_cast<std::size_t>(Bounds_.Rows()) + 1);

  for (int32_t y = Bounds_.MinY; y <= Bounds_.MaxY; ++y) {
    const long double south = y + 1.0L;
    while (next < edges.size() && edges[next].Top.Y < south) active.push_back(&edges[next++]);
    std::erase_if(active, [y](const Edge* e) { return e->Bottom.Y < y; });

    // Every tile holding a point of the outline...
    row.clear();
    crossings.clear();
    const long double middle = y + 0.5L;
    for (const Edge* e : active) {
      row.push_back(ColumnsOfEdgeInRow(*e, y));
      if (e->Top.Y <= middle && middle < e->Bottom.Y) crossings.push_back({e->XAt(middle), e->Polygon});
    }
    // ...and every tile wholly inside: its middle row lies between crossings
    // of the row's middle line (even-odd within a polygon, any polygon).
    std::sort(crossings.begin(), crossings.end(), [](const Crossing& a, const Crossing& b) { return a.X < b.X; });
    int inside = 0;
    long double from = 0;
    for (const Crossing& c : crossings) {
      const bool wasInside = inside > 0;
      inside += (odd[c.Polygon] ^= 1) ? 1 : -1;
      if (!wasInside && inside > 0) from = c.X;
      if (wasInside && inside == 0) row.push_back({Floor(from), Floor(c.X)});
    }

    RowStart_.push_back(static_cast<uint32_t>(Spans_.size()));
    std::sort(row.begin(), row.end(), [](const ColumnSpan& a, const ColumnSpan& b) { return a.First < b.First; });
    for (ColumnSpan span : row) {
      span.First = std::max(span.First, Bounds_.MinX);
      span.Last = std::min(span.Last, Bounds_.MaxX);
      if (span.First > span.Last) continue;
      if (Spans_.size() > RowStart_.back() && span.First <= Spans_.back().Last + 1) {
        Spans_.back().Last = std::max(Spans_.back().Last, span.Last);
      } else {
        Spans_.push_back(span);
      }
    }
  }
  RowStart_.push_back(static_cast<uint32_t>(Spans_.size()));
  for (const ColumnSpan& s : Spans_) Count_ += int64_t{s.Last} - s.First + 1;
}

std::span<const ColumnSpan> TileShape::Row(int32_t y) const {
  if (y < Bounds_.MinY || y > Bounds_.MaxY) return {};
  const std::size_t i = static_cast<std::size_t>(y - Bounds_.MinY);
  return std::span<const ColumnSpan>(Spans_.data() + RowStart_[i], RowStart_[i + 1] - RowStart_[i]);
}

bool TileShape::Contains(int32_t x, int32_t y) const {
  const std::span<const ColumnSpan> spans = Row(y);
  const auto it = std::upper_bound(spans.begin(), spans.end(), x,
                                   [](int32_t value, const ColumnSpan& s) { return value < s.First; });
  return it != spans.begin() && x <= std::prev(it)->Last;
}

}  // namespace task

namespace task {

int64_t TileShape::CountWithin(const TileRange& range) const {
  int64_t count = 0;
  for (int32_t y = std::max(range.MinY, Bounds_.MinY); y <= std::min(range.MaxY, Bounds_.MaxY); ++y) {
    for (const ColumnSpan& span : Row(y)) {
      const int64_t first = std::max(span.First, range.MinX);
      const int64_t last = std::min(span.Last, range.MaxX);
      if (last >= first) count += last - first + 1;
    }
  }
  return count;
}

}  // namespace task
