#include "core/task/Unitclasstask.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/platform/Files.h"
#include "core/task/Commonfunc.h"
#include "core/task/TaskFile.h"
#include "core/task/TaskFiles.h"
#include "tests/support/TempDir.h"

namespace task {
namespace {

using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

constexpr char kSep = platform::kPathSeparator;

std::string CrLf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start) + "<no CR LF>");
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The worked rectangle: zoom 13, west 116.3, east 116.5, north 40.0, south 39.8.
class TaskTest : public ::testing::Test {
 protected:
  TaskTest() {
    params.LeftLongitude = 116.3;
    params.RightLongitude = 116.5;
    params.TopLatitude = 40.0;
    params.BottomLatitude = 39.8;
    params.Zoom = 13;
    params.MapsType = kMapPhoto;
    params.SavePath = dir.Path();
    params.TaskName = "newtask.otsk";
    options.TileHost = "tiles.example";
    options.DecimalMark = '.';
  }

  MDTask Make() const { return TaskOfRun(params, run, options); }

  void WriteAll(const MDTask& t) const {
    task::WriteTaskFile(t, run);
    task::WriteExtentList(t, run);
    task::WriteLogHeader(t, run);
    task::CreateFailedList(t, run);
  }

  TempDir dir;
  TaskParameters params;
  RunSettings run;
  TaskOptions options;
};

TEST_F(TaskTest, WorkedExampleRangeAndNames) {
  const MDTask t = Make();
  EXPECT_EQ(t.MinX, 6742);
  EXPECT_EQ(t.MaxX, 6747);
  EXPECT_EQ(t.MinY, 3101);
  EXPECT_EQ(t.MaxY, 3107);
  EXPECT_EQ(t.TotalImages, 42);
  EXPECT_EQ(t.LeftLongitudeDownload, 116.279296875);
  EXPECT_EQ(t.RightLongitudeDownload, 116.54296875);
  EXPECT_EQ(t.General(t.TopLatitudeDownload), "40.0107871404655");
  EXPECT_EQ(t.General(t.BottomLatitudeDownload), "39.7747694852955");

  EXPECT_EQ(t.TaskFileName(), dir.Path() + "newtask.otsk");
  EXPECT_EQ(t.LogFileName, dir.Path() + "newtask_log.txt");
  EXPECT_EQ(t.FailedListFileName, dir.Path() + "newtask_failed.ftl");
  EXPECT_EQ(t.ListFileName, dir.Path() + "newtask_list.txt");
  EXPECT_EQ(t.ImageFolder, dir.Path() + "newtask" + kSep);
  EXPECT_FALSE(platform::DirectoryExists(t.ImageFolder)) << "a task is made without touching the disk";
  t.CreateImageFolder();
  EXPECT_TRUE(platform::DirectoryExists(t.ImageFolder));
  EXPECT_EQ(t.TileFilePath(6742, 3101), dir.Path() + "newtask" + kSep + "nm_6742_3101_13.jpg");
  EXPECT_EQ(t.TileExtension(), "jpg");
  for (int k = 0; k < MDTask::kResumeSlots; ++k) {
    EXPECT_EQ(t.ResumeX[k], 0);
    EXPECT_EQ(t.ResumeY[k], 0);
  }
}

TEST_F(TaskTest, WalkNumbersGoColumnByColumn) {
  const MDTask t = Make();
  EXPECT_EQ(t.WalkNumber(6742, 3101), 1);
  EXPECT_EQ(t.WalkNumber(6742, 3107), 7);
  EXPECT_EQ(t.WalkNumber(6743, 3101), 8);
  EXPECT_EQ(t.WalkNumber(6747, 3105), 40);
  EXPECT_EQ(t.WalkNumber(6747, 3107), 42);
}

// Each slot's share after any resume point, against the walk as the workers
// define it: every position in order, p mod n == slot, p beyond the point.
TEST(TileRangeWalk, SlotSharesMatchTheFullWalk) {
  const TileRange ranges[] = {{5, 7, 5, 7}, {0, 0, 1, 1}, {10, 20, 12, 26}, {3, 0, 9, 0}, {100, 200, 100, 230}};
  for (const TileRange& range : ranges) {
    for (int32_t threads = 1; threads <= 8; ++threads) {
      for (int64_t resume = 0; resume <= range.Count() + 1; ++resume) {
        for (int32_t slot = 0; slot < threads; ++slot) {
          std::vector<int64_t> walked;
          for (int64_t p = 1; p <= range.Count(); ++p) {
            if (p > resume && p % threads == slot) walked.push_back(p);
          }
          std::vector<int64_t> jumped;
          for (int64_t p = range.FirstOfSlot(slot, threads, resume); p <= range.Count(); p += threads) jumped.push_back(p);
          ASSERT_EQ(jumped, walked) << "slot " << slot << " of " << threads << " after " << resume;
          EXPECT_EQ(range.ShareOf(slot, threads, resume), static_cast<int64_t>(walked.size()));
          if (resume == 0) {
            EXPECT_EQ(range.LastOfSlot(slot, threads), walked.empty() ? 0 : walked.back());
          }
        }
      }
      for (int64_t p = 1; p <= range.Count(); ++p) {
        const TilePosition tile = range.AtWalkNumber(p);
        ASSERT_TRUE(range.Contains(tile.X, tile.Y));
        EXPECT_EQ(range.WalkNumber(tile.X, tile.Y), p);
      }
    }
  }
  // A stored position with a 0 in it is no position.
  const TileRange range{6742, 3101, 6747, 3107};
  EXPECT_EQ(range.ResumePoint({6747, 3105}), 40);
  EXPECT_EQ(range.ResumePoint({6747, 0}), 0);
  EXPECT_EQ(range.ResumePoint({0, 3105}), 0);
}

TEST_F(TaskTest, NamesByMapType) {
  params.HistoryDate = "20090105";
  struct Case {
    int32_t mapsType;
    const char* fileName;
    const char* urlTail;
  };
  const Case cases[] = {
      {kMapPhoto, "nm_6742_3101_13.jpg", "&nml=Vert&nmd=20090105"},
      {kMapStreet, "ns_6742_3101_13.jpg", "&nml=Map"},
      {kMapTerrain, "nt_6742_3101_13.jpg", "&nml=Dem"},
  };
  for (const Case& c : cases) {
    params.MapsType = c.mapsType;
    const MDTask t = Make();
    EXPECT_EQ(t.TileFileName(6742, 3101), c.fileName);
    EXPECT_EQ(t.TileURL(6742, 3101), std::string("http://tiles.example/maps/hl=en&x=6742&y=3101&z=13") + c.urlTail);
  }
}

TEST_F(TaskTest, UrlWithoutHistoryDate) {
  const MDTask t = Make();
  EXPECT_EQ(t.TileURL(6742, 3101), "http://tiles.example/maps/hl=en&x=6742&y=3101&z=13&nml=Vert");

  params.Zoom = 1;
  params.LeftLongitude = params.RightLongitude = -170;
  params.TopLatitude = params.BottomLatitude = 80;
  const MDTask corner = Make();
  EXPECT_EQ(corner.TileURL(0, 0), "http://tiles.example/maps/hl=en&x=0&y=0&z=1&nml=Vert");
  EXPECT_EQ(MDTask(params).TileURL(0, 0), std::string("http://") + kTileServerHost + "/maps/hl=en&x=0&y=0&z=1&nml=Vert");
}

TEST_F(TaskTest, FailedRecord) {
  const MDTask t = Make();
  const std::string record = task::FailedRecord(t, 6742, 3101);
  EXPECT_EQ(record, t.TileFilePath(6742, 3101) + "|http://tiles.example/maps/hl=en&x=6742&y=3101&z=13&nml=Vert");
  EXPECT_EQ(std::count(record.begin(), record.end(), '|'), 1);

  using Parts = std::pair<std::string, std::string>;
  EXPECT_EQ(SplitFailedRecord(record), (Parts{t.TileFilePath(6742, 3101), t.TileURL(6742, 3101)}));
  EXPECT_EQ(SplitFailedRecord("/a/b.jpg|http://h/maps/x|y|z"), (Parts{"/a/b.jpg", "http://h/maps/x|y|z"}));
  EXPECT_EQ(SplitFailedRecord("no bar at all"), (Parts{"", "no bar at all"}));
  EXPECT_EQ(SplitFailedRecord(""), (Parts{"", ""}));
  EXPECT_EQ(SplitFailedRecord("|"), (Parts{"", ""}));
  EXPECT_EQ(SplitFailedRecord(" a | b "), (Parts{" a ", " b "}));
}

// The tiles a failed list names: only names the task itself gives, of its range.
TEST_F(TaskTest, GivenUpTilesAreReadBackFromTheFailedList) {
  const MDTask t = Make();
  EXPECT_TRUE(task::GivenUpTiles(t).empty()) << "no list yet";
  WriteFileBytes(t.FailedListFileName, task::FailedRecord(t, 6747, 3107) + "\r\n" + task::FailedRecord(t, 6742, 3101) + "\r\n\r\n" +
                                           "garbage\r\n" + task::FailedRecord(t, 6747, 3107) + "\r\n");
  EXPECT_EQ(task::GivenUpTiles(t), (std::vector<TilePosition>{{6747, 3107}, {6742, 3101}, {6747, 3107}}));

  EXPECT_EQ(t.TileOfFileName("nm_6744_3105_13.jpg"), (TilePosition{6744, 3105}));
  for (const char* other : {"nm_6741_3105_13.jpg", "nm_6744_3105_12.jpg", "ns_6744_3105_13.jpg", "nm_+6744_3105_13.jpg",
                            "nm_06744_3105_13.jpg", "nm_6744_3105_13.png", "nm_6744__13.jpg", "nm_x6744_3105_13.jpg"}) {
    EXPECT_FALSE(t.TileOfFileName(other)) << other;
  }
}

TEST_F(TaskTest, TaskFileOfTheWorkedExample) {
  const MDTask t = Make();
  task::WriteTaskFile(t, run);
  std::vector<std::string> expected = {
      "[MapsType]",
      "MapsType=11",
      "HistoryDate=",
      "",
      "[AREA]",
      "LeftLongitude=116.3",
      "RightLongitude=116.5",
      "TopLatitude=40",
      "BottomLatitude=39.8",
      "",
      "Left_Longitude_download=116.279296875",
      "Right_Longitude_download=116.54296875",
      "Top_Latitude_download=40.0107871404655",
      "Bottom_Latitude_download=39.7747694852955",
      "",
      "[Zoom]",
      "Zoom=13",
      "",
      "[XY]",
      "MinX=6742",
      "MinY=3101",
      "MaxX=6747",
      "MaxY=3107",
      "",
      "[THREADS]",
      "ThreadCount=8",
      "T1X=", "T1Y=", "T2X=", "T2Y=", "T3X=", "T3Y=", "T4X=", "T4Y=",
      "T5X=", "T5Y=", "T6X=", "T6Y=", "T7X=", "T7Y=", "T8X=", "T8Y=",
      "",
  };
  ASSERT_EQ(expected.size(), 43u);
  EXPECT_EQ(ReadFileBytes(t.TaskFileName()), CrLf(expected));
}

TEST_F(TaskTest, TaskFileKeepsEightSlotsWhenFewerThreadsRun) {
  run.ThreadCount = 3;
  params.HistoryDate = "20090105";
  const MDTask t = Make();
  task::WriteTaskFile(t, run);
  const std::vector<std::string> lines = SplitCrLf(ReadFileBytes(t.TaskFileName()));
  ASSERT_EQ(lines.size(), 43u);
  EXPECT_EQ(lines[2], "HistoryDate=20090105");
  EXPECT_EQ(lines[25], "ThreadCount=3");
  EXPECT_EQ(lines[41], "T8Y=");
}

TEST_F(TaskTest, DesktopCommaInTaskFileAndLogButNotInExtentList) {
  options.DecimalMark = ',';
  const MDTask t = Make();
  WriteAll(t);
  const std::vector<std::string> task = SplitCrLf(ReadFileBytes(t.TaskFileName()));
  EXPECT_EQ(task[5], "LeftLongitude=116,3");
  EXPECT_EQ(task[8], "BottomLatitude=39,8");
  EXPECT_EQ(task[12], "Top_Latitude_download=40,0107871404655");
  const std::vector<std::string> log = SplitCrLf(ReadFileBytes(t.LogFileName));
  EXPECT_EQ(log[7], "Left Longitude  input= 116,3");
  EXPECT_EQ(log[17], "Left Longitude  download=116,279296875");
  const std::vector<std::string> list = SplitCrLf(ReadFileBytes(t.ListFileName));
  EXPECT_EQ(list[1].find(','), std::string::npos);
  EXPECT_THAT(list[1], ::testing::HasSubstr("116.27929687500000"));
}

std::vector<std::string> ExpectedLogTail(const MDTask& t, const std::string& savePath) {
  return {
      "Left Longitude  input= 116.3",
      "Right Longitude input= 116.5",
      "Top Latitude    input= 40",
      "Bottom Latitude input= 39.8",
      "",
      "MinX = 6742",
      "MinY = 3101",
      "MaxX = 6747",
      "MaxY = 3107",
      "",
      "Left Longitude  download=116.279296875",
      "Right Longitude download=116.54296875",
      "Top Latitude    download=40.0107871404655",
      "Bottom Latitude download=39.7747694852955",
      "",
      "All images' scope information are saved to " + t.ListFileName,
      "",
      "Total count of images would be downloaded: 42",
      "",
      "Download threads count: 8",
      "",
      "Zoom level: 13",
      "",
      "path: " + savePath,
      "",
      "Start downloading...",
      "~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~",
  };
}

TEST_F(TaskTest, LogHeaderWithoutProxy) {
  run.Proxy.ProxyPassword = "not-used";
  const MDTask t = Make();
  task::WriteLogHeader(t, run);
  std::vector<std::string> lines = SplitCrLf(ReadFileBytes(t.LogFileName));
  ASSERT_EQ(lines.size(), 34u);
  ASSERT_THAT(lines[1], ::testing::StartsWith("Now time is:"));
  EXPECT_GT(lines[1].size(), std::string("Now time is:").size());
  lines[1] = "<time>";
  std::vector<std::string> expected = {
      "Project: " + dir.Path() + "newtask.otsk", "<time>", "", "[MapsType]", "MapsType=11", "HistoryDate=", "",
  };
  const std::vector<std::string> tail = ExpectedLogTail(t, dir.Path());
  expected.insert(expected.end(), tail.begin(), tail.end());
  EXPECT_EQ(lines, expected);
}

TEST_F(TaskTest, LogHeaderWithProxyMasksThePassword) {
  run.Proxy.UseProxy = true;
  run.Proxy.ProxyServer = "proxy.local";
  run.Proxy.ProxyPort = "3128";
  run.Proxy.ProxyUsername = "walker";
  run.Proxy.ProxyPassword = "s3cr%t:pw";
  params.HistoryDate = "20090105";
  const MDTask t = Make();
  task::WriteLogHeader(t, run);
  const std::string bytes = ReadFileBytes(t.LogFileName);
  EXPECT_EQ(bytes.find("s3cr%t:pw"), std::string::npos);
  std::vector<std::string> lines = SplitCrLf(bytes);
  ASSERT_EQ(lines.size(), 40u);
  lines[1] = "<time>";
  std::vector<std::string> expected = {
      "Project: " + dir.Path() + "newtask.otsk",
      "<time>",
      "",
      "[MapsType]",
      "MapsType=11",
      "HistoryDate=20090105",
      "",
      "Using Proxy:",
      "Proxy Server:proxy.local",
      "Proxy Port:3128",
      "ProxyUsername:walker",
      "ProxyPassword:******",
      "",
  };
  const std::vector<std::string> tail = ExpectedLogTail(t, dir.Path());
  expected.insert(expected.end(), tail.begin(), tail.end());
  EXPECT_EQ(lines, expected);
}

TEST_F(TaskTest, ExtentListOfTheWorkedExample) {
  const MDTask t = Make();
  task::WriteExtentList(t, run);
  const std::vector<std::string> lines = SplitCrLf(ReadFileBytes(t.ListFileName));
  ASSERT_EQ(lines.size(), 43u);
  EXPECT_EQ(lines[0], kExtentListHeader);
  EXPECT_EQ(lines[0].size(), 106u);
  EXPECT_EQ(lines[1],
            "nm_6742_3101_13.jpg:   116.27929687500000   116.32324218750000    40.01078714046552    "
            "39.97712009843963");
  EXPECT_EQ(lines[42],
            "nm_6747_3107_13.jpg:   116.49902343750000   116.54296875000000    39.80853604144590    "
            "39.77476948529546");
  // Column by column, rows north to south; every line as the single-line form.
  std::size_t i = 1;
  for (int32_t x = t.MinX; x <= t.MaxX; ++x) {
    for (int32_t y = t.MinY; y <= t.MaxY; ++y, ++i) {
      ASSERT_EQ(lines[i], task::ExtentLine(t, x, y));
      EXPECT_EQ(lines[i].size(), t.TileFileName(x, y).size() + 85);
    }
  }
  // Nothing but the list is left in the save folder.
  EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string>{"newtask_list.txt"}));
}

// Taller than the formatted-row cache: the edges are then computed per tile.
TEST_F(TaskTest, ExtentListOfATallSingleColumn) {
  params.Zoom = 17;
  params.LeftLongitude = params.RightLongitude = 10.0;
  params.TopLatitude = 80.0;
  params.BottomLatitude = -60.0;
  const MDTask t = Make();
  ASSERT_EQ(t.MinX, t.MaxX);
  ASSERT_GT(t.MaxY - t.MinY + 1, 65536);
  task::WriteExtentList(t, run);
  const std::vector<std::string> lines = SplitCrLf(ReadFileBytes(t.ListFileName));
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(t.TotalImages) + 1);
  EXPECT_EQ(lines[1], task::ExtentLine(t, t.MinX, t.MinY));
  EXPECT_EQ(lines[12345], task::ExtentLine(t, t.MinX, t.MinY + 12344));
  EXPECT_EQ(lines.back(), task::ExtentLine(t, t.MaxX, t.MaxY));
}

TEST_F(TaskTest, ExtentListThatCannotBeWrittenLeavesNoTemporaryFile) {
  const MDTask t = Make();
  // A folder in the list's place: the final rename cannot replace it.
  ASSERT_TRUE(platform::CreateDir(t.ListFileName));
  EXPECT_THROW(task::WriteExtentList(t, run), platform::FileError);
  EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string>{"newtask_list.txt"}));
  EXPECT_TRUE(platform::DirectoryExists(t.ListFileName));
}

TEST_F(TaskTest, FreshStartReplacesEveryFile) {
  const MDTask t = Make();
  WriteFileBytes(t.TaskFileName(), "[THREADS]\r\nT1X=6747\r\n");
  WriteFileBytes(t.LogFileName, "old log\r\n");
  WriteFileBytes(t.ListFileName, "old list\r\n");
  WriteFileBytes(t.FailedListFileName, "a|b\r\n");
  WriteAll(t);
  EXPECT_EQ(SplitCrLf(ReadFileBytes(t.TaskFileName())).size(), 43u);
  EXPECT_EQ(SplitCrLf(ReadFileBytes(t.LogFileName)).size(), 34u);
  EXPECT_EQ(SplitCrLf(ReadFileBytes(t.ListFileName)).size(), 43u);
  EXPECT_EQ(ReadFileBytes(t.FailedListFileName), "");
}

TEST_F(TaskTest, FreshStartDoesNotReadStoredPositions) {
  WriteFileBytes(dir.File("newtask.otsk"), "[THREADS]\r\nT1X=6747\r\nT1Y=3105\r\n");
  const MDTask t = Make();
  EXPECT_EQ(t.ResumeX[0], 0);
  EXPECT_EQ(t.ResumeY[0], 0);
}

TEST_F(TaskTest, ContinueKeepsFilesReadsPositionsAndExtendsTheLog) {
  {
    const MDTask first = Make();
    WriteAll(first);
  }
  const std::string taskFile = dir.File("newtask.otsk");
  std::string stored = ReadFileBytes(taskFile);
  const auto replace = [&stored](const std::string& from, const std::string& to) {
    const std::size_t at = stored.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    stored.replace(at, from.size(), to);
  };
  replace("T1X=\r\n", "T1X=6747\r\n");
  replace("T1Y=\r\n", "T1Y=3105\r\n");
  replace("T3X=\r\n", "T3X=6745\r\n");  // T3Y stays empty
  replace("T5X=\r\n", "T5X=0\r\n");
  replace("T5Y=\r\n", "T5Y=3102\r\n");
  replace("T8X=\r\n", "T8X=x12\r\n");
  replace("T8Y=\r\n", "T8Y=$10\r\n");
  stored += "; added by hand\r\n";
  WriteFileBytes(taskFile, stored);
  const std::string list = "list of the earlier run\r\n";
  WriteFileBytes(dir.File("newtask_list.txt"), list);
  const std::string failed = "a|b\r\nc|d\r\n";
  WriteFileBytes(dir.File("newtask_failed.ftl"), failed);
  const std::string earlierLog = "line one\r\nline two\r\n";
  WriteFileBytes(dir.File("newtask_log.txt"), earlierLog);

  run.ContinueTask = true;
  const MDTask t = Make();
  EXPECT_EQ(t.ResumeX[0], 6747);
  EXPECT_EQ(t.ResumeY[0], 3105);
  EXPECT_EQ(t.ResumeX[1], 0);
  EXPECT_EQ(t.ResumeX[2], 6745);
  EXPECT_EQ(t.ResumeY[2], 0);
  EXPECT_EQ(t.ResumeX[4], 0);
  EXPECT_EQ(t.ResumeY[4], 3102);
  EXPECT_EQ(t.ResumeX[7], 0x12);
  EXPECT_EQ(t.ResumeY[7], 0x10);

  WriteAll(t);
  EXPECT_EQ(ReadFileBytes(taskFile), stored);
  EXPECT_EQ(ReadFileBytes(t.ListFileName), list);
  EXPECT_EQ(ReadFileBytes(t.FailedListFileName), failed);
  const std::vector<std::string> log = SplitCrLf(ReadFileBytes(t.LogFileName));
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[0], "line one");
  EXPECT_EQ(log[1], "line two");
  EXPECT_EQ(log[2], "--------------------------------------------");
  EXPECT_EQ(log[3], "Log continue...");
  EXPECT_THAT(log[4], ::testing::StartsWith("Now time is:"));
}

// The task is its value: built from it without reading a file (the
// positions of an earlier run come from ReadResumePositions), and its record
// is the record it was built from.
TEST_F(TaskTest, BuiltFromItsValueReadingNoFile) {
  WriteAll(Make());
  const std::string taskFile = dir.File("newtask.otsk");
  TaskFile(taskFile).WritePositions({{0, {6747, 3105}}, {2, {6745, 3101}}});

  const MDTask fresh(SpecOf(params), params.Source, options);
  EXPECT_EQ(fresh.Spec(), SpecOf(params));
  EXPECT_EQ(fresh.Resume(0), (TilePosition{0, 0})) << "nothing read from the task file";
  EXPECT_EQ(fresh.TaskFileName(), taskFile);
  const TaskParameters record = fresh.Record();
  EXPECT_EQ(record.LeftLongitude, params.LeftLongitude);
  EXPECT_EQ(record.BottomLatitude, params.BottomLatitude);
  EXPECT_EQ(record.MapsType, params.MapsType);
  EXPECT_EQ(record.SavePath, params.SavePath);
  EXPECT_EQ(record.TaskName, params.TaskName);

  const ResumePositions positions = ReadResumePositions(params, 8);
  ASSERT_EQ(positions.size(), 8u);
  const MDTask resumed(SpecOf(params), params.Source, options, positions);
  EXPECT_EQ(resumed.Resume(0), (TilePosition{6747, 3105}));
  EXPECT_EQ(resumed.Resume(1), (TilePosition{0, 0}));
  EXPECT_EQ(resumed.Resume(2), (TilePosition{6745, 3101}));
  run.ContinueTask = true;
  EXPECT_EQ(Make().Resume(2), (TilePosition{6745, 3101})) << "TaskOfRun reads them for a continued run";
}

TEST_F(TaskTest, ContinueWithoutTaskFileOrLog) {
  run.ContinueTask = true;
  const MDTask t = Make();
  EXPECT_EQ(t.ResumeX[0], 0);
  EXPECT_THROW(task::WriteLogHeader(t, run), platform::FileError);
  EXPECT_FALSE(platform::FileExists(t.LogFileName));
}

TEST_F(TaskTest, OneTileTask) {
  params.LeftLongitude = 116.30;
  params.RightLongitude = 116.31;
  params.TopLatitude = 39.99;
  params.BottomLatitude = 39.98;
  const MDTask t = Make();
  EXPECT_EQ(t.MinX, t.MaxX);
  EXPECT_EQ(t.MinY, t.MaxY);
  EXPECT_EQ(t.TotalImages, 1);
  task::WriteExtentList(t, run);
  EXPECT_EQ(SplitCrLf(ReadFileBytes(t.ListFileName)).size(), 2u);
}

TEST_F(TaskTest, DownloadEdgesEncloseTheRectangle) {
  struct Rect {
    double left, right, top, bottom;
    int32_t zoom;
    bool rightOnWesternBoundary;  // the east edge is the right longitude itself
  };
  const Rect rects[] = {
      {116.3, 116.5, 40.0, 39.8, 13, false},       {-0.2, 0.2, 51.6, 51.4, 13, false},
      {151.2, 151.21, -33.85, -33.86, 16, false},  {-180, 180, 85, -85, 1, true},
      {-179.9, -179.8, 0.5, -0.5, 21, false},      {5, 5, 3, 3, 7, false},
      {-100, 0, 10, 0, 13, true},                  {-100, 90, 10, 0, 13, false},
  };
  for (const Rect& r : rects) {
    params.LeftLongitude = r.left;
    params.RightLongitude = r.right;
    params.TopLatitude = r.top;
    params.BottomLatitude = r.bottom;
    params.Zoom = r.zoom;
    const MDTask t = Make();
    EXPECT_LE(t.LeftLongitudeDownload, r.left);
    if (r.rightOnWesternBoundary) {
      EXPECT_EQ(t.RightLongitudeDownload, r.right);
    } else {
      EXPECT_GT(t.RightLongitudeDownload, r.right);
    }
    EXPECT_GE(t.TopLatitudeDownload, r.top);
    EXPECT_LT(t.BottomLatitudeDownload, r.bottom);
    EXPECT_EQ(int64_t{t.TotalImages}, (int64_t{t.MaxX} - t.MinX + 1) * (int64_t{t.MaxY} - t.MinY + 1));
  }
}

TEST_F(TaskTest, RightLongitudeOnTheWorldEdge) {
  params.RightLongitude = 180;
  for (int32_t zoom : {1, 8, 13, 21}) {
    params.Zoom = zoom;
    const MDTask t = Make();
    EXPECT_EQ(t.MaxX, (int32_t{1} << zoom) - 1) << zoom;
    EXPECT_EQ(t.RightLongitudeDownload, 180.0) << zoom;
  }
}

TEST_F(TaskTest, BoundariesThatBringInTheNextTile) {
  params.LeftLongitude = 89.9;
  params.RightLongitude = 90;
  const MDTask east = Make();
  EXPECT_EQ(east.MaxX, 6144);
  EXPECT_EQ(east.RightLongitudeDownload, 90.0439453125);

  params.TopLatitude = 0.1;
  params.BottomLatitude = 0;
  const MDTask equator = Make();
  EXPECT_EQ(equator.MaxY, 4096);
}

TEST_F(TaskTest, TaskNameWithAnInnerExtension) {
  params.TaskName = "abc.txt.otsk";
  const MDTask t = Make();
  EXPECT_EQ(t.ImageFolder, dir.Path() + "abc.txt" + kSep);
  EXPECT_EQ(t.LogFileName, dir.Path() + "abc.txt_log.txt");
}

TEST_F(TaskTest, ExistingImageFolderIsKept) {
  ASSERT_TRUE(platform::CreateDir(dir.File("newtask")));
  WriteFileBytes(dir.File("newtask") + kSep + "nm_6742_3101_13.jpg", "tile");
  const MDTask t = Make();
  t.CreateImageFolder();
  EXPECT_EQ(ReadFileBytes(t.TileFilePath(6742, 3101)), "tile");
}

TEST_F(TaskTest, ImageFolderThatCannotBeCreated) {
  params.SavePath = dir.Path() + "missing" + kSep;
  try {
    Make().CreateImageFolder();
    FAIL() << "created";
  } catch (const TaskCreateError& e) {
    EXPECT_EQ(std::string(e.what()), "Create directory " + dir.Path() + "missing" + kSep + "newtask" + kSep + " Failed.");
  }
}

TEST_F(TaskTest, RefusedConstructions) {
  struct Case {
    const char* name;
    void (*change)(TaskParameters&);
    std::string message;
  };
  // Whole world at zoom 21: far beyond the 32-bit tile numbers.
  const int64_t worldColumns = int64_t{1} << 21;
  const int64_t worldRows = int64_t{LatitudeToTileY(-85, 21)} - LatitudeToTileY(85, 21) + 1;
  const Case cases[] = {
      {"zoom 0", [](TaskParameters& p) { p.Zoom = 0; }, kZoomRangeMessage},
      {"zoom 22", [](TaskParameters& p) { p.Zoom = 22; }, kZoomRangeMessage},
      {"zoom 31", [](TaskParameters& p) { p.Zoom = 31; }, kZoomRangeMessage},
      {"zoom -1", [](TaskParameters& p) { p.Zoom = -1; }, kZoomRangeMessage},
      {"map type", [](TaskParameters& p) { p.MapsType = 14; }, "Unknown map type: 14."},
      {"longitude", [](TaskParameters& p) { p.RightLongitude = 181; }, "Longitude or latitude out of range."},
      {"latitude", [](TaskParameters& p) { p.TopLatitude = 90; }, "Longitude or latitude out of range."},
      {"reversed", [](TaskParameters& p) { std::swap(p.LeftLongitude, p.RightLongitude); },
       "The tile range is empty."},
      {"world at zoom 21",
       [](TaskParameters& p) {
         p.Zoom = 21;
         p.LeftLongitude = -180;
         p.RightLongitude = 180;
         p.TopLatitude = 85;
         p.BottomLatitude = -85;
       },
       "Too many images: " + std::to_string(worldColumns * worldRows) +
           ". A task holds at most 2147483647 images."},
  };
  for (const Case& c : cases) {
    TaskParameters p = params;
    c.change(p);
    try {
      MDTask t(p, options);
      ADD_FAILURE() << c.name << ": constructed";
    } catch (const TaskCreateError& e) {
      EXPECT_EQ(std::string(e.what()), c.message) << c.name;
    }
  }
  // A refused task leaves no image folder behind.
  EXPECT_FALSE(platform::DirectoryExists(dir.File("newtask")));
}

// A shaped task's parts: bands of whole rows that together hold every tile of
// the shape once, each holding some, as evenly as whole rows allow; more
// parts than rows with tiles are refused.
TEST_F(TaskTest, PartsOfAShapeShareItsTilesEvenly) {
  const auto corner = [](double column, double row) {
    return LonLatPoint{TileXToLongitude(6742 + column, 13), TileYToLatitude(3101 + row, 13)};
  };
  // A triangle over the upper half of the worked rectangle: its rows hold 6
  // tiles at the top and fewer below; the rectangle's last three rows hold
  // none (equal bands of rows would leave a part without a tile).
  Shape triangle;
  triangle.Polygons.push_back({{corner(0.1, 0.1), corner(5.9, 0.1), corner(0.1, 3.9)}, {}});
  params.AreaShape = std::make_shared<const Shape>(triangle);
  const MDTask whole(params, options);
  std::map<int32_t, int64_t> perRow;  // rows holding tiles of the shape
  for (int32_t y = whole.MinY; y <= whole.MaxY; ++y) {
    for (int32_t x = whole.MinX; x <= whole.MaxX; ++x) perRow[y] += whole.HasTile(x, y) ? 1 : 0;
  }
  std::erase_if(perRow, [](const auto& row) { return row.second == 0; });
  ASSERT_EQ(perRow.size(), 4u);
  const int64_t widest = std::max_element(perRow.begin(), perRow.end(), [](auto a, auto b) { return a.second < b.second; })->second;

  for (int32_t parts = 1; parts <= 4; ++parts) {
    int32_t nextRow = whole.MinY;
    int64_t tiles = 0;
    for (int32_t k = 1; k <= parts; ++k) {
      TaskParameters p = params;
      p.PartIndex = k;
      p.PartCount = parts;
      const MDTask part(p, options);
      EXPECT_EQ(part.MinY, nextRow) << k << " of " << parts << ": the bands follow each other";
      nextRow = part.MaxY + 1;
      int64_t own = 0;
      for (int32_t y = part.MinY; y <= part.MaxY; ++y) {
        for (int32_t x = part.MinX; x <= part.MaxX; ++x) {
          EXPECT_EQ(part.HasTile(x, y), whole.HasTile(x, y)) << x << "," << y;
          own += part.HasTile(x, y) ? 1 : 0;
        }
      }
      EXPECT_EQ(part.TotalImages, own);
      EXPECT_GE(own, 1) << k << " of " << parts;
      EXPECT_LE(own, whole.TotalImages / parts + widest) << k << " of " << parts;
      tiles += own;
    }
    EXPECT_EQ(nextRow, whole.MaxY + 1) << parts << " parts cover the rectangle";
    EXPECT_EQ(tiles, whole.TotalImages) << parts << " parts";
  }
  TaskParameters five = params;
  five.PartIndex = 1;
  five.PartCount = 5;
  try {
    MDTask t(five, options);
    ADD_FAILURE() << "5 parts of 4 rows with tiles";
  } catch (const TaskCreateError& e) {
    EXPECT_STREQ(e.what(), "The task's shape has tiles in 4 rows: it cannot be split into 5 parts.");
  }
}

}  // namespace
}  // namespace task
