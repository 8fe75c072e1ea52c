// The task's tile grid drawn as one map. Zoomed in, each saved tile shows its
// image, decoded off the GUI thread at the size it is drawn and kept in a
// byte-bounded cache; the other states are cells of their colour. Far out,
// the whole view is one raster of state colours, a pixel per tile at most,
// so the cost of a frame follows the window's size, never the task's.
//
// GUI thread only; decoded images come back through the view's own inbox.
#pragma once

#include <QCache>
#include <QPixmap>

#include <cstdint>
#include <memory>
#include <optional>

#include "qtkit/GuiInbox.h"
#include "mapkit/MapWidget.h"
#include "mapkit/TileDecoder.h"
#include "viewer/TaskWatch.h"
#include "viewer/TileStates.h"

namespace viewer {

using mapkit::DecodedTile;
using mapkit::DecodeRequest;
using mapkit::GridPoint;
using mapkit::ScreenPoint;

// The colour a tile of state is drawn in; holes only greys out every tile
// that is known and no hole. No state is white or near it: white is the
// blank image and bright imagery.
QColor StateColor(TileState state, bool holesOnly = false);
// A tile of state drawn as a cell (no image): its colour, hatched for blank
// substitutes and for tiles not downloaded, crossed out when unreadable. The
// legend's swatches are drawn the same way.
void PaintCell(QPainter& painter, const QRect& rect, TileState state, bool holesOnly = false);

class MapView final : public mapkit::MapWidget {
  Q_OBJECT

 public:
  // Below this size on screen a tile is drawn as a cell, not as its image.
  static constexpr double kMinImageTileSize = 32;
  static constexpr qint64 kDefaultCacheBytes = qint64{256} << 20;

  explicit MapView(qint64 cacheBytes = kDefaultCacheBytes, QWidget* parent = nullptr);
  ~MapView() override;

  // Shows task, whole (nullptr: nothing).
  void SetTask(std::shared_ptr<TaskWatch> task);
  void Fit();
  // Centres the view on tile and outlines it, until another tile is shown
  // this way, the whole task is shown again or another task is set.
  void ShowTile(task::TilePosition tile);
  const std::optional<task::TilePosition>& OutlinedTile() const { return outlined_; }
  void SetHolesOnly(bool holesOnly);
  // Decodes the images in view again; the old ones stay on screen until then.
  void ReloadImages();

  // Bytes of the decoded images held now (each costs its pixmap's bytes), and
  // the bound they keep to.
  qint64 CachedImageBytes() const;
  qint64 CacheLimit() const { return cache_.maxCost(); }
  const mapkit::TileDecoder& Decoder() const { return decoder_; }
  // Tiles of the last frame drawn without their image at the wanted size.
  int ImagesPending() const { return imagesPending_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool HasContent() const override { return task_ != nullptr; }
  // The scanner looks at the tiles in view first.
  void ViewMoved() override;

 private:
  struct CachedImage {
    QPixmap Pixmap;
    uint32_t Epoch;
  };

  void DrawCells(QPainter& painter, const task::TileRange& visible);
  void DrawTiles(QPainter& painter, const task::TileRange& visible);
  void DrawOutline(QPainter& painter) const;
  QRect TileRect(int32_t x, int32_t y) const;
  // The image of a tile at the wanted level, or else at another one.
  const CachedImage* FindImage(int64_t index, int level, bool& exact);
  void Accept(DecodedTile tile);

  qtkit::GuiInbox inbox_;  // before the decoder: outlives its threads
  mapkit::TileDecoder decoder_;
  std::shared_ptr<TaskWatch> task_;
  // Keyed by tile index and level; cost in bytes.
  QCache<uint64_t, CachedImage> cache_;
  // Bumped for a new task and for a reload: results of an older one are stale.
  uint32_t epoch_ = 0;
  int imagesPending_ = 0;
  bool holesOnly_ = false;
  std::optional<task::TilePosition> outlined_;
};

}  // namespace viewer
