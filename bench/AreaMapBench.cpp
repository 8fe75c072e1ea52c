// The area window: the time from opening it to its first painted screen (and
// to every base tile of the screen drawn) from a warm disk cache, and the
// peak memory while panning over a zoom-18 area for 30 s with tiles from a
// loopback tile server (no pause, 8 connections). With --screenshot PATH it
// also saves the window, on a synthetic base layer, as a PNG.
//
//   orvenna_bench_area_map [--seconds N] [--screenshot PATH] [--shape-screenshot PATH]
#include <sys/resource.h>

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QSpinBox>
#include <QPainter>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/download/HttpClient.h"
#include "core/platform/Numbers.h"
#include "mapkit/AreaWindow.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileServer.h"

namespace {

const area::Area kArea{116.3, 39.8, 116.5, 40};
constexpr int kOpenRepeats = 5;
constexpr int kPanStepPixels = 24;

double PeakMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

std::string Encode(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format, 85);
  return bytes.toStdString();
}

// A made-up landscape, continuous across tiles: water, fields and roads.
QImage SyntheticTile(int32_t z, int32_t x, int32_t y) {
  QImage image(256, 256, QImage::Format_RGB32);
  const double scale = std::ldexp(1.0, 14 - z) / 256;  // zoom-14 tile units per pixel
  for (int py = 0; py < 256; ++py) {
    for (int px = 0; px < 256; ++px) {
      const double u = (x * 256.0 + px) * scale;
      const double v = (y * 256.0 + py) * scale;
      const double land = std::sin(u * 0.9) + std::cos(v * 0.7) + 0.6 * std::sin((u + v) * 0.31);
      QColor color = land < -1.1 ? QColor(0xa8, 0xcf, 0xe8)
                     : land < 0.3 ? QColor(0xd8, 0xe8, 0xc4)
                                  : QColor(0xf2, 0xee, 0xe2);
      const double roadU = std::abs(u * 0.5 - std::round(u * 0.5));
      const double roadV = std::abs(v * 0.5 - std::round(v * 0.5));
      if (land >= -1.1 && (roadU < 0.02 * scale * 256 / 4 || roadV < 0.02 * scale * 256 / 4)) color = QColor(0xff, 0xff, 0xff);
      image.setPixel(px, py, color.rgb());
    }
  }
  QPainter painter(&image);
  painter.setPen(QColor(0x90, 0x90, 0x90));
  painter.drawText(6, 16, QStringLiteral("%1/%2/%3").arg(z).arg(x).arg(y));
  return image;
}

template <typename Done>
double SecondsUntil(const QElapsedTimer& clock, Done done) {
  while (!done()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  return clock.nsecsElapsed() / 1e9;
}

// Counts the map's frames.
class PaintCounter final : public QObject {
 public:
  int Frames = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++Frames;
    return false;
  }
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  download::HttpClient::GlobalInit();
  double panSeconds = 30;
  QString screenshot;
  QString shapeScreenshot;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--seconds") panSeconds = std::atof(argv[i + 1]);
    if (option == "--screenshot") screenshot = QString::fromLocal8Bit(argv[i + 1]);
    if (option == "--shape-screenshot") shapeScreenshot = QString::fromLocal8Bit(argv[i + 1]);
  }

  testsupport::TempDir program;
  testsupport::TempDir cacheFolder;
  testsupport::TileServer server;
  server.SetDefault(testsupport::Reply::Ok(Encode(SyntheticTile(18, 215000, 99000), "PNG")));
  std::filesystem::create_directories(program.File("ini"));
  testsupport::WriteFileBytes(program.File("ini/config.ini"),
                              "[TileSource Bench map]\r\nName=Bench map\r\nUrl=http://" + server.HostPort() +
                                  "/{z}/{x}/{y}.png\r\nPrefix=bm\r\nExtension=png\r\nPauseMs=0\r\nMaxWorkers=8\r\n"
                                  "MaxZoom=19\r\n");
  auto cache = std::make_shared<mapkit::TileCache>(cacheFolder.Path(), int64_t{500} << 20);
  const mapkit::AreaWindowOptions options{program.Path(), QStringLiteral("Use this area"), cache, {}};
  const auto open = [&] {
    auto window = std::make_unique<mapkit::AreaWindow>(options);
    window->resize(1100, 720);
    return window;
  };

  // The cache warmed by a first opening (the screen's tiles fetched), its
  // tiles then replaced by a made-up landscape for the screenshot.
  {
    auto window = open();
    window->Open({kArea, 13, QStringLiteral("Bench map"), {}});
    if (!QTest::qWaitForWindowExposed(window.get())) return 1;
    mapkit::AreaMap* map = window->Map;
    SecondsUntil(QElapsedTimer(), [&] {
      map->repaint();
      return map->TilesPending() == 0 && map->Loader()->Fetched() > 0;
    });
    const mapkit::GridPoint a = map->View().ToGrid(0, 0);
    const mapkit::GridPoint b = map->View().ToGrid(map->width(), map->height());
    const mapkit::BaseLayer& layer = map->Loader()->Layer();
    for (int32_t z = 11; z <= 13; ++z) {
      const double n = std::ldexp(1.0, z);
      for (auto x = static_cast<int32_t>(a.X * n); x <= static_cast<int32_t>(b.X * n); ++x) {
        for (auto y = static_cast<int32_t>(a.Y * n); y <= static_cast<int32_t>(b.Y * n); ++y) {
          cache->Store({layer.CacheName(), z, x, y, "png"}, Encode(SyntheticTile(z, x, y), "PNG"));
        }
      }
    }
  }

  std::vector<double> firstFrame;
  std::vector<double> wholeScreen;
  for (int repeat = 0; repeat < kOpenRepeats; ++repeat) {
    const std::size_t requestsBefore = server.RequestCount();
    QElapsedTimer clock;
    clock.start();
    auto window = open();
    PaintCounter counter;
    window->Map->installEventFilter(&counter);
    window->Open({kArea, 13, QStringLiteral("Bench map"), {}});
    firstFrame.push_back(SecondsUntil(clock, [&] { return counter.Frames > 0; }));
    wholeScreen.push_back(SecondsUntil(clock, [&] {
      return window->Map->TilesPending() == 0 && window->Map->Loader()->FromCache() > 0 && counter.Frames > 0;
    }));
    if (server.RequestCount() != requestsBefore) std::printf("warning: the warm opening fetched tiles\n");
    if (repeat == kOpenRepeats - 1 && !screenshot.isEmpty()) {
      QCoreApplication::processEvents();
      window->grab().save(screenshot);
      std::printf("screenshot: %s\n", qPrintable(screenshot));
    }
    if (repeat == kOpenRepeats - 1 && !shapeScreenshot.isEmpty()) {
      // A river's course grown by 600 m: the task takes the tiles it touches.
      mapkit::AreaStart start{std::nullopt, 14, QStringLiteral("Bench map"), {}};
      start.Shape = std::make_shared<const task::Shape>(area::ParseShapeText(
          "LINESTRING(116.31 39.95, 116.35 39.93, 116.38 39.94, 116.42 39.90, 116.45 39.89, 116.49 39.85)", 600));
      const task::LonLatBox bounds = task::BoundsOf(*start.Shape);
      start.Box = area::RoundedOutward(area::Area{bounds.West, bounds.South, bounds.East, bounds.North});
      // As the map viewer opens it: a job of zooms 14 to 16 beside the shape.
      mapkit::AreaWindowOptions jobOptions = options;
      jobOptions.OffersJobs = true;
      auto jobWindow = std::make_unique<mapkit::AreaWindow>(jobOptions);
      jobWindow->resize(1100, 720);
      jobWindow->Open(start);
      jobWindow->ToZoomBox->setValue(16);
      if (!QTest::qWaitForWindowExposed(jobWindow.get())) return 1;
      SecondsUntil(QElapsedTimer(), [&] {
        jobWindow->Map->repaint();
        const mapkit::BaseTileLoader* loader = jobWindow->Map->Loader();
        return jobWindow->Map->TilesPending() == 0 && loader != nullptr && loader->Fetched() + loader->FromCache() > 0;
      });
      QCoreApplication::processEvents();
      jobWindow->grab().save(shapeScreenshot);
      std::printf("screenshot: %s\n", qPrintable(shapeScreenshot));
    }
  }
  std::printf("open to first painted screen, warm cache (median of %d): %.3f s\n", kOpenRepeats, Median(firstFrame));
  std::printf("open to every base tile of the screen drawn, warm cache: %.3f s\n", Median(wholeScreen));
  std::printf("peak memory after the openings: %.1f MiB\n", PeakMiB());

  // Panning at zoom 18 over tiles that are new all the time.
  auto window = open();
  window->Open({area::Area{116.40, 39.90, 116.401, 39.901}, 18, QStringLiteral("Bench map"), {}});
  if (!QTest::qWaitForWindowExposed(window.get())) return 1;
  mapkit::AreaMap* map = window->Map;
  while (map->View().Scale() < std::ldexp(1.0, 18)) map->ZoomBy(2);
  PaintCounter counter;
  map->installEventFilter(&counter);
  const QPoint middle(map->width() / 2, map->height() / 2);
  QElapsedTimer clock;
  clock.start();
  int steps = 0;
  QTest::mousePress(map, Qt::LeftButton, {}, middle);
  QPoint at = middle;
  while (clock.elapsed() < panSeconds * 1000) {
    // Sweeps of 150 moves to and fro, drifting south all the time: nearly
    // every tile that comes into view is new.
    const int leg = (steps / 150) % 2 == 0 ? -kPanStepPixels : kPanStepPixels;
    at += QPoint(leg, -kPanStepPixels / 3);
    if (std::abs(at.x() - middle.x()) > 300 || std::abs(at.y() - middle.y()) > 200) {
      QTest::mouseRelease(map, Qt::LeftButton, {}, at);
      at = middle;
      QTest::mousePress(map, Qt::LeftButton, {}, at);
    }
    QTest::mouseMove(map, at);
    ++steps;
    const qint64 until = clock.elapsed() + 16;  // about 60 moves a second
    while (clock.elapsed() < until) QCoreApplication::processEvents(QEventLoop::AllEvents, 4);
  }
  QTest::mouseRelease(map, Qt::LeftButton, {}, at);
  std::printf("panned %.0f s at zoom 18: %d moves, %d frames, %lld tiles fetched, %lld from the cache, %zu requests\n",
              panSeconds, steps, counter.Frames, static_cast<long long>(map->Loader()->Fetched()),
              static_cast<long long>(map->Loader()->FromCache()), server.RequestCount());
  std::printf("disk cache: %.1f MiB\n", static_cast<double>(cache->Bytes()) / (1 << 20));
  std::printf("peak memory (whole process, the loopback server included): %.1f MiB\n", PeakMiB());
  return 0;
}
