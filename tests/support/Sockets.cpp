#include "tests/support/Sockets.h"

#include <mutex>
#include <stdexcept>

namespace testsupport {

#ifdef _WIN32
void StartSockets() {
  static std::once_flag started;
  std::call_once(started, [] {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
  });
}

namespace {
void MakeNonBlocking(SocketFd fd) {
  u_long on = 1;
  ioctlsocket(fd, FIONBIO, &on);
}
}  // namespace

SocketFd NonBlockingTcpSocket() {
  StartSockets();
  const SocketFd fd = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (fd != kNoSocket) MakeNonBlocking(fd);
  return fd;
}

SocketFd AcceptNonBlocking(SocketFd listening) {
  const SocketFd fd = accept(listening, nullptr, nullptr);
  if (fd != kNoSocket) MakeNonBlocking(fd);
  return fd;
}

void CloseSocket(SocketFd fd) { closesocket(fd); }

int SetOption(SocketFd fd, int level, int name, const void* value, int size) {
  return setsockopt(fd, level, name, static_cast<const char*>(value), size);
}

bool WouldBlock() { return WSAGetLastError() == WSAEWOULDBLOCK; }
bool Interrupted() { return false; }

int PollSockets(pollfd* fds, std::size_t count, int timeoutMs) {
  return WSAPoll(fds, static_cast<ULONG>(count), timeoutMs);
}

// A datagram socket on loopback that sends itself one datagram, never read.
Waker::Waker() {
  StartSockets();
  read_ = WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (read_ == kNoSocket) throw std::runtime_error("socket failed");
  address_.sin_family = AF_INET;
  address_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address_;
  if (bind(read_, reinterpret_cast<sockaddr*>(&address_), sizeof address_) != 0 ||
      getsockname(read_, reinterpret_cast<sockaddr*>(&address_), &length) != 0) {
    closesocket(read_);
    throw std::runtime_error("cannot bind a wake socket");
  }
  write_ = read_;
}

Waker::~Waker() { closesocket(read_); }

void Waker::Wake() {
  const char byte = 1;
  sendto(write_, &byte, 1, 0, reinterpret_cast<const sockaddr*>(&address_), sizeof address_);
}
#else
void StartSockets() {}

SocketFd NonBlockingTcpSocket() { return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0); }

SocketFd AcceptNonBlocking(SocketFd listening) {
  return ::accept4(listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
}

void CloseSocket(SocketFd fd) { ::close(fd); }

int SetOption(SocketFd fd, int level, int name, const void* value, int size) {
  return ::setsockopt(fd, level, name, value, static_cast<socklen_t>(size));
}

bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK; }
bool Interrupted() { return errno == EINTR; }

int PollSockets(pollfd* fds, std::size_t count, int timeoutMs) {
  return ::poll(fds, static_cast<nfds_t>(count), timeoutMs);
}

// A pipe that is never read, so once written it wakes every poll.
Waker::Waker() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe2 failed");
  read_ = fds[0];
  write_ = fds[1];
}

Waker::~Waker() {
  ::close(read_);
  ::close(write_);
}

void Waker::Wake() {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(write_, &byte, 1);
}
#endif

unsigned short ClosedLoopbackPort() {
  StartSockets();
  const SocketFd fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  CloseSocket(fd);
  return ntohs(address.sin_port);
}

}  // namespace testsupport
