#include "consolekit/PacedLine.h"

namespace consolekit {

PacedLine::PacedLine(std::FILE* out, bool terminal, Verbosity verbosity, Clock::duration redrawEvery,
                     Clock::time_point now)
    : out_(out),
      line_(out, terminal),
      quiet_(verbosity == Verbosity::Quiet),
      every_(terminal ? redrawEvery : kPlainLineEvery),
      lastShown_(now) {}

void PacedLine::Show(const std::string& text, Clock::time_point now) {
  if (quiet_) return;
  lastShown_ = now;
  if (text == shown_) return;
  shown_ = text;
  line_.Show(text);
}

void PacedLine::WriteLine(const std::string& text) {
  if (quiet_) return;
  line_.Finish();
  std::fputs((text + "\n").c_str(), out_);
}

}  // namespace consolekit
