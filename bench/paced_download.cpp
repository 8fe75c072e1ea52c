// A whole download at the program's own pace: 8 workers fetch 300 tiles from
// the loopback tile server. Prints the wall time beside the least time the
// pauses allow (per worker its start pause plus 1000 ms per saved tile; the
// slowest worker decides), their ratio, and the CPU time per tile of the
// process (workers and the loopback server together).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "core/download/HttpClient.h"
#include "core/download/Unit3.h"
#include "core/platform/Files.h"
#include "core/platform/Numbers.h"
#include "core/task/Unitclasstask.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileServer.h"
#include "tests/support/WorkerHarness.h"

namespace {

constexpr int32_t kWorkers = 8;
const testsupport::TileBlock kBlock{6742, 3101, 20, 15, 13};

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void Print(const std::string& line) { std::fputs((line + "\n").c_str(), stdout); }

}  // namespace

int main() {
  download::HttpClient::GlobalInit();
  testsupport::TempDir save;
  testsupport::TempDir program;
  testsupport::MakeBlankImage(program.Path(), "blank");
  testsupport::TileServer server;

  task::TaskParameters params = testsupport::BlockParameters(save.Path(), kBlock);
  task::TaskOptions options;
  options.TileHost = server.HostPort();
  const task::MDTask task(params, options);
  const int64_t tiles = task.TotalImages;

  testsupport::SerialCaller caller;
  testsupport::RecordingSink sink;
  download::WorkerEnvironment env;
  env.Caller = &caller;
  env.Sink = &sink;
  env.ProgramFolder = program.Path();  // Pace and Limits keep the program's values
  env.Run = testsupport::BlockRun(kWorkers);
  // Tiles flushed in groups, as a run of the program flushes them.
  platform::DurableBatch batch;
  env.Durable = &batch;

  const double cpuBefore = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  {
    auto workers = testsupport::StartWorkers(kWorkers, task, env);
    if (!sink.WaitForFinished(kWorkers, std::chrono::minutes(10))) {
      Print("workers did not finish");
      for (auto& worker : workers) worker->Terminate();
      return 1;
    }
  }
  batch.MakeDurable();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = CpuSeconds() - cpuBefore;

  const download::Pacing pace;
  double ideal = 0;
  for (int32_t slot = 0; slot < kWorkers; ++slot) {
    int64_t share = 0;
    for (int64_t p = 1; p <= tiles; ++p) share += p % kWorkers == slot ? 1 : 0;
    const double slotSeconds = (slot * pace.StartStaggerMs + share * pace.AfterSavedMs) / 1000.0;
    if (slotSeconds > ideal) ideal = slotSeconds;
  }

  int64_t saved = 0;
  for (const std::string& line : sink.LogLines()) saved += line.find(":seq=") != std::string::npos ? 1 : 0;

  Print("paced download: " + platform::FormatInteger(tiles) + " tiles, " + platform::FormatInteger(kWorkers) +
        " workers, " + platform::FormatInteger(saved) + " saved, " +
        platform::FormatInteger(static_cast<int64_t>(sink.FailedLines().size())) + " failed");
  Print("wall time      " + platform::FormatFixed(wall, 9, 3) + " s");
  Print("ideal (pauses) " + platform::FormatFixed(ideal, 9, 3) + " s");
  Print("ratio          " + platform::FormatFixed(wall / ideal, 9, 4));
  Print("CPU per tile   " + platform::FormatFixed(cpu * 1000.0 / static_cast<double>(tiles), 9, 3) + " ms");
  return saved == tiles ? 0 : 1;
}
