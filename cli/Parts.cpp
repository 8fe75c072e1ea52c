#include "cli/Parts.h"

#include <cstdio>
#include <memory>
#include <optional>

#include "cli/Census.h"
#include "cli/Commands.h"
#include "cli/Report.h"
#include "consolekit/ExitStatus.h"
#include "core/platform/Numbers.h"
#include "core/run/OpenedTask.h"
#include "core/run/Parts.h"

namespace cli {

using namespace consolekit;

namespace {

std::string Decimal(int64_t value) { return platform::FormatInteger(value); }

// Holes a merge names on standard output; the rest are counted.
constexpr std::size_t kListedHoles = 20;

}  // namespace

TaskPart ParsePart(const std::string& text) {
  const std::size_t slash = text.find('/');
  const auto index = slash == std::string::npos ? std::nullopt : platform::ParseInteger(text.substr(0, slash));
  const auto count = slash == std::string::npos ? std::nullopt : platform::ParseInteger(text.substr(slash + 1));
  if (!index || !count || *index < 1 || *index > *count ||
      text != Decimal(*index) + "/" + Decimal(*count)) {
    throw UsageError("--part is K/N with 1 <= K <= N, not '" + text + "'");
  }
  return TaskPart{*index, *count};
}

int MergeCommand(const Invocation& invocation, const Context& context) {
  const std::string path = FullPath(invocation.Operands[0]);
  run::MergeReport merged;
  std::unique_ptr<run::OpenedTask> whole;
  CensusReport census;
  try {
    merged = run::MergeParts(path);
    whole = run::OpenedTask::Open(path);
    census = TakeCensus(whole->Task, context.ProgramFolder, kListedHoles);
  } catch (const run::MergeRefused& refused) {
    PrintError(refused.what());
    return refused.NotReady ? kExitIncomplete : kExitUsage;
  } catch (const std::exception& error) {
    return ReportFailure(error);
  }
  const task::MDTask& task = whole->Task;
  for (const Hole& hole : census.FirstHoles) std::fputs(("Hole: " + HoleText(task, hole) + "\n").c_str(), stdout);
  std::string text = "Merged " + Decimal(merged.Parts) + " parts into " + task.TaskFileName() + ": " +
                     Decimal(static_cast<int64_t>(merged.FailedRecords)) + " tiles in the failed list\n" +
                     CensusLine(census.Counts) + "\n";
  if (census.Counts.Holes() > 0) text += "fill the holes with: orvenna-cli fill " + ShellWord(task.TaskFileName()) + "\n";
  PrintSummary(kProgram, context.Verbose, text);
  return census.Counts.Holes() > 0 ? kExitIncomplete : kExitComplete;
}

}  // namespace cli
