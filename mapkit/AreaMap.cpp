#include "mapkit/AreaMap.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>
#include <cmath>

#include "core/task/Commonfunc.h"
#include "qtkit/Dialogs.h"

namespace mapkit {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Parents looked at for a stand-in while a tile loads.
constexpr int kStandInLevels = 4;
constexpr double kHandleReach = 6;
constexpr int kHandleSize = 7;
constexpr double kShowBoxMargin = 1.2;
// Base tiles smaller than this on screen are not drawn.
constexpr double kMinBaseTileSize = 48;

const QColor kBackground(0xdd, 0xdd, 0xdd);
const QColor kLoading(0xe8, 0xe8, 0xe8);
const QColor kFailed(0xc6, 0x8a, 0x84);
const QColor kAreaLine(0xd3, 0x2f, 0x2f);
const QColor kAreaFill(0xd3, 0x2f, 0x2f, 40);
const QColor kGridLine(0xd3, 0x2f, 0x2f, 110);
const QColor kOutline(0x15, 0x65, 0xc0);
const QColor kShape(0x6a, 0x1b, 0x9a);
const QColor kTaskShapeFill(0xff, 0x8f, 0x00, 110);
const QColor kTaskShapeLine(0xb7, 0x1c, 0x1c);
const QColor kCorner(0x00, 0x79, 0x6b);
// The shape's tiles are drawn one by one up to this many on screen.
constexpr int64_t kMaxShapeCells = 20000;

double Clamp01(double value) { return std::clamp(value, 0.0, 1.0); }

}  // namespace

GridPoint GridOf(double longitude, double latitude) {
  const double radians = latitude * kPi / 180;
  return {(longitude + 180) / 360, (1 - std::asinh(std::tan(radians)) / kPi) / 2};
}

// The grid of zoom 0 is the whole map: one tile.
double LongitudeAt(double gridX) { return task::TileXToLongitude(gridX, 0); }

double LatitudeAt(double gridY) { return task::TileYToLatitude(gridY, 0); }

AreaMap::AreaMap(std::shared_ptr<TileCache> cache, QWidget* parent)
    : MapWidget(parent), cache_(std::move(cache)), images_(kImageCacheBytes) {
  setObjectName(QStringLiteral("areaMap"));
  view_.SetTask(task::TileRange{0, 0, 0, 0});
}

AreaMap::~AreaMap() = default;

void AreaMap::SetLayer(const BaseLayer& layer, const run::ProxySettings& proxy, download::HttpLimits limits) {
  loader_.reset();
  images_.clear();
  failures_.clear();
  loader_ = std::make_unique<BaseTileLoader>(layer, proxy, limits, cache_, [this] {
    inbox_.Post([this] {
      if (!loader_) return;
      for (LoadedTile& tile : loader_->TakeResults()) Accept(std::move(tile));
      emit TilesLoaded();
    });
  });
  view_.SetMaxScale(std::ldexp(1.0, layer.MaxZoom()));
  ViewMoved();
}

void AreaMap::SetTaskZoom(int32_t zoom) {
  taskZoom_ = zoom;
  SetTaskShape(taskShape_);
}

void AreaMap::SetTaskShape(std::shared_ptr<const task::Shape> shape) {
  taskShape_ = std::move(shape);
  shapeTiles_.reset();
  if (taskShape_ && !taskShape_->Empty() && taskZoom_ >= task::kMinZoom && taskZoom_ <= task::kMaxZoom) {
    const task::LonLatBox bounds = task::BoundsOf(*taskShape_);
    // Only a shape on the grid has tiles; the window says what is wrong with another.
    if (bounds.West >= -180 && bounds.East <= 180 && bounds.North <= 85 && bounds.South >= -85) {
      shapeTiles_ = std::make_shared<const task::TileShape>(*taskShape_, taskZoom_);
    }
  }
  update();
}

void AreaMap::SetShapeDrawing(bool drawing) {
  if (drawing) SetDrawing(false);
  shapeDrawing_ = drawing;
  corners_.clear();
  rubberEnd_.reset();
  setCursor(drawing ? Qt::CrossCursor : Qt::ArrowCursor);
  if (drawing) setFocus();
  update();
}

void AreaMap::SetArea(const std::optional<area::Area>& area) {
  area_ = area;
  update();
}

void AreaMap::SetDrawing(bool drawing) {
  if (drawing && shapeDrawing_) SetShapeDrawing(false);
  if (drawing_ == drawing) return;
  drawing_ = drawing;
  setCursor(drawing ? Qt::CrossCursor : Qt::ArrowCursor);
  emit DrawingChanged(drawing);
}

void AreaMap::SetShapes(const area::VectorShapes& shapes) {
  shapeLines_.clear();
  shapePoints_.clear();
  for (const std::vector<area::LonLat>& line : shapes.Lines) {
    std::vector<GridPoint>& grid = shapeLines_.emplace_back();
    grid.reserve(line.size());
    for (const area::LonLat& point : line) grid.push_back(GridOf(point.Lon, point.Lat));
  }
  for (const area::LonLat& point : shapes.Points) shapePoints_.push_back(GridOf(point.Lon, point.Lat));
  update();
}

void AreaMap::SetOutlines(std::vector<TaskOutline> outlines) {
  outlines_ = std::move(outlines);
  update();
}

void AreaMap::ShowBox(const area::Area& box) {
  boxToShow_ = box;
  FitBox(box);
}

void AreaMap::resizeEvent(QResizeEvent* event) {
  MapWidget::resizeEvent(event);
  if (boxToShow_) FitBox(*boxToShow_);
}

void AreaMap::FitBox(const area::Area& box) {
  const GridPoint northWest = GridOf(box.West, box.North);
  const GridPoint southEast = GridOf(box.East, box.South);
  const double width = std::max(southEast.X - northWest.X, 1e-9) * Viewport::kTilePixels * kShowBoxMargin;
  const double height = std::max(southEast.Y - northWest.Y, 1e-9) * Viewport::kTilePixels * kShowBoxMargin;
  const double fit = std::min(this->width() / width, this->height() / height);
  view_.ZoomAt(this->width() / 2.0, this->height() / 2.0, fit / view_.Scale());
  view_.CenterOn({(northWest.X + southEast.X) / 2, (northWest.Y + southEast.Y) / 2});
  ViewMoved();
}

void AreaMap::Reload() {
  failures_.clear();
  update();
}

bool AreaMap::Offline() const { return loader_ && loader_->Offline(); }

int32_t AreaMap::TileZoom() const {
  if (!loader_) return 0;
  const auto zoom = static_cast<int32_t>(std::lround(std::log2(view_.Scale())));
  return std::clamp(zoom, loader_->Layer().MinZoom(), loader_->Layer().MaxZoom());
}

QRectF AreaMap::ScreenRect(double x0, double y0, double x1, double y1) const {
  const ScreenPoint topLeft = view_.ToScreen({x0, y0});
  const ScreenPoint bottomRight = view_.ToScreen({x1, y1});
  return QRectF(QPointF(topLeft.X, topLeft.Y), QPointF(bottomRight.X, bottomRight.Y));
}

void AreaMap::paintEvent(QPaintEvent*) {
  // Drawn at its size: later changes of size keep the view.
  boxToShow_.reset();
  QPainter painter(this);
  painter.fillRect(rect(), kBackground);
  DrawBase(painter);
  painter.setRenderHint(QPainter::Antialiasing);
  DrawShapes(painter);
  DrawOutlines(painter);
  DrawArea(painter);
  DrawTaskShape(painter);
  DrawCorners(painter);
}

void AreaMap::DrawTaskShape(QPainter& painter) const {
  if (!taskShape_) return;
  QPainterPath path;
  path.setFillRule(Qt::OddEvenFill);
  for (const task::ShapePolygon& polygon : taskShape_->Polygons) {
    for (const task::Ring* ring = &polygon.Outer; ring != nullptr;) {
      QPolygonF screen;
      screen.reserve(static_cast<qsizetype>(ring->size()) + 1);
      for (const task::LonLatPoint& point : *ring) {
        const ScreenPoint at = view_.ToScreen(GridOf(point.Lon, point.Lat));
        screen << QPointF(at.X, at.Y);
      }
      if (!screen.isEmpty()) screen << screen.front();
      path.addPolygon(screen);
      const std::size_t next = ring == &polygon.Outer ? 0 : static_cast<std::size_t>(ring - polygon.Holes.data()) + 1;
      ring = next < polygon.Holes.size() ? &polygon.Holes[next] : nullptr;
    }
  }
  // The tiles the shape takes, where they can be told apart on screen.
  const double cell = view_.TileSize() / std::ldexp(1.0, taskZoom_);
  bool cellsDrawn = false;
  if (shapeTiles_ && cell >= kMinGridCell) {
    const double tiles = std::ldexp(1.0, taskZoom_);
    const GridPoint topLeft = view_.ToGrid(0, 0);
    const GridPoint bottomRight = view_.ToGrid(width(), height());
    const task::TileRange& bounds = shapeTiles_->Bounds();
    const int32_t firstRow = std::max(bounds.MinY, static_cast<int32_t>(std::floor(topLeft.Y * tiles)));
    const int32_t lastRow = std::min(bounds.MaxY, static_cast<int32_t>(std::floor(bottomRight.Y * tiles)));
    const auto firstColumn = static_cast<int32_t>(std::floor(topLeft.X * tiles));
    const auto lastColumn = static_cast<int32_t>(std::floor(bottomRight.X * tiles));
    if (int64_t{lastRow - firstRow + 1} * (int64_t{lastColumn} - firstColumn + 1) <= kMaxShapeCells) {
      for (int32_t y = firstRow; y <= lastRow; ++y) {
        for (const task::ColumnSpan& span : shapeTiles_->Row(y)) {
          const int32_t from = std::max(span.First, firstColumn);
          const int32_t to = std::min(span.Last, lastColumn);
          if (from > to) continue;
          painter.fillRect(ScreenRect(from / tiles, y / tiles, (to + 1) / tiles, (y + 1) / tiles), kTaskShapeFill);
        }
      }
      cellsDrawn = true;
    }
  }
  painter.setPen(QPen(kTaskShapeLine, 2));
  painter.setBrush(cellsDrawn ? QBrush(Qt::NoBrush) : QBrush(kTaskShapeFill));
  painter.drawPath(path);
}

void AreaMap::DrawCorners(QPainter& painter) const {
  if (!shapeDrawing_ || corners_.empty()) return;
  QPolygonF line;
  for (const GridPoint& corner : corners_) {
    const ScreenPoint at = view_.ToScreen(corner);
    line << QPointF(at.X, at.Y);
  }
  if (rubberEnd_) {
    const ScreenPoint at = view_.ToScreen(*rubberEnd_);
    line << QPointF(at.X, at.Y);
  }
  painter.setPen(QPen(kCorner, 2, Qt::DashLine));
  painter.setBrush(Qt::NoBrush);
  painter.drawPolyline(line);
  painter.setPen(QPen(kCorner, 1));
  painter.setBrush(Qt::white);
  for (qsizetype i = 0; i < static_cast<qsizetype>(corners_.size()); ++i) {
    painter.drawEllipse(line[i], 4, 4);
  }
}

void AreaMap::CloseShape() {
  if (corners_.size() < 3) return;
  task::Ring ring;
  ring.reserve(corners_.size());
  for (const GridPoint& corner : corners_) ring.push_back({LongitudeAt(corner.X), LatitudeAt(corner.Y)});
  SetShapeDrawing(false);
  if (ShapeDrawn) ShapeDrawn(std::move(ring));
}

void AreaMap::mouseDoubleClickEvent(QMouseEvent* event) {
  if (!shapeDrawing_ || event->button() != Qt::LeftButton) {
    MapWidget::mouseDoubleClickEvent(event);
    return;
  }
  // The double click's first press added its corner already.
  CloseShape();
}

void AreaMap::keyPressEvent(QKeyEvent* event) {
  if (!shapeDrawing_) {
    MapWidget::keyPressEvent(event);
    return;
  }
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      CloseShape();
      return;
    case Qt::Key_Backspace:
      if (!corners_.empty()) corners_.pop_back();
      update();
      return;
    case Qt::Key_Escape:
      SetShapeDrawing(false);
      return;
    default:
      MapWidget::keyPressEvent(event);
  }
}

void AreaMap::DrawBase(QPainter& painter) {
  tilesPending_ = 0;
  if (!loader_) return;
  const int32_t zoom = TileZoom();
  const double tiles = std::ldexp(1.0, zoom);
  // Out beyond the source's first level its tiles would be specks by the
  // million: none is asked for.
  if (view_.TileSize() / tiles < kMinBaseTileSize) {
    loader_->SetWanted({});
    painter.setPen(Qt::darkGray);
    painter.drawText(rect(), Qt::AlignCenter, tr("Zoom in to see %1").arg(qtkit::FromLocal(loader_->Layer().Map.Name)));
    return;
  }
  const GridPoint topLeft = view_.ToGrid(0, 0);
  const GridPoint bottomRight = view_.ToGrid(width(), height());
  const auto cell = [tiles](double at) { return static_cast<int32_t>(std::clamp(std::floor(at * tiles), 0.0, tiles - 1)); };
  const double middleX = width() / 2.0;
  const double middleY = height() / 2.0;
  const auto now = std::chrono::steady_clock::now();
  std::vector<std::pair<double, TileId>> wanted;
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  for (int32_t x = cell(topLeft.X); x <= cell(bottomRight.X); ++x) {
    for (int32_t y = cell(topLeft.Y); y <= cell(bottomRight.Y); ++y) {
      const QRectF target = ScreenRect(x / tiles, y / tiles, (x + 1) / tiles, (y + 1) / tiles);
      const QRect pixels = target.toAlignedRect();
      const TileId tile{zoom, x, y};
      if (const QPixmap* image = images_.object(tile.Key())) {
        painter.drawPixmap(pixels, *image);
        continue;
      }
      ++tilesPending_;
      if (const auto failure = failures_.find(tile.Key()); failure != failures_.end()) {
        if (now - failure->second.When < kRetryFailedAfter) {
          painter.fillRect(pixels, kFailed);
          painter.fillRect(pixels, QBrush(kFailed.darker(130), Qt::BDiagPattern));
          continue;
        }
        failures_.erase(failure);
      }
      // Meanwhile a part of a parent, scaled up.
      bool stoodIn = false;
      for (int up = 1; up <= kStandInLevels && zoom - up >= loader_->Layer().MinZoom() && !stoodIn; ++up) {
        const TileId parent{zoom - up, x >> up, y >> up};
        if (const QPixmap* image = images_.object(parent.Key())) {
          const double part = image->width() / std::ldexp(1.0, up);
          const QRectF source((x - (parent.X << up)) * part, (y - (parent.Y << up)) * part, part, part);
          painter.drawPixmap(target, *image, source);
          stoodIn = true;
        }
      }
      if (!stoodIn) painter.fillRect(pixels, kLoading);
      const double dx = target.center().x() - middleX;
      const double dy = target.center().y() - middleY;
      wanted.emplace_back(dx * dx + dy * dy, tile);
    }
  }
  std::sort(wanted.begin(), wanted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<TileId> ordered;
  ordered.reserve(wanted.size());
  for (const auto& entry : wanted) ordered.push_back(entry.second);
  loader_->SetWanted(ordered);
}

void AreaMap::DrawShapes(QPainter& painter) const {
  if (shapeLines_.empty() && shapePoints_.empty()) return;
  painter.setPen(QPen(kShape, 2));
  painter.setBrush(Qt::NoBrush);
  for (const std::vector<GridPoint>& line : shapeLines_) {
    QPolygonF polygon;
    polygon.reserve(static_cast<qsizetype>(line.size()));
    for (const GridPoint& point : line) {
      const ScreenPoint at = view_.ToScreen(point);
      polygon << QPointF(at.X, at.Y);
    }
    painter.drawPolyline(polygon);
  }
  painter.setBrush(kShape);
  for (const GridPoint& point : shapePoints_) {
    const ScreenPoint at = view_.ToScreen(point);
    painter.drawEllipse(QPointF(at.X, at.Y), 3, 3);
  }
}

void AreaMap::DrawOutlines(QPainter& painter) const {
  painter.setBrush(Qt::NoBrush);
  for (const TaskOutline& outline : outlines_) {
    const GridPoint northWest = GridOf(outline.Box.West, outline.Box.North);
    const GridPoint southEast = GridOf(outline.Box.East, outline.Box.South);
    const QRectF box = ScreenRect(northWest.X, northWest.Y, southEast.X, southEast.Y);
    painter.setPen(QPen(kOutline, 2, Qt::DashLine));
    painter.drawRect(box);
    const QString name = qtkit::FromLocal(outline.Name);
    const QRectF label = painter.fontMetrics().boundingRect(name).adjusted(-3, -1, 3, 1);
    const QRectF placed = label.translated(box.topLeft() - label.topLeft() + QPointF(2, 2));
    painter.fillRect(placed, QColor(255, 255, 255, 200));
    painter.setPen(kOutline);
    painter.drawText(placed, Qt::AlignCenter, name);
  }
}

std::optional<AreaMap::GridBox> AreaMap::AreaGrid() const {
  if (!area_) return std::nullopt;
  const GridPoint northWest = GridOf(area_->West, area_->North);
  const GridPoint southEast = GridOf(area_->East, area_->South);
  return GridBox{northWest.X, northWest.Y, southEast.X, southEast.Y};
}

QRectF AreaMap::AreaRect() const {
  const std::optional<GridBox> box = AreaGrid();
  return box ? ScreenRect(box->X0, box->Y0, box->X1, box->Y1) : QRectF();
}

void AreaMap::DrawArea(QPainter& painter) const {
  const std::optional<GridBox> box = AreaGrid();
  if (!box) return;
  const QRectF rect = AreaRect();
  // With a shape the shape is the task: the box is only its frame.
  if (!taskShape_) painter.fillRect(rect, kAreaFill);
  // The task's tile grid, where its cells can be told apart.
  const double cell = view_.TileSize() / std::ldexp(1.0, taskZoom_);
  const bool inGrid = area_->West <= area_->East && std::abs(area_->North) <= 85 && std::abs(area_->South) <= 85;
  if (cell >= kMinGridCell && inGrid && taskZoom_ >= task::kMinZoom && taskZoom_ <= task::kMaxZoom) {
    const double tiles = std::ldexp(1.0, taskZoom_);
    const int32_t x0 = task::LongitudeToTileX(area_->West, taskZoom_);
    const int32_t x1 = task::LongitudeToTileX(area_->East, taskZoom_);
    const int32_t y0 = task::LatitudeToTileY(area_->North, taskZoom_);
    const int32_t y1 = task::LatitudeToTileY(area_->South, taskZoom_);
    const QRectF covered = ScreenRect(x0 / tiles, y0 / tiles, (x1 + 1) / tiles, (y1 + 1) / tiles);
    if (covered.width() * covered.height() < 16.0 * width() * height()) {
      painter.setPen(QPen(kGridLine, 1));
      for (int32_t x = x0; x <= x1 + 1; ++x) {
        const double at = covered.left() + (x - x0) * cell;
        painter.drawLine(QPointF(at, covered.top()), QPointF(at, covered.bottom()));
      }
      for (int32_t y = y0; y <= y1 + 1; ++y) {
        const double at = covered.top() + (y - y0) * cell;
        painter.drawLine(QPointF(covered.left(), at), QPointF(covered.right(), at));
      }
    }
  }
  painter.setPen(QPen(kAreaLine, 2, taskShape_ ? Qt::DashLine : Qt::SolidLine));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(rect);
  // Handles at the corners and the middles of the edges.
  painter.setBrush(Qt::white);
  painter.setPen(QPen(kAreaLine, 1));
  for (const double x : {rect.left(), rect.center().x(), rect.right()}) {
    for (const double y : {rect.top(), rect.center().y(), rect.bottom()}) {
      if (x == rect.center().x() && y == rect.center().y()) continue;
      painter.drawRect(QRectF(x - kHandleSize / 2.0, y - kHandleSize / 2.0, kHandleSize, kHandleSize));
    }
  }
}

int AreaMap::EdgesAt(QPointF at) const {
  if (!area_) return 0;
  const QRectF rect = AreaRect();
  if (!rect.adjusted(-kHandleReach, -kHandleReach, kHandleReach, kHandleReach).contains(at)) return 0;
  int edges = 0;
  if (std::abs(at.x() - rect.left()) <= kHandleReach) edges |= kLeft;
  else if (std::abs(at.x() - rect.right()) <= kHandleReach) edges |= kRight;
  if (std::abs(at.y() - rect.top()) <= kHandleReach) edges |= kTop;
  else if (std::abs(at.y() - rect.bottom()) <= kHandleReach) edges |= kBottom;
  return edges;
}

void AreaMap::UpdateCursor(QPointF at) {
  if (drawing_) return;
  switch (EdgesAt(at)) {
    case kLeft:
    case kRight:
      setCursor(Qt::SizeHorCursor);
      return;
    case kTop:
    case kBottom:
      setCursor(Qt::SizeVerCursor);
      return;
    case kLeft | kTop:
    case kRight | kBottom:
      setCursor(Qt::SizeFDiagCursor);
      return;
    case kRight | kTop:
    case kLeft | kBottom:
      setCursor(Qt::SizeBDiagCursor);
      return;
    default:
      setCursor(area_ && AreaRect().contains(at) ? Qt::SizeAllCursor : Qt::ArrowCursor);
  }
}

void AreaMap::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPointF at = event->position();
  pressGrid_ = view_.ToGrid(at.x(), at.y());
  if (shapeDrawing_) {
    const GridPoint corner{Clamp01(pressGrid_.X), Clamp01(pressGrid_.Y)};
    // A second press on the same spot (a double click) adds no corner.
    if (corners_.empty() ||
        std::hypot(corner.X - corners_.back().X, corner.Y - corners_.back().Y) * view_.TileSize() > 2) {
      corners_.push_back(corner);
    }
    drag_ = Drag::None;
    update();
    return;
  }
  if (drawing_ || (event->modifiers() & Qt::ShiftModifier)) {
    drag_ = Drag::Draw;
  } else if ((dragEdges_ = EdgesAt(at)) != 0) {
    drag_ = Drag::Resize;
  } else if (area_ && AreaRect().contains(at)) {
    drag_ = Drag::Move;
  } else {
    drag_ = Drag::None;
    StartPan(at.toPoint());
    return;
  }
  if (const std::optional<GridBox> box = AreaGrid()) boxAtPress_ = *box;
}

void AreaMap::mouseMoveEvent(QMouseEvent* event) {
  const QPointF at = event->position();
  const GridPoint grid = view_.ToGrid(at.x(), at.y());
  switch (drag_) {
    case Drag::None:
      if (shapeDrawing_) {
        rubberEnd_ = grid;
        update();
        emit CursorMoved(grid.X, grid.Y);
        return;
      }
      if (!Panning()) UpdateCursor(at);
      MapWidget::mouseMoveEvent(event);
      return;
    case Drag::Draw:
      SetAreaFromGrid({pressGrid_.X, pressGrid_.Y, grid.X, grid.Y});
      break;
    case Drag::Move: {
      const double width = boxAtPress_.X1 - boxAtPress_.X0;
      const double height = boxAtPress_.Y1 - boxAtPress_.Y0;
      const double x0 = std::clamp(boxAtPress_.X0 + grid.X - pressGrid_.X, 0.0, 1 - width);
      const double y0 = std::clamp(boxAtPress_.Y0 + grid.Y - pressGrid_.Y, 0.0, 1 - height);
      SetAreaFromGrid({x0, y0, x0 + width, y0 + height});
      break;
    }
    case Drag::Resize: {
      GridBox box = boxAtPress_;
      if (dragEdges_ & kLeft) box.X0 = grid.X;
      if (dragEdges_ & kRight) box.X1 = grid.X;
      if (dragEdges_ & kTop) box.Y0 = grid.Y;
      if (dragEdges_ & kBottom) box.Y1 = grid.Y;
      SetAreaFromGrid(box);
      break;
    }
  }
  emit CursorMoved(grid.X, grid.Y);
}

void AreaMap::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (drag_ == Drag::None) {
    MapWidget::mouseReleaseEvent(event);
    return;
  }
  if (drag_ == Drag::Draw) SetDrawing(false);
  drag_ = Drag::None;
}

void AreaMap::SetAreaFromGrid(GridBox box) {
  const double x0 = Clamp01(std::min(box.X0, box.X1));
  const double x1 = Clamp01(std::max(box.X0, box.X1));
  const double y0 = Clamp01(std::min(box.Y0, box.Y1));
  const double y1 = Clamp01(std::max(box.Y0, box.Y1));
  area_ = area::RoundedToNearest(area::Area{LongitudeAt(x0), LatitudeAt(y1), LongitudeAt(x1), LatitudeAt(y0)});
  update();
  emit AreaEdited();
}

std::optional<std::string> AreaMap::ProblemAt(QPoint at) const {
  if (!loader_) return std::nullopt;
  const int32_t zoom = TileZoom();
  const double tiles = std::ldexp(1.0, zoom);
  const GridPoint grid = view_.ToGrid(at.x(), at.y());
  if (grid.X < 0 || grid.Y < 0 || grid.X >= 1 || grid.Y >= 1) return std::nullopt;
  const TileId tile{zoom, static_cast<int32_t>(grid.X * tiles), static_cast<int32_t>(grid.Y * tiles)};
  const auto failure = failures_.find(tile.Key());
  if (failure == failures_.end()) return std::nullopt;
  return failure->second.Problem;
}

bool AreaMap::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    const auto* help = static_cast<QHelpEvent*>(event);
    if (const std::optional<std::string> problem = ProblemAt(help->pos())) {
      QToolTip::showText(help->globalPos(), tr("This tile did not load: %1").arg(qtkit::FromLocal(*problem)), this);
    } else {
      QToolTip::hideText();
      event->ignore();
    }
    return true;
  }
  return MapWidget::event(event);
}

void AreaMap::Accept(LoadedTile tile) {
  const uint64_t key = tile.Tile.Key();
  if (tile.Image.isNull()) {
    failures_[key] = Failure{tile.Problem, std::chrono::steady_clock::now()};
  } else {
    QPixmap* pixmap = new QPixmap(QPixmap::fromImage(std::move(tile.Image)));
    const qint64 bytes = qint64{pixmap->width()} * pixmap->height() * pixmap->depth() / 8;
    images_.insert(key, pixmap, bytes);
    failures_.erase(key);
  }
  update();
}

}  // namespace mapkit
