#include "mapkit/MapWidget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <cmath>

namespace mapkit {

namespace {

constexpr double kWheelStep = 1.25;
constexpr double kKeyZoomStep = 2;
constexpr double kArrowStep = 0.125;  // of the window per key press

}  // namespace

MapWidget::MapWidget(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(200, 150);
}

void MapWidget::ZoomBy(double factor) {
  view_.ZoomAt(width() / 2.0, height() / 2.0, factor);
  ViewMoved();
}

void MapWidget::ViewMoved() {
  update();
  emit ViewChanged();
}

void MapWidget::resizeEvent(QResizeEvent*) {
  view_.Resize(width(), height());
  ViewMoved();
}

void MapWidget::wheelEvent(QWheelEvent* event) {
  if (!HasContent()) return;
  const double notches = event->angleDelta().y() / 120.0;
  view_.ZoomAt(event->position().x(), event->position().y(), std::pow(kWheelStep, notches));
  ViewMoved();
}

void MapWidget::StartPan(QPoint at) {
  panning_ = true;
  lastPanPoint_ = at;
  setCursor(Qt::ClosedHandCursor);
}

void MapWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) StartPan(event->position().toPoint());
}

void MapWidget::mouseMoveEvent(QMouseEvent* event) {
  if (!HasContent()) return;
  const QPoint point = event->position().toPoint();
  if (panning_) {
    view_.PanBy(point.x() - lastPanPoint_.x(), point.y() - lastPanPoint_.y());
    lastPanPoint_ = point;
    ViewMoved();
  }
  const GridPoint grid = view_.ToGrid(event->position().x(), event->position().y());
  emit CursorMoved(grid.X, grid.Y);
}

void MapWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !panning_) return;
  panning_ = false;
  unsetCursor();
}

void MapWidget::leaveEvent(QEvent*) { emit CursorLeft(); }

void MapWidget::keyPressEvent(QKeyEvent* event) {
  const double stepX = width() * kArrowStep;
  const double stepY = height() * kArrowStep;
  switch (event->key()) {
    case Qt::Key_Left:
      view_.PanBy(stepX, 0);
      break;
    case Qt::Key_Right:
      view_.PanBy(-stepX, 0);
      break;
    case Qt::Key_Up:
      view_.PanBy(0, stepY);
      break;
    case Qt::Key_Down:
      view_.PanBy(0, -stepY);
      break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      view_.ZoomAt(width() / 2.0, height() / 2.0, kKeyZoomStep);
      break;
    case Qt::Key_Minus:
      view_.ZoomAt(width() / 2.0, height() / 2.0, 1 / kKeyZoomStep);
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  ViewMoved();
}

}  // namespace mapkit
