#include "mapkit/Viewport.h"

#include <algorithm>
#include <cmath>

namespace mapkit {

void Viewport::SetTask(const task::TileRange& range) {
  task_ = range;
  Fit();
}

void Viewport::SetMaxScale(double scale) {
  maxScale_ = scale;
  Clamp();
}

void Viewport::Resize(int width, int height) {
  width_ = std::max(width, 1);
  height_ = std::max(height, 1);
  Clamp();
}

double Viewport::FitScale() const {
  const double columns = static_cast<double>(task_.Columns());
  const double rows = static_cast<double>(task_.Rows());
  return std::min({width_ / (columns * kTilePixels), height_ / (rows * kTilePixels), maxScale_});
}

void Viewport::Fit() {
  scale_ = FitScale();
  center_ = {task_.MinX + task_.Columns() / 2.0, task_.MinY + task_.Rows() / 2.0};
}

void Viewport::ZoomAt(double x, double y, double factor) {
  const GridPoint anchor = ToGrid(x, y);
  scale_ = std::clamp(scale_ * factor, FitScale(), maxScale_);
  center_ = {anchor.X - (x - width_ / 2.0) / TileSize(), anchor.Y - (y - height_ / 2.0) / TileSize()};
  Clamp();
}

void Viewport::PanBy(double dx, double dy) {
  center_.X -= dx / TileSize();
  center_.Y -= dy / TileSize();
  Clamp();
}

void Viewport::CenterOn(GridPoint point) {
  center_ = point;
  Clamp();
}

void Viewport::Clamp() {
  scale_ = std::clamp(scale_, FitScale(), maxScale_);
  center_.X = std::clamp(center_.X, static_cast<double>(task_.MinX), static_cast<double>(task_.MaxX) + 1);
  center_.Y = std::clamp(center_.Y, static_cast<double>(task_.MinY), static_cast<double>(task_.MaxY) + 1);
}

GridPoint Viewport::ToGrid(double x, double y) const {
  return {center_.X + (x - width_ / 2.0) / TileSize(), center_.Y + (y - height_ / 2.0) / TileSize()};
}

ScreenPoint Viewport::ToScreen(GridPoint point) const {
  return {(point.X - center_.X) * TileSize() + width_ / 2.0, (point.Y - center_.Y) * TileSize() + height_ / 2.0};
}

std::optional<task::TileRange> Viewport::VisibleTiles() const {
  const GridPoint topLeft = ToGrid(0, 0);
  const GridPoint bottomRight = ToGrid(width_, height_);
  // Clamped in floating point first: far out, the window spans more columns than an int holds.
  const auto cell = [](double at, int32_t min, int32_t max) {
    return static_cast<int32_t>(std::floor(std::clamp(at, static_cast<double>(min), static_cast<double>(max) + 1)));
  };
  const auto column = [&](double x) { return cell(x, task_.MinX, task_.MaxX); };
  const auto row = [&](double y) { return cell(y, task_.MinY, task_.MaxY); };
  const task::TileRange visible{column(topLeft.X), row(topLeft.Y), std::min(column(bottomRight.X), task_.MaxX),
                                std::min(row(bottomRight.Y), task_.MaxY)};
  if (visible.MinX > task_.MaxX || visible.MinY > task_.MaxY || bottomRight.X <= task_.MinX ||
      bottomRight.Y <= task_.MinY) {
    return std::nullopt;
  }
  return visible;
}

}  // namespace mapkit
