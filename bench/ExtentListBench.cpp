// Writing the image extent list of a task of about a million tiles, beside a
// plain buffered write of the same number of bytes, with the peak memory of
// each (the list must stream to disk rather than be assembled in memory).
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/task/TaskFiles.h"
#include "core/platform/Files.h"
#include "core/task/Commonfunc.h"
#include "core/task/Unitclasstask.h"

namespace {

namespace fs = std::filesystem;

// Peak resident set so far, from the kernel's high-water mark, in KiB.
long PeakRssKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Lowers the high-water mark to the current resident set, so that each
// benchmark sees its own peak (Linux: writing 5 to clear_refs).
void ResetPeakRss() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
}

long CurrentRssKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return 0;
}

class Folder {
 public:
  Folder() {
    std::string pattern = (fs::temp_directory_path() / "orvenna-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern + "/";
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// 1000 x 1000 tiles at zoom 21 around the worked example's place.
task::TaskParameters MillionTiles(const std::string& folder) {
  task::TaskParameters p;
  p.Zoom = 21;
  const int32_t x0 = task::LongitudeToTileX(116.3, p.Zoom);
  const int32_t y0 = task::LatitudeToTileY(40.0, p.Zoom);
  // Inner points of the first and last tiles, so the range is exactly 1000 x 1000.
  p.LeftLongitude = task::TileXToLongitude(x0 + 0.5, p.Zoom);
  p.RightLongitude = task::TileXToLongitude(x0 + 999.5, p.Zoom);
  p.TopLatitude = task::TileYToLatitude(y0 + 0.5, p.Zoom);
  p.BottomLatitude = task::TileYToLatitude(y0 + 999.5, p.Zoom);
  p.SavePath = folder;
  p.TaskName = "bench.otsk";
  return p;
}

void BM_WriteExtentList(benchmark::State& state) {
  Folder folder;
  const task::TaskParameters params = MillionTiles(folder.Path());
  const task::MDTask task(params);
  if (task.TotalImages != 1000000) {
    state.SkipWithError("range is not 1000 x 1000");
    return;
  }
  ResetPeakRss();
  const long before = CurrentRssKiB();
  for (auto _ : state) task::WriteExtentList(task);
  const long bytes = static_cast<long>(fs::file_size(task.ListFileName));
  state.SetBytesProcessed(state.iterations() * bytes);
  state.counters["tiles"] = task.TotalImages;
  state.counters["file_MiB"] = bytes / 1048576.0;
  state.counters["peak_rss_growth_KiB"] = static_cast<double>(PeakRssKiB() - before);
}
BENCHMARK(BM_WriteExtentList)->Unit(benchmark::kMillisecond)->Iterations(5);

// The same number of bytes through stdio with a 1 MiB buffer: what the disk
// and the page cache cost without any formatting. Argument 1 adds the fsync
// that the atomic writer does before its rename.
void BM_PlainBufferedWrite(benchmark::State& state) {
  Folder folder;
  const task::TaskParameters params = MillionTiles(folder.Path());
  const task::MDTask task(params);
  task::WriteExtentList(task);
  const std::size_t total = fs::file_size(task.ListFileName);
  const std::string line = task::ExtentLine(task, task.MinX, task.MinY) + "\r\n";
  const std::string path = folder.Path() + "plain.txt";
  std::vector<char> buffer(std::size_t{1} << 20);

  ResetPeakRss();
  const long before = CurrentRssKiB();
  for (auto _ : state) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
      state.SkipWithError("cannot create the file");
      return;
    }
    std::setvbuf(out, buffer.data(), _IOFBF, buffer.size());
    std::size_t left = total;
    while (left > 0) {
      const std::size_t n = std::min(left, line.size());
      std::fwrite(line.data(), 1, n, out);
      left -= n;
    }
    std::fflush(out);
    if (state.range(0) != 0) fsync(fileno(out));
    std::fclose(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * total));
  state.counters["file_MiB"] = total / 1048576.0;
  state.counters["peak_rss_growth_KiB"] = static_cast<double>(PeakRssKiB() - before);
}
BENCHMARK(BM_PlainBufferedWrite)->Arg(0)->Arg(1)->ArgName("fsync")->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
