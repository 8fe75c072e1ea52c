// An exclusive lock held through an open lock file: the operating system's
// own (flock; LockFileEx on Windows), so it goes with the process that holds it, however that ends,
// and a lock file left behind by a killed process never blocks anyone.
//
// The holder removes the lock file while it still holds the lock, then lets
// go. Whoever opened the file before it went may then win its lock, so a
// locker checks, once locked, that the name still leads to the very file it
// holds (same device and inode) and else tries again with the new one: a
// lock on a removed file never counts.
#pragma once

#include <optional>
#include <string>
#include <utility>

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
  FileLock(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  void Release() noexcept;

  std::string path_;
  int fd_ = -1;
};

}  // namespace platform
