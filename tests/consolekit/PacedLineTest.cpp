// The pace of a command-line program's progress: what reaches the stream, and
// when, on a terminal and in a log.
#include "consolekit/PacedLine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace consolekit {
namespace {

using namespace std::chrono_literals;
using Clock = PacedLine::Clock;

#ifdef _WIN32
// A temporary file as the stream (Windows has no stream in memory), and what
// has been written to it.
class Stream {
 public:
  Stream() : file_(std::tmpfile()) {}
  ~Stream() { std::fclose(file_); }
  std::FILE* File() { return file_; }
  std::string Text() {
    std::fflush(file_);
    const long end = std::ftell(file_);
    std::string text(static_cast<std::size_t>(end), '\0');
    std::rewind(file_);
    text.resize(std::fread(text.data(), 1, text.size(), file_));
    std::fseek(file_, 0, SEEK_END);
    return text;
  }

 private:
  std::FILE* file_;
};
#else
// A stream in memory and what has been written to it.
class Stream {
 public:
  Stream() : file_(::open_memstream(&buffer_, &size_)) {}
  ~Stream() {
    std::fclose(file_);
    std::free(buffer_);
  }
  std::FILE* File() { return file_; }
  std::string Text() {
    std::fflush(file_);
    return std::string(buffer_, size_);
  }

 private:
  char* buffer_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* file_;
};
#endif

// Offers a text at each of the times (after the start) as a program's loop
// does, showing it when due.
std::string Paced(bool terminal, Verbosity verbosity, std::initializer_list<Clock::duration> times) {
  Stream out;
  const Clock::time_point start{};
  PacedLine line(out.File(), terminal, verbosity, 200ms, start);
  int count = 0;
  for (const Clock::duration at : times) {
    const std::string text = "step " + std::to_string(++count);
    if (line.Due(start + at)) line.Show(text, start + at);
  }
  line.Finish();
  return out.Text();
}

TEST(PacedLine, ALogGetsALineEveryTenSecondsATerminalARedrawnOneQuietNothing) {
  const std::initializer_list<Clock::duration> times = {1s, 9s, 10s, 15s, 20s, 31s};
  EXPECT_EQ(Paced(false, Verbosity::Normal, times), "step 3\nstep 5\nstep 6\n");
  EXPECT_EQ(Paced(true, Verbosity::Normal, {100ms, 300ms, 400ms, 600ms}),
            "\r\x1b[Kstep 2\r\x1b[Kstep 4\n");
  EXPECT_EQ(Paced(false, Verbosity::Quiet, times), "");
  EXPECT_EQ(Paced(true, Verbosity::Quiet, times), "");
}

TEST(PacedLine, AShowingOutOfPaceRestartsThePauseAndTheSameTextIsNotRepeated) {
  Stream out;
  const Clock::time_point start{};
  PacedLine line(out.File(), false, Verbosity::Normal, 200ms, start);
  line.Show("stage one: 100.0%", start + 2s);  // the end of a stage, out of pace
  EXPECT_FALSE(line.Due(start + 11s));
  EXPECT_TRUE(line.Due(start + 12s));
  line.Show("stage one: 100.0%", start + 12s);
  line.WriteLine("Stage two");
  line.Show("stage two: 0.0%", start + 13s);
  EXPECT_EQ(out.Text(), "stage one: 100.0%\nStage two\nstage two: 0.0%\n");
}

}  // namespace
}  // namespace consolekit
