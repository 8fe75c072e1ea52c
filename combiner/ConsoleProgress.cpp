#include "combiner/ConsoleProgress.h"

#include "consolekit/StopSignals.h"
#include "core/platform/Numbers.h"

namespace combiner {

ConsoleProgress::ConsoleProgress(std::FILE* out, bool terminal, consolekit::Verbosity verbosity)
    : line_(out, terminal, verbosity), verbose_(verbosity == consolekit::Verbosity::Verbose) {}

bool ConsoleProgress::CancelRequested() const { return consolekit::StopSignalsReceived() > 0; }

std::string ConsoleProgress::Text(const std::string& stage, double fraction, double stageSeconds) {
  std::string text = stage + ": " + platform::FormatFixed(100 * fraction, 0, 1) + "%";
  if (fraction > 0 && fraction < 1) text += ", " + platform::FormatDuration(stageSeconds * (1 - fraction) / fraction) + " left";
  return text;
}

std::string ConsoleProgress::Latest(Clock::time_point now) const {
  return Text(stage_, fraction_, std::chrono::duration<double>(now - stageStart_).count());
}

void ConsoleProgress::Report(const std::string& stage, double fraction) {
  if (line_.Quiet()) return;
  const Clock::time_point now = Clock::now();
  const bool newStage = stage != stage_;
  if (newStage) {
    stage_ = stage;
    stageStart_ = now;
    if (verbose_) line_.WriteLine(stage);
  }
  fraction_ = fraction;
  if (line_.Due(now) || fraction >= 1 || (line_.Terminal() && newStage)) line_.Show(Latest(now), now);
}

void ConsoleProgress::Finish() {
  const Clock::time_point now = Clock::now();
  if (!stage_.empty()) line_.Show(Latest(now), now);
  line_.Finish();
}

}  // namespace combiner
