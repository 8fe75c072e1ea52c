#include "cli/Report.h"

#include <algorithm>
#include <cmath>

#include "core/platform/Files.h"
#include "core/platform/Numbers.h"
#include "core/run/ProgressText.h"

namespace cli {

namespace {

std::string Decimal(int64_t value) { return platform::FormatInteger(value); }

std::string Fixed(double value, int precision) { return platform::FormatFixed(value, 0, precision); }

}  // namespace

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

std::string GivenUpAccount(const std::map<std::string, int64_t>& reasons) {
  std::vector<std::pair<std::string, int64_t>> sorted(reasons.begin(), reasons.end());
  std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  int64_t total = 0;
  std::string parts;
  for (const auto& [reason, count] : sorted) {
    total += count;
    parts += (parts.empty() ? "" : ", ") + Decimal(count) + " x " + reason;
  }
  return Decimal(total) + (total == 1 ? " tile" : " tiles") + " given up: " + parts;
}

std::string CensusLine(const task::CensusCounts& counts) {
  using task::TileState;
  std::string line = "Task: " + Decimal(counts.Total()) + " tiles:";
  const char* separator = " ";
  for (const TileState state :
       {TileState::Saved, TileState::Blank, TileState::GivenUp, TileState::Missing, TileState::Unreadable}) {
    line += separator + Decimal(counts[state]) + " " + task::TileStateName(state);
    separator = ", ";
  }
  return line;
}

std::string CensusJson(const task::CensusCounts& counts) {
  using task::TileState;
  return "{\"tiles\": " + Decimal(counts.Total()) + ", \"saved\": " + Decimal(counts[TileState::Saved]) +
         ", \"blank\": " + Decimal(counts[TileState::Blank]) + ", \"givenUp\": " + Decimal(counts[TileState::GivenUp]) +
         ", \"missing\": " + Decimal(counts[TileState::Missing]) +
         ", \"unreadable\": " + Decimal(counts[TileState::Unreadable]) + ", \"holes\": " + Decimal(counts.Holes()) +
         "}";
}

std::string ShellWord(const std::string& text) {
  const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' || c == '.' ||
           c == '_' || c == '-' || c == '+' || c == ',' || c == ':' || c == '@';
  });
  if (plain) return text;
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

void WriteJson(const std::string& path, const std::string& json) {
  if (path != "-") {
    platform::WriteFileAtomic(path, json);
    return;
  }
  std::fputs(json.c_str(), stdout);
  std::fflush(stdout);
}

namespace {

// A refusal's message on one line.
std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

}  // namespace

std::string SummaryText(const Summary& summary) {
  const run::RunCounters& c = summary.Counters;
  std::string text = "Saved: " + Decimal(c.Saved) + "\n" + "Blank substitutes: " + Decimal(c.Blank) + "\n" +
                     "Given up: " + Decimal(c.GivenUp) + "\n" + "Not tried: " + Decimal(c.NotTried) + "\n" +
                     "Elapsed: " + platform::FormatDuration(summary.ElapsedSeconds) + "\n";
  if (!summary.GivenUpReasons.empty()) text += GivenUpAccount(summary.GivenUpReasons) + "\n";
  for (const std::string& message : summary.StopMessages) text += "Stopped: " + OneLine(message) + "\n";
  if (summary.Census) text += CensusLine(*summary.Census) + "\n";
  if (!summary.NextStep.empty()) text += summary.NextStep + "\n";
  return text;
}

std::string SummaryJson(const Summary& summary) {
  const run::RunCounters& c = summary.Counters;
  std::string reasons;
  for (const auto& [reason, count] : summary.GivenUpReasons) {
    reasons += (reasons.empty() ? "" : ", ") + JsonString(reason) + ": " + Decimal(count);
  }
  std::string stops;
  for (const std::string& message : summary.StopMessages) stops += (stops.empty() ? "" : ", ") + JsonString(message);
  return "{\"task\": " + JsonString(summary.Task) + ", \"total\": " + Decimal(c.Total) +
         ", \"saved\": " + Decimal(c.Saved) + ", \"blank\": " + Decimal(c.Blank) +
         ", \"givenUp\": " + Decimal(c.GivenUp) + ", \"notTried\": " + Decimal(c.NotTried) +
         ", \"elapsedSeconds\": " + Fixed(summary.ElapsedSeconds, 3) +
         ", \"interrupted\": " + (summary.Interrupted ? "true" : "false") +
         ", \"exitStatus\": " + Decimal(summary.ExitStatus) + ", \"givenUpReasons\": {" + reasons + "}" +
         ", \"stopReasons\": [" + stops + "]" +
         ", \"census\": " + (summary.Census ? CensusJson(*summary.Census) : std::string("null")) +
         ", \"nextStep\": " + JsonString(summary.NextStep) + "}\n";
}

std::string ProgressLine::Text(const run::RunCounters& counters, double elapsedSeconds) {
  return run::ProgressText(counters, elapsedSeconds);
}

void ProgressLine::Update(const run::RunCounters& counters, double elapsedSeconds) {
  const auto now = consolekit::PacedLine::Clock::now();
  if (line_.Due(now)) line_.Show(Text(counters, elapsedSeconds), now);
}

}  // namespace cli
