#include "core/platform/FileLock.h"

#include <utility>

#include "core/platform/Files.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "core/platform/WideText.h"
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
  const std::wstring name = windows::Wide(path);
  for (int attempt = 0;; ++attempt) {
    // Shared for everything, delete included, so the holder can remove the
    // file while it still holds the lock, as on POSIX.
    // DELETE access: the holder marks the file for deletion (Release).
    const HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      // Removed by its holder but still open: gone in a moment.
      if (GetLastError() == ERROR_ACCESS_DENIED && attempt < 200 &&
          GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES) {
        Sleep(5);
        continue;
      }
      ThrowCannotCreate(path);
    }
    // Every handle locks on its own, so a second TryAcquire in this process
    // is refused as well; the system lets go when the process ends, however.
    OVERLAPPED at {};
    if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) == 0) {
      const DWORD error = GetLastError();
      CloseHandle(handle);
      if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) return std::nullopt;
      ThrowCannotCreate(path);
    }
    // The holder before us removed the file after we opened it: a lock on it
    // counts for nothing.
    FILE_STANDARD_INFO standard {};
    if (GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard) != 0 &&
        standard.DeletePending) {
      CloseHandle(handle);
      continue;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), 0);
    if (fd < 0) {
      CloseHandle(handle);
      ThrowCannotCreate(path);
    }
    return FileLock(path, fd);
  }
}

void FileLock::Release() noexcept {
  if (fd_ < 0) return;
  // Marked for deletion while still held, so nobody locks it in between and
  // takes it for the task's lock; it goes with the last handle.
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
  FILE_DISPOSITION_INFO dispose {};
  dispose.DeleteFile = TRUE;
  SetFileInformationByHandle(handle, FileDispositionInfo, &dispose, sizeof dispose);
  ::_close(fd_);
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
