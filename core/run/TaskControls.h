// The checks behind the Start button, over the texts of the main window's
// controls: no widget here, so every message can be tested without a window.
// Main thread only.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "core/run/ConfigFile.h"
#include "core/task/RunSettings.h"
#include "core/task/TaskValue.h"
#include "core/task/Unitclasstask.h"

namespace run {

// The window's date field holds this many characters.
inline constexpr std::size_t kHistoryDateLength = 8;

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
  // A tile source of the user's own chosen instead of a built-in map type,
  // and its secret from the settings file.
  std::optional<task::TileSource> Source;
  std::string SourceSecret;
  // The Nearmap API chosen instead: the imagery to fetch, and the account's
  // settings (its key in SourceSecret).
  std::optional<task::NearmapImagery> Nearmap;
  task::NearmapAccount NearmapAccount;
  // The item of the catalogue chosen, when the list gives it whole (it then
  // stands for MapsTypePosition; Nearmap and Source, where set, come first).
  std::optional<task::Imagery> Imagery;
  // The task's shape within the rectangle of the four edits (none: all of
  // it), from a task file or the area window; no text of the window holds it.
  std::shared_ptr<const task::Shape> Shape;
};

// Either the record and the run's settings (ContinueTask false, the workers
// the source allows) or the one message to show.
struct ControlsCheck {
  std::optional<task::TaskParameters> Parameters;
  std::string Message;
  // The message is the service's: the Nearmap API refused the key or could
  // not be asked (Start's survey of a date).
  bool ServiceFailed = false;
  // The system's words when a call of the system failed (the save folder
  // could not be made): a failure of the system, no answer of a check.
  std::string SystemReason{};
  // With Parameters: what the run needs beside the task (the workers, the
  // proxy, the secret of its imagery; never written to a task file or a log).
  task::RunSettings Run{};
};

// A coordinate as typed: both "," and "." are taken as the decimal mark,
// whatever the desktop's.
std::optional<double> ParseCoordinate(std::string text);

// Start's refusal of a rectangle (its message), in Start's order; empty when
// Start takes it. An area across the 180th meridian has its left edge east of
// its right one, and is refused as such.
std::string AreaProblem(double left, double right, double top, double bottom);

// The workers a task of source (none: a built-in map type) runs: a source's
// usage policy may allow fewer than eight.
int32_t WorkersFor(const std::optional<task::TileSource>& source);

// The rectangle of the four coordinate texts, checked as Start checks them
// (the number, then the ranges and the order), or the message of the first
// check that fails.
struct AreaCheck {
  std::optional<task::LonLatBox> Area;
  std::string Message;
};
AreaCheck ReadArea(const std::string& left, const std::string& right, const std::string& top,
                   const std::string& bottom);

// The tile at the middle of box at zoom (what a test of a source fetches).
task::TilePosition MiddleTile(const task::LonLatBox& box, int32_t zoom);

// What a source chosen in controls needs from the settings file: a source's
// secret, or the Nearmap API's account and key. Returns why Start cannot go
// on (no API key), empty when it can.
std::string ReadSourceSettings(TaskControls& controls, const ConfigFile& config);

// What the controls' map type (or source, or the API's item) fetches.
task::Imagery ImageryOf(const TaskControls& controls);

// A task, or the one message to show.
struct SpecCheck {
  std::optional<task::TaskSpec> Spec;
  std::string Message;
  // As ControlsCheck's: the system's words when the save folder could not be made.
  std::string SystemReason{};
};

// The one place the window's texts are read: the controls parsed into a task
// with Start's checks, in Start's order and with its messages. The save
// folder is created (one level) before the coordinates are checked, unless
// createFolder is false. The folder gets its separator, the name its ".otsk".
SpecCheck ReadTaskSpec(const TaskControls& controls, bool createFolder = true);
// The same checks, in the same order, of a task built from numbers (the map
// windows, orvenna-cli): Folder and Name as the user gave them.
SpecCheck CheckTaskSpec(task::TaskSpec spec, bool createFolder = true);

// The run's settings of a checked task: the source's secret (or the API
// key) for its imagery, the proxy, the workers its source (the Nearmap API's
// from account) allows; ContinueTask false, ThreadSlots 8.
task::RunSettings RunSettingsOf(const task::TaskSpec& spec, const task::NearmapAccount& account,
                                const std::string& secret, const run::ProxySettings& proxy);

// Reads and checks the controls in the fixed order; creates the save folder
// (one level) before the coordinates are checked. A zoom outside 1..21 (only a
// task file can bring one) is refused after the coordinate checks, so a
// damaged task file meets the coordinate message first.
// createFolder false checks the same without creating anything (a dry run).
ControlsCheck ReadTaskControls(const TaskControls& controls, const run::ProxySettings& proxy,
                               bool createFolder = true);

// True when the task file SavePath + TaskName exists and matches the controls
// in every compared field.
bool ShouldContinueTask(const TaskControls& controls, const task::TaskParameters& parameters);
// The same for a task built from numbers: its coordinates compared in the
// form the task file writes them, its name as it stands.
bool ShouldContinueTask(const task::TaskSpec& spec, const task::TaskParameters& parameters);

}  // namespace run
