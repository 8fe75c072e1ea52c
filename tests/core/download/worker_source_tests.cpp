// Workers downloading a tile source of the user's own from the loopback
// server: its placeholders and headers on the wire, its secret nowhere else,
// its file names, the blank PNG, an error page sent as a success, Retry-After.
#include <algorithm>
#include <ostream>
#include <set>

#include "tests/core/download/worker_fixture.h"
#include "tests/support/TileImages.h"

namespace workertest {
namespace {

using testsupport::Reply;

const std::string kPng = testsupport::TileImage("tile", "png");
const std::string kBlankPng("\x89PNG\r\n\x1A\n blank", 14);
const std::string kSecret = "S3CR3T";

class WorkerSource : public WorkerTest {
 protected:
  WorkerSource() {
    testsupport::MakeBlankImage(program_.Path(), kBlankPng, "png");
    server_.SetDefault(Reply::Ok(kPng).WithHeader("Content-Type", "image/png"));
  }

  task::TileSource Source() const {
    task::TileSource s;
    s.Name = "Mine";
    s.UrlTemplate = "http://" + server_.HostPort() + "/t/{s}/{z}/{x}/{-y}.png?q={q}&key={secret}";
    s.FilePrefix = "my";
    s.Extension = "png";
    s.Subdomains = {"a", "b"};
    s.HeaderLines = {"X-Api-Key: {secret}"};
    s.Referer = "https://example.org/";
    s.PauseMs = 10;
    s.MaxWorkers = 2;
    return s;
  }

  task::MDTask& MakeSourceTask(const TileBlock& block, int32_t threads) {
    return MakeTask(block, threads, [this](task::TaskParameters& p, task::RunSettings& run) {
      p.MapsType = task::kMapUserSource;
      p.Source = Source();
      run.SourceSecret = kSecret;
    });
  }

  // Every line of the log and the failed list, and not one with the secret.
  void ExpectSecretNowhere() const {
    for (const std::string& line : sink_.LogLines()) EXPECT_EQ(line.find(kSecret), std::string::npos) << line;
    for (const std::string& line : sink_.FailedLines()) EXPECT_EQ(line.find(kSecret), std::string::npos) << line;
  }

  static std::string PathOf(int32_t x, int32_t y, int32_t zoom = 13) {
    const std::string subdomain = (x + y) % 2 == 0 ? "a" : "b";
    return "/t/" + subdomain + "/" + std::to_string(zoom) + "/" + std::to_string(x) + "/" +
           std::to_string((1 << zoom) - 1 - y) + ".png?q=" + task::Quadkey(x, y, zoom) + "&key=" + kSecret;
  }
};

TEST_F(WorkerSource, TilesAreFetchedByTheTemplateWithTheSecretAndSavedUnderTheSourcesNames) {
  MakeSourceTask({6742, 3101, 2, 2, 13}, 2);
  RunToEnd(2);
  std::set<std::string> paths;
  for (const auto& request : server_.Requests()) {
    paths.insert(request.Path);
    EXPECT_EQ(request.Headers.at("x-api-key"), kSecret);
    EXPECT_EQ(request.Headers.at("referer"), "https://example.org/");
    // A source without a User-Agent of its own names the program.
    EXPECT_EQ(request.Headers.at("user-agent"), task::kDefaultUserAgent);
  }
  EXPECT_EQ(paths, (std::set<std::string>{PathOf(6742, 3101), PathOf(6742, 3102), PathOf(6743, 3101),
                                         PathOf(6743, 3102)}));
  for (int32_t x : {6742, 6743}) {
    for (int32_t y : {3101, 3102}) {
      EXPECT_EQ(testsupport::ReadFileBytes(save_.Path() + "t/my_" + std::to_string(x) + "_" + std::to_string(y) +
                                           "_13.png"),
                kPng);
    }
  }
  const std::vector<std::string> log = sink_.LogLines();
  EXPECT_EQ(std::count(log.begin(), log.end(), "T2:seq=1,my_6742_3101_13.png OK"), 1);
  ExpectSecretNowhere();
}

// An HTML page sent with status 200 is no tile: a failure of its own, the
// tile in the failed list (its URL's secret masked) and the blank PNG in its
// place; a "not found" gets the blank PNG too, never a JPEG.
TEST_F(WorkerSource, AnErrorPageSentAsASuccessAndANotFoundGetTheBlankPng) {
  MakeSourceTask({6742, 3101, 1, 2, 13}, 1);
  server_.Script(PathOf(6742, 3101), {Reply::Ok("<html>quota exceeded</html>").WithHeader("Content-Type", "text/html")});
  server_.Script(PathOf(6742, 3102), {Reply::StatusOnly(404, "Not Found")});
  RunToEnd(1);
  EXPECT_EQ(server_.RequestsFor(PathOf(6742, 3101)).size(), 3u);
  const std::string url = task_->TileURL(6742, 3101);
  EXPECT_NE(url.find("key={secret:Mine}"), std::string::npos) << url;
  EXPECT_EQ(sink_.LogLines(), (std::vector<std::string>{
                                  "T1 Not an image: text/html, 27 bytes->" + url,
                                  "T1:6742-3101 got a blank image!",
                                  "Error: the image is not found on server.HTTP/1.1 404 Not Found",
                                  "T1:6742-3102 got a blank image!",
                                  "T1 Finished.",
                              }));
  EXPECT_EQ(sink_.FailedLines(), std::vector<std::string>{task_->TileFilePath(6742, 3101) + "|" + url});
  EXPECT_EQ(testsupport::ReadFileBytes(save_.Path() + "t/my_6742_3101_13.png"), kBlankPng);
  EXPECT_EQ(testsupport::ReadFileBytes(save_.Path() + "t/my_6742_3102_13.png"), kBlankPng);
  ExpectSecretNowhere();
}

TEST_F(WorkerSource, RetryAfterIsWaitedAndLogged) {
  MakeSourceTask({6742, 3101, 1, 1, 13}, 1);
  server_.Script(PathOf(6742, 3101), {Reply::StatusOnly(429, "Too Many Requests").WithHeader("Retry-After", "1"),
                                      Reply::Ok(kPng)});
  RunToEnd(1);
  EXPECT_EQ(sink_.LogLines(), (std::vector<std::string>{
                                  "T1 The server asks to wait 1 s (HTTP 429)->" + task_->TileURL(6742, 3101),
                                  "T1:seq=1,my_6742_3101_13.png OK",
                                  "T1 Finished.",
                              }));
  ASSERT_EQ(GapsMs(PathOf(6742, 3101)).size(), 1u);
  EXPECT_GE(GapsMs(PathOf(6742, 3101))[0], 1000);
}

// A long wait ends with a stop: the tile is abandoned, the worker ends.
TEST_F(WorkerSource, AStopEndsTheWaitAServerAskedFor) {
  MakeSourceTask({6742, 3101, 1, 1, 13}, 1);
  server_.Script(PathOf(6742, 3101), {Reply::StatusOnly(503, "Service Unavailable").WithHeader("Retry-After", "600")});
  Start(1);
  ASSERT_TRUE([&] {
    for (auto end = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < end;) {
      if (sink_.LogLines().size() == 1) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }());
  EXPECT_EQ(sink_.LogLines()[0], "T1 The server asks to wait 600 s (HTTP 503)->" + task_->TileURL(6742, 3101));
  workers_[0]->Terminate();
  ASSERT_TRUE(sink_.WaitForFinished(1, 10s)) << "the stop ends the wait";
  EXPECT_EQ(sink_.LogLines().back(), "T1 Finished.");
  EXPECT_TRUE(sink_.FailedLines().empty());
}

}  // namespace
}  // namespace workertest

namespace workertest {
namespace {

// A source's server in trouble is asked again after pauses that double from
// the first (each lengthened by up to half of it), a bounded number of times,
// and the tile is then given up with the reason said.
TEST_F(WorkerSource, TransientFailuresAreAskedAgainAfterGrowingPausesThenGivenUpWithTheReason) {
  struct Case {
    const char* Name;
    Reply Failure;
    bool Recovers;
    const char* Reason;
  };
  const Case cases[] = {
      {"503 three times, then the tile", Reply::StatusOnly(503, "Service Unavailable"), true, "HTTP 503"},
      {"502 for good", Reply::StatusOnly(502, "Bad Gateway"), false, "HTTP 502"},
      {"a connection reset for good", Reply::WithFault(testsupport::Fault::Reset), false, "connection reset"},
  };
  int32_t x = 6742;
  int finished = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    env_.Pace.BackoffRetries = 3;
    MakeSourceTask({x, 3101, 1, 1, 13}, 1);
    std::vector<Reply> replies(3, c.Failure);
    if (c.Recovers) replies.push_back(Reply::Ok(kPng));
    server_.Script(PathOf(x, 3101), replies);
    Start(1);
    ASSERT_TRUE(sink_.WaitForFinished(++finished, 60s));
    workers_.clear();
    const std::vector<long long> gaps = GapsMs(PathOf(x, 3101));
    // Three failures answered, then the tile, or one more failure and no more.
    ASSERT_EQ(gaps.size(), 3u);
    for (std::size_t i = 0; i < gaps.size(); ++i) EXPECT_GE(gaps[i], kUnitMs << i) << "pause " << i + 1;
    const std::string url = task_->TileURL(x, 3101);
    std::vector<std::string> log;
    for (const std::string& line : sink_.LogLines()) {
      if (line.find(url) != std::string::npos) log.push_back(line);
    }
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [&](const std::string& line) {
                              return line.rfind(std::string("T1 ") + c.Reason + ", asking again in ", 0) == 0;
                            }),
              3)
        << testing::PrintToString(log);
    if (c.Recovers) {
      EXPECT_EQ(log.size(), 3u);
      EXPECT_EQ(testsupport::ReadFileBytes(task_->TileFilePath(x, 3101)), kPng);
    } else {
      const std::vector<std::string> failed = sink_.FailedLines();
      EXPECT_EQ(std::count(failed.begin(), failed.end(), task_->TileFilePath(x, 3101) + "|" + url), 1);
      ASSERT_GE(log.size(), 4u);
      EXPECT_EQ(log[3].rfind("T1 Given up after 4 requests in ", 0), 0u) << log[3];
      EXPECT_NE(log[3].find(std::string("s: ") + c.Reason + "->" + url), std::string::npos) << log[3];
    }
    ++x;
  }
}

TEST(Backoff, PausesDoubleUpToTheCapWithUpToHalfAgainOfJitter) {
  download::Pacing pace;
  struct Row {
    int64_t Retry;
    double Jitter;
    int Ms;
  } const rows[] = {{1, 0, 1000}, {2, 0, 2000}, {3, 0, 4000}, {5, 0, 16000}, {6, 0, 32000}, {12, 0, 32000},
                    {1, 1, 1500}, {3, 0.5, 5000}, {9, 1, 48000}, {2, -3, 2000}};
  for (const Row& row : rows) EXPECT_EQ(download::BackoffPauseMs(pace, row.Retry, row.Jitter), row.Ms) << row.Retry;
  download::HttpResult gatewayTimeout;
  gatewayTimeout.Status = 504;
  EXPECT_TRUE(download::IsTransient(gatewayTimeout));
  download::HttpResult notFound;
  notFound.Status = 404;
  download::HttpResult addressInUse;
  addressInUse.SocketError = download::kSocketAddressInUse;
  download::HttpResult refused;
  refused.SocketError = 10061;
  EXPECT_FALSE(download::IsTransient(notFound));
  EXPECT_FALSE(download::IsTransient(addressInUse));
  EXPECT_TRUE(download::IsTransient(refused));
}

// A source that sends the user's key (in its URL or a header) is judged as
// the Nearmap API is: a 401 or 403 says the key was refused, and the worker
// ends at once. A source without a key keeps the refusal of the server.
struct RefusalCase {
  const char* Name;
  bool WithKey;
  int Status;
  const char* Words;
  const char* Message;
  std::size_t Requests;  // the key refused at once; the server's refusal asked again
};
void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.Name; }

class WorkerSourceRefusal : public WorkerSource, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(WorkerSourceRefusal, SaysTheKeyWasRefusedWhenTheSourceSendsOne) {
  const RefusalCase& c = GetParam();
  task::TileSource source = Source();
  if (!c.WithKey) {
    source.UrlTemplate = "http://" + server_.HostPort() + "/t/{s}/{z}/{x}/{-y}.png?q={q}";
    source.HeaderLines.clear();
  }
  MakeTask({6742, 3101, 1, 2, 13}, 1, [&](task::TaskParameters& p, task::RunSettings& run) {
    p.MapsType = task::kMapUserSource;
    p.Source = source;
    run.SourceSecret = kSecret;
  });
  EXPECT_EQ(task_->SendsApiKey(), c.WithKey);
  server_.SetDefault(Reply::StatusOnly(c.Status, c.Words));
  RunToEnd(1);
  const std::vector<std::string> log = sink_.LogLines();
  EXPECT_EQ(std::count(log.begin(), log.end(), c.Message), 1) << ::testing::PrintToString(log);
  EXPECT_EQ(server_.Requests().size(), c.Requests) << "the worker ends at the refusal";
  ExpectSecretNowhere();
}

INSTANTIATE_TEST_SUITE_P(Kinds, WorkerSourceRefusal,
                         ::testing::Values(RefusalCase{"KeyUnauthorized", true, 401, "Unauthorized",
                                                       download::kKeyRefusedMessage, 1},
                                           RefusalCase{"KeyForbidden", true, 403, "Forbidden",
                                                       download::kKeyRefusedMessage, 1},
                                           RefusalCase{"NoKeyForbidden", false, 403, "Forbidden",
                                                       download::kBannedMessage, 3}),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace workertest
