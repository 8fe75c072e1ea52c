// The checks behind the Start button, over the texts of the main window's
// controls: no widget here, so every message can be tested without a window.
// Main thread only.
#pragma once

#include <optional>
#include <string>

#include "core/task/Unitclasstask.h"

namespace run {

// Texts of the task controls as the user typed them.
struct TaskControls {
  std::string TaskName;        // EditTaskName
  int MapsTypePosition = 0;    // radio_mapstype
  std::string LeftLongitude;   // Edit1
  std::string RightLongitude;  // Edit3
  std::string TopLatitude;     // Edit2
  std::string BottomLatitude;  // Edit4
  std::string Zoom;            // Edit5
  std::string SavePath;        // Edit6
  std::string HistoryDate;     // EditDate
};

struct ProxySettings {
  bool UseProxy = false;
  std::string ProxyServer;
  std::string ProxyPort;
  std::string ProxyUsername;
  std::string ProxyPassword;
};

// [Proxy] of the settings file; a missing file or key gives the defaults.
ProxySettings ReadProxySettings(const std::string& configPath);

// Either the record (ContinueTask false, ThreadCount 8) or the one message to show.
struct ControlsCheck {
  std::optional<task::TaskParameters> Parameters;
  std::string Message;
};

// Reads and checks the controls in the fixed order; creates the save folder
// (one level) before the coordinates are checked.
ControlsCheck ReadTaskControls(const TaskControls& controls, const ProxySettings& proxy);

// True when the task file SavePath + TaskName exists and matches the controls
// in every compared field.
bool ShouldContinueTask(const TaskControls& controls, const task::TaskParameters& parameters);

}  // namespace run
