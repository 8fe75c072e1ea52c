#include "combiner/ConsoleProgress.h"

#include "core/platform/Numbers.h"

namespace combiner {

namespace {

constexpr auto kRedrawEvery = std::chrono::milliseconds(200);
constexpr auto kPlainLineEvery = std::chrono::seconds(10);

}  // namespace

ConsoleProgress::ConsoleProgress(std::FILE* out, bool terminal, Verbosity verbosity, const std::atomic<int>& stopSignals)
    : out_(out), line_(out, terminal), verbosity_(verbosity), stopSignals_(stopSignals) {}

std::string ConsoleProgress::Text(const std::string& stage, double fraction, double stageSeconds) {
  std::string text = stage + ": " + platform::FormatFixed(100 * fraction, 0, 1) + "%";
  if (fraction > 0 && fraction < 1) text += ", " + platform::FormatDuration(stageSeconds * (1 - fraction) / fraction) + " left";
  return text;
}

void ConsoleProgress::Report(const std::string& stage, double fraction) {
  if (verbosity_ == Verbosity::Quiet) return;
  const Clock::time_point now = Clock::now();
  const bool newStage = stage != stage_;
  if (newStage) {
    stage_ = stage;
    stageStart_ = now;
    if (verbosity_ == Verbosity::Verbose) {
      Finish();
      std::fputs((stage + "\n").c_str(), out_);
    }
  }
  const bool terminal = line_.Terminal();
  const bool due = now - lastShown_ >= (terminal ? std::chrono::duration_cast<Clock::duration>(kRedrawEvery)
                                                  : std::chrono::duration_cast<Clock::duration>(kPlainLineEvery));
  if (!due && !(terminal && (newStage || fraction >= 1))) return;
  lastShown_ = now;
  line_.Show(Text(stage, fraction, std::chrono::duration<double>(now - stageStart_).count()));
}

void ConsoleProgress::Finish() { line_.Finish(); }

}  // namespace combiner
