// The map viewer on a task of 1,000,000 tiles (1000 x 1000) of which about
// 1 % are on disk: the time from opening the task to its first painted
// screen and to every tile's state known, the time of a refresh, the peak
// memory, and the time of a frame while panning over decoded tiles at 100 %
// and 50 %, and over the whole task drawn as cells.
#include <sys/resource.h>

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/task/TaskFiles.h"
#include "core/platform/Files.h"
#include "tests/support/TempDir.h"
#include "tests/support/WorkerHarness.h"
#include "viewer/MapView.h"
#include "viewer/ViewerWindow.h"

namespace {

constexpr int32_t kX0 = 30000;
constexpr int32_t kY0 = 20000;
constexpr int32_t kSide = 1000;
constexpr int32_t kZoom = 16;
// A patch of saved tiles in the middle, where the panning happens.
constexpr int32_t kPatch = 60;
// Every this many tiles elsewhere one is saved, and one given up.
constexpr int64_t kSavedEvery = 131;
constexpr int64_t kGivenUpEvery = 977;

void Print(const char* format, double value) { std::printf(format, value); }

double PeakMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

std::string TileJpeg() {
  // A tile with detail, so decoding costs what a real one does.
  QImage image(256, 256, QImage::Format_RGB32);
  QPainter painter(&image);
  for (int i = 0; i < 256; i += 8) {
    painter.fillRect(i, 0, 8, 256, QColor::fromHsv(i, 120, 200));
    painter.drawLine(0, i, 255, 255 - i);
  }
  painter.end();
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "JPG", 80);
  return bytes.toStdString();
}

template <typename Done>
double SecondsUntil(const QElapsedTimer& clock, Done done) {
  while (!done()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  return clock.nsecsElapsed() / 1e9;
}

// Pans by step pixels per frame, there and back, and returns the mean time
// of one synchronous repaint in milliseconds.
double MeanFrameMs(viewer::MapView* map, int frames, int step) {
  const QPoint start(map->width() / 2, map->height() / 2);
  QTest::mousePress(map, Qt::LeftButton, {}, start);
  QPoint at = start;
  double total = 0;
  for (int frame = 0; frame < frames; ++frame) {
    at += QPoint(frame % 40 < 20 ? step : -step, frame % 80 < 40 ? step / 2 : -step / 2);
    QTest::mouseMove(map, at);
    QElapsedTimer clock;
    clock.start();
    map->repaint();
    total += clock.nsecsElapsed() / 1e6;
  }
  QTest::mouseRelease(map, Qt::LeftButton, {}, at);
  return total / frames;
}

void WaitForImages(viewer::MapView* map) {
  map->repaint();
  while (map->ImagesPending() > 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  testsupport::TempDir program;
  testsupport::TempDir save;
  std::string blank;
  platform::ReadWholeFile(ORVENNA_BLANK_IMAGE, blank);
  testsupport::MakeBlankImage(program.Path(), blank);
  // Its recent files stay beside the program, out of the user's settings.
  platform::CreateDir(program.File("ini"));

  // The task and its sparse files.
  task::TaskParameters parameters = testsupport::BlockParameters(save.Path(), {kX0, kY0, kSide, kSide, kZoom});
  const task::MDTask task(parameters);
  task.CreateImageFolder();
  task::WriteTaskFile(task);
  const std::string jpeg = TileJpeg();
  std::vector<std::string> failed;
  int64_t files = 0;
  const int32_t patchX = kX0 + (kSide - kPatch) / 2;
  const int32_t patchY = kY0 + (kSide - kPatch) / 2;
  for (int64_t index = 0; index < task.Range().Count(); ++index) {
    const task::TilePosition tile = task.Range().AtWalkNumber(index + 1);
    const bool inPatch = tile.X >= patchX && tile.X < patchX + kPatch && tile.Y >= patchY && tile.Y < patchY + kPatch;
    if (inPatch || index % kSavedEvery == 0) {
      testsupport::WriteFileBytes(task.TileFilePath(tile.X, tile.Y), index % 53 == 1 ? blank : jpeg);
      ++files;
    } else if (index % kGivenUpEvery == 0) {
      failed.push_back(task::FailedRecord(task, tile.X, tile.Y));
    }
  }
  platform::WriteTextLines(task.FailedListFileName, failed);
  std::printf("task: %lld tiles, %lld files on disk (%zu bytes each), %zu given up\n",
              static_cast<long long>(task.Range().Count()), static_cast<long long>(files), jpeg.size(), failed.size());
  Print("peak memory before the viewer: %.1f MiB\n", PeakMiB());

  viewer::ViewerOptions options;
  options.ProgramFolder = program.Path();
  viewer::ViewerWindow window(options);
  window.resize(1280, 800);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  viewer::MapView* map = window.Map;
  std::printf("map: %d x %d pixels\n", map->width(), map->height());

  QElapsedTimer clock;
  clock.start();
  window.OpenTask(QString::fromStdString(task.TaskFileName()));
  SecondsUntil(clock, [&] { return window.Task() != nullptr; });
  map->repaint();
  Print("open to first painted screen: %.3f s\n", clock.nsecsElapsed() / 1e9);
  const double allKnown =
      SecondsUntil(clock, [&] { return window.Task()->States().Count(viewer::TileState::Unknown) == 0; });
  Print("open to every state known: %.3f s\n", allKnown);
  Print("peak memory with every state known: %.1f MiB\n", PeakMiB());

  // Tiles that come last in the walk: seen at the end of a pass.
  const viewer::TileStates& states = window.Task()->States();
  const auto savedAt = [&](int64_t index) { return states.At(index) == viewer::TileState::Saved; };
  const int64_t last = states.Size() - 1;
  testsupport::WriteFileBytes(task.TileFilePath(kX0 + kSide - 1, kY0 + kSide - 1), jpeg);
  clock.restart();
  window.ReloadClick();
  Print("F5, every tile looked at again: %.3f s\n", SecondsUntil(clock, [&] { return savedAt(last); }));
  testsupport::WriteFileBytes(task.TileFilePath(kX0 + kSide - 1, kY0 + kSide - 2), jpeg);
  clock.restart();
  Print("a tile written meanwhile shows by itself after %.3f s\n",
        SecondsUntil(clock, [&] { return savedAt(last - 1); }));

  Print("frame, whole task as cells (%.4f %% zoom): ", map->View().Scale() * 100);
  Print("%.2f ms\n", MeanFrameMs(map, 200, 12));
  Print("peak memory after panning as cells: %.1f MiB\n", PeakMiB());

  for (const double zoom : {1.0, 0.5}) {
    map->ShowTile({patchX + kPatch / 2, patchY + kPatch / 2});
    map->ZoomBy(1e6);
    map->ZoomBy(zoom / map->View().Scale());
    clock.restart();
    WaitForImages(map);
    Print("[peak %.1f MiB] ", PeakMiB());
    Print("zoom %.0f %%: ", zoom * 100);
    Print("first screen decoded in %.3f s, ", clock.nsecsElapsed() / 1e9);
    MeanFrameMs(map, 80, 16);  // decodes what the pan brings into view
    WaitForImages(map);
    Print("frame while panning over decoded tiles %.2f ms, ", MeanFrameMs(map, 400, 16));
    Print("cached images %.1f MiB, ", map->CachedImageBytes() / 1048576.0);
    Print("visible %.0f tiles, ", static_cast<double>(map->View().VisibleTiles()->Count()));
    Print("peak memory %.1f MiB\n", PeakMiB());
  }
  Print("peak memory at the end: %.1f MiB\n", PeakMiB());
  return 0;
}
