#include "core/platform/FileBytes.h"

#include "core/platform/Files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "core/platform/WideText.h"
#else
#include <unistd.h>
#endif

namespace platform {

namespace {

#ifndef _WIN32
// Non-blocking: a named pipe in a file's place would wait for a writer.
// Whatever is no regular file is judged by its kind and never read.
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
#endif

// Reads up to n bytes at offset into out; false on a read error.
bool ReadAt(int fd, uint64_t offset, std::size_t n, std::string& out) {
  out.resize(n);
  std::size_t done = 0;
  while (done < n) {
#ifdef _WIN32
    if (_lseeki64(fd, static_cast<__int64>(offset + done), SEEK_SET) < 0) return false;
    const int got = _read(fd, out.data() + done, static_cast<unsigned>(n - done));
#else
    const ssize_t got = ::pread(fd, out.data() + done, n - done, static_cast<off_t>(offset + done));
#endif
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  out.resize(done);
  return true;
}

}  // namespace

FileBytes::FileBytes(const std::string& path, std::size_t headBytes) {
#ifdef _WIN32
  fd_ = windows::OpenForReading(path);
#else
  fd_ = ::open(path.c_str(), kOpenFlags);
#endif
  if (fd_ < 0) {
    const int error = errno;
#ifdef _WIN32
    // A folder does not open as a file here.
    const DWORD attributes = GetFileAttributesW(windows::Wide(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      kind_ = Kind::Folder;
      return;
    }
#endif
    kind_ = error == ENOENT || error == ENOTDIR ? Kind::Absent : Kind::Failed;
#ifndef _WIN32
    // A socket cannot be opened at all (ENXIO): it is there, of another kind.
    struct stat status {};
    if (kind_ == Kind::Failed && ::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode) &&
        !S_ISDIR(status.st_mode)) {
      kind_ = Kind::Other;
      return;
    }
#endif
    if (kind_ == Kind::Failed) error_ = SystemErrorWords(error);
    return;
  }
#ifdef _WIN32
  struct _stat64 status {};  // sizes beyond 2 GB
  if (::_fstat64(fd_, &status) != 0) {
#else
  struct stat status {};
  if (::fstat(fd_, &status) != 0) {
#endif
    Fail(errno);
    return;
  }
  if (S_ISDIR(status.st_mode)) {
    kind_ = Kind::Folder;
    return;
  }
  if (!S_ISREG(status.st_mode)) {
    kind_ = Kind::Other;
    return;
  }
  kind_ = Kind::Regular;
  size_ = static_cast<uint64_t>(status.st_size);
  headBytes_ = headBytes;
  if (!ReadAt(fd_, 0, static_cast<std::size_t>(std::min<uint64_t>(size_, headBytes)), head_)) Fail(errno);
}

FileBytes::~FileBytes() {
  if (fd_ >= 0) ::close(fd_);
}

void FileBytes::Fail(int error) {
  kind_ = Kind::Failed;
  error_ = SystemErrorWords(error);
  head_.clear();
}

std::string_view FileBytes::Read(uint64_t offset, std::size_t n) {
  if (kind_ != Kind::Regular || offset >= size_) return {};
  if (offset + n <= head_.size() || head_.size() == size_) {
    return std::string_view(head_).substr(static_cast<std::size_t>(offset), n);
  }
  const uint64_t end = std::min<uint64_t>(offset + n, size_);
  if (offset < windowOffset_ || end > windowOffset_ + window_.size()) {
    windowOffset_ = offset;
    if (!ReadAt(fd_, offset, std::max<std::size_t>(n, headBytes_), window_)) {
      Fail(errno);
      return {};
    }
  }
  return std::string_view(window_).substr(static_cast<std::size_t>(offset - windowOffset_), n);
}

}  // namespace platform
