#include "core/task/TaskFiles.h"

#include <cstddef>

#include "core/platform/Files.h"
#include "core/platform/Locale.h"
#include "core/platform/Numbers.h"
#include "core/task/Commonfunc.h"
#include "core/task/ShapeFile.h"
#include "core/task/TaskFile.h"

namespace task {

namespace {

// Shown instead of the proxy password: the log is a plain file that users pass
// around, and the password already lives in the settings file.
constexpr const char* kPasswordMask = "******";

std::string Decimal(int64_t value) { return platform::FormatInteger(value); }

std::string Fixed20(double value) { return platform::FormatFixed(value, 20, 14); }

}  // namespace

std::vector<std::string> TaskFileLines(const MDTask& task, const RunSettings& run) {
  return TaskFile::FreshLines(task, run);
}

void WriteTaskFile(const MDTask& task, const RunSettings& run) {
  if (run.ContinueTask) return;
  // The shape first: a task file never names a shape file that is not there.
  if (const std::shared_ptr<const Shape>& shape = task.Spec().Area.Shape) {
    platform::WriteFileAtomic(task.ShapeFileName(), ShapeGeoJson(*shape));
  }
  platform::WriteTextLines(task.TaskFileName(), TaskFileLines(task, run));
}

std::string ExtentLine(const MDTask& task, int32_t x, int32_t y) {
  const int32_t zoom = task.Zoom();
  return task.TileFileName(x, y) + ": " + Fixed20(TileXToLongitude(x, zoom)) + " " +
         Fixed20(TileXToLongitude(static_cast<double>(x) + 1, zoom)) + " " + Fixed20(TileYToLatitude(y, zoom)) +
         " " + Fixed20(TileYToLatitude(static_cast<double>(y) + 1, zoom));
}

void WriteExtentList(const MDTask& task, const RunSettings& run) {
  if (run.ContinueTask) return;

  // A task may hold millions of tiles (about 100 bytes of list each), so the
  // list goes to disk in chunks instead of being assembled whole in memory.
  constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
  constexpr const char* kLineEnd = "\r\n";
  const int32_t zoom = task.Zoom();

  // Every column repeats the same row edges: format them once, as long as the
  // table stays small (a task of very many rows computes them per tile).
  constexpr int64_t kMaxCachedRows = 1 << 16;
  const int64_t rows = int64_t{task.MaxY} - task.MinY + 1;
  std::string rowEdges;  // per row: " " north + " " south, 42 bytes
  const bool cacheRows = rows <= kMaxCachedRows;
  constexpr std::size_t kRowEdgeBytes = 42;
  if (cacheRows) {
    rowEdges.reserve(static_cast<std::size_t>(rows) * kRowEdgeBytes);
    std::string north = Fixed20(TileYToLatitude(task.MinY, zoom));
    for (int64_t y = task.MinY; y <= task.MaxY; ++y) {
      std::string south = Fixed20(TileYToLatitude(static_cast<double>(y) + 1, zoom));
      rowEdges += ' ';
      rowEdges += north;
      rowEdges += ' ';
      rowEdges += south;
      north = std::move(south);
    }
  }

  platform::AtomicFileWriter out(task.ListFileName);
  std::string chunk;
  chunk.reserve(kChunkBytes + 512);
  chunk += kExtentListHeader;
  chunk += kLineEnd;

  for (int64_t x = task.MinX; x <= task.MaxX; ++x) {
    const std::string columnEdges = ": " + Fixed20(TileXToLongitude(static_cast<double>(x), zoom)) + " " +
                                    Fixed20(TileXToLongitude(static_cast<double>(x) + 1, zoom));
    for (int64_t y = task.MinY; y <= task.MaxY; ++y) {
      if (!task.HasTile(static_cast<int32_t>(x), static_cast<int32_t>(y))) continue;
      chunk += task.TileFileName(static_cast<int32_t>(x), static_cast<int32_t>(y));
      chunk += columnEdges;
      if (cacheRows) {
        chunk.append(rowEdges, static_cast<std::size_t>(y - task.MinY) * kRowEdgeBytes, kRowEdgeBytes);
      } else {
        chunk += ' ';
        chunk += Fixed20(TileYToLatitude(static_cast<double>(y), zoom));
        chunk += ' ';
        chunk += Fixed20(TileYToLatitude(static_cast<double>(y) + 1, zoom));
      }
      chunk += kLineEnd;
      if (chunk.size() >= kChunkBytes) {
        out.Write(chunk);
        chunk.clear();
      }
    }
  }
  out.Write(chunk);
  out.Commit();
}

std::vector<std::string> LogHeaderLines(const MDTask& task, const RunSettings& run) {
  const TaskParameters p = task.Record();
  const ProxySettings& proxy = run.Proxy;
  std::vector<std::string> lines = {
      "Project: " + p.SavePath + p.TaskName,
      "Now time is:" + platform::CurrentDateTimeText(),
      "",
      "[MapsType]",
      "MapsType=" + Decimal(p.MapsType),
      "HistoryDate=" + p.HistoryDate,
      "",
  };
  if (p.MapsType == kMapNearmapApi && p.Nearmap) {
    const std::vector<std::string> imagery = TaskFile::NearmapLines(*p.Nearmap);
    lines.insert(lines.end(), imagery.begin(), imagery.end());
  }
  if (proxy.UseProxy) {
    lines.insert(lines.end(), {
                                  "Using Proxy:",
                                  "Proxy Server:" + proxy.ProxyServer,
                                  "Proxy Port:" + proxy.ProxyPort,
                                  "ProxyUsername:" + proxy.ProxyUsername,
                                  std::string("ProxyPassword:") + kPasswordMask,
                                  "",
                              });
  }
  lines.insert(lines.end(), {
                                "Left Longitude  input= " + task.General(p.LeftLongitude),
                                "Right Longitude input= " + task.General(p.RightLongitude),
                                "Top Latitude    input= " + task.General(p.TopLatitude),
                                "Bottom Latitude input= " + task.General(p.BottomLatitude),
                                "",
                                "MinX = " + Decimal(task.MinX),
                                "MinY = " + Decimal(task.MinY),
                                "MaxX = " + Decimal(task.MaxX),
                                "MaxY = " + Decimal(task.MaxY),
                                "",
                                "Left Longitude  download=" + task.General(task.LeftLongitudeDownload),
                                "Right Longitude download=" + task.General(task.RightLongitudeDownload),
                                "Top Latitude    download=" + task.General(task.TopLatitudeDownload),
                                "Bottom Latitude download=" + task.General(task.BottomLatitudeDownload),
                                "",
                                "All images' scope information are saved to " + task.ListFileName,
                                "",
                                "Total count of images would be downloaded: " + Decimal(task.TotalImages),
                                "",
                                "Download threads count: " + Decimal(run.ThreadCount),
                                "",
                                "Zoom level: " + Decimal(p.Zoom),
                                "",
                                "path: " + p.SavePath,
                                "",
                                "Start downloading...",
                                "~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~",
                            });
  return lines;
}

void WriteLogHeader(const MDTask& task, const RunSettings& run) {
  if (!run.ContinueTask) {
    platform::WriteTextLines(task.LogFileName, LogHeaderLines(task, run));
    return;
  }
  // The earlier run's log must exist: reading it fails with the file error.
  std::vector<std::string> lines = platform::ReadTextLines(task.LogFileName);
  lines.emplace_back("--------------------------------------------");
  lines.emplace_back("Log continue...");
  lines.push_back("Now time is:" + platform::CurrentDateTimeText());
  platform::WriteTextLines(task.LogFileName, lines);
}

void CreateFailedList(const MDTask& task, const RunSettings& run) {
  if (run.ContinueTask) return;
  platform::WriteTextLines(task.FailedListFileName, {});
}

std::string FailedRecord(const MDTask& task, int32_t x, int32_t y) {
  return task.TileFilePath(x, y) + "|" + task.TileURL(x, y);
}

std::pair<std::string, std::string> SplitFailedRecord(const std::string& record) {
  const auto bar = record.find('|');
  if (bar == std::string::npos) return {std::string(), record};
  return {record.substr(0, bar), record.substr(bar + 1)};
}

std::vector<TilePosition> GivenUpTiles(const MDTask& task) {
  std::vector<TilePosition> tiles;
  if (!platform::FileExists(task.FailedListFileName)) return tiles;
  for (const std::string& record : platform::ReadTextLines(task.FailedListFileName)) {
    const std::string target = SplitFailedRecord(record).first;
    if (target.empty()) continue;
    if (const auto tile = task.TileOfFileName(platform::ExtractFileName(target))) tiles.push_back(*tile);
  }
  return tiles;
}

}  // namespace task
