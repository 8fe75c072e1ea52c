// The few socket calls of the loopback servers, on POSIX and on Windows
// (Winsock, as the Windows build's tests use it under Wine). Test support only.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cstddef>

namespace testsupport {

#ifdef _WIN32
using SocketFd = SOCKET;
inline const SocketFd kNoSocket = INVALID_SOCKET;
inline constexpr int kSendFlags = 0;  // every socket is non-blocking
inline constexpr int kRecvFlags = 0;
#else
using SocketFd = int;
inline constexpr SocketFd kNoSocket = -1;
inline constexpr int kSendFlags = MSG_NOSIGNAL | MSG_DONTWAIT;
inline constexpr int kRecvFlags = MSG_DONTWAIT;
#endif

// Winsock started once for the process.
void StartSockets();
// A TCP socket, non-blocking (and not inherited by child processes).
SocketFd NonBlockingTcpSocket();
// The next connection of a listening socket, non-blocking; kNoSocket when none.
SocketFd AcceptNonBlocking(SocketFd listening);
void CloseSocket(SocketFd fd);
int SetOption(SocketFd fd, int level, int name, const void* value, int size);
// The last call failed only because it would have had to wait.
bool WouldBlock();
// The last call was interrupted by a signal (never on Windows).
bool Interrupted();
int PollSockets(pollfd* fds, std::size_t count, int timeoutMs);

// A loopback port that nothing listens on (it was free a moment ago).
unsigned short ClosedLoopbackPort();

// Something a poll can wait on, made readable from another thread.
class Waker {
 public:
  Waker();
  ~Waker();
  Waker(const Waker&) = delete;
  Waker& operator=(const Waker&) = delete;
  // Stays readable for good once woken.
  void Wake();
  SocketFd PollHandle() const { return read_; }

 private:
  SocketFd read_ = kNoSocket;
  SocketFd write_ = kNoSocket;
#ifdef _WIN32
  sockaddr_in address_{};
#endif
};

}  // namespace testsupport
