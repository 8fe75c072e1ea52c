#include "viewer/MapView.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <thread>
#include <utility>
#include <vector>

namespace viewer {

namespace {

// Decoded sizes: 32 << level pixels square, the JPEG decoder's 1/8 .. 1/1.
constexpr int kLevels = 4;
constexpr int kTileBits = 2;
constexpr int kEpochShift = 40;  // above every cache key (indices stay below 2^31)
constexpr uint64_t kCacheKeyMask = (uint64_t{1} << kEpochShift) - 1;

int LevelFor(double drawnSize) {
  for (int level = 0; level < kLevels - 1; ++level) {
    if ((32 << level) >= drawnSize) return level;
  }
  return kLevels - 1;
}

qint64 LevelBytes(int level) { return qint64{32 << level} * (32 << level) * 4; }

uint64_t CacheKey(int64_t index, int level) { return (static_cast<uint64_t>(index) << kTileBits) | level; }

// A decode request names the epoch it was made in beside the cache key.
uint64_t RequestKey(uint32_t epoch, uint64_t cacheKey) { return (uint64_t{epoch} << kEpochShift) | cacheKey; }

qint64 PixmapBytes(const QPixmap& pixmap) { return qint64{pixmap.width()} * pixmap.height() * pixmap.depth() / 8; }

const QColor kBackground(0x50, 0x50, 0x50);
// Holes only: a tile that is no hole, a shade off the background, so the task's
// outline stays and the holes stand out.
const QColor kDimmed(0x6b, 0x6b, 0x6b);
// An outline seen on every state's colour and on any image: dark, light inside.
const QColor kOutlineDark(0x10, 0x10, 0x10);
const QColor kOutlineLight(0xff, 0xeb, 0x3b);
// Far out a tile is smaller than a pixel: its outline is at least this wide.
constexpr int kMinOutlineSize = 16;

int DecodingThreads() { return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1U, 4U)); }

}  // namespace

QColor StateColor(TileState state, bool holesOnly) {
  if (holesOnly && !IsHole(state) && state != TileState::Unknown && state != TileState::Outside) return kDimmed;
  switch (state) {
    case TileState::Unknown:
      return {0x9e, 0x9e, 0x9e};
    case TileState::Saved:
      return {0x43, 0xa0, 0x47};
    case TileState::Blank:
      return {0x81, 0xd4, 0xfa};
    case TileState::GivenUp:
      return {0xff, 0x98, 0x00};
    case TileState::Missing:
      return {0x26, 0x26, 0x26};
    case TileState::Unreadable:
      return {0xe5, 0x39, 0x35};
    case TileState::Outside:
      return kBackground;
  }
  return kBackground;
}

void PaintCell(QPainter& painter, const QRect& rect, TileState state, bool holesOnly) {
  painter.fillRect(rect, StateColor(state, holesOnly));
  if (holesOnly && !IsHole(state)) return;
  if (state == TileState::Blank) {
    painter.fillRect(rect, QBrush(StateColor(state).darker(140), Qt::BDiagPattern));
  } else if (state == TileState::Missing) {
    painter.fillRect(rect, QBrush(StateColor(state).lighter(300), Qt::FDiagPattern));
  } else if (state == TileState::Unreadable) {
    painter.save();
    painter.setPen(QPen(Qt::white, 2));
    painter.drawLine(rect.topLeft(), rect.bottomRight());
    painter.drawLine(rect.topRight(), rect.bottomLeft());
    painter.restore();
  }
}

MapView::MapView(qint64 cacheBytes, QWidget* parent)
    : MapWidget(parent),
      decoder_(DecodingThreads(),
               [this] {
                 inbox_.Post([this] {
                   for (DecodedTile& tile : decoder_.TakeResults()) Accept(std::move(tile));
                 });
               }),
      cache_(cacheBytes) {
  setObjectName(QStringLiteral("mapView"));
}

MapView::~MapView() = default;

void MapView::SetTask(std::shared_ptr<TaskWatch> task) {
  task_ = std::move(task);
  cache_.clear();
  ++epoch_;
  decoder_.SetWanted({});
  outlined_.reset();
  if (task_) view_.SetTask(task_->States().Range());
  ViewMoved();
}

void MapView::Fit() {
  outlined_.reset();
  view_.Fit();
  ViewMoved();
}

void MapView::ShowTile(task::TilePosition tile) {
  outlined_ = tile;
  view_.CenterOn({tile.X + 0.5, tile.Y + 0.5});
  ViewMoved();
}

void MapView::SetHolesOnly(bool holesOnly) {
  holesOnly_ = holesOnly;
  update();
}

void MapView::ReloadImages() {
  ++epoch_;
  update();
}

void MapView::ViewMoved() {
  if (task_) {
    if (const std::optional<task::TileRange> visible = view_.VisibleTiles()) task_->Scanner().SetPriorityArea(*visible);
  }
  MapWidget::ViewMoved();
}

qint64 MapView::CachedImageBytes() const { return cache_.totalCost(); }

void MapView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kBackground);
  const std::optional<task::TileRange> visible = task_ ? view_.VisibleTiles() : std::nullopt;
  if (!task_) {
    painter.setPen(Qt::white);
    painter.drawText(rect(), Qt::AlignCenter, tr("Open a task file: File > Open task..., or drop a .otsk file here."));
  }
  imagesPending_ = 0;
  if (!visible) {
    decoder_.SetWanted({});
    return;
  }
  if (view_.TileSize() < kMinImageTileSize) {
    decoder_.SetWanted({});
    DrawCells(painter, *visible);
  } else {
    DrawTiles(painter, *visible);
  }
  DrawOutline(painter);
}

void MapView::DrawOutline(QPainter& painter) const {
  if (!outlined_) return;
  QRect outline = TileRect(outlined_->X, outlined_->Y);
  if (outline.width() < kMinOutlineSize) {
    const QPoint center = outline.center();
    outline = QRect(0, 0, kMinOutlineSize, kMinOutlineSize);
    outline.moveCenter(center);
  }
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(kOutlineDark, 6, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  painter.drawRect(outline);
  painter.setPen(QPen(kOutlineLight, 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  painter.drawRect(outline);
}

void MapView::DrawCells(QPainter& painter, const task::TileRange& visible) {
  const ScreenPoint topLeft = view_.ToScreen({static_cast<double>(visible.MinX), static_cast<double>(visible.MinY)});
  const ScreenPoint bottomRight = view_.ToScreen({visible.MaxX + 1.0, visible.MaxY + 1.0});
  const QRectF target(topLeft.X, topLeft.Y, bottomRight.X - topLeft.X, bottomRight.Y - topLeft.Y);
  // A pixel per tile, or per screen pixel when tiles are smaller than that.
  const int64_t columns = visible.Columns();
  const int64_t rows = visible.Rows();
  const int width = static_cast<int>(std::min<int64_t>(columns, std::max(1.0, std::ceil(target.width()))));
  const int height = static_cast<int>(std::min<int64_t>(rows, std::max(1.0, std::ceil(target.height()))));

  QRgb colors[kTileStateCount];
  for (int state = 0; state < kTileStateCount; ++state)
    colors[state] = StateColor(static_cast<TileState>(state), holesOnly_).rgb();
  std::vector<int64_t> rowOffsets(static_cast<std::size_t>(height));
  for (int j = 0; j < height; ++j) rowOffsets[static_cast<std::size_t>(j)] = j * rows / height;

  const TileStates& states = task_->States();
  QImage raster(width, height, QImage::Format_RGB32);
  uchar* pixels = raster.bits();
  const qsizetype stride = raster.bytesPerLine();
  for (int i = 0; i < width; ++i) {
    const int64_t column = static_cast<int64_t>(visible.MinX) + i * columns / width;
    const int64_t base = states.IndexOf(static_cast<int32_t>(column), visible.MinY);
    for (int j = 0; j < height; ++j) {
      const TileState state = states.At(base + rowOffsets[static_cast<std::size_t>(j)]);
      reinterpret_cast<QRgb*>(pixels + j * stride)[i] = colors[static_cast<int>(state)];
    }
  }
  // Scaled without smoothing: every cell keeps one colour and a sharp edge.
  painter.drawImage(target, raster);
}

QRect MapView::TileRect(int32_t x, int32_t y) const {
  // Rounded edges shared by neighbours: no seams between tiles.
  const ScreenPoint topLeft = view_.ToScreen({static_cast<double>(x), static_cast<double>(y)});
  const ScreenPoint bottomRight = view_.ToScreen({x + 1.0, y + 1.0});
  return QRect(
      QPoint(static_cast<int>(std::lround(topLeft.X)), static_cast<int>(std::lround(topLeft.Y))),
      QPoint(static_cast<int>(std::lround(bottomRight.X)) - 1, static_cast<int>(std::lround(bottomRight.Y)) - 1));
}

const MapView::CachedImage* MapView::FindImage(int64_t index, int level, bool& exact) {
  exact = true;
  if (const CachedImage* image = cache_.object(CacheKey(index, level))) return image;
  exact = false;
  // Meanwhile a sharper image scaled down, else a coarser one scaled up.
  for (int other = level + 1; other < kLevels; ++other) {
    if (const CachedImage* image = cache_.object(CacheKey(index, other))) return image;
  }
  for (int other = level - 1; other >= 0; --other) {
    if (const CachedImage* image = cache_.object(CacheKey(index, other))) return image;
  }
  return nullptr;
}

void MapView::DrawTiles(QPainter& painter, const task::TileRange& visible) {
  const TileStates& states = task_->States();
  // A level whose images of the whole view fit the cache: one that does not
  // would evict what it just decoded and decode it again, for ever.
  int level = LevelFor(view_.TileSize() * devicePixelRatioF());
  while (level > 0 && visible.Count() * LevelBytes(level) > cache_.maxCost()) --level;
  const double centerX = width() / 2.0;
  const double centerY = height() / 2.0;
  std::vector<std::pair<double, DecodeRequest>> wanted;
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  for (int32_t x = visible.MinX; x <= visible.MaxX; ++x) {
    for (int32_t y = visible.MinY; y <= visible.MaxY; ++y) {
      const QRect rect = TileRect(x, y);
      const int64_t index = states.IndexOf(x, y);
      const TileState state = states.At(index);
      if (holesOnly_ || state != TileState::Saved) {
        PaintCell(painter, rect, state, holesOnly_);
        continue;
      }
      bool exact = false;
      const CachedImage* image = FindImage(index, level, exact);
      if (image != nullptr) {
        painter.drawPixmap(rect, image->Pixmap);
      } else {
        painter.fillRect(rect, StateColor(state));
      }
      if (exact && image->Epoch == epoch_) continue;
      // Nearest the centre first.
      const double dx = rect.center().x() - centerX;
      const double dy = rect.center().y() - centerY;
      wanted.push_back({dx * dx + dy * dy, DecodeRequest{RequestKey(epoch_, CacheKey(index, level)),
                                                         task_->Task().TileFilePath(x, y), 32 << level}});
    }
  }
  std::sort(wanted.begin(), wanted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<DecodeRequest> requests;
  requests.reserve(wanted.size());
  for (auto& entry : wanted) requests.push_back(std::move(entry.second));
  imagesPending_ = static_cast<int>(requests.size());
  decoder_.SetWanted(std::move(requests));
}

void MapView::Accept(DecodedTile tile) {
  const uint64_t key = tile.Key & kCacheKeyMask;
  if (!task_ || tile.Key != RequestKey(epoch_, key)) return;  // of an earlier task or reload
  const int64_t index = static_cast<int64_t>(key >> kTileBits);
  if (tile.Image.isNull()) {
    task_->States().MarkUndecodable(index);
  } else {
    QPixmap pixmap = QPixmap::fromImage(std::move(tile.Image));
    const qint64 bytes = PixmapBytes(pixmap);
    cache_.insert(key, new CachedImage{std::move(pixmap), epoch_}, bytes);
  }
  const task::TilePosition position = task_->States().TileAt(index);
  update(TileRect(position.X, position.Y));
}

}  // namespace viewer
