// Splitting a task over machines on the command line: "--part K/N" and
// "merge" (run/Parts does the merging).
#pragma once

#include <cstdint>
#include <string>

#include "cli/CommandLine.h"
#include "core/task/Unitclasstask.h"

namespace cli {

struct Context;

using task::TaskPart;

// "K/N" with 1 <= K <= N. Throws UsageError.
TaskPart ParsePart(const std::string& text);

int MergeCommand(const Invocation& invocation, const Context& context);

}  // namespace cli
