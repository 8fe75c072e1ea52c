// The commands of orvenna-cli: each a function of its options record that
// returns the program's exit status and reports on standard error (its log
// lines, with -v, and what it was asked to list on standard output); and the
// same command with its record filled from the command line.
#pragma once

#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "cli/CommandLine.h"
#include "cli/Report.h"
#include "core/run/TaskControls.h"
#include "core/task/TaskValue.h"
#include "core/task/Unitclasstask.h"

namespace cli {

struct Context {
  std::string ProgramFolder;  // ends in the separator; holds blankimg/
  std::string ConfigPath;
  Verbosity Verbose = Verbosity::Normal;
  bool Terminal = false;  // standard error is a terminal
};

// "orvenna-cli: " and text on standard error.
void PrintError(const std::string& text);
// Prints why a command failed and returns its exit status: a file that could
// not be written or read (a full disk, a read-only folder) is a failure of
// the system, anything else bad input.
int ReportFailure(const std::exception& error);

// The full path of a file named on the command line, as the open dialog gives it.
std::string FullPath(const std::string& path);

// What "new", "run" and "fill" start: the window's controls as texts.
struct StartRequest {
  run::TaskControls Controls;
  // The area as numbers (of a vector file): used instead of the controls'
  // four coordinates.
  std::optional<task::LonLatBox> Box;
  // With Box: the shape of the vector file within it (none: all of the box).
  std::shared_ptr<const task::Shape> Shape;
  bool Run = true;
  bool DryRun = false;
  // "new": an existing task file that the new task would replace (its
  // positions and lists lost) is refused unless this is set.
  bool Replace = true;
  // "fill": the holes of the task, fetched instead of its walk.
  bool Fill = false;
  std::optional<std::string> JsonPath;
  task::TaskPart Part;
  // The most tiles the run may fetch (--max-tiles); 0: no cap.
  int64_t MaxTiles = 0;
};
int StartTask(StartRequest request, const Context& context);

// command on every task of the job file at the invocation's operand,
// shallowest zoom first: the worst status, or the first status that ends the
// job (bad input, a stop, a failure of the system).
int ForEachTaskOfJob(const Invocation& invocation, const Context& context,
                     int (*command)(const Invocation&, const Context&));

struct RetryOptions {
  std::string ListPath;                   // a failed-tile list
  std::optional<std::string> OutputPath;  // also the lines of the run
  std::optional<std::string> JsonPath;    // also the summary as JSON
};
int Retry(const RetryOptions& options, const Context& context);

struct SurveysOptions {
  std::string Left, Right, Top, Bottom;  // as the window's fields take them
  std::optional<std::string> JsonPath;
};
int Surveys(const SurveysOptions& options, const Context& context);

int RunCommand(const Invocation& invocation, const Context& context);
int NewCommand(const Invocation& invocation, const Context& context);
int RetryCommand(const Invocation& invocation, const Context& context);
int FillCommand(const Invocation& invocation, const Context& context);
int SurveysCommand(const Invocation& invocation, const Context& context);

}  // namespace cli
