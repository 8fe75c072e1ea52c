#include "tests/support/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace testsupport {

struct ChildProcess::Impl {
  pid_t pid = -1;
  int status = -1;
  bool reaped = false;
  mutable std::mutex mutex;
  std::string out;
  std::string err;
  std::thread outReader;
  std::thread errReader;

  void Read(int fd, std::string Impl::*into) {
    char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n > 0) {
        std::lock_guard lock(mutex);
        (this->*into).append(buffer, static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      break;  // end of file, or EIO once a terminal's last writer has gone
    }
    ::close(fd);
  }
};

ChildProcess::ChildProcess(const std::vector<std::string>& argv, bool stderrOnTerminal) : impl_(std::make_unique<Impl>()) {
  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  if (stderrOnTerminal) {
    if (::openpty(&err[0], &err[1], nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
    ::fcntl(err[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(err[1], F_SETFD, FD_CLOEXEC);
  } else if (::pipe2(err, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe");
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  impl_->pid = ::fork();
  if (impl_->pid < 0) throw std::runtime_error("fork");
  if (impl_->pid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    const int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, STDIN_FILENO);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  impl_->outReader = std::thread([impl = impl_.get(), fd = out[0]] { impl->Read(fd, &Impl::out); });
  impl_->errReader = std::thread([impl = impl_.get(), fd = err[0]] { impl->Read(fd, &Impl::err); });
}

ChildProcess::~ChildProcess() {
  if (!impl_->reaped) {
    ::kill(impl_->pid, SIGKILL);
    ::waitpid(impl_->pid, nullptr, 0);
  }
  if (impl_->outReader.joinable()) impl_->outReader.join();
  if (impl_->errReader.joinable()) impl_->errReader.join();
}

pid_t ChildProcess::Pid() const { return impl_->pid; }

void ChildProcess::Signal(int signal) { ::kill(impl_->pid, signal); }

ProcessResult ChildProcess::Wait(std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  while (!impl_->reaped) {
    const pid_t done = ::waitpid(impl_->pid, &status, WNOHANG);
    if (done == impl_->pid) {
      impl_->reaped = true;
      impl_->status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    if (std::chrono::steady_clock::now() > end) {
      ::kill(impl_->pid, SIGKILL);
      ::waitpid(impl_->pid, nullptr, 0);
      impl_->reaped = true;
      impl_->status = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (impl_->outReader.joinable()) impl_->outReader.join();
  if (impl_->errReader.joinable()) impl_->errReader.join();
  std::lock_guard lock(impl_->mutex);
  return ProcessResult{impl_->status, impl_->out, impl_->err};
}

std::string ChildProcess::ErrSoFar() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->err;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
  ChildProcess child(argv);
  return child.Wait(timeout);
}

}  // namespace testsupport
