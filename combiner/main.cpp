// tilejoin: combines the tiles of a download task into one georeferenced
// image, on the command line or in a small window.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "combiner/CombinerWindow.h"
#include "combiner/CommandLine.h"
#include "combiner/ConsoleProgress.h"
#include "core/platform/Version.h"
#include "qtkit/Application.h"
#include "qtkit/Dialogs.h"
#include "qtkit/Program.h"

namespace {

constexpr int kExitComplete = 0;
constexpr int kExitWithHoles = 1;
constexpr int kExitFailed = 2;
constexpr int kExitInterrupted = 130;

std::atomic<int> stopSignals{0};
static_assert(std::atomic<int>::is_always_lock_free, "used in a signal handler");

// The first signal stops the combine, which then removes what it began; a
// second ends the program at once (its temporary files are removed by the
// next combine into the same folder).
extern "C" void OnStopSignal(int) {
  if (stopSignals.fetch_add(1) >= 1) ::_exit(kExitInterrupted);
}

void PrintError(const std::string& text) { std::fputs(("tilejoin: " + text + "\n").c_str(), stderr); }

int RunCombine(const combiner::Invocation& invocation) {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);

  combiner::ConsoleProgress progress(stderr, ::isatty(STDERR_FILENO) != 0, invocation.Verbose, stopSignals);
  combiner::CombineResult result;
  try {
    result = combiner::Combine(invocation.Options, progress);
  } catch (const std::exception& error) {
    progress.Finish();
    PrintError(error.what());
    return kExitFailed;
  }
  progress.Finish();
  if (result.Cancelled) {
    PrintError("interrupted; nothing was written");
    return kExitInterrupted;
  }
  if (invocation.Verbose != combiner::Verbosity::Quiet) std::fputs(combiner::SummaryText(result).c_str(), stdout);
  return result.Holes.Total() > 0 ? kExitWithHoles : kExitComplete;
}

int RunWindow(int argc, char** argv, const std::string& taskPath) {
  // Without a display Qt would abort; say what to do instead.
  const auto unset = [](const char* name) { return std::getenv(name) == nullptr || *std::getenv(name) == '\0'; };
  if (unset("QT_QPA_PLATFORM") && unset("DISPLAY") && unset("WAYLAND_DISPLAY")) {
    PrintError("no display for the window; give -o OUT to combine on the command line");
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
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::fputs(platform::VersionText("tilejoin", "").c_str(), stdout);
    return kExitComplete;
  }
  combiner::Invocation invocation;
  try {
    invocation = combiner::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const combiner::UsageError& error) {
    PrintError(std::string(error.what()) + "\nTry 'tilejoin --help' for more information.");
    return kExitFailed;
  }
  switch (invocation.What) {
    case combiner::Invocation::Mode::Help: std::fputs(combiner::UsageText().c_str(), stdout); return kExitComplete;
    case combiner::Invocation::Mode::Window: return RunWindow(argc, argv, invocation.Options.TaskPath);
    case combiner::Invocation::Mode::Combine: return RunCombine(invocation);
  }
  return kExitComplete;
}
