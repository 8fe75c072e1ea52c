// What orvenna-cli tells of a task's tiles: the census (TileCensus) taken
// over the whole task, its first holes with their reasons, and "status".
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "core/task/TileCensus.h"

namespace cli {

struct Context;

struct Hole {
  task::TilePosition Tile;
  task::TileVerdict Verdict;
};

struct CensusReport {
  task::CensusCounts Counts;
  std::vector<Hole> FirstHoles;            // up to the number asked for
  std::vector<task::TilePosition> Holes;   // every hole, when asked for
};

// Throws platform::FileError when the failed list cannot be read.
CensusReport TakeCensus(const task::MDTask& task, const std::string& programFolder, std::size_t firstHoles,
                        bool everyHole = false);

// "nm_6742_3101_13.jpg given up", "... unreadable: truncated".
std::string HoleText(const task::MDTask& task, const Hole& hole);

// What goes on with a task after a run: its census line and the command that
// continues it (a walk not at its end) or fills its holes; nothing more when
// it has none. Also fills summary.Census and summary.NextStep.
struct Summary;
// The positions of threads workers are read again from the task file
// (run::WalkEnded).
void AddCensus(Summary& summary, const task::MDTask& task, int32_t threads, const std::string& programFolder);

int StatusCommand(const Invocation& invocation, const Context& context);

}  // namespace cli
