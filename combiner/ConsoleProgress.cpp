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
      line_.Finish();
      std::fputs((stage + "\n").c_str(), out_);
    }
  }
  fraction_ = fraction;
  const bool terminal = line_.Terminal();
  const bool due = now - lastShown_ >= (terminal ? std::chrono::duration_cast<Clock::duration>(kRedrawEvery)
                                                  : std::chrono::duration_cast<Clock::duration>(kPlainLineEvery));
  if (due || fraction >= 1 || (terminal && newStage)) ShowLatest(now);
}

void ConsoleProgress::ShowLatest(Clock::time_point now) {
  const std::string text = Text(stage_, fraction_, std::chrono::duration<double>(now - stageStart_).count());
  lastShown_ = now;
  if (text == shown_) return;
  shown_ = text;
  line_.Show(text);
}

void ConsoleProgress::Finish() {
  if (!stage_.empty()) ShowLatest(Clock::now());
  line_.Finish();
}

}  // namespace combiner
