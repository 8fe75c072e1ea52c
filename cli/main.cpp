// orvenna-cli: runs, creates and retries download tasks without a window,
// into the same files as the window program.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Census.h"
#include "cli/Commands.h"
#include "cli/Parts.h"
#include "cli/ExitStatus.h"
#include "core/download/HttpClient.h"
#include "core/platform/Locations.h"
#include "core/platform/Version.h"
#include "core/run/ConfigFile.h"

int main(int argc, char** argv) {
  using namespace cli;
  const std::string programFolder = platform::ProgramFolder();
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::fputs(platform::VersionText("orvenna-cli", run::ConfigFile::PathFor(programFolder)).c_str(), stdout);
    return kExitComplete;
  }
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
    context.Verbose = invocation.Has("quiet")     ? Verbosity::Quiet
                      : invocation.Has("verbose") ? Verbosity::Verbose
                                                  : Verbosity::Normal;
    context.Terminal = ::isatty(STDERR_FILENO) != 0;
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
    std::fprintf(stderr, "orvenna-cli: %s\nTry 'orvenna-cli --help' for more information.\n", error.what());
    return kExitUsage;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "orvenna-cli: %s\n", error.what());
    return kExitUsage;
  }
  return kExitComplete;
}
