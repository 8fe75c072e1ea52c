// What the command-line programs share of their command lines: the option
// table and its scan, the usage error and how it is printed, -q/-v, the
// summary's stream and --version.
#pragma once

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace consolekit {

// A command line that does not say what to do; the text says why.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An option that the table does not hold; a program may say more (which of
// its commands lacks it).
class UnknownOption : public UsageError {
 public:
  explicit UnknownOption(const std::string& argument)
      : UsageError("unknown option '" + argument + "'"), Argument(argument) {}
  std::string Argument;
};

struct OptionSpec {
  const char* Name;  // the long name, without the dashes
  char Short;        // the letter after a single dash; 0: none
  bool TakesValue;
};

// -q, -v and -h, which every program takes.
inline const std::vector<OptionSpec> kVerbosityAndHelp = {
    {"quiet", 'q', false}, {"verbose", 'v', false}, {"help", 'h', false}};

struct ScannedLine {
  std::vector<std::string> Operands;
  // Options by long name; a flag has an empty value.
  std::map<std::string, std::string> Options;

  bool Has(const std::string& name) const { return Options.count(name) != 0; }
  std::optional<std::string> Value(const std::string& name) const;
};

// Scans arguments: "--name value", "--name=value", "-x" (a letter of the
// table, with its value in the next argument), and operands anywhere, all of
// them after "--"; "-" is an operand. Throws UnknownOption, or UsageError for
// a missing value or a value given to a flag.
ScannedLine ScanArguments(const std::vector<std::string>& arguments, const std::vector<OptionSpec>& options);

enum class Verbosity { Quiet, Normal, Verbose };

// From -q and -v; throws UsageError when both are given.
Verbosity VerbosityOf(const ScannedLine& line);

// Where a program's summary goes. Progress and errors always go to standard
// error; the summary goes to the stream that does not carry something else:
// orvenna-cli's standard output carries its log lines (-v) and the answers
// of status, surveys and --dry-run, so its summary of a run goes to standard
// error; tilejoin writes nothing else to standard output, so its summary is
// its output there.
enum class SummaryStream { StandardOutput, StandardError };

struct Program {
  const char* Name;
  SummaryStream Summary;
};

// "<program>: <text>" on standard error.
void PrintError(const Program& program, const std::string& text);
// The error and "Try '<program> --help' for more information."; returns
// kExitUsage.
int ReportUsageError(const Program& program, const UsageError& error);
// text on the summary's stream, unless quiet.
void PrintSummary(const Program& program, Verbosity verbosity, const std::string& text);

// True for the command line "<program> --version" (nothing else on it).
bool AsksForVersion(int argc, const char* const* argv);
// What --version prints (the settings file named when the program has one);
// returns kExitComplete.
int PrintVersion(const Program& program, const std::string& settingsFile);

}  // namespace consolekit
