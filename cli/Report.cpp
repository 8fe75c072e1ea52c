#include "cli/Report.h"

#include <algorithm>
#include <cmath>

#include "core/platform/Numbers.h"

namespace cli {

namespace {

constexpr double kPlainEverySeconds = 10;

std::string Decimal(int64_t value) { return platform::FormatInteger(value); }

std::string Fixed(double value, int precision) { return platform::FormatFixed(value, 0, precision); }

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      static const char* const kHex = "0123456789abcdef";
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

std::string FormatDuration(double seconds) {
  const auto total = static_cast<int64_t>(std::max(0.0, std::round(seconds)));
  const int64_t minutes = total / 60 % 60;
  const int64_t secs = total % 60;
  return Decimal(total / 3600) + ":" + (minutes < 10 ? "0" : "") + Decimal(minutes) + ":" + (secs < 10 ? "0" : "") +
         Decimal(secs);
}

std::string SummaryText(const Summary& summary) {
  const run::RunCounters& c = summary.Counters;
  return "Saved: " + Decimal(c.Saved) + "\n" + "Blank substitutes: " + Decimal(c.Blank) + "\n" +
         "Given up: " + Decimal(c.GivenUp) + "\n" + "Not tried: " + Decimal(c.NotTried) + "\n" +
         "Elapsed: " + FormatDuration(summary.ElapsedSeconds) + "\n";
}

std::string SummaryJson(const Summary& summary) {
  const run::RunCounters& c = summary.Counters;
  return "{\"task\": " + JsonString(summary.Task) + ", \"total\": " + Decimal(c.Total) +
         ", \"saved\": " + Decimal(c.Saved) + ", \"blank\": " + Decimal(c.Blank) +
         ", \"givenUp\": " + Decimal(c.GivenUp) + ", \"notTried\": " + Decimal(c.NotTried) +
         ", \"elapsedSeconds\": " + Fixed(summary.ElapsedSeconds, 3) +
         ", \"interrupted\": " + (summary.Interrupted ? "true" : "false") +
         ", \"exitStatus\": " + Decimal(summary.ExitStatus) + "}\n";
}

ProgressLine::ProgressLine(std::FILE* out, bool terminal, Verbosity verbosity)
    : out_(out), terminal_(terminal), quiet_(verbosity == Verbosity::Quiet) {}

std::string ProgressLine::Text(const run::RunCounters& counters, double elapsedSeconds) {
  const int64_t done = counters.Done();
  const double percent = counters.Total > 0 ? 100.0 * static_cast<double>(done) / static_cast<double>(counters.Total) : 100.0;
  const double rate = elapsedSeconds > 0 ? static_cast<double>(done) / elapsedSeconds : 0;
  const int64_t left = std::max<int64_t>(counters.Total - done, 0);
  const std::string eta = rate > 0 ? FormatDuration(static_cast<double>(left) / rate) : "?";
  return Decimal(done) + "/" + Decimal(counters.Total) + " tiles (" + Fixed(percent, 1) + "%), " + Fixed(rate, 2) +
         " tiles/s, ETA " + eta + ", " + Decimal(counters.GivenUp) + " given up";
}

void ProgressLine::Update(const run::RunCounters& counters, double elapsedSeconds) {
  if (quiet_) return;
  if (terminal_) {
    std::fputs(("\r\x1b[K" + Text(counters, elapsedSeconds)).c_str(), out_);
    drawn_ = true;
  } else {
    if (elapsedSeconds - lastPlain_ < kPlainEverySeconds) return;
    lastPlain_ = elapsedSeconds;
    std::fputs((Text(counters, elapsedSeconds) + "\n").c_str(), out_);
  }
  std::fflush(out_);
}

void ProgressLine::Clear() {
  if (!drawn_) return;
  std::fputs("\r\x1b[K", out_);
  std::fflush(out_);
  drawn_ = false;
}

void ProgressLine::Finish() {
  if (!drawn_) return;
  std::fputs("\n", out_);
  std::fflush(out_);
  drawn_ = false;
}

}  // namespace cli
