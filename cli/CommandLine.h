// The command line of orvenna-cli: a command, its operands and its options,
// checked against what each command takes.
#pragma once

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace cli {

// A command line that does not say what to do; the text says why.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class Command { Help, Run, New, Retry, Merge, Status, Fill, Surveys };

struct Invocation {
  Command What = Command::Help;
  std::vector<std::string> Operands;
  // Options by long name without the dashes; a flag has an empty value.
  std::map<std::string, std::string> Options;

  bool Has(const std::string& name) const { return Options.count(name) != 0; }
  std::optional<std::string> Value(const std::string& name) const;
};

// Parses argv[1..]. Options may come before or after the operands, as
// "--name value" or "--name=value"; "-q" and "-v" are the short ones. Throws
// UsageError for an unknown command or option, a missing value or operand.
Invocation ParseCommandLine(const std::vector<std::string>& arguments);

// The text of --help.
std::string UsageText();

}  // namespace cli
