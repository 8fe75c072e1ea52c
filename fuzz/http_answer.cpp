// The HTTP client and the failure rules over any answer a server may send: a
// loopback server of this process answers every request with the fuzzer's
// bytes and closes; the client fetches through a real transfer. Invariants:
// no crash or hang; a success is a 2xx status with a body within the limit
// that the server did send; a failure has a text of its known forms (the
// status line as received for a non-2xx answer, "Socket Error # <n>" with its
// words, or one line of the client's own), its facts agree with its text,
// and the failure rules give it one class.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "core/download/FailureRules.h"
#include "core/download/HttpClient.h"
#include "fuzz/FuzzSupport.h"

namespace {

using fuzz::Quote;

constexpr std::size_t kBodyLimit = 1024;

// Answers every connection with the answer of the moment, then closes it.
class AnswerServer {
 public:
  AnswerServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      fuzz::Fail("listen", "cannot listen on loopback", __FILE__, __LINE__);
    }
    port_ = ntohs(address.sin_port);
    // Serves until the process ends; nothing waits for it at exit.
    std::thread([this] { Serve(); }).detach();
  }

  uint16_t Port() const { return port_; }
  void SetAnswer(std::string answer) {
    std::lock_guard lock(mutex_);
    answer_ = std::move(answer);
  }

 private:
  void Serve() {
    for (;;) {
      const int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) continue;
      // The request head, then the answer whatever it asked.
      std::string request;
      char buffer[2048];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<std::size_t>(n));
      }
      std::string answer;
      {
        std::lock_guard lock(mutex_);
        answer = answer_;
      }
      for (std::size_t sent = 0; sent < answer.size();) {
        const ssize_t n = ::send(fd, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
      }
      ::shutdown(fd, SHUT_WR);
      ::close(fd);
    }
  }

  int listener_ = -1;
  uint16_t port_ = 0;
  std::mutex mutex_;
  std::string answer_;
};

bool StartsWithHttp(const std::string& text) {
  return text.size() >= 5 && (text[0] | 0x20) == 'h' && (text[1] | 0x20) == 't' && (text[2] | 0x20) == 't' &&
         (text[3] | 0x20) == 'p' && text[4] == '/';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static download::HttpLimits limits = [] {
    download::HttpClient::GlobalInit();
    download::HttpLimits l;
    l.ConnectTimeoutMs = 2000;
    l.LowSpeedBytes = 1;
    l.LowSpeedSeconds = 2;
    l.MaxBodyBytes = kBodyLimit;
    return l;
  }();
  // Never destroyed: its thread serves until the process ends.
  static AnswerServer& server = *new AnswerServer;
  const std::string answer(reinterpret_cast<const char*>(data), size);
  server.SetAnswer(answer);

  // A client for each answer: a connection kept alive from the answer
  // before would mix two inputs.
  download::HttpClient client(limits);
  std::string body = "kept";
  const download::HttpResult result =
      client.Get("http://127.0.0.1:" + std::to_string(server.Port()) + "/maps/tile", body);

  if (result.Ok) {
    FUZZ_CHECK(result.Status >= 200 && result.Status < 300, "success with status " + std::to_string(result.Status));
    FUZZ_CHECK(body.rfind("kept", 0) == 0, "the caller's bytes before the body are gone");
    FUZZ_CHECK(body.size() - 4 <= kBodyLimit, "a body over the limit: " + std::to_string(body.size() - 4));
    FUZZ_CHECK(result.ErrorText.empty(), "a success with an error text " + Quote(result.ErrorText));
    return 0;
  }
  FUZZ_CHECK(body == "kept", "a failure changed the caller's buffer to " + Quote(body));
  FUZZ_CHECK(!result.Aborted, "aborted without an abort flag");
  const std::string& text = result.ErrorText;
  if (result.Status >= 300) {
    // The answer's status line, as it came (one line of it), is the failure.
    FUZZ_CHECK(StartsWithHttp(text) && text.find('\n') == std::string::npos && answer.find(text) != std::string::npos,
               "status " + std::to_string(result.Status) + " with the text " + Quote(text));
  } else if (result.SocketError != 0) {
    const std::string prefix = "Socket Error # " + std::to_string(result.SocketError);
    FUZZ_CHECK(text.rfind(prefix, 0) == 0, "socket error " + std::to_string(result.SocketError) + " as " + Quote(text));
  } else {
    FUZZ_CHECK(!text.empty() && text.find_first_of("\r\n") == std::string::npos, "a failure text " + Quote(text));
  }
  // Every failure has one class, and the class agrees with the facts.
  const download::FailureClass kind = download::Classify(result);
  if (result.Status == 302 || result.Status == 403) {
    FUZZ_CHECK(kind == download::FailureClass::Refused, "a refusal not refused: " + Quote(text));
  }
  if (result.Status == 404 || result.Status == 400) {
    FUZZ_CHECK(kind == download::FailureClass::NotFound, "a not found not so: " + Quote(text));
  }
  if (result.Status == 407) {
    FUZZ_CHECK(kind == download::FailureClass::ProxyRefused, "a proxy refusal not so: " + Quote(text));
  }
  if (result.Status >= 300 && result.Status != 302 && result.Status != 403 && result.Status != 404 &&
      result.Status != 400 && result.Status != 407 && result.Status != 408) {
    FUZZ_CHECK(kind == download::FailureClass::Other, "status " + std::to_string(result.Status) + " of class " +
                                                          std::to_string(static_cast<int>(kind)));
  }
  return 0;
}
