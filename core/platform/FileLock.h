// An exclusive lock held through an open lock file: the operating system's
// own (flock), so it goes with the process that holds it, however that ends,
// and a lock file left behind by a killed process never blocks anyone. The
// lock file itself stays; only the lock matters.
#pragma once

#include <optional>
#include <string>

namespace platform {

class FileLock {
 public:
  // The lock on path (created when missing), or nothing when another open
  // file holds it, this process's included. Throws FileError("Cannot create
  // file <path>") when the lock file cannot be opened or made.
  static std::optional<FileLock> TryAcquire(const std::string& path);

  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();

 private:
  explicit FileLock(int fd) : fd_(fd) {}
  void Release() noexcept;

  int fd_ = -1;
};

}  // namespace platform
