// The map viewer's window: opens a task file (File > Open task..., the
// recent files, the command line or a file dropped on it), shows its tiles as
// one map with a legend and the count of each state beside it, lists the
// holes (clicking one shows it outlined) and saves them as a failed-tile
// list, and hands the task to the map combiner. While the task's files change (a
// download of it is running), the view follows by itself.
//
// GUI thread only. Every file is read and written on the viewer's file
// thread; the tiles' states come from the task's scanner, polled by a timer.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QTimer>

#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "core/run/Job.h"
#include "mapkit/AreaWindow.h"
#include "viewer/TaskWatch.h"
#include "viewer/MapView.h"
#include "mapkit/RecentFiles.h"
#include "mapkit/SerialJobs.h"

class QAction;
class QComboBox;
class QLabel;
class QListView;
class QMenu;

namespace viewer {

// The viewer's window title and the caption of its message boxes.
inline constexpr const char* kViewerTitle = "Orvenna Map Viewer";

class HoleListModel;

struct ViewerOptions {
  // The program folder, ending in the separator: blankimg/ there, the
  // settings in its settings folder, the map combiner among its programs.
  std::string ProgramFolder;
  // How often the tile folder and the failed list are looked at for changes.
  std::chrono::milliseconds RefreshInterval{3000};
  qint64 CacheBytes = MapView::kDefaultCacheBytes;
};

class ViewerWindow final : public QMainWindow {
  Q_OBJECT

 public:
  explicit ViewerWindow(ViewerOptions options, QWidget* parent = nullptr);
  ~ViewerWindow() override;

  // Opens the task file in the background; what is wrong with it is shown in
  // the error box, and the task open before stays. A job file opens its
  // deepest task, its other levels a choice of LevelBox.
  void OpenTask(const QString& path);

  // The menu commands.
  void OpenTaskClick();
  // The area window, whose accept button writes a new task as "orvenna-cli
  // new" does (in the file chosen then) and opens it here.
  void NewTaskClick();
  void SaveHolesClick();
  void ExportImageClick();
  void ReloadClick();

  // The task on view (nullptr: none yet).
  const TaskWatch* Task() const { return task_.get(); }
  const mapkit::RecentFiles& Recent() const { return recent_; }
  // Null until File > New task from area... first opens it.
  mapkit::AreaWindow* AreaWindow() const { return areaWindow_; }

  MapView* Map;
  HoleListModel* Holes;
  QListView* HoleList;
  QLabel* HoleSummary;
  QLabel* CursorLabel;
  QLabel* ZoomLabel;
  // A job's levels ("Zoom 14" ...); hidden for a task on its own.
  QComboBox* LevelBox;
  // Indexed by TileState: legend and count of each state.
  std::array<QLabel*, kTileStateCount> CountLabels{};
  QMenu* RecentMenu;
  QAction* OpenTaskAction;
  QAction* NewTaskAction;
  QAction* SaveHolesAction;
  QAction* ExportImageAction;
  QAction* ReloadAction;
  QAction* FitAction;
  QAction* ZoomInAction;
  QAction* ZoomOutAction;
  QAction* HolesOnlyAction;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildMenus();
  void BuildStatusBar();
  void BuildLegendDock();
  void BuildHoleDock();
  // job: the job the task is a level of (its file is the recent file).
  void Install(std::shared_ptr<TaskWatch> task, std::optional<run::JobFile> job = std::nullopt,
               const std::string& jobPath = {});
  void OpenLevel(int index);
  void PollStates();
  void ShowCounts();
  void ShowCursor(double gridX, double gridY);
  void ShowZoom();
  void ShowRecent();
  void SaveRecent();
  std::string SettingsPath() const;
  void CreateTask(const mapkit::AreaChoice& choice);
  // The tasks of a job of first's area, one of each zoom, and its job file.
  void CreateJob(const task::TaskSpec& first, run::ZoomRange zooms);

  const ViewerOptions options_;
  qtkit::GuiInbox inbox_;
  mapkit::SerialJobs jobs_;  // after the inbox: hands back through it until it ends
  std::shared_ptr<TaskWatch> task_;
  std::optional<run::JobFile> job_;
  std::string jobPath_;
  mapkit::RecentFiles recent_;
  QMenu* viewMenu_ = nullptr;
  QTimer statesTimer_;
  uint64_t shownChanges_ = ~uint64_t{0};
  mapkit::AreaWindow* areaWindow_ = nullptr;
};

}  // namespace viewer
