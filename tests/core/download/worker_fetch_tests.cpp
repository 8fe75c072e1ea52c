// One worker fetching single tiles: storing, retrying, giving up, the reports
// and records of every failure class, and what a stop does to a tile in hand.

#include <filesystem>

#include "tests/core/download/worker_fixture.h"
#include "tests/support/Sockets.h"
#include "tests/support/TileImages.h"

namespace workertest {
namespace {

using testsupport::Fault;
using testsupport::Reply;
using testsupport::TileServer;

constexpr int32_t kX = 6742;
constexpr int32_t kY1 = 3101;
constexpr int32_t kY2 = 3102;
const TileBlock kColumnOfTwo{kX, kY1, 1, 2, 13};
const TileBlock kOneTile{kX, kY1, 1, 1, 13};
const std::string kRealTile = testsupport::TileImage("the real tile");

class WorkerFetch : public WorkerTest {
 protected:
  std::string Expand(std::string text) const {
    const std::pair<std::string, std::string> keys[] = {
        {"{url1}", UrlOf(kX, kY1)},
        {"{path1}", FileOf(kX, kY1)},
        {"{name1}", task_->TileFileName(kX, kY1)},
        {"{name2}", task_->TileFileName(kX, kY2)},
    };
    for (const auto& [key, value] : keys) {
      for (auto at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size())) {
        text.replace(at, key.size(), value);
      }
    }
    return text;
  }
  std::vector<std::string> Expand(const std::vector<std::string>& lines) const {
    std::vector<std::string> out;
    for (const auto& line : lines) out.push_back(Expand(line));
    return out;
  }
};

TEST_F(WorkerFetch, SavedTileHoldsTheBodyAndIsReportedWithItsWalkNumber) {
  MakeTask(kOneTile, 1);
  RunToEnd(1);
  EXPECT_EQ(sink_.LogLines(), (std::vector<std::string>{"T1:seq=1,nm_6742_3101_13.jpg OK", "T1 Finished."}));
  EXPECT_TRUE(sink_.FailedLines().empty());
  EXPECT_EQ(testsupport::ReadFileBytes(FileOf(kX, kY1)), TileServer::DefaultBody(PathOf(kX, kY1)));
  ExpectEveryWorkerEndedOnce(1);
  // The worker sends only the client's own headers.
  const auto requests = server_.RequestsFor(PathOf(kX, kY1));
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_FALSE(requests[0].ViaProxy);
  EXPECT_EQ(requests[0].Headers.count("referer"), 0u);
}

TEST_F(WorkerFetch, PublishedPositionIsTheLastFinishedTile) {
  MakeTask(kColumnOfTwo, 1);
  Start(1);
  ASSERT_TRUE(sink_.WaitForFinished(1, 30s));
  EXPECT_EQ(workers_[0]->LastX(), kX);
  EXPECT_EQ(workers_[0]->LastY(), kY2);
}

TEST_F(WorkerFetch, ExistingTileFileIsReplacedByAFetchedTile) {
  MakeTask(kOneTile, 1);
  testsupport::WriteFileBytes(FileOf(kX, kY1), "from an earlier run");
  RunToEnd(1);
  EXPECT_EQ(testsupport::ReadFileBytes(FileOf(kX, kY1)), TileServer::DefaultBody(PathOf(kX, kY1)));
}

// A retried tile stores the body of its successful request only.
struct RetryRow {
  const char* name;
  std::vector<Reply> replies;
  std::size_t requests;
};
void PrintTo(const RetryRow& row, std::ostream* out) { *out << row.name; }

class WorkerRetry : public WorkerFetch, public ::testing::WithParamInterface<RetryRow> {};

TEST_P(WorkerRetry, StoresOnlyTheSuccessfulBody) {
  MakeTask(kOneTile, 1);
  server_.Script(PathOf(kX, kY1), GetParam().replies);
  RunToEnd(1);
  EXPECT_EQ(server_.RequestsFor(PathOf(kX, kY1)).size(), GetParam().requests);
  EXPECT_EQ(testsupport::ReadFileBytes(FileOf(kX, kY1)), kRealTile);
  EXPECT_EQ(sink_.LogLines(), (std::vector<std::string>{"T1:seq=1,nm_6742_3101_13.jpg OK", "T1 Finished."}));
  EXPECT_TRUE(sink_.FailedLines().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WorkerRetry,
    ::testing::Values(
        RetryRow{"AfterServerError", {Reply::StatusOnly(500, "Internal Server Error"), Reply::Ok(kRealTile)}, 2},
        RetryRow{"AfterReset", {Reply::WithFault(Fault::Reset), Reply::Ok(kRealTile)}, 2},
        RetryRow{"AfterClosedConnection",
                 {Reply::WithFault(Fault::CloseWithoutAnswer), Reply::WithFault(Fault::CloseWithoutAnswer),
                  Reply::Ok(kRealTile)},
                 3},
        RetryRow{"AfterTwoNotFound",
                 {Reply::StatusOnly(404, "Not Found"), Reply::StatusOnly(404, "Not Found"), Reply::Ok(kRealTile)},
                 3},
        RetryRow{"AfterResetMidBody",
                 {Reply::CutShort("the real", 4, Fault::ResetMidBody), Reply::Ok(kRealTile)},
                 2},
        RetryRow{"LowerCaseStatusLine", {Reply::Ok(kRealTile).WithProtocol("http/1.1")}, 1}),
    [](const ::testing::TestParamInfo<RetryRow>& info) { return std::string(info.param.name); });

// A tile whose every request fails the same way: the number of requests, the
// pauses between them, the reports, the record and what becomes of the tile.
enum class TileAfter { Blank, NoFile };

struct GiveUpRow {
  const char* name;
  Reply reply;
  int pauseMs;
  std::vector<std::string> log;
  std::vector<std::string> failed;
  TileAfter tile;
  bool workerGoesOn;
};
void PrintTo(const GiveUpRow& row, std::ostream* out) { *out << row.name; }

const std::string kBanned = "Error: may be your IP is banned.\nPlease try again later.";
const std::string kNetwork = "Error: Your network has problem, please check it.";

// Class other: report A with the error text, record F, the blank image, and
// the worker goes on with its next tile.
GiveUpRow OtherFailure(const char* name, Reply reply, const std::string& errorText) {
  return GiveUpRow{name,
                   std::move(reply),
                   kUnitMs,
                   {"T1 " + errorText + "->{url1}", "T1:6742-3101 got a blank image!", "T1:seq=2,{name2} OK",
                    "T1 Finished."},
                   {"{path1}|{url1}"},
                   TileAfter::Blank,
                   true};
}

class WorkerGiveUp : public WorkerFetch, public ::testing::WithParamInterface<GiveUpRow> {};

TEST_P(WorkerGiveUp, ThreeRequestsThenTheClassConsequences) {
  const GiveUpRow& row = GetParam();
  MakeTask(kColumnOfTwo, 1);
  server_.Script(PathOf(kX, kY1), {row.reply});
  RunToEnd(1);

  EXPECT_EQ(server_.RequestsFor(PathOf(kX, kY1)).size(), 3u);
  for (long long gap : GapsMs(PathOf(kX, kY1))) EXPECT_GE(gap, row.pauseMs);
  EXPECT_EQ(sink_.LogLines(), Expand(row.log));
  EXPECT_EQ(sink_.FailedLines(), Expand(row.failed));
  if (row.tile == TileAfter::Blank) {
    EXPECT_EQ(testsupport::ReadFileBytes(FileOf(kX, kY1)), kBlankBytes);
  } else {
    EXPECT_FALSE(FileExists(FileOf(kX, kY1)));
  }
  EXPECT_EQ(server_.RequestsFor(PathOf(kX, kY2)).size(), row.workerGoesOn ? 1u : 0u);
  // A substituted tile is finished; a tile that stops the worker is not.
  const task::TilePosition last = workers_[0]->LastPosition();
  EXPECT_EQ(last.X, row.workerGoesOn ? kX : 0);
  EXPECT_EQ(last.Y, row.workerGoesOn ? kY2 : 0);
  ExpectEveryWorkerEndedOnce(1);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WorkerGiveUp,
    ::testing::Values(
        GiveUpRow{"NotFound404",
                  Reply::StatusOnly(404, "Not Found"),
                  kUnitMs,
                  {"Error: the image is not found on server.HTTP/1.1 404 Not Found", "T1:6742-3101 got a blank image!",
                   "T1:seq=2,{name2} OK", "T1 Finished."},
                  {},
                  TileAfter::Blank,
                  true},
        GiveUpRow{"BadRequest400",
                  Reply::StatusOnly(400, "Bad Request"),
                  kUnitMs,
                  {"Error: the image is not found on server.HTTP/1.1 400 Bad Request", "T1:6742-3101 got a blank image!",
                   "T1:seq=2,{name2} OK", "T1 Finished."},
                  {},
                  TileAfter::Blank,
                  true},
        GiveUpRow{"Forbidden403",
                  Reply::StatusOnly(403, "Forbidden"),
                  kUnitMs,
                  {"T1 HTTP/1.1 403 Forbidden->{url1}", kBanned, "T1 Finished."},
                  {"{path1}|{url1}"},
                  TileAfter::NoFile,
                  false},
        GiveUpRow{"RedirectIsNotFollowed302",
                  Reply::Redirect("/maps/elsewhere"),
                  kUnitMs,
                  {"T1 HTTP/1.1 302 Found->{url1}", kBanned, "T1 Finished."},
                  {"{path1}|{url1}"},
                  TileAfter::NoFile,
                  false},
        GiveUpRow{"RequestTimeout408",
                  Reply::StatusOnly(408, "Request Timeout"),
                  2 * kUnitMs,
                  {"T1 HTTP/1.1 408 Request Timeout->{url1}", kNetwork, "T1 Finished."},
                  {"{path1}|{url1}"},
                  TileAfter::NoFile,
                  false},
        GiveUpRow{"LowerCaseNotFound",
                  Reply::StatusOnly(404, "Not Found").WithProtocol("http/1.1"),
                  kUnitMs,
                  {"Error: the image is not found on server.http/1.1 404 Not Found", "T1:6742-3101 got a blank image!",
                   "T1:seq=2,{name2} OK", "T1 Finished."},
                  {},
                  TileAfter::Blank,
                  true},
        OtherFailure("ServerError500", Reply::StatusOnly(500, "Internal Server Error"),
                     "HTTP/1.1 500 Internal Server Error"),
        // Answers sent with status 200 that are no tile.
        OtherFailure("EmptyAnswer", Reply::Ok(""), "Not an image: image/jpeg, 0 bytes"),
        OtherFailure("PageSentAsSuccess", Reply::Ok("<html>busy</html>").WithHeader("Content-Type", "text/html"),
                     "Not an image: text/html, 17 bytes"),
        OtherFailure("CutShortTile", Reply::Ok(testsupport::TileImage("cut").substr(0, 400)),
                     "Not a tile (truncated): image/jpeg, 400 bytes"),
        OtherFailure("PngForAJpegTask", Reply::Ok(testsupport::TileImage("png", "png")),
                     "Not a tile (a PNG image, not JPEG): image/jpeg, " +
                         std::to_string(testsupport::TileImage("png", "png").size()) + " bytes"),
        // Only the status counts, never digits or words of the reason phrase.
        OtherFailure("ReasonNamingASocketError", Reply::StatusOnly(503, "Socket Error # 10048"),
                     "HTTP/1.1 503 Socket Error # 10048"),
        // A success cut short fails with libcurl's text, whose byte count is
        // no status or socket error.
        OtherFailure("CutShortBy3020", Reply::CutShort("ab", 3020),
                     "transfer closed with 3020 bytes remaining to read"),
        OtherFailure("CutShortBy4030", Reply::CutShort("ab", 4030),
                     "transfer closed with 4030 bytes remaining to read"),
        OtherFailure("CutShortBy4041", Reply::CutShort("ab", 4041),
                     "transfer closed with 4041 bytes remaining to read"),
        OtherFailure("CutShortBy10054", Reply::CutShort("ab", 10054),
                     "transfer closed with 10054 bytes remaining to read")),
    [](const ::testing::TestParamInfo<GiveUpRow>& info) { return std::string(info.param.name); });

TEST_F(WorkerFetch, RedirectTargetIsNeverRequested) {
  MakeTask(kOneTile, 1);
  server_.Script(PathOf(kX, kY1), {Reply::Redirect("/maps/elsewhere")});
  RunToEnd(1);
  EXPECT_TRUE(server_.RequestsFor("/maps/elsewhere").empty());
}

TEST_F(WorkerFetch, StopWorkerOnTheFirstTileLeavesNoPosition) {
  MakeTask(kColumnOfTwo, 1);
  server_.Script(PathOf(kX, kY1), {Reply::StatusOnly(403, "Forbidden")});
  Start(1);
  ASSERT_TRUE(sink_.WaitForFinished(1, 30s));
  EXPECT_EQ(workers_[0]->LastX(), 0);
  EXPECT_EQ(workers_[0]->LastY(), 0);
}

TEST_F(WorkerFetch, RequestsCountedOnTheWireEndTheTileAtTheFirstNotFound) {
  // Two resets use up two of the three requests: the first 404 gives up. The
  // first reset comes on the connection kept alive from the tile before, and
  // libcurl re-sends that request by itself on a new one: both count.
  MakeTask(kColumnOfTwo, 1);
  server_.Script(PathOf(kX, kY2), {Reply::WithFault(Fault::Reset), Reply::WithFault(Fault::Reset),
                                   Reply::StatusOnly(404, "Not Found"), Reply::Ok("never asked for")});
  RunToEnd(1);
  const auto requests = server_.RequestsFor(PathOf(kX, kY2));
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].Connection, server_.RequestsFor(PathOf(kX, kY1)).at(0).Connection);
  EXPECT_EQ(sink_.LogLines(),
            Expand(std::vector<std::string>{"T1:seq=1,{name1} OK",
                                            "Error: the image is not found on server.HTTP/1.1 404 Not Found",
                                            "T1:6742-3102 got a blank image!", "T1 Finished."}));
  EXPECT_EQ(testsupport::ReadFileBytes(FileOf(kX, kY2)), kBlankBytes);
}

TEST_F(WorkerFetch, BlankCopyNeverReplacesAnExistingFile) {
  MakeTask(kOneTile, 1);
  testsupport::WriteFileBytes(FileOf(kX, kY1), "tile of an earlier run");
  server_.Script(PathOf(kX, kY1), {Reply::StatusOnly(404, "Not Found")});
  RunToEnd(1);
  EXPECT_EQ(testsupport::ReadFileBytes(FileOf(kX, kY1)), "tile of an earlier run");
  EXPECT_EQ(sink_.LogLines().at(1), "T1:6742-3101 got a blank image!");
}

TEST_F(WorkerFetch, MissingBlankImageStillReportsTheSubstitution) {
  testsupport::TempDir emptyProgramFolder;
  env_.ProgramFolder = emptyProgramFolder.Path();
  MakeTask(kOneTile, 1);
  server_.Script(PathOf(kX, kY1), {Reply::StatusOnly(500, "Internal Server Error")});
  RunToEnd(1);
  EXPECT_EQ(sink_.LogLines(),
            Expand(std::vector<std::string>{"T1 HTTP/1.1 500 Internal Server Error->{url1}",
                                            "T1:6742-3101 got a blank image!", "T1 Finished."}));
  EXPECT_EQ(sink_.FailedLines(), Expand(std::vector<std::string>{"{path1}|{url1}"}));
  EXPECT_FALSE(FileExists(FileOf(kX, kY1)));
}


TEST_F(WorkerFetch, RefusedConnectionIsANetworkFailureThatStopsTheWorker) {
  tileHost_ = "127.0.0.1:" + std::to_string(testsupport::ClosedLoopbackPort());
  MakeTask(kOneTile, 1);
  RunToEnd(1);
  EXPECT_EQ(sink_.LogLines(),
            Expand(std::vector<std::string>{"T1 " + download::SocketErrorText(10061) + "->{url1}", kNetwork,
                                            "T1 Finished."}));
  EXPECT_EQ(sink_.FailedLines(), Expand(std::vector<std::string>{"{path1}|{url1}"}));
}

TEST_F(WorkerFetch, TileThatCannotBeWrittenEndsTheWorkerWithOneErrorLine) {
  MakeTask(kColumnOfTwo, 1);
  std::filesystem::remove_all(task_->ImageFolder);
  RunToEnd(1);
  EXPECT_EQ(sink_.LogLines(),
            Expand(std::vector<std::string>{"T1 Error: Cannot create file {path1}: No such file or directory",
                                            "T1 Finished."}));
  EXPECT_TRUE(sink_.FailedLines().empty());
  EXPECT_TRUE(server_.RequestsFor(PathOf(kX, kY2)).empty());
  ExpectEveryWorkerEndedOnce(1);
}

// Stops that come while a tile is in hand: the tile is abandoned, nothing is
// reported, recorded or substituted, and the worker ends through its finish line.
TEST_F(WorkerFetch, StopDuringAStalledRequestAbandonsTheTile) {
  MakeTask(kColumnOfTwo, 1);
  server_.Script(PathOf(kX, kY1), {Reply::Stalled("0123456789")});
  Start(1);
  ASSERT_TRUE(testsupport::WaitFor([&] { return server_.RequestsFor(PathOf(kX, kY1)).size() == 1; }));
  workers_[0]->Terminate();
  ASSERT_TRUE(sink_.WaitForFinished(1, 15s)) << "a stop did not end a stalled request";
  EXPECT_EQ(sink_.LogLines(), std::vector<std::string>{"T1 Finished."});
  EXPECT_TRUE(sink_.FailedLines().empty());
  EXPECT_FALSE(FileExists(FileOf(kX, kY1)));
  EXPECT_EQ(workers_[0]->LastX(), 0);
  EXPECT_EQ(workers_[0]->LastY(), 0);
}

// A server that resets every connection gets the first resets of a tile
// repeated at once, then requests further and further apart.
TEST_F(WorkerFetch, ResetsAfterTheImmediateRepetitionsArePausedLongerEachTime) {
  env_.Pace.ResetPauseMs = 30;
  env_.Pace.ResetPauseMaxMs = 120;
  MakeTask(kOneTile, 1);
  server_.Script(PathOf(kX, kY1), {Reply::WithFault(Fault::Reset)});
  Start(1);
  ASSERT_TRUE(testsupport::WaitFor([&] { return server_.RequestsFor(PathOf(kX, kY1)).size() >= 15; }));
  workers_[0]->Terminate();
  ASSERT_TRUE(sink_.WaitForFinished(1, 15s));
  const std::vector<long long> gaps = GapsMs(PathOf(kX, kY1));
  ASSERT_GE(gaps.size(), 14u);
  const long long pauses[] = {30, 60, 120, 120};  // after resets 11, 12, 13, 14
  for (std::size_t i = 0; i < std::size(pauses); ++i) {
    EXPECT_GE(gaps[download::kImmediateResetRepeats + i], pauses[i]) << "after reset " << 11 + i;
  }
  EXPECT_EQ(sink_.LogLines(), std::vector<std::string>{"T1 Finished."});
  EXPECT_TRUE(sink_.FailedLines().empty());
}

TEST_F(WorkerFetch, StopEndsThePauseBetweenResetsAtOnce) {
  env_.Pace.ResetPauseMs = env_.Pace.ResetPauseMaxMs = 10 * 60 * 1000;
  MakeTask(kOneTile, 1);
  server_.Script(PathOf(kX, kY1), {Reply::WithFault(Fault::Reset)});
  Start(1);
  const std::size_t immediate = download::kImmediateResetRepeats + 1;
  ASSERT_TRUE(testsupport::WaitFor([&] { return server_.RequestsFor(PathOf(kX, kY1)).size() >= immediate; }));
  workers_[0]->Terminate();
  ASSERT_TRUE(sink_.WaitForFinished(1, 15s)) << "resets held the worker after a stop";
  EXPECT_EQ(server_.RequestsFor(PathOf(kX, kY1)).size(), immediate);
  EXPECT_EQ(sink_.LogLines(), std::vector<std::string>{"T1 Finished."});
  EXPECT_TRUE(sink_.FailedLines().empty());
  EXPECT_FALSE(FileExists(FileOf(kX, kY1)));
}

struct PausedRow {
  const char* name;
  Reply reply;
};
void PrintTo(const PausedRow& row, std::ostream* out) { *out << row.name; }

class WorkerStopInPause : public WorkerFetch, public ::testing::WithParamInterface<PausedRow> {};

TEST_P(WorkerStopInPause, AbandonsTheTileAtOnce) {
  constexpr int kTenMinutes = 10 * 60 * 1000;
  env_.Pace.RefusedMs = env_.Pace.NetworkMs = env_.Pace.NotFoundMs = env_.Pace.OtherMs = kTenMinutes;
  MakeTask(kOneTile, 1);
  server_.Script(PathOf(kX, kY1), {GetParam().reply});
  Start(1);
  ASSERT_TRUE(testsupport::WaitFor([&] { return server_.RequestsFor(PathOf(kX, kY1)).size() == 1; }));
  workers_[0]->Terminate();
  ASSERT_TRUE(sink_.WaitForFinished(1, 15s)) << "the pause outlived the stop";
  EXPECT_EQ(sink_.LogLines(), std::vector<std::string>{"T1 Finished."});
  EXPECT_TRUE(sink_.FailedLines().empty());
  EXPECT_FALSE(FileExists(FileOf(kX, kY1)));
  EXPECT_EQ(server_.RequestsFor(PathOf(kX, kY1)).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Rows, WorkerStopInPause,
                         ::testing::Values(PausedRow{"Refused", Reply::StatusOnly(403, "Forbidden")},
                                           PausedRow{"Network", Reply::StatusOnly(408, "Request Timeout")},
                                           PausedRow{"NotFound", Reply::StatusOnly(404, "Not Found")},
                                           PausedRow{"Other", Reply::StatusOnly(500, "Internal Server Error")}),
                         [](const ::testing::TestParamInfo<PausedRow>& info) { return std::string(info.param.name); });

TEST_F(WorkerFetch, FetchTileOutcomesWithoutAThread) {
  // FetchTile on a worker that never started: each outcome of the enum.
  MakeTask(TileBlock{kX, kY1, 1, 4, 13}, 1);
  server_.Script(PathOf(kX, kY1 + 1), {Reply::StatusOnly(404, "Not Found")});
  server_.Script(PathOf(kX, kY1 + 2), {Reply::StatusOnly(403, "Forbidden")});
  download::TDownThread worker(true, 0, *task_, env_);
  EXPECT_EQ(worker.FetchTile(kX, kY1), download::FetchOutcome::Saved);
  EXPECT_EQ(worker.FetchTile(kX, kY1 + 1), download::FetchOutcome::Substituted);
  EXPECT_EQ(worker.FetchTile(kX, kY1 + 2), download::FetchOutcome::StopWorker);
  worker.Terminate();
  EXPECT_EQ(worker.FetchTile(kX, kY1 + 3), download::FetchOutcome::Abandoned);
  EXPECT_TRUE(server_.RequestsFor(PathOf(kX, kY1 + 3)).empty());
  // Outcomes are the worker's business: FetchTile itself writes no success line.
  for (const auto& line : sink_.LogLines()) EXPECT_EQ(line.find(" OK"), std::string::npos) << line;
}

}  // namespace
}  // namespace workertest
