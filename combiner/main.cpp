// tilejoin: combines the tiles of a download task into one georeferenced
// image, on the command line or in a small window.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "combiner/CombinerWindow.h"
#include "combiner/CommandLine.h"
#include "combiner/ConsoleProgress.h"
#include "consolekit/ExitStatus.h"
#include "consolekit/Failure.h"
#include "consolekit/StopSignals.h"
#include "core/platform/StatusLine.h"
#include "qtkit/Application.h"
#include "qtkit/Dialogs.h"
#include "qtkit/Program.h"

namespace {

using namespace consolekit;
using combiner::kProgram;

// A combine that cannot be done for its task, area or options is bad input.
constexpr int kExitFailed = kExitUsage;

// The first stop signal stops the combine, which then removes what it began;
// a second ends the program at once (its temporary files are removed by the
// next combine into the same folder).
int RunCombine(const combiner::Invocation& invocation) {
  InstallStopSignals();
  combiner::ConsoleProgress progress(stderr, platform::IsTerminal(stderr), invocation.Verbose);
  combiner::CombineResult result;
  try {
    result = combiner::Combine(invocation.Options, progress);
  } catch (const combiner::CombineError& error) {
    progress.Finish();
    PrintError(kProgram, error.what());
    return kExitFailed;
  } catch (const std::exception& error) {
    // An output that could not be written (a full disk, a folder without
    // write permission; GDAL's failures are of writing too), memory: the
    // system failed, as orvenna-cli says it.
    progress.Finish();
    return ReportFailure(kProgram, error, kExitSystemFailure);
  }
  progress.Finish();
  if (result.Cancelled) {
    PrintError(kProgram, "interrupted; nothing was written");
    return kExitInterrupted;
  }
  PrintSummary(kProgram, invocation.Verbose, combiner::SummaryText(result));
  return result.Holes.Total() > 0 ? kExitIncomplete : kExitComplete;
}

int RunWindow(int argc, char** argv, const std::string& taskPath) {
  // Without a display Qt would abort; say what to do instead.
  const auto unset = [](const char* name) { return std::getenv(name) == nullptr || *std::getenv(name) == '\0'; };
  if (unset("QT_QPA_PLATFORM") && unset("DISPLAY") && unset("WAYLAND_DISPLAY")) {
    PrintError(kProgram, "no display for the window; give -o OUT to combine on the command line");
    return kExitFailed;
  }
  qtkit::Application application(argc, argv, QStringLiteral("tilejoin"));
  qtkit::SetUpWindowProgram({"tilejoin", "example.orvenna.TileJoin", ""});
  qtkit::SetMessageCaption(QString::fromLatin1(combiner::kWindowTitle));
  combiner::CombinerWindow window(QString::fromLocal8Bit(taskPath.c_str()));
  window.show();
  return application.exec();
}

}  // namespace

int main(int argc, char** argv) {
  if (AsksForVersion(argc, argv)) return PrintVersion(kProgram, "");
  combiner::Invocation invocation;
  try {
    invocation = combiner::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const UsageError& error) {
    return ReportUsageError(kProgram, error);
  }
  switch (invocation.What) {
    case combiner::Invocation::Mode::Help: std::fputs(combiner::UsageText().c_str(), stdout); return kExitComplete;
    case combiner::Invocation::Mode::Window: return RunWindow(argc, argv, invocation.Options.TaskPath);
    case combiner::Invocation::Mode::Combine: return RunCombine(invocation);
  }
  return kExitComplete;
}
