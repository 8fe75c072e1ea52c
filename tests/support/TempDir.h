// A throwaway folder per test, removed with everything in it at the end.
#pragma once

#include <chrono>
#include <functional>
#include <set>
#include <string>

#include <sys/stat.h>
#include <sys/types.h>

namespace testsupport {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder, ending in the separator.
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

// Names of the entries of folder (no path).
std::set<std::string> Entries(const std::string& folder);

// Permission bits of path.
mode_t ModeOf(const std::string& path);

// Sets the umask for one test and gives the old one back.
class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : old_(::umask(mask)) {}
  ~ScopedUmask() { ::umask(old_); }
  ScopedUmask(const ScopedUmask&) = delete;
  ScopedUmask& operator=(const ScopedUmask&) = delete;

 private:
  mode_t old_;
};

// Sets (or with nullptr unsets) an environment variable for one test and
// puts the old value back.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  void Set(const char* value);

  std::string name_;
  bool wasSet_;
  std::string old_;
};

// The text of the platform::FileError that action throws, or "(no error)".
std::string FileErrorText(const std::function<void()>& action);

// Polls predicate until it holds or the deadline passes; true when it held.
bool WaitFor(const std::function<bool()>& predicate,
             std::chrono::milliseconds deadline = std::chrono::seconds(10));

}  // namespace testsupport
