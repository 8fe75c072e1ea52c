#include "consolekit/CommandLine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "consolekit/ExitStatus.h"
#include "core/platform/Version.h"

namespace consolekit {

std::optional<std::string> ScannedLine::Value(const std::string& name) const {
  const auto it = Options.find(name);
  if (it == Options.end()) return std::nullopt;
  return it->second;
}

ScannedLine ScanArguments(const std::vector<std::string>& arguments, const std::vector<OptionSpec>& options) {
  const auto find = [&](auto matches) {
    const auto it = std::find_if(options.begin(), options.end(), matches);
    return it == options.end() ? nullptr : &*it;
  };
  ScannedLine line;
  bool operandsOnly = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (operandsOnly || argument.size() < 2 || argument[0] != '-') {
      line.Operands.push_back(argument);
      continue;
    }
    if (argument == "--") {
      operandsOnly = true;
      continue;
    }
    const OptionSpec* spec = nullptr;
    std::optional<std::string> value;
    if (argument[1] == '-') {
      std::string name = argument.substr(2);
      if (const auto equals = name.find('='); equals != std::string::npos) {
        value = name.substr(equals + 1);
        name.erase(equals);
      }
      spec = find([&](const OptionSpec& s) { return name == s.Name; });
    } else if (argument.size() == 2) {
      spec = find([&](const OptionSpec& s) { return argument[1] == s.Short; });
    }
    if (spec == nullptr) throw UnknownOption(argument);
    if (spec->TakesValue && !value) {
      if (i + 1 >= arguments.size()) throw UsageError(std::string("option '--") + spec->Name + "' needs a value");
      value = arguments[++i];
    }
    if (!spec->TakesValue && value) throw UsageError(std::string("option '--") + spec->Name + "' takes no value");
    line.Options[spec->Name] = value.value_or("");
  }
  return line;
}

Verbosity VerbosityOf(const ScannedLine& line) {
  if (line.Has("quiet") && line.Has("verbose")) throw UsageError("-q and -v exclude each other");
  return line.Has("quiet") ? Verbosity::Quiet : line.Has("verbose") ? Verbosity::Verbose : Verbosity::Normal;
}

void PrintError(const Program& program, const std::string& text) {
  std::fputs((std::string(program.Name) + ": " + text + "\n").c_str(), stderr);
}

int ReportUsageError(const Program& program, const UsageError& error) {
  PrintError(program, std::string(error.what()) + "\nTry '" + program.Name + " --help' for more information.");
  return kExitUsage;
}

void PrintSummary(const Program& program, Verbosity verbosity, const std::string& text) {
  if (verbosity == Verbosity::Quiet) return;
  std::fputs(text.c_str(), program.Summary == SummaryStream::StandardOutput ? stdout : stderr);
}

bool AsksForVersion(int argc, const char* const* argv) { return argc == 2 && std::strcmp(argv[1], "--version") == 0; }

int PrintVersion(const Program& program, const std::string& settingsFile) {
  std::fputs(platform::VersionText(program.Name, settingsFile).c_str(), stdout);
  return kExitComplete;
}

}  // namespace consolekit
