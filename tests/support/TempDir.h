// A throwaway folder per test, removed with everything in it at the end.
#pragma once

#include <chrono>
#include <functional>
#include <string>

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

// Polls predicate until it holds or the deadline passes; true when it held.
bool WaitFor(const std::function<bool()>& predicate,
             std::chrono::milliseconds deadline = std::chrono::seconds(10));

}  // namespace testsupport
