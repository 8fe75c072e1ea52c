// A widget that shows a grid through a Viewport and moves it as maps move:
// drag or the arrow keys pan, the wheel zooms around the cursor, + and -
// around the middle. Subclasses paint, and say whether there is anything to
// move; one that uses some drags for itself starts a pan only for the others.
//
// GUI thread only.
#pragma once

#include <QPoint>
#include <QWidget>

#include "mapkit/Viewport.h"

namespace mapkit {

class MapWidget : public QWidget {
  Q_OBJECT

 public:
  explicit MapWidget(QWidget* parent = nullptr);

  const Viewport& View() const { return view_; }
  // Zooms around the window's centre.
  void ZoomBy(double factor);

 signals:
  // The grid point under the mouse (fractional columns and rows).
  void CursorMoved(double gridX, double gridY);
  void CursorLeft();
  void ViewChanged();

 protected:
  // False while there is nothing to show: the mouse and keys do nothing.
  virtual bool HasContent() const { return true; }
  // After every change of the view: repaints and says so.
  virtual void ViewMoved();

  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent* event) override;

  // The left button went down at at, on nothing a subclass drags: a pan starts.
  void StartPan(QPoint at);
  bool Panning() const { return panning_; }

  Viewport view_;

 private:
  bool panning_ = false;
  QPoint lastPanPoint_;
};

}  // namespace mapkit
