// The log window holding one million lines: the time to fill it through the
// workers' AddLogLine, the time of one save when the whole file must be
// written (first save) and of the periodic save after another 40 lines (8
// workers for 5 seconds), and the program's peak memory.
#include <sys/resource.h>

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <string>

#include "qtkit/Application.h"
#include "core/run/LineFile.h"
#include "gui/LogViewQt.h"
#include "core/platform/Numbers.h"
#include "tests/support/TempDir.h"

namespace {

constexpr int kLines = 1000000;

void Print(const std::string& line) { std::fputs((line + "\n").c_str(), stdout); }

double MiB(long kib) { return static_cast<double>(kib) / 1024.0; }

long PeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

template <typename F>
double Timed(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string Line(int i) {
  return "T" + platform::FormatInteger(i % 8 + 1) + ":seq=" + platform::FormatInteger(i) + ",nm_" +
         platform::FormatInteger(6742 + i / 4096) + "_" + platform::FormatInteger(3101 + i % 4096) + "_13.jpg OK";
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qtkit::Application application(argc, argv);
  testsupport::TempDir save;
  const long startKiB = PeakKiB();

  // The main window's log view over the lines of a run, filled as the
  // workers' lines fill it.
  TLogView view;
  run::LineFile lines;
  view.SetLines(&lines.Lines());
  view.resize(400, 300);
  view.show();
  const double fill = Timed([&] {
    for (int i = 0; i < kLines; ++i) {
      view.LinesAppended(lines.Append(Line(i)));
      // The lines come through the event loop in the program; let it run.
      if (i % 1000 == 999) QCoreApplication::processEvents();
    }
  });
  const long filledKiB = PeakKiB();

  // The run saves through its run::LineFile; a copy of its lines (another
  // ~100 MiB) is saved here, once whole and once after 40 more lines.
  run::LineFile log;
  log.Reset(lines.Lines());
  const std::string path = save.File("bench_log.txt");
  const double first = Timed([&] { log.Save(path); });
  const bool firstAppended = log.LastSaveAppended();
  for (int i = 0; i < 40; ++i) log.Append(Line(kLines + i));
  const double periodic = Timed([&] { log.Save(path); });
  const bool periodicAppended = log.LastSaveAppended();

  Print("log window of " + platform::FormatInteger(kLines) + " lines");
  Print("fill of the log view      " + platform::FormatFixed(fill, 9, 3) + " s");
  Print(std::string("first save (") + (firstAppended ? "appended" : "whole file") + ")  " +
        platform::FormatFixed(first * 1000.0, 9, 1) + " ms");
  Print(std::string("save of 40 more lines (") + (periodicAppended ? "appended" : "whole file") + ")  " +
        platform::FormatFixed(periodic * 1000.0, 9, 3) + " ms");
  Print("peak memory before window " + platform::FormatFixed(MiB(startKiB), 9, 1) + " MiB");
  Print("peak memory, window full  " + platform::FormatFixed(MiB(filledKiB), 9, 1) + " MiB");
  Print("peak memory with a copy   " + platform::FormatFixed(MiB(PeakKiB()), 9, 1) + " MiB");
  return periodicAppended ? 0 : 1;
}
