#include "viewer/ViewerWindow.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "core/area/Area.h"
#include "core/platform/Files.h"
#include "core/platform/Numbers.h"
#include "core/platform/Locations.h"
#include "core/platform/Shell.h"
#include "core/run/ConfigFile.h"
#include "core/run/NewTask.h"
#include "core/run/Start.h"
#include "core/run/TaskControls.h"
#include "core/task/Commonfunc.h"
#include "qtkit/Desktop.h"
#include "qtkit/Dialogs.h"
#include "viewer/HoleListFile.h"
#include "viewer/HoleListModel.h"

namespace viewer {

namespace {

constexpr int kPollMs = 100;
constexpr int kStatusMessageMs = 8000;
constexpr int kSwatchSize = 14;
constexpr const char* kTypicalHoleRow = "nm_123456_123456_17.jpg  unreadable: not an image";

QString StateName(TileState state) {
  switch (state) {
    case TileState::Unknown:
      return ViewerWindow::tr("Not checked yet");
    case TileState::Saved:
      return ViewerWindow::tr("Saved");
    case TileState::Blank:
      return ViewerWindow::tr("Blank substitute");
    case TileState::GivenUp:
      return ViewerWindow::tr("Given up");
    case TileState::Missing:
      return ViewerWindow::tr("Not downloaded");
    case TileState::Unreadable:
      return ViewerWindow::tr("Unreadable");
    case TileState::Outside:
      return ViewerWindow::tr("Outside the shape");
  }
  return {};
}

// Longitude, latitude, column, row and file name at a grid point; the file
// name only on the task's tiles, nothing off the world's grid.
QString CursorText(const task::MDTask& task, double gridX, double gridY) {
  const int32_t zoom = task.Zoom();
  const double gridSize = std::ldexp(1.0, zoom);
  if (gridX < 0 || gridY < 0 || gridX >= gridSize || gridY >= gridSize) return {};
  const auto column = static_cast<int32_t>(std::floor(gridX));
  const auto row = static_cast<int32_t>(std::floor(gridY));
  QString text = ViewerWindow::tr("Longitude %1  Latitude %2  Column %3  Row %4")
                     .arg(QString::number(task::TileXToLongitude(gridX, zoom), 'f', 6),
                          QString::number(task::TileYToLatitude(gridY, zoom), 'f', 6), QString::number(column),
                          QString::number(row));
  if (task.Range().Contains(column, row)) text += QStringLiteral("  ") + qtkit::FromLocal(task.TileFileName(column, row));
  return text;
}

// The task files among dropped URLs.
QString DroppedTaskFile(const QMimeData* data) {
  if (data == nullptr) return {};
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile() && url.toLocalFile().endsWith(QLatin1String(task::kTaskFileExtension), Qt::CaseInsensitive)) {
      return url.toLocalFile();
    }
  }
  return {};
}

// A state's cell as the map draws it.
QPixmap Swatch(TileState state) {
  QPixmap swatch(kSwatchSize, kSwatchSize);
  QPainter painter(&swatch);
  PaintCell(painter, swatch.rect(), state);
  return swatch;
}

}  // namespace

ViewerWindow::ViewerWindow(ViewerOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)), jobs_(inbox_) {
  setObjectName(QStringLiteral("viewerWindow"));
  setWindowTitle(kViewerTitle);
  setAcceptDrops(true);
  resize(1000, 700);

  Map = new MapView(options_.CacheBytes, this);
  setCentralWidget(Map);
  Holes = new HoleListModel(this);
  BuildMenus();
  BuildStatusBar();
  BuildLegendDock();
  BuildHoleDock();

  connect(Map, &MapView::CursorMoved, this, [this](double x, double y) { ShowCursor(x, y); });
  connect(Map, &MapView::CursorLeft, CursorLabel, &QLabel::clear);
  connect(Map, &MapView::ViewChanged, this, [this] { ShowZoom(); });
  statesTimer_.setInterval(kPollMs);
  connect(&statesTimer_, &QTimer::timeout, this, qtkit::Slot(this, &ViewerWindow::PollStates));

  // The first job: its list arrives before any task opened afterwards adds to it.
  jobs_.Run([this, path = SettingsPath()]() -> std::function<void()> {
    mapkit::RecentFiles loaded = mapkit::RecentFiles::Load(path);
    return [this, loaded] {
      recent_ = loaded;
      ShowRecent();
    };
  });
  ShowCounts();
}

ViewerWindow::~ViewerWindow() = default;

void ViewerWindow::BuildMenus() {
  const auto action = [this](QMenu* menu, const char* name, const QString& text, const QKeySequence& keys,
                             void (ViewerWindow::*handler)()) {
    QAction* added = menu->addAction(text);
    added->setObjectName(QLatin1String(name));
    added->setShortcut(keys);
    connect(added, &QAction::triggered, this, qtkit::Slot(this, handler));
    return added;
  };
  QMenu* file = menuBar()->addMenu(tr("&File"));
  OpenTaskAction =
      action(file, "openTaskAction", tr("&Open task..."), QKeySequence::Open, &ViewerWindow::OpenTaskClick);
  RecentMenu = file->addMenu(tr("Open &recent"));
  RecentMenu->setObjectName(QStringLiteral("recentMenu"));
  NewTaskAction = action(file, "newTaskAction", tr("&New task from area..."), QKeySequence::New,
                         &ViewerWindow::NewTaskClick);
  file->addSeparator();
  SaveHolesAction = action(file, "saveHolesAction", tr("&Save as failed-tile list..."), QKeySequence::Save,
                           &ViewerWindow::SaveHolesClick);
  ExportImageAction = action(file, "exportImageAction", tr("&Export image..."), QKeySequence(Qt::CTRL | Qt::Key_E),
                             &ViewerWindow::ExportImageClick);
  file->addSeparator();
  file->addAction(tr("E&xit"), QKeySequence::Quit, this, &QWidget::close);

  QMenu* view = viewMenu_ = menuBar()->addMenu(tr("&View"));
  ReloadAction = action(view, "reloadAction", tr("&Reload"), QKeySequence(Qt::Key_F5), &ViewerWindow::ReloadClick);
  FitAction = view->addAction(tr("&Whole task"), QKeySequence(Qt::Key_Home), Map, &MapView::Fit);
  FitAction->setObjectName(QStringLiteral("fitAction"));
  ZoomInAction = view->addAction(tr("Zoom &in"), this, [this] { Map->ZoomBy(2); });
  ZoomInAction->setShortcuts({QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal), QKeySequence::ZoomIn});
  ZoomInAction->setObjectName(QStringLiteral("zoomInAction"));
  ZoomOutAction = view->addAction(tr("Zoom &out"), this, [this] { Map->ZoomBy(0.5); });
  ZoomOutAction->setShortcuts({QKeySequence(Qt::Key_Minus), QKeySequence::ZoomOut});
  ZoomOutAction->setObjectName(QStringLiteral("zoomOutAction"));
  view->addSeparator();
  HolesOnlyAction = view->addAction(tr("&Holes only"));
  HolesOnlyAction->setObjectName(QStringLiteral("holesOnlyAction"));
  HolesOnlyAction->setCheckable(true);
  HolesOnlyAction->setShortcut(QKeySequence(Qt::Key_H));
  connect(HolesOnlyAction, &QAction::toggled, Map, &MapView::SetHolesOnly);
  // The window's shortcuts work wherever the focus is in it.
  for (QAction* command : {FitAction, ZoomInAction, ZoomOutAction}) command->setShortcutContext(Qt::WindowShortcut);
}

void ViewerWindow::BuildStatusBar() {
  // The status bar is the cursor's readout's own, but for the zoom: the file
  // name at its end must not be cut.
  CursorLabel = new QLabel(this);
  CursorLabel->setObjectName(QStringLiteral("cursorLabel"));
  statusBar()->addWidget(CursorLabel, 1);
  ZoomLabel = new QLabel(this);
  ZoomLabel->setObjectName(QStringLiteral("zoomLabel"));
  statusBar()->addPermanentWidget(ZoomLabel);
  // In the status bar once a job is opened: a task's window is as it was.
  LevelBox = new QComboBox(this);
  LevelBox->setObjectName(QStringLiteral("levelBox"));
  LevelBox->setToolTip(tr("The job's zoom levels: each is a task of its own"));
  LevelBox->setVisible(false);
  connect(LevelBox, &QComboBox::currentIndexChanged, this, [this](int index) { OpenLevel(index); });
}

void ViewerWindow::BuildLegendDock() {
  auto* dock = new QDockWidget(tr("Legend"), this);
  dock->setObjectName(QStringLiteral("legendDock"));
  auto* panel = new QWidget(dock);
  auto* layout = new QVBoxLayout(panel);
  layout->setSpacing(2);
  // Each state's cell, name and count.
  for (int state = 0; state < kTileStateCount; ++state) {
    auto* swatch = new QLabel(panel);
    swatch->setPixmap(Swatch(static_cast<TileState>(state)));
    auto* count = new QLabel(panel);
    count->setObjectName(QStringLiteral("count%1").arg(state));
    auto* entry = new QWidget(panel);
    auto* row = new QHBoxLayout(entry);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(swatch);
    row->addWidget(count, 1);
    layout->addWidget(entry);
    CountLabels[static_cast<std::size_t>(state)] = count;
  }
  panel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  dock->setWidget(panel);
  addDockWidget(Qt::RightDockWidgetArea, dock);
  viewMenu_->addAction(dock->toggleViewAction());
}

void ViewerWindow::BuildHoleDock() {
  auto* dock = new QDockWidget(tr("Holes"), this);
  dock->setObjectName(QStringLiteral("holesDock"));
  auto* panel = new QWidget(dock);
  auto* layout = new QVBoxLayout(panel);
  HoleSummary = new QLabel(panel);
  HoleSummary->setObjectName(QStringLiteral("holeSummary"));
  // Its text changes as tiles are learnt; wrapping keeps the panel, and with it the map, from changing width.
  HoleSummary->setWordWrap(true);
  HoleList = new QListView(panel);
  HoleList->setObjectName(QStringLiteral("holeList"));
  HoleList->setModel(Holes);
  // Rows of one height: the view never asks for all of a million rows.
  HoleList->setUniformItemSizes(true);
  auto* save = new QToolButton(panel);
  save->setDefaultAction(SaveHolesAction);
  layout->addWidget(HoleSummary);
  layout->addWidget(HoleList);
  layout->addWidget(save);
  dock->setWidget(panel);
  addDockWidget(Qt::RightDockWidgetArea, dock);
  // Wide enough for the usual row: a tile's name and why it is a hole.
  const int rowWidth = HoleList->fontMetrics().horizontalAdvance(QLatin1String(kTypicalHoleRow));
  resizeDocks({dock}, {rowWidth + HoleList->verticalScrollBar()->sizeHint().width() + 4 * layout->spacing()},
              Qt::Horizontal);
  viewMenu_->addAction(dock->toggleViewAction());
  // A hole chosen by click or key is shown outlined in the middle of the map.
  const auto show = [this](const QModelIndex& index) {
    if (!index.isValid() || !task_) return;
    if (const std::optional<int64_t> tile = Holes->TileIndexAt(index.row())) {
      Map->ShowTile(task_->States().TileAt(*tile));
    }
  };
  connect(HoleList, &QListView::clicked, this, show);
  connect(HoleList, &QListView::activated, this, show);
  connect(HoleList->selectionModel(), &QItemSelectionModel::currentChanged, this, show);
  Holes->SetReasonLookup([this](std::vector<int64_t> tiles) {
    jobs_.Run([this, task = task_, tiles = std::move(tiles)]() -> std::function<void()> {
      std::vector<std::pair<int64_t, std::string>> reasons;
      for (const int64_t tile : tiles) reasons.emplace_back(tile, task->UnreadableReason(tile));
      return [this, task, reasons = std::move(reasons)] { Holes->LearnReasons(task.get(), reasons); };
    });
  });
}

std::string ViewerWindow::SettingsPath() const { return mapkit::RecentFilesPath(options_.ProgramFolder); }

void ViewerWindow::OpenTask(const QString& path) {
  const std::string givenPath = qtkit::ToLocal(QFileInfo(path).absoluteFilePath());
  jobs_.Run([this, givenPath, programFolder = options_.ProgramFolder,
             interval = options_.RefreshInterval]() -> std::function<void()> {
    std::string taskPath = givenPath;
    try {
      std::optional<run::JobFile> job;
      if (run::IsJobFile(givenPath)) {
        job = run::ReadJobFile(givenPath);
        taskPath = job->Tasks.back();
      }
      std::shared_ptr<TaskWatch> task = TaskWatch::Open(taskPath, programFolder, interval);
      if (!job) return [this, task] { Install(task); };
      return [this, task, job = std::move(job), givenPath] { Install(task, job, givenPath); };
    } catch (const run::JobFileError& error) {
      return [text = std::string(error.what())] { qtkit::ShowErrorMessage(qtkit::FromLocal(text)); };
    } catch (const std::bad_alloc&) {
      return [taskPath] { qtkit::ShowErrorMessage(tr("Not enough memory to view the task %1.").arg(qtkit::FromLocal(taskPath))); };
    }
  });
}

void ViewerWindow::OpenLevel(int index) {
  if (!job_ || index < 0 || index >= static_cast<int>(job_->Tasks.size())) return;
  jobs_.Run([this, job = *job_, jobPath = jobPath_, index, programFolder = options_.ProgramFolder,
             interval = options_.RefreshInterval]() -> std::function<void()> {
    std::shared_ptr<TaskWatch> task =
        TaskWatch::Open(job.Tasks[static_cast<std::size_t>(index)], programFolder, interval);
    return [this, task, job, jobPath] { Install(task, job, jobPath); };
  });
}

void ViewerWindow::Install(std::shared_ptr<TaskWatch> task, std::optional<run::JobFile> job,
                           const std::string& jobPath) {
  job_ = std::move(job);
  jobPath_ = jobPath;
  {
    const QSignalBlocker quiet(LevelBox);
    LevelBox->clear();
    if (job_) {
      for (int32_t zoom = job_->Zooms.From; zoom <= job_->Zooms.To; ++zoom) LevelBox->addItem(tr("Zoom %1").arg(zoom));
      const auto level = std::find(job_->Tasks.begin(), job_->Tasks.end(), task->Path());
      LevelBox->setCurrentIndex(static_cast<int>(level - job_->Tasks.begin()));
    }
    if (job_ && LevelBox->parentWidget() != statusBar()) statusBar()->addPermanentWidget(LevelBox);
    LevelBox->setVisible(job_.has_value());
  }
  std::shared_ptr<TaskWatch> old = std::move(task_);
  task_ = std::move(task);
  Map->SetTask(task_);
  Holes->SetTask(task_);
  // The old task's scanner may be at a slow disk: it is stopped away from here.
  jobs_.Run([old = std::move(old)]() mutable -> std::function<void()> {
    old.reset();
    return nullptr;
  });
  setWindowTitle(QStringLiteral("%1 - %2").arg(qtkit::FromLocal(platform::ExtractFileName(task_->Path())), kViewerTitle));
  recent_.Add(job_ ? jobPath_ : task_->Path());
  ShowRecent();
  SaveRecent();
  shownChanges_ = ~uint64_t{0};
  PollStates();
  statesTimer_.start();
  Map->setFocus();
}

void ViewerWindow::OpenTaskClick() {
  const QString start = task_ ? qtkit::FromLocal(platform::ExtractFilePath(task_->Path())) : QString();
  const std::optional<QString> path =
      qtkit::Chooser().OpenFile(this, tr("Open task"),
                                tr("Task files (*%1);;Jobs of several zooms (*%2)")
                                    .arg(task::kTaskFileExtension, run::kJobFileExtension),
                                start, {});
  if (path) OpenTask(*path);
}

void ViewerWindow::NewTaskClick() {
  if (areaWindow_ == nullptr) {
    mapkit::AreaWindowOptions options{options_.ProgramFolder, tr("New task from this area..."), nullptr, {}};
    options.OffersJobs = true;
    areaWindow_ = new mapkit::AreaWindow(options, this);
    areaWindow_->Accepted = [this](const mapkit::AreaChoice& choice) { CreateTask(choice); };
  }
  mapkit::AreaStart start;
  if (task_) {
    const task::TaskSpec& spec = task_->Task().Spec();
    const task::LonLatBox& box = spec.Area.Box;
    start.Box = area::Area{box.West, box.South, box.East, box.North};
    start.Zoom = spec.Zooms.From;
    // The task's imagery, its survey too.
    start.Imagery = spec.Imagery;
    start.Shape = spec.Area.Shape;
    start.TaskFiles.push_back(task_->Path());
  }
  areaWindow_->Open(start);
}

void ViewerWindow::CreateTask(const mapkit::AreaChoice& choice) {
  const QString folder = task_ ? qtkit::FromLocal(platform::ExtractFilePath(task_->Path())) : QDir::homePath();
  std::optional<QString> chosen = qtkit::Chooser().SaveFile(
      areaWindow_, tr("New task"), tr("Task files (*%1)").arg(task::kTaskFileExtension),
      QDir(folder).filePath(QStringLiteral("newtask") + task::kTaskFileExtension));
  if (!chosen) return;
  const QFileInfo file(*chosen);
  task::TaskSpec spec;
  spec.Name = qtkit::ToLocal(file.fileName());
  spec.Folder = qtkit::ToLocal(QDir::toNativeSeparators(file.absolutePath()));
  spec.Area.Box = task::LonLatBox{choice.Box.West, choice.Box.East, choice.Box.North, choice.Box.South};
  spec.Area.Shape = choice.Shape;
  spec.Zooms = task::ZoomLevels::One(choice.Zoom);
  // What the layer showed: a pinned survey stays the new task's.
  spec.Imagery = choice.Map.Imagery;
  if (const auto* nearmap = std::get_if<task::NearmapImagery>(&spec.Imagery); nearmap && !nearmap->SurveyDate.empty()) {
    spec.Date = task::CompactDate(nearmap->SurveyDate);
  }
  if (choice.ToZoom > choice.Zoom) {
    CreateJob(spec, run::ZoomRange{choice.Zoom, choice.ToZoom});
    return;
  }
  jobs_.Run([this, spec, programFolder = options_.ProgramFolder]() -> std::function<void()> {
    const run::ControlsCheck check = run::CheckStart(spec, run::ConfigFile(run::ConfigFile::PathFor(programFolder)));
    if (!check.Parameters) return [message = check.Message] { qtkit::ShowMessage(qtkit::FromLocal(message)); };
    int64_t tiles = 0;
    try {
      tiles = run::WriteTaskFiles(*check.Parameters, check.Run, programFolder);
    } catch (const task::TaskCreateError& error) {
      return [messages = run::CreateFailureMessages(error)] {
        for (const std::string& message : messages) qtkit::ShowMessage(qtkit::FromLocal(message));
      };
    }
    const std::string path = task::TaskFileOf(*check.Parameters);
    return [this, path, tiles] {
      areaWindow_->close();
      OpenTask(qtkit::FromLocal(path));
      statusBar()->showMessage(
          tr("Task written: %1 (%2 tiles). Start it in Orvenna (Open task ..., then Start) or with orvenna-cli run.")
              .arg(qtkit::FromLocal(path))
              .arg(tiles),
          kStatusMessageMs);
    };
  });
}

void ViewerWindow::CreateJob(const task::TaskSpec& first, run::ZoomRange zooms) {
  jobs_.Run([this, first, zooms, programFolder = options_.ProgramFolder]() -> std::function<void()> {
    const run::ConfigFile config(run::ConfigFile::PathFor(programFolder));
    const std::string name = platform::RemoveFileExt(first.Name);
    int64_t tiles = 0;
    std::string folder;
    for (int32_t zoom = zooms.From; zoom <= zooms.To; ++zoom) {
      task::TaskSpec level = first;
      level.Name = run::JobTaskName(name, zoom);
      level.Zooms = task::ZoomLevels::One(zoom);
      const run::ControlsCheck check = run::CheckStart(level, config);
      if (!check.Parameters) return [message = check.Message] { qtkit::ShowMessage(qtkit::FromLocal(message)); };
      try {
        tiles += run::WriteTaskFiles(*check.Parameters, check.Run, programFolder);
      } catch (const task::TaskCreateError& error) {
        return [messages = run::CreateFailureMessages(error)] {
          for (const std::string& message : messages) qtkit::ShowMessage(qtkit::FromLocal(message));
        };
      }
      folder = check.Parameters->SavePath;
    }
    const std::string path = folder + name + run::kJobFileExtension;
    run::WriteJobFile(path, zooms, name);
    return [this, path, tiles, zooms] {
      areaWindow_->close();
      OpenTask(qtkit::FromLocal(path));
      statusBar()->showMessage(tr("Job written: %1 (%2 tiles in zooms %3 to %4). Run it with orvenna-cli run.")
                                   .arg(qtkit::FromLocal(path))
                                   .arg(tiles)
                                   .arg(zooms.From)
                                   .arg(zooms.To),
                               kStatusMessageMs);
    };
  });
}

void ViewerWindow::SaveHolesClick() {
  if (!task_) {
    qtkit::ShowMessage(tr("Open a task first."));
    return;
  }
  if (task_->States().Count(TileState::Unknown) > 0) {
    qtkit::ShowMessage(
        tr("Not every tile has been checked yet. Save the list when the status bar shows no tile left to check."));
    return;
  }
  const std::string suggested = platform::RemoveFileExt(task_->Path()) + "_holes.ftl";
  std::optional<QString> chosen =
      qtkit::Chooser().SaveFile(this, tr("Save as failed-tile list"), tr("Failed-tile lists (*.ftl)"), qtkit::FromLocal(suggested));
  if (!chosen) return;
  if (QFileInfo(*chosen).suffix().isEmpty()) *chosen += QStringLiteral(".ftl");
  jobs_.Run([this, task = task_, path = qtkit::ToLocal(*chosen)]() -> std::function<void()> {
    const int64_t records = SaveHoleList(task->Task(), task->States(), path);
    return [this, records, path] {
      statusBar()->showMessage(tr("%1 tiles saved to %2").arg(records).arg(qtkit::FromLocal(path)), kStatusMessageMs);
    };
  });
}

void ViewerWindow::ExportImageClick() {
  if (!task_) {
    qtkit::ShowMessage(tr("Open a task first."));
    return;
  }
  qtkit::StartSibling(
      qtkit::FromLocal(platform::ProgramsFolderFor(options_.ProgramFolder) + platform::kMapCombinerProgram),
      tr("The map combiner"), {qtkit::FromLocal(task_->Path())});
}

void ViewerWindow::ReloadClick() {
  if (!task_) return;
  task_->Scanner().Reload();
  Map->ReloadImages();
  Holes->ForgetReasons();
}

void ViewerWindow::PollStates() {
  if (!task_ || task_->States().Changes() == shownChanges_) return;
  shownChanges_ = task_->States().Changes();
  Map->update();
  ShowCounts();
  // Refreshing the list resets it: keep the user's place in it.
  const int scrolled = HoleList->verticalScrollBar()->value();
  Holes->Refresh();
  HoleList->verticalScrollBar()->setValue(scrolled);
}

void ViewerWindow::ShowCounts() {
  for (int state = 0; state < kTileStateCount; ++state) {
    const auto tileState = static_cast<TileState>(state);
    const int64_t count = task_ ? task_->States().Count(tileState) : 0;
    QLabel* label = CountLabels[static_cast<std::size_t>(state)];
    label->setText(QStringLiteral("%1: %2").arg(StateName(tileState)).arg(count));
    // Tiles left to check matter only while there are some; a box's tiles
    // outside a shape only for a shaped task.
    if (tileState == TileState::Unknown || tileState == TileState::Outside) label->parentWidget()->setVisible(count > 0);
  }
  const int64_t givenUp = task_ ? task_->States().Count(TileState::GivenUp) : 0;
  const int64_t missing = task_ ? task_->States().Count(TileState::Missing) : 0;
  const int64_t unreadable = task_ ? task_->States().Count(TileState::Unreadable) : 0;
  HoleSummary->setText(tr("%1 given up, %2 not downloaded, %3 unreadable").arg(givenUp).arg(missing).arg(unreadable));
}

void ViewerWindow::ShowCursor(double gridX, double gridY) {
  if (task_) CursorLabel->setText(CursorText(task_->Task(), gridX, gridY));
}

void ViewerWindow::ShowZoom() {
  ZoomLabel->setText(task_ ? tr("Zoom %1 %").arg(QString::number(Map->View().Scale() * 100, 'g', 3)) : QString());
}

void ViewerWindow::ShowRecent() {
  RecentMenu->clear();
  for (const std::string& path : recent_.Paths()) {
    const QString shown = qtkit::FromLocal(path);
    RecentMenu->addAction(shown, this, [this, shown] { qtkit::RunHandler([this, &shown] { OpenTask(shown); }); });
  }
  RecentMenu->setEnabled(!recent_.Paths().empty());
}

void ViewerWindow::SaveRecent() {
  jobs_.Run(
      [recent = recent_, path = SettingsPath()]() -> std::function<void()> {
        // The list is a convenience: a settings folder that cannot take it
        // (read-only, say) is no reason to bother the user.
        try {
          platform::CreateFolderPath(platform::ExtractFilePath(path));
          recent.Save(path);
        } catch (const platform::FileError&) {
        }
        return nullptr;
      });
}

void ViewerWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedTaskFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void ViewerWindow::dropEvent(QDropEvent* event) {
  const QString path = DroppedTaskFile(event->mimeData());
  if (path.isEmpty()) return;
  event->acceptProposedAction();
  qtkit::RunHandler([this, &path] { OpenTask(path); });
}

}  // namespace viewer
