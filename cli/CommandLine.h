// The command line of orvenna-cli: a command, its operands and its options,
// checked against what each command takes.
#pragma once

#include <string>
#include <vector>

#include "consolekit/CommandLine.h"

namespace cli {

using consolekit::UsageError;
using consolekit::Verbosity;

inline constexpr consolekit::Program kProgram = {"orvenna-cli", consolekit::SummaryStream::StandardError};

enum class Command { Help, Run, New, Retry, Merge, Status, Fill, Surveys };

// The command, its operands and its options (by long name).
struct Invocation : consolekit::ScannedLine {
  Command What = Command::Help;
};

// Parses argv[1..]. Options may come before or after the operands, as
// "--name value" or "--name=value"; "-q" and "-v" are the short ones. Throws
// UsageError for an unknown command or option, a missing value or operand.
Invocation ParseCommandLine(const std::vector<std::string>& arguments);

// The text of --help.
std::string UsageText();

}  // namespace cli
