#include "tests/support/WorkerHarness.h"

#include <filesystem>

#include "core/platform/Files.h"
#include "core/task/Commonfunc.h"
#include "tests/support/TempDir.h"

namespace testsupport {

namespace {
thread_local bool t_inMainThread = false;
}

void SerialCaller::Synchronize(const std::function<void()>& action) {
  std::lock_guard<std::mutex> lock(mutex_);
  t_inMainThread = true;
  try {
    action();
  } catch (...) {
    t_inMainThread = false;
    throw;
  }
  t_inMainThread = false;
}

std::unique_lock<std::mutex> SerialCaller::Hold() { return std::unique_lock<std::mutex>(mutex_); }

bool SerialCaller::InMainThread() { return t_inMainThread; }

void RecordingSink::Add(SinkEvent::Kind kind, const std::string& text) {
  const bool inside = SerialCaller::InMainThread();
  std::lock_guard<std::mutex> lock(mutex_);
  events_.push_back(SinkEvent{kind, text, std::chrono::steady_clock::now()});
  if (!inside) ++outside_;
}

void RecordingSink::AddLogLine(const std::string& line) { Add(SinkEvent::Kind::Log, line); }
void RecordingSink::AddFailedLine(const std::string& line) { Add(SinkEvent::Kind::Failed, line); }
void RecordingSink::NotifyFinished() { Add(SinkEvent::Kind::Finished, std::string()); }

std::vector<SinkEvent> RecordingSink::Events() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_;
}

std::vector<std::string> RecordingSink::LogLines() const {
  std::vector<std::string> lines;
  for (const SinkEvent& e : Events()) {
    if (e.What == SinkEvent::Kind::Log) lines.push_back(e.Text);
  }
  return lines;
}

std::vector<std::string> RecordingSink::FailedLines() const {
  std::vector<std::string> lines;
  for (const SinkEvent& e : Events()) {
    if (e.What == SinkEvent::Kind::Failed) lines.push_back(e.Text);
  }
  return lines;
}

int RecordingSink::FinishedCount() const {
  int count = 0;
  for (const SinkEvent& e : Events()) count += e.What == SinkEvent::Kind::Finished ? 1 : 0;
  return count;
}

int RecordingSink::CallsOutsideMainThread() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return outside_;
}

std::vector<std::string> RecordingSink::LinesOf(int threadNumber) const {
  const std::string number = "T" + std::to_string(threadNumber);
  std::vector<std::string> lines;
  for (const std::string& line : LogLines()) {
    if (line.size() > number.size() && line.compare(0, number.size(), number) == 0 &&
        (line[number.size()] == ':' || line[number.size()] == ' ')) {
      lines.push_back(line);
    }
  }
  return lines;
}

bool RecordingSink::WaitForFinished(int count, std::chrono::milliseconds deadline) const {
  return WaitFor([&] { return FinishedCount() >= count; }, deadline);
}

download::Pacing ScaledPacing(int unitMs) {
  download::Pacing pace;
  pace.StartStaggerMs = unitMs / 10;
  pace.AfterSavedMs = unitMs;
  pace.AddressInUseMs = 8 * unitMs;
  pace.RefusedMs = unitMs;
  pace.NetworkMs = 2 * unitMs;
  pace.NotFoundMs = unitMs;
  pace.OtherMs = unitMs;
  pace.ResetPauseMs = unitMs / 10;
  pace.ResetPauseMaxMs = 5 * unitMs;
  pace.BackoffFirstMs = unitMs;
  pace.BackoffMaxMs = 32 * unitMs;
  return pace;
}

task::TaskParameters BlockParameters(const std::string& savePath, const TileBlock& block,
                                     const std::string& taskName) {
  task::TaskParameters p;
  p.Zoom = block.Zoom;
  // The middle of the border tiles: far from any boundary.
  p.LeftLongitude = task::TileXToLongitude(block.X0 + 0.5, block.Zoom);
  p.RightLongitude = task::TileXToLongitude(block.X0 + block.Columns - 0.5, block.Zoom);
  p.TopLatitude = task::TileYToLatitude(block.Y0 + 0.5, block.Zoom);
  p.BottomLatitude = task::TileYToLatitude(block.Y0 + block.Rows - 0.5, block.Zoom);
  p.SavePath = savePath;
  p.TaskName = taskName;
  return p;
}

task::RunSettings BlockRun(int32_t threadCount) {
  task::RunSettings run;
  run.ThreadCount = threadCount;
  run.ThreadSlots = threadCount;
  return run;
}

std::string UrlPath(const std::string& url) {
  const auto scheme = url.find("://");
  const auto start = scheme == std::string::npos ? 0 : scheme + 3;
  const auto slash = url.find('/', start);
  return slash == std::string::npos ? std::string("/") : url.substr(slash);
}

void MakeBlankImage(const std::string& programFolder, const std::string& bytes,
                    const std::string& extension) {
  const std::string folder = programFolder + "blankimg";
  std::filesystem::create_directories(folder);
  WriteFileBytes(folder + platform::kPathSeparator + "blank." + extension, bytes);
}

std::vector<std::unique_ptr<download::TDownThread>> StartWorkers(
    int32_t count, const task::MDTask& task, const download::WorkerEnvironment& environment) {
  std::vector<std::unique_ptr<download::TDownThread>> workers;
  for (int32_t slot = 0; slot < count; ++slot) {
    workers.push_back(std::make_unique<download::TDownThread>(false, slot, task, environment));
  }
  return workers;
}

}  // namespace testsupport
