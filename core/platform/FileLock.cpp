#include "core/platform/FileLock.h"

#include <utility>

#include "core/platform/Files.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

#ifdef _WIN32
std::optional<FileLock> FileLock::TryAcquire(const std::string& path) {
  // Opened without sharing: a second opener is refused until this one closes.
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_SHARING_VIOLATION) return std::nullopt;
    ThrowCannotCreate(path);
  }
  return FileLock(path, _open_osfhandle(reinterpret_cast<intptr_t>(handle), 0));
}

void FileLock::Release() noexcept {
  if (fd_ < 0) return;
  ::_close(fd_);
  DeleteFileA(path_.c_str());  // fails while another opener holds it: that one removes it
  fd_ = -1;
}
#else
std::optional<FileLock> FileLock::TryAcquire(const std::string& path) {
  for (;;) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) ThrowCannotCreate(path, errno);
    // Every open file description locks on its own, so a second TryAcquire in
    // this process is refused as well. A file system without locks (ENOLCK)
    // cannot tell two runs apart; they are not stopped for it.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
      ::close(fd);
      return std::nullopt;
    }
    struct stat held {};
    struct stat named {};
    if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
      return FileLock(path, fd);
    }
    // The holder before us removed the file after we opened it.
    ::close(fd);
  }
}

void FileLock::Release() noexcept {
  if (fd_ < 0) return;
  // Removed while still held, so nobody locks it in between and takes it for
  // the task's lock.
  ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
}
#endif

FileLock::FileLock(FileLock&& other) noexcept : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    Release();
    path_ = std::move(other.path_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

FileLock::~FileLock() { Release(); }

}  // namespace platform
