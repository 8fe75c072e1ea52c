// An unpaced download as a user with a tile source of their own runs it:
// orvenna-cli "new ... --run" against `curl --parallel --parallel-max 8` and
// `aria2c -j8`, all three fetching the same tiles (about 12 kB each) from
// nginx on the loopback into the same file names, taking turns, 5 runs each,
// for 10,000 and 100,000 tiles. Prints each program's median wall time, CPU
// time and peak memory (of the program alone, from wait4) and the program's
// ratios to the other two.
//
// A first round, not counted, warms the caches up. Before every run the
// previous run's files are moved aside and the file system synced, so no run
// pays for another's writes. The downloads go to a folder
// on the same file system as /tmp (a tmpfs there makes every flush free: the
// benchmark says so), or to --folder.
//
// Usage: orvenna_bench_download [--tiles N]... [--runs N] [--folder DIR]
//          [--aria2-runs N]  fewer runs of aria2c, which takes far longer
//          [--also PATH]     another orvenna-cli (an older build) in the turns
//          [--wrap "CMD ARGS"]  after the turns, one more run of the program
//                               under CMD (strace -c -f -o FILE, perf record -g -o FILE)
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/ChildUsage.h"
#include "core/platform/Numbers.h"
#include "core/run/ConfigFile.h"
#include "core/task/Commonfunc.h"
#include "core/task/TileSource.h"
#include "tests/support/RealPeers.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileImages.h"

namespace {

constexpr int32_t kZoom = 21;
constexpr int32_t kFirstColumn = 1700000;
constexpr int32_t kFirstRow = 800000;
constexpr std::size_t kTileBytes = 12 * 1024;
constexpr const char* kSourceName = "Bench";
constexpr const char* kPrefix = "b";
constexpr int64_t kLinksPerFile = 50000;

using Usage = bench::ChildUsage;

struct Program {
  std::string Name;
  std::vector<std::string> Argv;
  std::vector<Usage> Runs;
};

struct Options {
  std::vector<int64_t> Tiles;
  int Runs = 5;
  int Aria2Runs = -1;  // as Runs
  std::string Folder;
  std::string Also;
  std::string Wrap;
};

void Print(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

std::string Fixed(double value, int precision) { return platform::FormatFixed(value, 0, precision); }
std::string Decimal(int64_t value) { return platform::FormatInteger(value); }

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

std::string Coordinate(double value) { return platform::FormatGeneral(value, '.'); }

// Columns and rows of a block of about tiles tiles, as square as it gets.
std::pair<int32_t, int32_t> BlockOf(int64_t tiles) {
  auto columns = static_cast<int32_t>(std::max<int64_t>(1, static_cast<int64_t>(std::sqrt(static_cast<double>(tiles)))));
  while (tiles % columns != 0) --columns;
  return {columns, static_cast<int32_t>(tiles / columns)};
}

std::string TileName(int32_t x, int32_t y) { return std::string(kPrefix) + "_" + Decimal(x) + "_" + Decimal(y) + "_21.jpg"; }

class Bench {
 public:
  Bench(const Options& options, const testsupport::NginxPeer& nginx, std::string tile, const std::string& work,
        const std::string& config)
      : options_(options), nginx_(nginx), tile_(std::move(tile)), work_(work), config_(config) {}

  void RunSize(int64_t tiles) {
    const auto [columns, rows] = BlockOf(tiles);
    const std::string folder = work_ + "t" + Decimal(tiles) + "/";
    const std::string tileFolder = folder + "b/";
    WriteLists(columns, rows, tileFolder);
    Print("");
    Print(Decimal(tiles) + " tiles (" + Decimal(columns) + " x " + Decimal(rows) + "), " + Decimal(options_.Runs) +
          " runs each, taking turns");

    std::vector<Program> programs;
    programs.push_back({"orvenna-cli", Ours(ORVENNA_CLI_PROGRAM, folder, columns, rows), {}});
    programs.push_back({"curl", {"curl", "--parallel", "--parallel-max", "8", "-s", "-K", curlList_}, {}});
    programs.push_back({"aria2c", {"aria2c", "-j8", "-q", "-i", ariaList_, "-d", tileFolder}, {}});
    if (!options_.Also.empty()) programs.push_back({"also", Ours(options_.Also, folder, columns, rows), {}});

    // Round 0 warms the caches and the file system up and is not counted.
    for (int run = 0; run <= options_.Runs; ++run) {
      for (Program& program : programs) {
        if (program.Name == "aria2c" && options_.Aria2Runs >= 0 && run > options_.Aria2Runs) continue;
        if (run == 0 && program.Name == "aria2c") continue;  // too slow to warm up with
        Clean(folder, tileFolder, program.Name != "orvenna-cli" && program.Name != "also");
        const Usage usage = bench::RunChild(program.Argv, work_ + "output.txt");
        const int64_t files = CountFiles(tileFolder);
        if (usage.Status != 0 || files != tiles) {
          throw std::runtime_error(program.Name + " ended with status " + Decimal(usage.Status) + " and " +
                                   Decimal(files) + " files; its output is in " + work_ + "output.txt");
        }
        if (run == 0) continue;
        program.Runs.push_back(usage);
        Print("  run " + Decimal(run) + " " + program.Name + ": wall " + Fixed(usage.WallSeconds, 2) + " s, CPU " +
              Fixed(usage.CpuSeconds, 2) + " s, peak " + Fixed(usage.PeakMiB, 1) + " MiB");
      }
    }
    if (options_.Runs > 0) Summarise(programs);
    if (!options_.Wrap.empty()) {
      Clean(folder, tileFolder, false);
      std::vector<std::string> argv = Words(options_.Wrap);
      for (const std::string& a : programs.front().Argv) argv.push_back(a);
      const Usage usage = bench::RunChild(argv, work_ + "output.txt");
      Print("  under " + options_.Wrap + ": status " + Decimal(usage.Status) + ", wall " + Fixed(usage.WallSeconds, 2) +
            " s (output in " + work_ + "output.txt)");
    }
    std::filesystem::remove_all(folder);
    RemoveDone();
  }

 private:
  // The first program is ours.
  static void Summarise(const std::vector<Program>& programs) {
    const auto medianOf = [](const std::vector<Usage>& runs, double Usage::*field) {
      std::vector<double> values;
      for (const Usage& u : runs) values.push_back(u.*field);
      return Median(values);
    };
    const Program& ours = programs.front();
    Print("  medians:");
    for (const Program& program : programs) {
      if (program.Runs.empty()) continue;
      Print("    " + program.Name + ": wall " + Fixed(medianOf(program.Runs, &Usage::WallSeconds), 2) + " s, CPU " +
            Fixed(medianOf(program.Runs, &Usage::CpuSeconds), 2) + " s, peak " +
            Fixed(medianOf(program.Runs, &Usage::PeakMiB), 1) + " MiB");
    }
    for (std::size_t i = 1; i < programs.size(); ++i) {
      const Program& other = programs[i];
      if (other.Runs.empty()) continue;
      Print("    orvenna-cli / " + other.Name + ": wall " +
            Fixed(medianOf(ours.Runs, &Usage::WallSeconds) / medianOf(other.Runs, &Usage::WallSeconds), 2) + "x, CPU " +
            Fixed(medianOf(ours.Runs, &Usage::CpuSeconds) / medianOf(other.Runs, &Usage::CpuSeconds), 2) + "x");
    }
  }

  std::vector<std::string> Ours(const std::string& program, const std::string& folder, int32_t columns, int32_t rows) const {
    return {program, "new", "--name", "b", "--type", kSourceName, "--folder", folder,
            "--left", Coordinate(task::TileXToLongitude(kFirstColumn + 0.5, kZoom)),
            "--right", Coordinate(task::TileXToLongitude(kFirstColumn + columns - 0.5, kZoom)),
            "--top", Coordinate(task::TileYToLatitude(kFirstRow + 0.5, kZoom)),
            "--bottom", Coordinate(task::TileYToLatitude(kFirstRow + rows - 0.5, kZoom)),
            "--zoom", Decimal(kZoom), "--config", config_, "-q", "--run"};
  }

  // The same URLs and file names for curl and aria2c, and the tiles on the
  // server (hard links of one file: the server's side costs the same for all).
  void WriteLists(int32_t columns, int32_t rows, const std::string& tileFolder) {
    curlList_ = work_ + "curl.txt";
    ariaList_ = work_ + "aria2.txt";
    std::string curl;
    std::string aria;
    int64_t links = 0;
    for (int32_t x = kFirstColumn; x < kFirstColumn + columns; ++x) {
      for (int32_t y = kFirstRow; y < kFirstRow + rows; ++y) {
        const std::string served = Decimal(kZoom) + "_" + Decimal(x) + "_" + Decimal(y) + ".jpg";
        const std::string url = "http://" + nginx_.HostPort() + "/maps/" + served;
        curl += "url = \"" + url + "\"\noutput = \"" + tileFolder + TileName(x, y) + "\"\n";
        aria += url + "\n  out=" + TileName(x, y) + "\n";
        // A file takes at most 65,000 links on ext4.
        const std::string original = nginx_.TileFolder() + "tile" + Decimal(links++ / kLinksPerFile) + ".jpg";
        if (!std::filesystem::exists(original)) testsupport::WriteFileBytes(original, tile_);
        std::error_code error;
        std::filesystem::create_hard_link(original, nginx_.TileFolder() + served, error);
      }
    }
    testsupport::WriteFileBytes(curlList_, curl);
    testsupport::WriteFileBytes(ariaList_, aria);
  }

  // Moves the last run's files aside (removed after the series: ext4 hands
  // out inodes slowly for some 30 s after many were deleted, which would charge
  // each run for the removal before it) and lets the disk catch up, so that no
  // run pays for another's writes. The program makes its own folders; the
  // others get the tile folder.
  void Clean(const std::string& folder, const std::string& tileFolder, bool makeTileFolder) {
    if (std::filesystem::exists(folder)) std::filesystem::rename(folder, work_ + "done" + Decimal(done_++));
    std::filesystem::create_directories(makeTileFolder ? tileFolder : folder);
    ::sync();
  }

  void RemoveDone() {
    while (done_ > 0) std::filesystem::remove_all(work_ + "done" + Decimal(--done_));
  }

  static int64_t CountFiles(const std::string& folder) {
    std::error_code error;
    int64_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) count += entry.is_regular_file() ? 1 : 0;
    return count;
  }

  const Options& options_;
  const testsupport::NginxPeer& nginx_;
  std::string tile_;
  std::string work_;
  std::string config_;
  std::string curlList_;
  std::string ariaList_;
  int done_ = 0;
};

Options Parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--tiles" && hasValue) {
      options.Tiles.push_back(platform::ParseInteger(argv[++i]).value_or(0));
    } else if (arg == "--runs" && hasValue) {
      options.Runs = static_cast<int>(platform::ParseInteger(argv[++i]).value_or(0));
    } else if (arg == "--aria2-runs" && hasValue) {
      options.Aria2Runs = static_cast<int>(platform::ParseInteger(argv[++i]).value_or(0));
    } else if (arg == "--folder" && hasValue) {
      options.Folder = argv[++i];
    } else if (arg == "--also" && hasValue) {
      options.Also = argv[++i];
    } else if (arg == "--wrap" && hasValue) {
      options.Wrap = argv[++i];
    } else {
      throw std::runtime_error("usage: orvenna_bench_download [--tiles N]... [--runs N] [--aria2-runs N] [--folder DIR] "
                               "[--also PATH] [--wrap \"CMD ARGS\"]");
    }
  }
  if (options.Tiles.empty()) options.Tiles = {10000, 100000};
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Options options = Parse(argc, argv);
    for (const char* program : {"nginx", "curl", "aria2c"}) {
      if (testsupport::FindProgram(program).empty()) {
        Print(std::string(program) + " is not installed (scripts/install-deps installs it)");
        return 1;
      }
    }
    testsupport::NginxPeer nginx;
    // A tile the program takes for one, padded to the size of a photograph's.
    const std::string blank = testsupport::TileImage("");
    const std::string tile = testsupport::TileImage(std::string(kTileBytes - blank.size() - 4, 'x'));

    std::optional<testsupport::TempDir> temporary;
    std::string work = options.Folder;
    if (work.empty()) {
      temporary.emplace();
      work = temporary->Path();
    }
    if (work.back() != '/') work += '/';
    std::filesystem::create_directories(work);
    struct statfs info {};
    if (::statfs(work.c_str(), &info) == 0 && info.f_type == 0x01021994) {
      Print("warning: " + work + " is on a tmpfs: flushes cost nothing there (use --folder)");
    }

    const std::string config = work + "config.ini";
    task::TileSource source;
    source.Name = kSourceName;
    source.UrlTemplate = "http://" + nginx.HostPort() + "/maps/{z}_{x}_{y}.jpg";
    source.FilePrefix = kPrefix;
    source.MinZoom = 1;
    source.MaxZoom = kZoom;
    source.PauseMs = 0;
    source.MaxWorkers = 8;
    run::ConfigFile(config).WriteSource(source, "");

    Print("unpaced download of a tile source from nginx on the loopback, " + Decimal(kTileBytes / 1024) +
          " kB tiles, into " + work);
    Bench bench(options, nginx, tile, work, config);
    for (const int64_t tiles : options.Tiles) bench.RunSize(tiles);
    return 0;
  } catch (const std::exception& error) {
    Print(std::string("orvenna_bench_download: ") + error.what());
    return 1;
  }
}
