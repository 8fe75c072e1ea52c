// The part of a tile grid a window shows (a task's tiles, or the whole world
// as one tile of zoom 0): the grid point at the window's centre and the zoom,
// in screen pixels per tile pixel (1 = 100 %). Grid points are tile columns
// and rows, fractional inside a tile. The zoom runs from "the whole range
// fits" to the largest scale (400 % unless set); the centre stays on the range.
// A plain value.
#pragma once

#include <optional>

#include "core/task/TileGrid.h"
#include "core/task/TileRange.h"

namespace mapkit {

struct GridPoint {
  double X = 0;
  double Y = 0;
};

struct ScreenPoint {
  double X = 0;
  double Y = 0;
};

class Viewport {
 public:
  static constexpr double kTilePixels = task::kTileSize;
  static constexpr double kMaxScale = 4.0;

  // Shows the whole of range.
  void SetTask(const task::TileRange& range);
  // The largest zoom; the view keeps within it at once.
  void SetMaxScale(double scale);
  // Keeps the centre; a zoom below the new fit rises to it.
  void Resize(int width, int height);
  void Fit();
  // Zooms by factor keeping the grid point under (x, y) where it is.
  void ZoomAt(double x, double y, double factor);
  // Moves the content by (dx, dy) screen pixels.
  void PanBy(double dx, double dy);
  void CenterOn(GridPoint point);

  double Scale() const { return scale_; }
  // The zoom at which the whole task fits (never above the largest).
  double FitScale() const;
  double TileSize() const { return kTilePixels * scale_; }

  GridPoint ToGrid(double x, double y) const;
  ScreenPoint ToScreen(GridPoint point) const;
  // The task's tiles at least partly in the window; nothing when none is.
  std::optional<task::TileRange> VisibleTiles() const;

 private:
  void Clamp();

  task::TileRange task_;
  int width_ = 1;
  int height_ = 1;
  double scale_ = 1;
  double maxScale_ = kMaxScale;
  GridPoint center_;
};

}  // namespace mapkit
