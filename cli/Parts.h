// Splitting a task over machines: "--part K/N" runs band K of N bands of the
// task's rows with bookkeeping files of its own; "merge" joins the parts'
// logs and failed lists into the task's once every part has ended.
#pragma once

#include <cstdint>
#include <string>

#include "cli/CommandLine.h"

namespace cli {

struct Context;

struct TaskPart {
  int32_t Index = 0;  // 1-based; 0 with Count 0: the whole task
  int32_t Count = 0;
};

// "K/N" with 1 <= K <= N. Throws UsageError.
TaskPart ParsePart(const std::string& text);

int MergeCommand(const Invocation& invocation, const Context& context);

}  // namespace cli
