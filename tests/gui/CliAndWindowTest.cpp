// The window and the command-line runner over the same task: the same files,
// and one run of a task at a time.
#include <signal.h>

#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/platform/Files.h"
#include "tests/support/TileImages.h"
#include "tests/gui/MainWindowFixture.h"
#include "tests/support/Process.h"

namespace guitest {
namespace {

namespace fs = std::filesystem;
using testsupport::Reply;

class CliAndWindowTest : public MainWindowFixture {
 protected:
  std::vector<std::string> Cli(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), ORVENNA_CLI_PROGRAM);
    arguments.push_back("--config=" + program_->Path() + "ini/config.ini");
    return arguments;
  }
  // The worked example, as FillExample types it.
  std::vector<std::string> NewExample(const std::string& name) const {
    return Cli({"new", "--name", name, "--type", "photo", "--left", "116.3", "--right", "116.5", "--top", "40.0",
                "--bottom", "39.8", "--zoom", "13", "--folder", SavePath(), "--run"});
  }

  // Every file of task name: the bytes of each, by name, tiles included.
  std::map<std::string, std::string> FilesOf(const std::string& name) const {
    std::map<std::string, std::string> files;
    for (const char* file : {".otsk", "_list.txt", "_failed.ftl"}) {
      files[name + file] = testsupport::ReadFileBytes(SavePath() + name + file);
    }
    for (const auto& entry : fs::directory_iterator(SavePath() + name)) {
      files[entry.path().filename().string()] = testsupport::ReadFileBytes(entry.path().string());
    }
    return files;
  }

  // The log without the lines that carry the time; the workers' lines, whose
  // order depends on their threads' timing, sorted after the header.
  std::vector<std::string> LogApartFromTimes(const std::string& name) const {
    std::vector<std::string> lines;
    for (const std::string& line : platform::ReadTextLines(SavePath() + name + "_log.txt")) {
      if (line.rfind("Now time", 0) != 0) lines.push_back(line);
    }
    const auto header = std::find(lines.begin(), lines.end(), std::string(34, '~'));
    if (header != lines.end()) std::sort(header + 1, lines.end());
    return lines;
  }

  void RemoveTask(const std::string& name) const {
    for (const char* file : {".otsk", "_list.txt", "_failed.ftl", "_log.txt"}) fs::remove(SavePath() + name + file);
    fs::remove_all(SavePath() + name);
  }
};

TEST_F(CliAndWindowTest, TheWindowAndTheCommandLineLeaveTheSameFiles) {
  server_->Script("/maps/hl=en&x=6744&y=3104&z=13&nml=Vert", {Reply::StatusOnly(500, "Internal Server Error")});
  OpenWindow();
  FillExample(QStringLiteral("same"));
  ClickStart();
  ASSERT_TRUE(WaitForRunEnd());
  const auto byWindow = FilesOf("same");
  const auto windowLog = LogApartFromTimes("same");
  ASSERT_EQ(byWindow.size(), 3u + 42u);

  RemoveTask("same");
  const testsupport::ProcessResult cli = testsupport::RunProcess(NewExample("same"));
  EXPECT_EQ(cli.ExitStatus, 1) << cli.Err;  // the tile given up
  EXPECT_EQ(FilesOf("same"), byWindow);
  EXPECT_EQ(LogApartFromTimes("same"), windowLog);
}

TEST_F(CliAndWindowTest, StartIsRefusedWhileTheCommandLineWorksTheTask) {
  server_->SetDefault(Reply::Stalled("hung tile"));
  testsupport::ChildProcess cli(NewExample("busy"));
  ASSERT_TRUE(QTest::qWaitFor([this] { return server_->RequestCount() >= 8; }, 20000));
  OpenWindow();
  FillExample(QStringLiteral("busy"));
  ClickStart();
  EXPECT_EQ(MessageTexts(),
            std::vector<QString>{QStringLiteral("Another run is working on this task: ") +
                                 QString::fromStdString(SavePath() + "busy.otsk.")});
  EXPECT_EQ(BitBtn1()->text(), QStringLiteral("Start"));

  // Once that run is gone (here killed), the window runs the task.
  cli.Signal(SIGKILL);
  cli.Wait();
  server_->SetDefault(Reply::Ok(testsupport::TileImage("tile")));
  messages_.clear();
  ClickStart();
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(MessageTexts(), std::vector<QString>{kTaskStopped});
}

}  // namespace
}  // namespace guitest
