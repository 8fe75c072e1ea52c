// orvenna-cli: runs, creates and retries download tasks without a window,
// into the same files as the window program.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Census.h"
#include "cli/Commands.h"
#include "cli/Parts.h"
#include "consolekit/ExitStatus.h"
#include "core/download/HttpClient.h"
#include "core/platform/Files.h"
#include "core/platform/Locations.h"
#include "core/platform/StatusLine.h"
#include "core/run/ConfigFile.h"

int main(int argc, char** argv) {
  using namespace cli;
  using namespace consolekit;
  const std::string programFolder = platform::ProgramFolder();
  if (AsksForVersion(argc, argv)) return PrintVersion(kProgram, run::ConfigFile::PathFor(programFolder));
  try {
    const Invocation invocation = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (invocation.What == Command::Help) {
      std::fputs(UsageText().c_str(), stdout);
      return kExitComplete;
    }
    Context context;
    context.ProgramFolder = programFolder;
    if (const auto config = invocation.Value("config")) {
      context.ConfigPath = *config;
    } else {
      run::ConfigFile::MakeOnFirstUse(programFolder);
      context.ConfigPath = run::ConfigFile::PathFor(programFolder);
    }
    context.Verbose = VerbosityOf(invocation);
    context.Terminal = platform::IsTerminal(stderr);
    // Before any worker or re-download creates a client.
    download::HttpClient::GlobalInit();
    switch (invocation.What) {
      case Command::Run: return RunCommand(invocation, context);
      case Command::New: return NewCommand(invocation, context);
      case Command::Retry: return RetryCommand(invocation, context);
      case Command::Merge: return MergeCommand(invocation, context);
      case Command::Status: return StatusCommand(invocation, context);
      case Command::Fill: return FillCommand(invocation, context);
      case Command::Surveys: return SurveysCommand(invocation, context);
      case Command::Help: break;
    }
  } catch (const UsageError& error) {
    return ReportUsageError(kProgram, error);
  } catch (const std::exception& error) {
    // What a command does not report itself is no fault of the command line:
    // a file that could not be written, memory, the system.
    cli::PrintError(platform::FailureText(error));
    return kExitSystemFailure;
  }
  return kExitComplete;
}
