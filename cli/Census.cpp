#include "cli/Census.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "cli/Commands.h"
#include "cli/Report.h"
#include "consolekit/ExitStatus.h"
#include "core/platform/Files.h"
#include "core/platform/Numbers.h"
#include "core/run/ConfigFile.h"
#include "core/run/Job.h"
#include "core/run/OpenedTask.h"
#include "core/run/RunEnd.h"

namespace cli {

using namespace consolekit;

namespace {

// Holes shown by name; the rest are counted.
constexpr std::size_t kShownHoles = 20;

std::string Decimal(int64_t value) { return platform::FormatInteger(value); }

std::string WholeTaskFile(const task::TaskParameters& parameters) { return parameters.SavePath + parameters.TaskName; }

std::string FillCommandLine(const task::MDTask& task) {
  return "orvenna-cli fill " + ShellWord(WholeTaskFile(task.Record()));
}

std::string HoleJson(const task::MDTask& task, const Hole& hole) {
  return "{\"file\": " + JsonString(task.TileFileName(hole.Tile.X, hole.Tile.Y)) + ", \"x\": " + Decimal(hole.Tile.X) +
         ", \"y\": " + Decimal(hole.Tile.Y) + ", \"state\": " + JsonString(task::TileStateName(hole.Verdict.State)) +
         ", \"reason\": " + JsonString(hole.Verdict.Reason) + "}";
}

}  // namespace

CensusReport TakeCensus(const task::MDTask& task, const std::string& programFolder, std::size_t firstHoles,
                        bool everyHole) {
  CensusReport report;
  const task::TileCensus census(task, programFolder);
  report.Counts = census.Walk([&](task::TilePosition tile, const task::TileVerdict& verdict) {
    if (!task::IsHole(verdict.State)) return true;
    if (report.FirstHoles.size() < firstHoles) report.FirstHoles.push_back({tile, verdict});
    if (everyHole) report.Holes.push_back(tile);
    return true;
  });
  return report;
}

std::string HoleText(const task::MDTask& task, const Hole& hole) {
  std::string text = task.TileFileName(hole.Tile.X, hole.Tile.Y) + " " + task::TileStateName(hole.Verdict.State);
  if (!hole.Verdict.Reason.empty()) text += ": " + hole.Verdict.Reason;
  return text;
}

std::string NextStepText(const task::MDTask& task, run::NextStep step) {
  const task::TaskParameters p = task.Record();
  switch (step) {
    case run::NextStep::Nothing:
      return {};
    case run::NextStep::Continue:
      return "continue with: orvenna-cli run " + ShellWord(WholeTaskFile(p)) +
             (p.PartCount > 0 ? " --part " + Decimal(p.PartIndex) + "/" + Decimal(p.PartCount) : "");
    case run::NextStep::Fill:
      return p.PartCount > 0 ? "fill the holes, once the parts are merged, with: " + FillCommandLine(task)
                             : "fill the holes with: " + FillCommandLine(task);
  }
  return {};
}

void AddCensus(Summary& summary, const task::MDTask& task, int32_t threads, const std::string& programFolder) {
  try {
    summary.Census = TakeCensus(task, programFolder, 0).Counts;
  } catch (const std::exception& error) {
    PrintError(platform::FailureText(error));
    return;
  }
  // The positions as the task file holds them now, after the run.
  const bool walkEnded = run::WalkEnded(task, run::WorkersOf(task, threads));
  summary.NextStep = NextStepText(task, run::NextStepOf(walkEnded, summary.Census->Holes()));
}

int StatusCommand(const Invocation& invocation, const Context& context) {
  if (run::IsJobFile(invocation.Operands[0])) return ForEachTaskOfJob(invocation, context, StatusCommand);
  const std::string path = FullPath(invocation.Operands[0]);
  std::unique_ptr<run::OpenedTask> opened;
  CensusReport report;
  try {
    opened = run::OpenedTask::Open(path);
    report = TakeCensus(opened->Task, context.ProgramFolder, kShownHoles);
  } catch (const std::exception& error) {
    PrintError(platform::FailureText(error));
    return kExitUsage;
  }
  const task::MDTask& task = opened->Task;
  const int64_t holes = report.Counts.Holes();
  int32_t threads = run::WorkersOf(task, opened->Run.ThreadCount);
  if (task.Nearmap() != nullptr) {
    // A run of the Nearmap API takes the workers the account allows.
    const int64_t allowed = run::ConfigFile(context.ConfigPath).ReadNearmapApi().Account.MaxWorkers;
    threads = static_cast<int32_t>(std::clamp<int64_t>(std::min(allowed, task.Range().Count()), 1, 8));
  }
  const std::string next = NextStepText(task, run::NextStepOf(run::WalkEnded(task, threads), holes));
  if (const auto json = invocation.Value("json")) {
    std::string list;
    for (const Hole& hole : report.FirstHoles) list += (list.empty() ? "" : ", ") + HoleJson(task, hole);
    try {
      WriteJson(*json, "{\"task\": " + JsonString(path) + ", \"census\": " + CensusJson(report.Counts) +
                           ", \"firstHoles\": [" + list + "], \"nextStep\": " + JsonString(next) + "}\n");
    } catch (const std::exception& error) {
      return ReportFailure(error);
    }
  }
  if (context.Verbose != Verbosity::Quiet && invocation.Value("json") != "-") {
    std::string text = CensusLine(report.Counts) + "\n";
    for (const Hole& hole : report.FirstHoles) text += "  " + HoleText(task, hole) + "\n";
    if (holes > static_cast<int64_t>(report.FirstHoles.size())) {
      text += "  ... and " + Decimal(holes - static_cast<int64_t>(report.FirstHoles.size())) + " more holes\n";
    }
    text += holes > 0 ? next + "\n" : "No holes: every tile is saved or blank.\n";
    std::fputs(text.c_str(), stdout);
  }
  return holes > 0 ? kExitIncomplete : kExitComplete;
}

}  // namespace cli
