// The re-download of a failed-tile list against the loopback tile server:
// the run's lines, what it stores, when it stops, and what it leaves alone.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <ostream>
#include <string>
#include <vector>

#include "core/download/FailureRules.h"
#include "core/download/HttpClient.h"
#include "core/ftl/FailedTileRun.h"
#include "core/platform/Files.h"
#include "tests/support/TileImages.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileServer.h"

namespace {

using testsupport::Fault;
using testsupport::Reply;
using testsupport::TileServer;

const std::string kBanned = "Error: may be your IP is banned.\nPlease try again later.";

// The window's log: lines, and where the one repaint came.
class RecordingLog final : public ftl::RunLog {
 public:
  explicit RecordingLog(const TileServer* server = nullptr) : server_(server) {}
  void Append(const std::string& line) override { lines.push_back(line); }
  void ProcessPendingMessages() override {
    repaints.push_back(lines.size());
    requestsAtRepaint = server_ ? server_->Requests().size() : 0;
  }
  std::vector<std::string> lines;
  std::vector<std::size_t> repaints;
  std::size_t requestsAtRepaint = 0;

 private:
  const TileServer* server_;
};

class FailedListRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { download::HttpClient::GlobalInit(); }

  std::string Url(const std::string& name) const { return "http://" + server_.HostPort() + "/maps/" + name; }
  std::string Target(const std::string& name) const { return dir_.File(name + ".jpg"); }
  std::string RecordOf(const std::string& name) const { return Target(name) + "|" + Url(name); }
  std::string OkLine(const std::string& name) const { return Target(name) + ":" + Url(name) + " ->OK"; }

  // Writes the list (CR LF after every line) and runs it.
  void Run(const std::vector<std::string>& records) {
    platform::WriteTextLines(list_, records);
    RunWritten();
  }
  void RunWritten() {
    const std::string before = testsupport::ReadFileBytes(list_);
    outcome_ = ftl::RunFailedList(list_, log_);
    // The list is only read.
    EXPECT_EQ(testsupport::ReadFileBytes(list_), before);
  }

  testsupport::TempDir dir_;
  TileServer server_;
  std::string list_ = dir_.File("task_failed.ftl");
  RecordingLog log_{&server_};
  ftl::FailedListOutcome outcome_;
};

TEST_F(FailedListRun, MissingListCannotBeOpened) {
  const std::string missing = dir_.File("nothing.ftl");
  try {
    ftl::RunFailedList(missing, log_);
    FAIL() << "no error";
  } catch (const platform::FileError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + missing);
  }
  EXPECT_TRUE(log_.lines.empty());
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(FailedListRun, EmptyListHasNoRecords) {
  testsupport::WriteFileBytes(list_, "");
  RunWritten();
  EXPECT_EQ(log_.lines, std::vector<std::string>{"No failed files records."});
  EXPECT_TRUE(log_.repaints.empty());
}

// Lines that are no failed-tile records (a line break alone, a task file, a
// host name) make no list: refused before anything is sent. A list with a
// record among other lines is run as a whole.
TEST_F(FailedListRun, AFileWithoutAFailedTileRecordIsRefusedBeforeAnythingIsSent) {
  for (const std::string& bytes : {std::string("\r\n"), std::string("[AREA]\r\nLeftLongitude=116.3\r\n"),
                                   std::string("vm\n"), "|" + Url("a") + "\r\n",
                                   Target("a") + "|ftp://host/a.jpg\r\n"}) {
    testsupport::WriteFileBytes(list_, bytes);
    log_.lines.clear();
    RunWritten();
    EXPECT_EQ(log_.lines, std::vector<std::string>{ftl::NoRecordText(list_)}) << bytes;
    EXPECT_TRUE(outcome_.NoRecords);
  }
  EXPECT_EQ(server_.RequestCount(), 0u);
  EXPECT_FALSE(ftl::IsFailedRecord("no bar at all"));
  EXPECT_TRUE(ftl::IsFailedRecord(RecordOf("a")));
  EXPECT_TRUE(ftl::IsFailedRecord("/t/a.jpg|HTTPS://host/a|b"));
}

// An answer sent as a success that is no tile fails as any other failure:
// its line names what came, the blank image stays, the run goes on.
TEST_F(FailedListRun, AnAnswerThatIsNoTileIsAFailure) {
  testsupport::WriteFileBytes(Target("a"), "the blank");
  server_.Script("/maps/a", {Reply::Ok("<html>busy</html>").WithHeader("Content-Type", "text/html")});
  Run({RecordOf("a"), RecordOf("b")});
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"Start...", "Not an image: text/html, 17 bytes->" + Url("a"),
                                                  OkLine("b"), "Download End."}));
  EXPECT_EQ(testsupport::ReadFileBytes(Target("a")), "the blank");
  EXPECT_EQ(outcome_.Failed, 1);
  EXPECT_EQ(outcome_.Saved, 1);
}

TEST_F(FailedListRun, StoresEveryTileAndLogsItWithItsUrl) {
  testsupport::WriteFileBytes(Target("b"), "an old blank");
  Run({RecordOf("a"), RecordOf("b")});
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"Start...", OkLine("a"), OkLine("b"), "Download End."}));
  EXPECT_EQ(testsupport::ReadFileBytes(Target("a")), TileServer::DefaultBody("/maps/a"));
  EXPECT_EQ(testsupport::ReadFileBytes(Target("b")), TileServer::DefaultBody("/maps/b"));
  // The repaint comes after "Start..." and before the first request.
  EXPECT_EQ(log_.repaints, std::vector<std::size_t>{1});
  EXPECT_EQ(log_.requestsAtRepaint, 0u);
}

TEST_F(FailedListRun, RequestsCarryTheRunsOwnHeadersAndNoProxy) {
  Run({RecordOf("a"), RecordOf("b")});
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].Path, "/maps/a");
  EXPECT_EQ(requests[1].Path, "/maps/b");
  for (const auto& request : requests) {
    EXPECT_FALSE(request.ViaProxy);
    EXPECT_EQ(request.Headers.at("referer"), ftl::kReferer);
    EXPECT_EQ(request.Headers.at("user-agent"), "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)");
    EXPECT_EQ(request.Headers.at("connection"), "Keep_Alive");
  }
}

TEST_F(FailedListRun, ReadsEveryKindOfLineEnd) {
  testsupport::WriteFileBytes(list_, RecordOf("a") + "\n" + RecordOf("b") + "\r" + RecordOf("c"));
  RunWritten();
  EXPECT_EQ(log_.lines,
            (std::vector<std::string>{"Start...", OkLine("a"), OkLine("b"), OkLine("c"), "Download End."}));
}

TEST_F(FailedListRun, UrlMayHoldAFurtherBar) {
  const std::string url = Url("a") + "|b";
  Run({Target("a") + "|" + url});
  ASSERT_EQ(server_.Requests().size(), 1u);
  const std::string path = server_.Requests()[0].Path;
  EXPECT_TRUE(path == "/maps/a|b" || path == "/maps/a%7Cb") << path;
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"Start...", Target("a") + ":" + url + " ->OK", "Download End."}));
}

// One failing record among others: its lines, and whether the run goes on.
struct FailureRow {
  const char* name;
  Reply reply;
  std::vector<std::string> lines;  // "{url}" stands for the record's URL
  bool runGoesOn;
};
void PrintTo(const FailureRow& row, std::ostream* out) { *out << row.name; }

class FailedListFailure : public FailedListRun, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(FailedListFailure, LinesOfTheRecordAndTheRest) {
  const FailureRow& row = GetParam();
  // The failing record comes first, on a fresh connection: libcurl repeats a
  // request by itself when a reused connection turns out dead.
  server_.Script("/maps/b", {row.reply});
  Run({RecordOf("b"), RecordOf("c")});

  std::vector<std::string> expected{"Start..."};
  for (std::string line : row.lines) {
    for (auto at = line.find("{url}"); at != std::string::npos; at = line.find("{url}")) line.replace(at, 5, Url("b"));
    expected.push_back(line);
  }
  if (row.runGoesOn) expected.push_back(OkLine("c"));
  expected.push_back("Download End.");
  EXPECT_EQ(log_.lines, expected);
  // Each request once: no repetition but for resets.
  EXPECT_EQ(server_.RequestsFor("/maps/b").size(), 1u);
  EXPECT_EQ(server_.RequestsFor("/maps/c").size(), row.runGoesOn ? 1u : 0u);
  EXPECT_FALSE(platform::FileExists(Target("b")));
  // What the command line's exit status is made of.
  EXPECT_EQ(outcome_.Failed, 1);
  EXPECT_EQ(outcome_.Saved, row.runGoesOn ? 1 : 0);
  EXPECT_EQ(outcome_.Refused, !row.runGoesOn);
  EXPECT_EQ(outcome_.NotTried, row.runGoesOn ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FailedListFailure,
    ::testing::Values(
        FailureRow{"Forbidden403", Reply::StatusOnly(403, "Forbidden"), {"HTTP/1.1 403 Forbidden->{url}", kBanned}, false},
        FailureRow{"Redirect302", Reply::Redirect("/maps/c"), {"HTTP/1.1 302 Found->{url}", kBanned}, false},
        FailureRow{"NotFound404",
                   Reply::StatusOnly(404, "Not Found"),
                   {"HTTP/1.1 404 Not Found->{url}", "{url}:Error: the image is not found on server."},
                   true},
        FailureRow{"LowerCaseNotFound",
                   Reply::StatusOnly(404, "Not Found").WithProtocol("http/1.1"),
                   {"http/1.1 404 Not Found->{url}", "{url}:Error: the image is not found on server."},
                   true},
        // Only a 404 earns the second line.
        FailureRow{"BadRequest400", Reply::StatusOnly(400, "Bad Request"), {"HTTP/1.1 400 Bad Request->{url}"}, true},
        FailureRow{"ServerError500", Reply::StatusOnly(500, "Internal Server Error"),
                   {"HTTP/1.1 500 Internal Server Error->{url}"}, true},
        // A success cut short: libcurl's text, whose byte count is no status
        // or socket error.
        FailureRow{"CutShortBy3020", Reply::CutShort("ab", 3020),
                   {"transfer closed with 3020 bytes remaining to read->{url}"}, true},
        FailureRow{"CutShortBy4030", Reply::CutShort("ab", 4030),
                   {"transfer closed with 4030 bytes remaining to read->{url}"}, true},
        FailureRow{"CutShortBy4041", Reply::CutShort("ab", 4041),
                   {"transfer closed with 4041 bytes remaining to read->{url}"}, true},
        FailureRow{"CutShortBy10054", Reply::CutShort("ab", 10054),
                   {"transfer closed with 10054 bytes remaining to read->{url}"}, true},
        // Neither a closed connection nor an address in use is repeated here.
        FailureRow{"ClosedConnection", Reply::WithFault(Fault::CloseWithoutAnswer),
                   {"Connection Closed Gracefully.->{url}"}, true},
        FailureRow{"AddressInUseText", Reply::StatusOnly(503, "Socket Error # 10048"),
                   {"HTTP/1.1 503 Socket Error # 10048->{url}"}, true},
        // "302" or "403" win over "404".
        FailureRow{"BanBeforeNotFound", Reply::StatusOnly(403, "404"), {"HTTP/1.1 403 404->{url}", kBanned}, false}),
    [](const ::testing::TestParamInfo<FailureRow>& info) { return std::string(info.param.name); });

TEST_F(FailedListRun, ResetIsRepeatedAtOnceAndOnlyTheSuccessIsStored) {
  server_.Script("/maps/a", {Reply::WithFault(Fault::Reset), Reply::WithFault(Fault::Reset), Reply::Ok(testsupport::TileImage("the real tile"))});
  Run({RecordOf("a")});
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"Start...", OkLine("a"), "Download End."}));
  EXPECT_EQ(server_.RequestsFor("/maps/a").size(), 3u);
  EXPECT_EQ(testsupport::ReadFileBytes(Target("a")), testsupport::TileImage("the real tile"));
}

TEST_F(FailedListRun, EndlessResetsAreBoundedThenHandledAsAnyFailure) {
  // The first reset comes on the connection kept alive from the record
  // before; libcurl's own repetition of that request counts as one.
  server_.Script("/maps/a", {Reply::WithFault(Fault::Reset)});
  Run({RecordOf("x"), RecordOf("a"), RecordOf("b")});
  const auto requests = server_.RequestsFor("/maps/a");
  EXPECT_EQ(requests.size(), static_cast<std::size_t>(download::kImmediateResetRepeats) + 1);
  EXPECT_EQ(requests.at(0).Connection, server_.RequestsFor("/maps/x").at(0).Connection);
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"Start...", OkLine("x"),
                                                  download::SocketErrorText(10054) + "->" + Url("a"), OkLine("b"),
                                                  "Download End."}));
}

TEST_F(FailedListRun, OverlongUrlIsNamedAndTheRunGoesOn) {
  // libcurl would fail it as "Out of memory" once its request head passed 1 MiB.
  const std::string url = Url(std::string(1u << 20, 'a'));
  Run({Target("long") + "|" + url, RecordOf("b")});
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"Start...",
                                                  "URL is too long: " + std::to_string(url.size()) +
                                                      " characters, at most 65536 are allowed.->" + url,
                                                  OkLine("b"), "Download End."}));
  EXPECT_EQ(server_.Requests().size(), 1u);
}

// A tile that cannot be saved ends the run at its record: the error goes to
// the caller, with no further line and no "Download End.".
struct SaveFailureRow {
  const char* name;
  std::string targetName;  // inside the test folder; "" for an empty target
  bool makeFolder;         // the target names an existing folder
  bool makePipe = false;   // a named pipe, which no one reads, is in its place
};
void PrintTo(const SaveFailureRow& row, std::ostream* out) { *out << row.name; }

class FailedListSaveFailure : public FailedListRun, public ::testing::WithParamInterface<SaveFailureRow> {};

TEST_P(FailedListSaveFailure, EndsTheRunAtThatRecord) {
  const SaveFailureRow& row = GetParam();
  const std::string target = row.targetName.empty() ? std::string() : dir_.File(row.targetName);
  if (row.makeFolder) platform::CreateDir(target);
#ifndef _WIN32  // no named pipes there (tests/wine-exclusions.cmake)
  if (row.makePipe) {
    ASSERT_EQ(::mkfifo(target.c_str(), 0600), 0);
  }
#endif
  platform::WriteTextLines(list_, {RecordOf("x"), target + "|" + Url("a"), RecordOf("b")});
  try {
    ftl::RunFailedList(list_, log_);
    FAIL() << "no error";
  } catch (const platform::FileError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file " + target);
  }
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"Start...", OkLine("x")}));
  EXPECT_EQ(server_.RequestsFor("/maps/a").size(), 1u);
  EXPECT_TRUE(server_.RequestsFor("/maps/b").empty());
}

INSTANTIATE_TEST_SUITE_P(Rows, FailedListSaveFailure,
                         ::testing::Values(SaveFailureRow{"MissingFolder", "gone/a.jpg", false},
                                           SaveFailureRow{"EmptyTarget", "", false},
                                           SaveFailureRow{"TargetIsAFolder", "folder", true},
                                           SaveFailureRow{"TargetIsANamedPipe", "pipe.jpg", false, true}),
                         [](const ::testing::TestParamInfo<SaveFailureRow>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
