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

std::string SummaryText(const Summary& summary) {
  const run::RunCounters& c = summary.Counters;
  return "Saved: " + Decimal(c.Saved) + "\n" + "Blank substitutes: " + Decimal(c.Blank) + "\n" +
         "Given up: " + Decimal(c.GivenUp) + "\n" + "Not tried: " + Decimal(c.NotTried) + "\n" +
         "Elapsed: " + platform::FormatDuration(summary.ElapsedSeconds) + "\n";
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
    : line_(out, terminal), quiet_(verbosity == Verbosity::Quiet) {}

std::string ProgressLine::Text(const run::RunCounters& counters, double elapsedSeconds) {
  const int64_t done = counters.Done();
  const double percent = counters.Total > 0 ? 100.0 * static_cast<double>(done) / static_cast<double>(counters.Total) : 100.0;
  const double rate = elapsedSeconds > 0 ? static_cast<double>(done) / elapsedSeconds : 0;
  const int64_t left = std::max<int64_t>(counters.Total - done, 0);
  const std::string eta = rate > 0 ? platform::FormatDuration(static_cast<double>(left) / rate) : "?";
  return Decimal(done) + "/" + Decimal(counters.Total) + " tiles (" + Fixed(percent, 1) + "%), " + Fixed(rate, 2) +
         " tiles/s, ETA " + eta + ", " + Decimal(counters.GivenUp) + " given up";
}

void ProgressLine::Update(const run::RunCounters& counters, double elapsedSeconds) {
  if (quiet_) return;
  if (!line_.Terminal()) {
    if (elapsedSeconds - lastPlain_ < kPlainEverySeconds) return;
    lastPlain_ = elapsedSeconds;
  }
  line_.Show(Text(counters, elapsedSeconds));
}

void ProgressLine::Clear() { line_.Clear(); }

void ProgressLine::Finish() { line_.Finish(); }

}  // namespace cli
