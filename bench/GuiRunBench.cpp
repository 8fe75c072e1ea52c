// The program's own window downloading 300 tiles (20 x 15 at zoom 13) at the
// program's pace from the loopback tile server, reached as the proxy of the
// settings file. The server runs in a child process so that the CPU time and
// the peak memory printed are the program's alone. Prints the wall time from
// Start to "Task stoped!" beside the least time the pauses allow (per worker
// its start pause plus 1000 ms per saved tile, the slowest worker deciding,
// plus up to one 1000 ms timer tick to notice the end).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "qtkit/Application.h"
#include "qtkit/Dialogs.h"
#include "gui/Unit1.h"
#include "core/download/HttpClient.h"
#include "core/platform/Numbers.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileServer.h"

namespace {

constexpr int kWorkers = 8;
constexpr int kColumns = 20;
constexpr int kRows = 15;

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; }

void Print(const std::string& line) { std::fputs((line + "\n").c_str(), stdout); }

// Child: serves tiles until the parent closes its end of the pipe.
[[noreturn]] void ServeTiles(int portPipe, int stopPipe) {
  {
    testsupport::TileServer server;
    const uint16_t port = server.Port();
    if (::write(portPipe, &port, sizeof port) != static_cast<ssize_t>(sizeof port)) std::_Exit(1);
    char byte = 0;
    while (::read(stopPipe, &byte, 1) > 0) {
    }
  }
  std::_Exit(0);
}

}  // namespace

int main(int argc, char** argv) {
  int portPipe[2];
  int stopPipe[2];
  if (::pipe(portPipe) != 0 || ::pipe(stopPipe) != 0) return 1;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(portPipe[0]);
    ::close(stopPipe[1]);
    ServeTiles(portPipe[1], stopPipe[0]);
  }
  ::close(portPipe[1]);
  ::close(stopPipe[0]);
  uint16_t port = 0;
  if (::read(portPipe[0], &port, sizeof port) != static_cast<ssize_t>(sizeof port)) return 1;

  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qtkit::Application application(argc, argv);
  download::HttpClient::GlobalInit();

  testsupport::TempDir program;
  testsupport::TempDir save;
  std::filesystem::create_directory(program.Path() + "ini");
  std::filesystem::create_directory(program.Path() + "blankimg");
  std::filesystem::copy_file(ORVENNA_BLANK_IMAGE, program.Path() + "blankimg/blank.jpg");
  testsupport::WriteFileBytes(program.Path() + "ini/config.ini",
                              "[IniParas]\r\nDefaultPath=" + save.Path() +
                                  "\r\n[Proxy]\r\nUseProxy=1\r\nProxyServer=127.0.0.1\r\nProxyPort=" +
                                  platform::FormatInteger(port) + "\r\n");

  int stopped = 0;
  qtkit::SetMessageInterceptor([&stopped](const QString& text, bool) {
    if (text.startsWith(QStringLiteral("Task stoped!"))) ++stopped;
  });

  // Tiles 6742..6761 x 3101..3115 at zoom 13: a rectangle strictly inside them.
  TForm1 window(qtkit::FromLocal(program.Path()));
  window.show();
  // The window's controls by their object names.
  const auto edit = [&window](const char* name) { return window.findChild<QLineEdit*>(QString::fromLatin1(name)); };
  edit("Edit1")->setText(QStringLiteral("116.28"));
  edit("Edit3")->setText(QStringLiteral("117.13"));
  edit("Edit2")->setText(QStringLiteral("40.00"));
  edit("Edit4")->setText(QStringLiteral("39.52"));
  edit("EditTaskName")->setText(QStringLiteral("bench"));

  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  const auto start = std::chrono::steady_clock::now();
  window.BitBtn1Click();
  const int tiles = window.CurrentTask() ? window.CurrentTask()->TotalImages : 0;
  const bool ended = QTest::qWaitFor([&] { return stopped > 0; }, 10 * 60 * 1000);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage after{};
  getrusage(RUSAGE_SELF, &after);

  const download::Pacing pace;
  double ideal = 0;
  for (int slot = 0; slot < kWorkers; ++slot) {
    int share = 0;
    for (int p = 1; p <= tiles; ++p) share += p % kWorkers == slot ? 1 : 0;
    ideal = std::max(ideal, (slot * pace.StartStaggerMs + share * pace.AfterSavedMs) / 1000.0);
  }
  const double cpu = Seconds(after.ru_utime) - Seconds(before.ru_utime) + Seconds(after.ru_stime) -
                     Seconds(before.ru_stime);
  int saved = 0;
  for (const std::string& line : window.LogLines().Lines()) saved += line.find(":seq=") != std::string::npos;

  Print("window run: " + platform::FormatInteger(tiles) + " tiles (" + platform::FormatInteger(kColumns) + " x " +
        platform::FormatInteger(kRows) + "), " + platform::FormatInteger(saved) + " saved, ended " +
        (ended ? "yes" : "no"));
  Print("wall time            " + platform::FormatFixed(wall, 9, 3) + " s");
  Print("ideal (pauses)       " + platform::FormatFixed(ideal, 9, 3) + " s (+ up to 1 s to the next tick)");
  Print("ratio                " + platform::FormatFixed(wall / ideal, 9, 4));
  Print("program CPU time     " + platform::FormatFixed(cpu, 9, 3) + " s");
  Print("program peak memory  " + platform::FormatFixed(static_cast<double>(after.ru_maxrss) / 1024.0, 9, 1) + " MiB");

  ::close(stopPipe[1]);
  ::waitpid(child, nullptr, 0);
  return ended && saved == tiles ? 0 : 1;
}
