// What orvenna-cli's command line accepts, and what it refuses.
#include "cli/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/Parts.h"
#include "core/platform/Numbers.h"
#include "cli/Report.h"

namespace cli {
namespace {

TEST(CommandLine, AcceptsEachCommandsOptionsInEitherForm) {
  const Invocation run = ParseCommandLine({"run", "-v", "t.otsk", "--json=s.json", "--config", "c.ini"});
  EXPECT_EQ(run.What, Command::Run);
  EXPECT_EQ(run.Operands, std::vector<std::string>{"t.otsk"});
  EXPECT_TRUE(run.Has("verbose"));
  EXPECT_EQ(run.Value("json"), "s.json");
  EXPECT_EQ(run.Value("config"), "c.ini");
  EXPECT_EQ(ParseCommandLine({"new", "--name", "-x", "--left", "-10", "--dry-run"}).Value("left"), "-10");
  EXPECT_EQ(ParseCommandLine({"retry", "--", "-odd.ftl"}).Operands, std::vector<std::string>{"-odd.ftl"});
  EXPECT_EQ(ParseCommandLine({"--help"}).What, Command::Help);
  EXPECT_EQ(ParseCommandLine({"run", "t.otsk", "-h"}).What, Command::Help);
}

TEST(CommandLine, RefusesWhatItCannotMeanWithAReason) {
  const struct {
    std::vector<std::string> arguments;
    std::string reason;
  } cases[] = {
      {{}, "no command given"},
      {{"fetch"}, "unknown command 'fetch'"},
      {{"run"}, "'run' takes a task file"},
      {{"run", "a.otsk", "b.otsk"}, "'run' takes a task file"},
      {{"new", "x"}, "'new' takes no operand"},
      {{"run", "a.otsk", "--output", "f"}, "'run' has no option '--output'"},
      {{"run", "a.otsk", "--json"}, "option '--json' needs a value"},
      {{"new", "--run=yes"}, "option '--run' takes no value"},
      {{"run", "a.otsk", "-x"}, "unknown option '-x'"},
      {{"run", "a.otsk", "-q", "-v"}, "-q and -v exclude each other"},
  };
  for (const auto& c : cases) {
    try {
      ParseCommandLine(c.arguments);
      ADD_FAILURE() << "accepted: " << c.reason;
    } catch (const UsageError& error) {
      EXPECT_EQ(error.what(), c.reason);
    }
  }
}

TEST(CommandLine, PartIsKOfN) {
  EXPECT_EQ(ParsePart("2/3").Index, 2);
  EXPECT_EQ(ParsePart("2/3").Count, 3);
  EXPECT_EQ(ParsePart("1/1").Count, 1);
  for (const char* bad : {"0/3", "4/3", "3", "/3", "2/", "a/b", "2/3/4", " 2/3", "2/03", "-1/3", "0x2/3"}) {
    EXPECT_THROW(ParsePart(bad), UsageError) << bad;
  }
}

TEST(Report, ProgressSummaryAndJson) {
  run::RunCounters counters;
  counters.Total = 400;
  counters.Saved = 90;
  counters.Blank = 5;
  counters.GivenUp = 5;
  counters.NotTried = 0;
  counters.TaskTotal = 1000;  // 600 done before this run
  EXPECT_EQ(ProgressLine::Text(counters, 50),
            "700/1000 tiles of the task (70.0%), this run 100/400, 2.00 tiles/s, ETA 0:02:30, 5 given up");
  EXPECT_EQ(ProgressLine::Text(run::RunCounters{}, 0),
            "0/0 tiles of the task (100.0%), this run 0/0, 0.00 tiles/s, ETA ?, 0 given up");
  EXPECT_EQ(platform::FormatDuration(3 * 3600 + 62.4), "3:01:02");

  Summary summary;
  summary.Task = "/maps/a \"b\".otsk";
  summary.Counters = counters;
  summary.ElapsedSeconds = 61.5;
  summary.ExitStatus = 1;
  EXPECT_EQ(SummaryText(summary), "Saved: 90\nBlank substitutes: 5\nGiven up: 5\nNot tried: 0\nElapsed: 0:01:02\n");
  EXPECT_EQ(SummaryJson(summary),
            "{\"task\": \"/maps/a \\\"b\\\".otsk\", \"total\": 400, \"saved\": 90, \"blank\": 5, \"givenUp\": 5, "
            "\"notTried\": 0, \"elapsedSeconds\": 61.500, \"interrupted\": false, \"exitStatus\": 1, "
            "\"givenUpReasons\": {}, \"stopReasons\": [], \"census\": null, \"nextStep\": \"\"}\n");

  // Why the run stopped and what the task holds afterwards.
  summary.GivenUpReasons = {{"timed out", 2}, {"HTTP 500", 10}};
  summary.StopMessages = {"Error: may be your IP is banned.\nPlease try again later. (HTTP 403)"};
  task::CensusCounts census;
  census.Of = {38, 1, 2, 1, 0};
  summary.Census = census;
  summary.NextStep = "fill the holes with: orvenna-cli fill '/maps/a \"b\".otsk'";
  EXPECT_EQ(SummaryText(summary),
            "Saved: 90\nBlank substitutes: 5\nGiven up: 5\nNot tried: 0\nElapsed: 0:01:02\n"
            "12 tiles given up: 10 x HTTP 500, 2 x timed out\n"
            "Stopped: Error: may be your IP is banned. Please try again later. (HTTP 403)\n"
            "Task: 42 tiles: 38 saved, 1 blank, 2 given up, 1 missing, 0 unreadable\n"
            "fill the holes with: orvenna-cli fill '/maps/a \"b\".otsk'\n");
  EXPECT_NE(SummaryJson(summary).find("\"givenUpReasons\": {\"HTTP 500\": 10, \"timed out\": 2}, \"stopReasons\": "
                                      "[\"Error: may be your IP is banned.\\u000aPlease try again later. (HTTP 403)\"], "
                                      "\"census\": {\"tiles\": 42, \"saved\": 38, \"blank\": 1, \"givenUp\": 2, "
                                      "\"missing\": 1, \"unreadable\": 0, \"holes\": 3}"),
            std::string::npos)
      << SummaryJson(summary);
  EXPECT_EQ(ShellWord("/maps/it's"), "'/maps/it'\\''s'");
}

}  // namespace
}  // namespace cli
