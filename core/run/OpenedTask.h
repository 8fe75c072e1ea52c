// A task as its task file describes it: what "Open task ..." copies into the
// window's controls, and the task built from them for programs that look at
// a task's tiles without downloading (a viewer, a combiner).
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "core/run/TaskControls.h"
#include "core/task/Unitclasstask.h"

namespace run {

// The controls "Open task ..." fills from the task file at path: the stored
// texts, the folder and the name from the path itself. MapsTypePosition is -1
// for a stored code that is none of the three map types (a source of the
// user's own: Source; the Nearmap API: Nearmap, the account's settings left
// at their defaults), and the task's shape. Throws OpenTaskError when the
// shape file the task file names cannot be read.
TaskControls ControlsFromTaskFile(const std::string& path);

// Why the window cannot take the controls of a task file (its tile source or
// its Nearmap API imagery cannot be used: task::SourceProblem,
// task::NearmapProblem); empty when it can.
std::string StoredImageryProblem(const TaskControls& controls);

// The task file does not describe a task; the text says why, in the words
// Start would use.
class OpenTaskError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws OpenTaskError when path names no file that can be read, or some
// other file than a task file (chosen by mistake): that is told apart from a
// damaged task file, whose own fault the task's readers name.
void CheckIsTaskFile(const std::string& path);

// A task and its parameters, built from a task file without creating or
// writing anything; the resume positions are those the file holds.
class OpenedTask {
 public:
  // The whole task, or part part (1-based) of parts with the positions of the
  // part's own file. Throws OpenTaskError.
  static std::unique_ptr<OpenedTask> Open(const std::string& path, int32_t part = 0, int32_t parts = 0);

  const task::TaskParameters Parameters;
  // A run that continues it: the workers its source allows, its file's
  // positions (no proxy, no secret).
  const task::RunSettings Run;
  const task::MDTask Task;

 private:
  OpenedTask(task::TaskParameters parameters, task::RunSettings run, const task::TaskOptions& options);
};

}  // namespace run
