// The tiles that a shape touches at one zoom: polygons (with holes, several of
// them) in longitude and latitude, decided row by row. For every tile row the
// shape's cover is a short list of column spans, so a country-sized shape
// costs memory per row and per edge, never per tile.
//
// A tile is the shape's when the closed shape and the closed tile meet: a
// corner or an edge that only grazes the tile counts, as the rectangle rule
// of a plain task takes the tile on whose boundary an edge lies. A shape that
// is a rectangle therefore has exactly the tiles of its box.
//
// A plain value once built: safe to copy and to read from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "core/task/LonLat.h"
#include "core/task/TileRange.h"

namespace task {

// A closed ring; the last point may repeat the first or not.
using Ring = std::vector<LonLatPoint>;

struct ShapePolygon {
  Ring Outer;
  std::vector<Ring> Holes;
  friend bool operator==(const ShapePolygon&, const ShapePolygon&) = default;
};

// Several polygons, which may overlap: a tile is the shape's when any of them
// touches it.
struct Shape {
  std::vector<ShapePolygon> Polygons;
  bool Empty() const;
  friend bool operator==(const Shape&, const Shape&) = default;
};

// The box of every outer ring's points (holes lie inside their polygon).
LonLatBox BoundsOf(const Shape& shape);

// Both none, or both the same polygons.
inline bool SameShape(const std::shared_ptr<const Shape>& a, const std::shared_ptr<const Shape>& b) {
  return a == b || (a && b && *a == *b);
}

// Columns First..Last of one row, inclusive.
struct ColumnSpan {
  int32_t First = 0;
  int32_t Last = 0;
  friend bool operator==(const ColumnSpan&, const ColumnSpan&) = default;
};

class TileShape {
 public:
  // shape must not be empty; its points lie within the Mercator grid (the
  // checks of a task's area come first). zoom in kMinZoom..kMaxZoom.
  TileShape(const Shape& shape, int32_t zoom);

  // The tiles of the shape's box, by the rule of a rectangle task.
  const TileRange& Bounds() const { return Bounds_; }
  bool Contains(int32_t x, int32_t y) const;
  // The spans of row y, west to east, neither overlapping nor adjacent; empty
  // outside the bounds.
  std::span<const ColumnSpan> Row(int32_t y) const;
  int64_t Count() const { return Count_; }
  // The shape's tiles that lie within range.
  int64_t CountWithin(const TileRange& range) const;

 private:
  TileRange Bounds_;
  std::vector<ColumnSpan> Spans_;
  // Spans of row Bounds_.MinY + i are Spans_[RowStart_[i] .. RowStart_[i+1]).
  std::vector<uint32_t> RowStart_;
  int64_t Count_ = 0;
};

}  // namespace task
