// The window that chooses a task's area on a map: a slippy map of any item of
// the catalogue of imagery (the built-in map types, the Nearmap API when a
// key is set, the user's sources),
// the area drawn, moved and sized on it or typed as its four edges, pasted as
// a box, or taken from a vector file's features with a margin; a shape within
// it drawn corner by corner, pasted as GeoJSON or WKT, or a vector file's
// polygons (its lines and points with a margin), whose tiles alone are the
// task's; the tile
// count, disk and time of the task at the chosen zoom shown as they change
// (the command line's dry run gives the same figures), and an area Start
// would refuse refused here with why. The outlines of earlier tasks (the
// viewer's recent files and the opener's own) are drawn with their names.
// The accept button hands the area to the opener.
//
// GUI thread only; files are read on the window's file thread, tiles loaded
// and decoded on the map's loader threads.
#pragma once

#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/area/VectorFile.h"
#include "core/download/HttpClient.h"
#include "core/run/Catalogue.h"
#include "core/run/ConfigFile.h"
#include "core/run/TaskEstimate.h"
#include "mapkit/AreaMap.h"
#include "qtkit/GuiInbox.h"
#include "mapkit/SerialJobs.h"
#include "mapkit/TileCache.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace mapkit {

inline constexpr const char* kAreaWindowTitle = "Choose the area on the map";

struct AreaWindowOptions {
  // The program folder, ending in the separator: the settings and the
  // viewer's recent files in its settings folder.
  std::string ProgramFolder;
  // The caption of the accept button: what the opener does with the area.
  QString AcceptText;
  // The program's cache; null: opened in the user's cache folder.
  std::shared_ptr<TileCache> Cache;
  download::HttpLimits Limits;
  // Where the built-in map types are fetched from (tests serve them).
  std::string TileHost = task::kTileServerHost;
  // The opener takes a job of several zooms: a "to" zoom beside the task's.
  bool OffersJobs = false;
};

// Where the window starts each time it is opened.
struct AreaStart {
  std::optional<area::Area> Box;
  int32_t Zoom = 13;
  QString Layer;  // a map type or source name, when Imagery is not given
  // Task files whose outlines are drawn besides the viewer's recent ones.
  std::vector<std::string> TaskFiles;
  // The task's imagery: its layer is shown (a pinned survey's imagery for
  // the Nearmap API). Neither this nor Layer: the Nearmap API when a key is
  // set, else the first layer.
  std::optional<task::Imagery> Imagery;
  // The task's shape within Box, if it has one.
  std::shared_ptr<const task::Shape> Shape{};
};

// The area chosen, and the layer it was chosen on (what a new task of it
// fetches, where the opener has nothing else).
struct AreaChoice {
  area::Area Box;
  int32_t Zoom = 0;  // the task's, or a job's first
  run::MapSource Map;
  // The shape within Box whose tiles alone are the task's; none: all of Box.
  std::shared_ptr<const task::Shape> Shape{};
  // A job's last zoom; Zoom for one task.
  int32_t ToZoom = 0;
};

class AreaWindow final : public QMainWindow {
  Q_OBJECT

 public:
  explicit AreaWindow(AreaWindowOptions options, QWidget* parent = nullptr);
  ~AreaWindow() override;

  // Reads the settings again (sources, proxy), sets the window up as start
  // says, and shows it.
  void Open(const AreaStart& start);
  // What the accept button hands over.
  std::function<void(const AreaChoice&)> Accepted;

  // The commands.
  void PasteClick();
  void OpenFileClick();
  void AcceptClick();
  void CacheClick();

  // The estimate of the area shown; nothing while there is no task to estimate.
  const std::optional<run::TaskEstimate>& Estimate() const { return estimate_; }
  // The task's shape within the area; none while the area is a rectangle.
  const std::shared_ptr<const task::Shape>& Shape() const { return shape_; }
  const std::shared_ptr<TileCache>& Cache() const { return cache_; }
  // The outlines drawn, once the file thread has read them.
  int OutlinesShown() const { return outlinesShown_; }

  AreaMap* Map;
  QComboBox* LayerBox;
  QSpinBox* ZoomBox;
  QSpinBox* ToZoomBox;  // with OffersJobs only
  QLineEdit* WestEdit;
  QLineEdit* EastEdit;
  QLineEdit* NorthEdit;
  QLineEdit* SouthEdit;
  QLabel* TilesLabel;
  QLabel* DiskLabel;
  QLabel* TimeLabel;
  QLabel* ProblemLabel;
  QPushButton* PasteButton;
  QPushButton* OpenFileButton;
  QSpinBox* MarginBox;
  QPushButton* AcceptButton;
  QLabel* CursorLabel;
  QLabel* OfflineLabel;
  QAction* DrawAction;
  QAction* DrawShapeAction;
  QAction* ClearShapeAction;
  QAction* ReloadAction;
  QAction* CacheAction;

 private:
  QWidget* BuildPanel();
  void BuildMenu();
  void LayerChosen();
  void EdgesTyped();
  void ShowEdges();
  // The estimate, the refusal and the accept button, after every change.
  void Refresh();
  void ShowJobEstimate(const std::vector<run::TaskEstimate>& levels);
  void SetBox(const area::Area& box, bool show);
  void ShowCursor(double gridX, double gridY);
  void ApplyShapes();
  // The task's shape (none: the rectangle alone); showBox centres its box.
  void SetShape(std::shared_ptr<const task::Shape> shape, bool showBox);
  // Shapes of text or a file are made again when the margin changes.
  struct ShapeOrigin {
    std::string Path;  // a vector file, or
    std::string Text;  // GeoJSON or WKT pasted
  };
  void LoadOutlines(std::vector<std::string> taskFiles);
  const run::MapSource* ChosenSource() const;

  const AreaWindowOptions options_;
  const std::string configPath_;
  qtkit::GuiInbox inbox_;
  SerialJobs jobs_;  // after the inbox: hands back through it until it ends
  std::shared_ptr<TileCache> cache_;
  std::vector<run::MapSource> sources_;
  std::optional<run::TaskEstimate> estimate_;
  std::optional<area::VectorShapes> shapes_;
  std::shared_ptr<const task::Shape> shape_;
  std::optional<ShapeOrigin> shapeOrigin_;
  // Counts the shapes asked of the file thread: only the last one is taken.
  uint64_t shapeRequests_ = 0;
  int outlinesShown_ = 0;
};

}  // namespace mapkit
