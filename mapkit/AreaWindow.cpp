#include "mapkit/AreaWindow.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "core/platform/Files.h"
#include "core/platform/Locations.h"
#include "core/platform/Numbers.h"
#include "core/run/OpenedTask.h"
#include "core/run/Start.h"
#include "core/run/TaskControls.h"
#include "core/task/Commonfunc.h"
#include "mapkit/CacheDialog.h"
#include "mapkit/RecentFiles.h"
#include "qtkit/Dialogs.h"

namespace mapkit {

namespace {

constexpr int kPanelWidth = 300;
constexpr int kLargestMarginMetres = 100000;
constexpr const char* kVectorFilter =
    "Vector files (*.geojson *.json *.kml *.gpx *.shp *.gpkg);;All files (*)";

QLineEdit* EdgeEdit(QWidget* parent, const char* name) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QLatin1String(name));
  return edit;
}

QString Decimal(int64_t value) { return QString::number(value); }

}  // namespace

AreaWindow::AreaWindow(AreaWindowOptions options, QWidget* parent)
    : QMainWindow(parent),
      options_(std::move(options)),
      configPath_(run::ConfigFile::PathFor(options_.ProgramFolder)),
      jobs_(inbox_),
      cache_(options_.Cache ? options_.Cache
                            : OpenTileCache(qtkit::FromLocal(configPath_), platform::UserCacheFolder())) {
  setObjectName(QStringLiteral("areaWindow"));
  setWindowTitle(QString::fromLatin1(kAreaWindowTitle));
  resize(1100, 720);
  auto* central = new QWidget(this);
  auto* layout = new QHBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  Map = new AreaMap(cache_, central);
  layout->addWidget(Map, 1);
  layout->addWidget(BuildPanel());
  setCentralWidget(central);
  BuildMenu();
  CursorLabel = new QLabel(this);
  CursorLabel->setObjectName(QStringLiteral("cursorLabel"));
  statusBar()->addWidget(CursorLabel, 1);
  OfflineLabel = new QLabel(this);
  OfflineLabel->setObjectName(QStringLiteral("offlineLabel"));
  statusBar()->addPermanentWidget(OfflineLabel);

  connect(Map, &AreaMap::AreaEdited, this, [this] {
    // A rectangle drawn, moved or sized by hand is the area, without a shape.
    shapeOrigin_.reset();
    SetShape(nullptr, false);
    ShowEdges();
    Refresh();
  });
  Map->ShapeDrawn = [this](task::Ring corners) {
    auto shape = std::make_shared<task::Shape>();
    shape->Polygons.push_back({std::move(corners), {}});
    shapes_.reset();
    shapeOrigin_.reset();
    Map->SetShapes({});
    SetShape(std::move(shape), false);
  };
  connect(Map, &AreaMap::CursorMoved, this, &AreaWindow::ShowCursor);
  connect(Map, &AreaMap::CursorLeft, CursorLabel, &QLabel::clear);
  connect(Map, &AreaMap::DrawingChanged, DrawAction, &QAction::setChecked);
  connect(Map, &AreaMap::TilesLoaded, this, [this] {
    OfflineLabel->setText(Map->Offline() ? tr("Offline: the map shows the tiles in the cache") : QString());
  });
}

AreaWindow::~AreaWindow() = default;

QWidget* AreaWindow::BuildPanel() {
  auto* panel = new QWidget(this);
  panel->setFixedWidth(kPanelWidth);
  auto* column = new QVBoxLayout(panel);

  auto* form = new QFormLayout;
  LayerBox = new QComboBox(panel);
  LayerBox->setObjectName(QStringLiteral("layerBox"));
  ZoomBox = new QSpinBox(panel);
  ZoomBox->setObjectName(QStringLiteral("zoomBox"));
  ZoomBox->setRange(task::kMinZoom, task::kMaxZoom);
  ToZoomBox = new QSpinBox(panel);
  ToZoomBox->setObjectName(QStringLiteral("toZoomBox"));
  ToZoomBox->setRange(task::kMinZoom, task::kMaxZoom);
  ToZoomBox->setToolTip(tr("The last zoom of a job: a task of each level from the task zoom level to this one"));
  form->addRow(tr("Base layer:"), LayerBox);
  if (options_.OffersJobs) {
    auto* zooms = new QHBoxLayout;
    zooms->addWidget(ZoomBox, 1);
    zooms->addWidget(new QLabel(tr("to"), panel));
    zooms->addWidget(ToZoomBox, 1);
    form->addRow(tr("Task zoom level:"), zooms);
  } else {
    ToZoomBox->setVisible(false);
    form->addRow(tr("Task zoom level:"), ZoomBox);
  }
  column->addLayout(form);

  auto* edges = new QGroupBox(tr("Area (degrees)"), panel);
  auto* grid = new QGridLayout(edges);
  WestEdit = EdgeEdit(edges, "westEdit");
  EastEdit = EdgeEdit(edges, "eastEdit");
  NorthEdit = EdgeEdit(edges, "northEdit");
  SouthEdit = EdgeEdit(edges, "southEdit");
  grid->addWidget(new QLabel(tr("Top latitude:"), edges), 0, 0);
  grid->addWidget(NorthEdit, 0, 1);
  grid->addWidget(new QLabel(tr("Left longitude:"), edges), 1, 0);
  grid->addWidget(WestEdit, 1, 1);
  grid->addWidget(new QLabel(tr("Right longitude:"), edges), 2, 0);
  grid->addWidget(EastEdit, 2, 1);
  grid->addWidget(new QLabel(tr("Bottom latitude:"), edges), 3, 0);
  grid->addWidget(SouthEdit, 3, 1);
  column->addWidget(edges);
  for (QLineEdit* edit : {WestEdit, EastEdit, NorthEdit, SouthEdit}) {
    connect(edit, &QLineEdit::editingFinished, this, qtkit::Slot(this, &AreaWindow::EdgesTyped));
  }

  auto* other = new QGroupBox(tr("Or take it from"), panel);
  auto* otherGrid = new QGridLayout(other);
  PasteButton = new QPushButton(tr("Paste box"), other);
  PasteButton->setObjectName(QStringLiteral("pasteButton"));
  PasteButton->setToolTip(tr("A box from the clipboard: \"west,south,east,north\", or two corners \"lat, lon\" on two lines"));
  OpenFileButton = new QPushButton(tr("Vector file..."), other);
  OpenFileButton->setObjectName(QStringLiteral("openFileButton"));
  OpenFileButton->setToolTip(tr("The bounding box of the features of a GeoJSON, KML, GPX, Shapefile or GeoPackage file"));
  MarginBox = new QSpinBox(other);
  MarginBox->setObjectName(QStringLiteral("marginBox"));
  MarginBox->setRange(0, kLargestMarginMetres);
  MarginBox->setSingleStep(100);
  MarginBox->setSuffix(tr(" m"));
  otherGrid->addWidget(PasteButton, 0, 0, 1, 2);
  otherGrid->addWidget(OpenFileButton, 1, 0, 1, 2);
  otherGrid->addWidget(new QLabel(tr("Margin around the features:"), other), 2, 0);
  otherGrid->addWidget(MarginBox, 2, 1);
  column->addWidget(other);
  connect(PasteButton, &QPushButton::clicked, this, qtkit::Slot(this, &AreaWindow::PasteClick));
  connect(OpenFileButton, &QPushButton::clicked, this, qtkit::Slot(this, &AreaWindow::OpenFileClick));
  connect(MarginBox, &QSpinBox::valueChanged, this, [this] { qtkit::RunHandler([this] { ApplyShapes(); }); });

  auto* cost = new QGroupBox(tr("The task"), panel);
  auto* costColumn = new QVBoxLayout(cost);
  TilesLabel = new QLabel(cost);
  TilesLabel->setObjectName(QStringLiteral("tilesLabel"));
  DiskLabel = new QLabel(cost);
  DiskLabel->setObjectName(QStringLiteral("diskLabel"));
  TimeLabel = new QLabel(cost);
  TimeLabel->setObjectName(QStringLiteral("timeLabel"));
  ProblemLabel = new QLabel(cost);
  ProblemLabel->setObjectName(QStringLiteral("problemLabel"));
  ProblemLabel->setStyleSheet(QStringLiteral("color: #c62828"));
  for (QLabel* label : {TilesLabel, DiskLabel, TimeLabel, ProblemLabel}) {
    label->setWordWrap(true);
    costColumn->addWidget(label);
  }
  column->addWidget(cost);
  column->addStretch();

  AcceptButton = new QPushButton(options_.AcceptText, panel);
  AcceptButton->setObjectName(QStringLiteral("acceptButton"));
  AcceptButton->setDefault(true);
  column->addWidget(AcceptButton);
  connect(AcceptButton, &QPushButton::clicked, this, qtkit::Slot(this, &AreaWindow::AcceptClick));
  connect(LayerBox, &QComboBox::currentIndexChanged, this, [this] { qtkit::RunHandler([this] { LayerChosen(); }); });
  connect(ZoomBox, &QSpinBox::valueChanged, this, [this](int zoom) {
    Map->SetTaskZoom(zoom);
    // A job runs from the task zoom up; one task's "to" follows it.
    if (ToZoomBox->value() <= zoom || !options_.OffersJobs) {
      const QSignalBlocker quiet(ToZoomBox);
      ToZoomBox->setValue(zoom);
    }
    qtkit::RunHandler([this] { Refresh(); });
  });
  connect(ToZoomBox, &QSpinBox::valueChanged, this, [this](int to) {
    if (to < ZoomBox->value()) {
      ToZoomBox->setValue(ZoomBox->value());
      return;
    }
    qtkit::RunHandler([this] { Refresh(); });
  });
  return panel;
}

void AreaWindow::BuildMenu() {
  QMenu* map = menuBar()->addMenu(tr("&Map"));
  DrawAction = map->addAction(tr("&Draw the area"));
  DrawAction->setObjectName(QStringLiteral("drawAction"));
  DrawAction->setCheckable(true);
  DrawAction->setShortcut(QKeySequence(Qt::Key_D));
  connect(DrawAction, &QAction::toggled, Map, &AreaMap::SetDrawing);
  DrawShapeAction = map->addAction(tr("Draw a &shape"));
  DrawShapeAction->setObjectName(QStringLiteral("drawShapeAction"));
  DrawShapeAction->setShortcut(QKeySequence(Qt::Key_S));
  DrawShapeAction->setToolTip(tr("Click its corners; a double click or Enter closes it, Backspace takes a corner back"));
  connect(DrawShapeAction, &QAction::triggered, Map, [this] { Map->SetShapeDrawing(true); });
  ClearShapeAction = map->addAction(tr("C&lear the shape"), this, [this] {
    shapeOrigin_.reset();
    SetShape(nullptr, false);
  });
  ClearShapeAction->setObjectName(QStringLiteral("clearShapeAction"));
  QAction* zoomIn = map->addAction(tr("Zoom &in"), this, [this] { Map->ZoomBy(2); });
  zoomIn->setShortcuts({QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal), QKeySequence::ZoomIn});
  QAction* zoomOut = map->addAction(tr("Zoom &out"), this, [this] { Map->ZoomBy(0.5); });
  zoomOut->setShortcuts({QKeySequence(Qt::Key_Minus), QKeySequence::ZoomOut});
  QAction* showArea = map->addAction(tr("Show the &area"), this, [this] {
    if (Map->Area()) Map->ShowBox(*Map->Area());
  });
  showArea->setShortcut(QKeySequence(Qt::Key_Home));
  ReloadAction = map->addAction(tr("&Reload failed tiles"), Map, &AreaMap::Reload);
  ReloadAction->setShortcut(QKeySequence(Qt::Key_F5));
  map->addSeparator();
  CacheAction = map->addAction(tr("Map &cache..."), this, qtkit::Slot(this, &AreaWindow::CacheClick));
  CacheAction->setObjectName(QStringLiteral("cacheAction"));
  map->addSeparator();
  map->addAction(tr("&Close"), QKeySequence::Close, this, &QWidget::close);
  for (QAction* action : {DrawAction, DrawShapeAction, zoomIn, zoomOut, showArea, ReloadAction}) {
    action->setShortcutContext(Qt::WindowShortcut);
  }
}

void AreaWindow::Open(const AreaStart& start) {
  const run::ConfigFile config(configPath_);
  sources_ = run::ImageryCatalogue(config, run::CatalogueFor::Maps);
  cache_->SetMaxBytes(int64_t{config.ReadMapCacheMegabytes()} << 20);
  int chosen = -1;
  if (start.Imagery) {
    chosen = run::CatalogueIndexOf(sources_, *start.Imagery);
    // The task's own imagery: the API's direction and pinned survey.
    if (chosen >= 0) sources_[static_cast<std::size_t>(chosen)].Imagery = *start.Imagery;
  } else if (!start.Layer.isEmpty()) {
    for (std::size_t i = 0; i < sources_.size() && chosen < 0; ++i) {
      if (qtkit::FromLocal(sources_[i].Name) == start.Layer) chosen = static_cast<int>(i);
    }
  } else {
    chosen = run::CatalogueIndexOf(sources_, task::NearmapImagery{});
  }
  {
    const QSignalBlocker quiet(LayerBox);
    LayerBox->clear();
    for (const run::MapSource& source : sources_) {
      LayerBox->addItem(qtkit::FromLocal(source.Name));
      LayerBox->setItemData(LayerBox->count() - 1, qtkit::FromLocal(task::ImageryWords(source.Imagery, "")),
                            Qt::ToolTipRole);
    }
    LayerBox->setCurrentIndex(std::max(0, chosen));
  }
  LayerChosen();
  ZoomBox->setValue(start.Zoom);
  {
    const QSignalBlocker quiet(ToZoomBox);
    ToZoomBox->setValue(ZoomBox->value());
  }
  Map->SetTaskZoom(ZoomBox->value());
  shapes_.reset();
  Map->SetShapes({});
  shape_ = start.Shape;
  shapeOrigin_.reset();
  Map->SetTaskShape(shape_);
  Map->SetShapeDrawing(false);
  if (start.Box) {
    SetBox(*start.Box, true);
  } else {
    Map->SetArea(std::nullopt);
    ShowEdges();
    Refresh();
  }
  Map->SetDrawing(!start.Box);
  LoadOutlines(start.TaskFiles);
  show();
  raise();
  activateWindow();
}

const run::MapSource* AreaWindow::ChosenSource() const {
  const int index = LayerBox->currentIndex();
  return index >= 0 && index < static_cast<int>(sources_.size()) ? &sources_[static_cast<std::size_t>(index)] : nullptr;
}

void AreaWindow::LayerChosen() {
  const run::MapSource* source = ChosenSource();
  if (source == nullptr) return;
  const run::ConfigFile config(configPath_);
  BaseLayer layer{*source, std::string(), {}, options_.TileHost};
  if (std::holds_alternative<task::TileSource>(source->Imagery)) layer.Secret = config.ReadSourceSecret(source->Name);
  if (std::holds_alternative<task::NearmapImagery>(source->Imagery)) {
    const run::NearmapApiSettings api = config.ReadNearmapApi();
    layer.Secret = api.Secret;
    layer.Account = api.Account;
  }
  ZoomBox->setRange(std::max(layer.MinZoom(), task::kMinZoom), std::min(layer.MaxZoom(), task::kMaxZoom));
  ToZoomBox->setRange(ZoomBox->minimum(), ZoomBox->maximum());
  Map->SetLayer(layer, config.ReadProxy(), options_.Limits);
  Refresh();
}

void AreaWindow::SetBox(const area::Area& box, bool show) {
  Map->SetArea(box);
  if (show) Map->ShowBox(box);
  ShowEdges();
  Refresh();
}

void AreaWindow::ShowEdges() {
  const std::optional<area::Area>& box = Map->Area();
  const auto text = [&box](double area::Area::*edge) {
    return box ? qtkit::FromLocal(area::CoordinateText((*box).*edge)) : QString();
  };
  WestEdit->setText(text(&area::Area::West));
  EastEdit->setText(text(&area::Area::East));
  NorthEdit->setText(text(&area::Area::North));
  SouthEdit->setText(text(&area::Area::South));
}

void AreaWindow::EdgesTyped() {
  const auto parse = [](const QLineEdit* edit) { return run::ParseCoordinate(qtkit::ToLocal(edit->text())); };
  const std::optional<double> west = parse(WestEdit);
  const std::optional<double> east = parse(EastEdit);
  const std::optional<double> north = parse(NorthEdit);
  const std::optional<double> south = parse(SouthEdit);
  if (!west || !east || !north || !south) {
    ProblemLabel->setText(tr("Longitude or latitude input error!"));
    return;
  }
  const area::Area typed{*west, *south, *east, *north};
  if (Map->Area() == typed) return;
  shape_.reset();
  shapeOrigin_.reset();
  Map->SetTaskShape(nullptr);
  Map->SetArea(typed);
  Refresh();
}

void AreaWindow::Refresh() {
  estimate_.reset();
  TilesLabel->clear();
  DiskLabel->clear();
  TimeLabel->clear();
  ProblemLabel->clear();
  AcceptButton->setEnabled(false);
  const std::optional<area::Area>& box = Map->Area();
  const run::MapSource* source = ChosenSource();
  if (!box || source == nullptr) {
    TilesLabel->setText(tr("Draw the area: Map > Draw the area (D), then drag; or drag with Shift held."));
    return;
  }
  if (const std::string refusal = area::AreaRefusal(*box); !refusal.empty()) {
    ProblemLabel->setText(qtkit::FromLocal(refusal));
    return;
  }
  if (shape_) {
    const task::LonLatBox bounds = task::BoundsOf(*shape_);
    const std::string refusal = area::AreaRefusal(area::Area{bounds.West, bounds.South, bounds.East, bounds.North});
    if (!refusal.empty()) {
      ProblemLabel->setText(qtkit::FromLocal(refusal));
      return;
    }
  }
  // The task of the area on this layer, at its pace (the API's from the account).
  task::TaskSpec spec;
  spec.Name = std::string("area") + task::kTaskFileExtension;
  spec.Area.Box = task::LonLatBox{box->West, box->East, box->North, box->South};
  spec.Area.Shape = shape_;
  spec.Zooms = task::ZoomLevels::One(ZoomBox->value());
  spec.Imagery = source->Imagery;
  const task::NearmapAccount account = run::ConfigFile(configPath_).ReadNearmapApi().Account;
  const auto estimateAt = [&](int32_t zoom) {
    spec.Zooms = task::ZoomLevels::One(zoom);
    return run::EstimateTask(task::MDTask(spec, task::TileSourceOf(spec.Imagery, account)),
                             run::RunSettingsOf(spec, account, "", {}));
  };
  // A job's levels after the first: their tiles, disk and time added.
  std::vector<run::TaskEstimate> levels;
  try {
    estimate_ = estimateAt(ZoomBox->value());
    for (int32_t zoom = ZoomBox->value() + 1; zoom <= ToZoomBox->value() && options_.OffersJobs; ++zoom) {
      levels.push_back(estimateAt(zoom));
    }
  } catch (const task::TaskCreateError& error) {
    estimate_.reset();
    ProblemLabel->setText(qtkit::FromLocal(*error.what() != '\0' ? error.what() : run::kCreateTaskFailure));
    return;
  }
  if (!levels.empty()) {
    ShowJobEstimate(levels);
    return;
  }
  const run::TaskEstimate& e = *estimate_;
  const QString rectangle = tr("%1 x %2 = %3 (columns %4 to %5, rows %6 to %7, zoom %8)")
                          .arg(Decimal(e.Range.Columns()), Decimal(e.Range.Rows()), Decimal(e.Range.Count()),
                               Decimal(e.Range.MinX), Decimal(e.Range.MaxX), Decimal(e.Range.MinY),
                               Decimal(e.Range.MaxY), Decimal(e.Zoom));
  TilesLabel->setText(e.Shaped ? tr("Tiles: %1 of the shape; its box %2").arg(Decimal(e.Tiles), rectangle)
                               : tr("Tiles: %1").arg(rectangle));
  DiskLabel->setText(tr("Disk: about %1").arg(qtkit::FromLocal(run::ByteSizeText(e.DiskBytes()))));
  if (e.Paced()) {
    TimeLabel->setText(tr("Time: at least %1 at the source's pace (%2 workers, a pause of %3 ms after each tile)")
                           .arg(qtkit::FromLocal(platform::FormatDuration(e.Seconds)), Decimal(e.Workers),
                                Decimal(e.AfterTileMs)));
  } else {
    TimeLabel->setText(tr("Time: %1 (%2 workers)").arg(QString::fromLatin1(run::kUnpacedTime), Decimal(e.Workers)));
  }
  AcceptButton->setEnabled(true);
}

void AreaWindow::ShowJobEstimate(const std::vector<run::TaskEstimate>& levels) {
  const run::TaskEstimate& first = *estimate_;
  int64_t tiles = first.Tiles;
  double disk = first.DiskBytes();
  double seconds = first.Seconds;
  bool paced = first.Paced();
  QString each = tr("%1 at zoom %2").arg(Decimal(first.Tiles), Decimal(first.Zoom));
  for (const run::TaskEstimate& level : levels) {
    tiles += level.Tiles;
    disk += level.DiskBytes();
    seconds += level.Seconds;
    paced = paced && level.Paced();
    each += tr(", %1 at %2").arg(Decimal(level.Tiles), Decimal(level.Zoom));
  }
  TilesLabel->setText(tr("Tiles: %1 in zooms %2 to %3 (%4)")
                          .arg(Decimal(tiles), Decimal(first.Zoom), Decimal(levels.back().Zoom), each));
  DiskLabel->setText(tr("Disk: about %1").arg(qtkit::FromLocal(run::ByteSizeText(disk))));
  TimeLabel->setText(paced ? tr("Time: at least %1 at the source's pace, one zoom after another")
                                 .arg(qtkit::FromLocal(platform::FormatDuration(seconds)))
                           : tr("Time: %1").arg(QString::fromLatin1(run::kUnpacedTime)));
  AcceptButton->setEnabled(true);
}

void AreaWindow::ShowCursor(double gridX, double gridY) {
  if (gridX < 0 || gridY < 0 || gridX >= 1 || gridY >= 1) {
    CursorLabel->clear();
    return;
  }
  const double longitude = LongitudeAt(gridX);
  const double latitude = LatitudeAt(gridY);
  const int32_t zoom = ZoomBox->value();
  QString text = tr("Longitude %1  Latitude %2").arg(QString::number(longitude, 'f', 6), QString::number(latitude, 'f', 6));
  if (std::abs(latitude) <= 85) {
    text += tr("  Column %1  Row %2 at zoom %3")
                .arg(Decimal(task::LongitudeToTileX(longitude, zoom)), Decimal(task::LatitudeToTileY(latitude, zoom)),
                     Decimal(zoom));
  }
  CursorLabel->setText(text);
}

void AreaWindow::PasteClick() {
  const std::string text = qtkit::ToLocal(QGuiApplication::clipboard()->text());
  if (const std::optional<area::Area> pasted = area::ParseAreaText(text)) {
    Map->SetDrawing(false);
    shape_.reset();
    shapeOrigin_.reset();
    Map->SetTaskShape(nullptr);
    SetBox(*pasted, area::AreaRefusal(*pasted).empty());
    return;
  }
  if (!area::LooksLikeShapeText(text)) {
    ProblemLabel->setText(tr("The clipboard holds no box: copy \"west,south,east,north\" in degrees, two corners "
                             "\"lat, lon\" on two lines, or a shape as GeoJSON or WKT."));
    return;
  }
  Map->SetDrawing(false);
  shapes_.reset();
  Map->SetShapes({});
  shapeOrigin_ = ShapeOrigin{{}, text};
  ApplyShapes();
}

void AreaWindow::OpenFileClick() {
  const std::optional<QString> chosen =
      qtkit::Chooser().OpenFile(this, tr("Open vector file"), QString::fromLatin1(kVectorFilter), QString(), QString());
  if (!chosen) return;
  jobs_.Run([this, path = qtkit::ToLocal(*chosen)]() -> std::function<void()> {
    area::VectorShapes shapes = area::ReadVectorFile(path);
    return [this, path, shapes = std::move(shapes)]() mutable {
      shapes_ = std::move(shapes);
      shapeOrigin_ = ShapeOrigin{path, {}};
      Map->SetShapes(*shapes_);
      Map->SetDrawing(false);
      ApplyShapes();
      if (Map->Area()) Map->ShowBox(*Map->Area());
    };
  });
}

void AreaWindow::ApplyShapes() {
  // The box of the features at once; their shape, grown by the margin, from
  // the file thread (GDAL's buffer of a long coastline takes a while).
  if (shapes_) SetBox(area::RoundedOutward(area::WithMargin(shapes_->Bounds, MarginBox->value())), false);
  if (!shapeOrigin_) return;
  const uint64_t request = ++shapeRequests_;
  jobs_.Run([this, request, origin = *shapeOrigin_, margin = MarginBox->value()]() -> std::function<void()> {
    std::shared_ptr<const task::Shape> shape;
    std::string problem;
    try {
      shape = std::make_shared<const task::Shape>(origin.Path.empty() ? area::ParseShapeText(origin.Text, margin)
                                                                      : area::ReadVectorFileShape(origin.Path, margin));
    } catch (const area::VectorFileError& error) {
      problem = error.what();
    }
    return [this, request, shape = std::move(shape), problem, fromFile = !origin.Path.empty()]() mutable {
      if (request != shapeRequests_) return;  // the margin changed again since
      if (!shape && fromFile && MarginBox->value() == 0) {
        // Lines and points alone have no inside: the box of the features.
        SetShape(nullptr, false);
        return;
      }
      if (!shape) {
        SetShape(nullptr, false);
        ProblemLabel->setText(qtkit::FromLocal(problem));
        AcceptButton->setEnabled(false);
        return;
      }
      SetShape(std::move(shape), !fromFile);
    };
  });
}

void AreaWindow::SetShape(std::shared_ptr<const task::Shape> shape, bool showBox) {
  shape_ = std::move(shape);
  Map->SetTaskShape(shape_);
  if (!shape_) {
    Refresh();
    return;
  }
  // A shape of its own (drawn or pasted) makes the box; a file's features
  // made it already, with the margin the window always gave them.
  if (!shapes_) {
    const task::LonLatBox bounds = task::BoundsOf(*shape_);
    SetBox(area::RoundedOutward(area::Area{bounds.West, bounds.South, bounds.East, bounds.North}), showBox);
    return;
  }
  Refresh();
}

void AreaWindow::AcceptClick() {
  const run::MapSource* source = ChosenSource();
  if (!estimate_ || !Map->Area() || source == nullptr) return;
  if (Accepted) {
    Accepted(AreaChoice{*Map->Area(), ZoomBox->value(), *source, shape_,
                        options_.OffersJobs ? ToZoomBox->value() : ZoomBox->value()});
  }
}

void AreaWindow::CacheClick() {
  CacheDialog dialog(qtkit::FromLocal(configPath_), cache_, this);
  dialog.exec();
}

void AreaWindow::LoadOutlines(std::vector<std::string> taskFiles) {
  jobs_.Run([this, taskFiles = std::move(taskFiles),
             recentPath = RecentFilesPath(options_.ProgramFolder)]() mutable -> std::function<void()> {
    const RecentFiles recent = RecentFiles::Load(recentPath);
    taskFiles.insert(taskFiles.end(), recent.Paths().begin(), recent.Paths().end());
    std::vector<TaskOutline> outlines;
    std::vector<std::string> seen;
    for (const std::string& path : taskFiles) {
      if (path.empty() || std::find(seen.begin(), seen.end(), path) != seen.end()) continue;
      seen.push_back(path);
      try {
        const std::unique_ptr<run::OpenedTask> opened = run::OpenedTask::Open(path);
        const task::MDTask& task = opened->Task;
        outlines.push_back({platform::ExtractFileName(path),
                            area::Area{task.LeftLongitudeDownload, task.BottomLatitudeDownload,
                                       task.RightLongitudeDownload, task.TopLatitudeDownload}});
      } catch (const std::exception&) {
        // A task file moved or damaged since: no outline.
      }
    }
    return [this, outlines = std::move(outlines)]() mutable {
      outlinesShown_ = static_cast<int>(outlines.size());
      Map->SetOutlines(std::move(outlines));
    };
  });
}

}  // namespace mapkit
