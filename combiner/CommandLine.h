// The command line of tilejoin: the window (no arguments, or only a task
// file), --help, or a combine with its options.
#pragma once

#include <string>
#include <vector>

#include "combiner/Combiner.h"
#include "consolekit/CommandLine.h"

namespace combiner {

using consolekit::UsageError;
using consolekit::Verbosity;

inline constexpr consolekit::Program kProgram = {"tilejoin", consolekit::SummaryStream::StandardOutput};

struct Invocation {
  enum class Mode { Window, Help, Combine };
  Mode What = Mode::Window;
  // The options of a combine; for the window only TaskPath (may be empty).
  CombineOptions Options;
  Verbosity Verbose = Verbosity::Normal;
};

// Parses argv[1..]. Options may come before or after the task file, as
// "--name value" or "--name=value". Throws UsageError.
Invocation ParseCommandLine(const std::vector<std::string>& arguments);

// The text of --help.
std::string UsageText();

}  // namespace combiner
