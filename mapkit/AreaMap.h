// A slippy map (Web Mercator, the whole world as one tile of zoom 0, so grid
// points run from 0 to 1) of a base layer, with the area of a task on it:
// drawn by a drag (in drawing mode, or with Shift), moved by a drag inside
// it, its edges and corners by their handles; the task's tile grid over it
// when its cells are large enough to see; the outlines of earlier tasks and
// the features of a vector file. Base tiles come from a BaseTileLoader and are
// kept decoded in a byte-bounded cache; one that failed is a cell that tells
// why on hover, asked for again after a while.
//
// GUI thread only; loaded tiles come back through the map's own inbox.
#pragma once

#include <QCache>
#include <QPixmap>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/area/VectorFile.h"
#include "core/task/TileShape.h"
#include "mapkit/BaseTileLoader.h"
#include "qtkit/GuiInbox.h"
#include "mapkit/MapWidget.h"

namespace mapkit {

// Longitude and latitude <-> the world's grid at zoom 0.
GridPoint GridOf(double longitude, double latitude);
double LongitudeAt(double gridX);
double LatitudeAt(double gridY);

struct TaskOutline {
  std::string Name;
  area::Area Box;
};

class AreaMap final : public MapWidget {
  Q_OBJECT

 public:
  static constexpr qint64 kImageCacheBytes = qint64{64} << 20;
  static constexpr std::chrono::seconds kRetryFailedAfter{30};
  // The task's grid is drawn when its cells are at least this many pixels.
  static constexpr double kMinGridCell = 6;

  explicit AreaMap(std::shared_ptr<TileCache> cache, QWidget* parent = nullptr);
  ~AreaMap() override;

  // Shows layer (its zoom range bounds the map's), fetched through proxy.
  void SetLayer(const BaseLayer& layer, const run::ProxySettings& proxy, download::HttpLimits limits);
  void SetTaskZoom(int32_t zoom);
  // Shows area (nothing: none) without saying so.
  void SetArea(const std::optional<area::Area>& area);
  const std::optional<area::Area>& Area() const { return area_; }
  void SetDrawing(bool drawing);
  bool Drawing() const { return drawing_; }
  void SetShapes(const area::VectorShapes& shapes);
  // The task's shape within the area (none: all of the area): filled, and
  // the tiles it takes at the task's zoom where their cells can be seen.
  void SetTaskShape(std::shared_ptr<const task::Shape> shape);
  // Drawing a shape corner by corner: a click adds a corner, a double click
  // or Enter closes it (three corners at least), Backspace takes the last
  // corner back, Escape stops. ShapeDrawn gets the corners.
  void SetShapeDrawing(bool drawing);
  bool ShapeDrawing() const { return shapeDrawing_; }
  std::function<void(task::Ring)> ShapeDrawn;
  void SetOutlines(std::vector<TaskOutline> outlines);
  // Centres box in the view, as large as fits with a margin; again when the
  // map changes size before it is first drawn (a window just opened).
  void ShowBox(const area::Area& box);
  // Tiles that failed are asked for again at once.
  void Reload();

  bool Offline() const;
  const BaseTileLoader* Loader() const { return loader_.get(); }
  // Base tiles of the last frame drawn without their own image.
  int TilesPending() const { return tilesPending_; }
  // Why the base tile under at failed; nothing when it did not.
  std::optional<std::string> ProblemAt(QPoint at) const;
  // The area's rectangle on screen (empty without one).
  QRectF AreaRect() const;

 signals:
  // The mouse changed the area; Area() holds it.
  void AreaEdited();
  void DrawingChanged(bool drawing);
  // Tiles came from the loader (and with them, perhaps, a change of Offline()).
  void TilesLoaded();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;
  bool HasContent() const override { return true; }

 private:
  enum Edge { kLeft = 1, kRight = 2, kTop = 4, kBottom = 8 };
  enum class Drag { None, Draw, Move, Resize };
  struct GridBox {
    double X0, Y0, X1, Y1;
  };
  struct Failure {
    std::string Problem;
    std::chrono::steady_clock::time_point When;
  };

  int32_t TileZoom() const;
  QRectF ScreenRect(double x0, double y0, double x1, double y1) const;
  void DrawBase(QPainter& painter);
  void DrawShapes(QPainter& painter) const;
  void DrawOutlines(QPainter& painter) const;
  void DrawArea(QPainter& painter) const;
  void DrawTaskShape(QPainter& painter) const;
  void DrawCorners(QPainter& painter) const;
  void CloseShape();
  // The edges of the area within reach of at (a combination of Edge), 0 for none.
  int EdgesAt(QPointF at) const;
  void UpdateCursor(QPointF at);
  void Accept(LoadedTile tile);
  std::optional<GridBox> AreaGrid() const;
  void SetAreaFromGrid(GridBox box);
  void FitBox(const area::Area& box);

  qtkit::GuiInbox inbox_;  // before the loader: outlives its threads
  std::shared_ptr<TileCache> cache_;
  std::unique_ptr<BaseTileLoader> loader_;
  QCache<uint64_t, QPixmap> images_;
  std::unordered_map<uint64_t, Failure> failures_;
  int tilesPending_ = 0;
  int32_t taskZoom_ = 13;
  std::optional<area::Area> area_;
  std::optional<area::Area> boxToShow_;
  bool drawing_ = false;
  Drag drag_ = Drag::None;
  int dragEdges_ = 0;
  GridPoint pressGrid_;
  GridBox boxAtPress_{};
  std::vector<std::vector<GridPoint>> shapeLines_;
  std::vector<GridPoint> shapePoints_;
  std::vector<TaskOutline> outlines_;
  std::shared_ptr<const task::Shape> taskShape_;
  // The shape's tiles at taskZoom_, made when either changes.
  std::shared_ptr<const task::TileShape> shapeTiles_;
  bool shapeDrawing_ = false;
  std::vector<GridPoint> corners_;
  std::optional<GridPoint> rubberEnd_;
};

}  // namespace mapkit
