#include "tests/support/TempDir.h"

#include "core/platform/Files.h"


#include <cstdlib>
#include <filesystem>
#include <random>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testsupport {

namespace fs = std::filesystem;

TempDir::TempDir() {
#ifdef _WIN32
  std::random_device random;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const fs::path folder = fs::temp_directory_path() / ("orvenna-test-" + std::to_string(random()));
    if (fs::create_directory(folder)) path_ = folder.string() + platform::kPathSeparator;
  }
  if (path_.empty()) throw std::runtime_error("no temporary folder could be made");
#else
  std::string pattern = (fs::temp_directory_path() / "orvenna-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern + "/";
#endif
}

TempDir::~TempDir() {
  std::error_code ec;
  // A test may have made parts read-only; give them back before removing.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out << bytes;
}

std::set<std::string> Entries(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) throw std::runtime_error("cannot stat " + path);
  return st.st_mode & 07777;
}

std::string FileErrorText(const std::function<void()>& action) {
  try {
    action();
  } catch (const platform::FileError& error) {
    return error.what();
  }
  return "(no error)";
}

bool WaitFor(const std::function<bool()>& predicate, std::chrono::milliseconds deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() >= end) return predicate();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

ScopedEnvironment::ScopedEnvironment(const char* name, const char* value)
    : name_(name), wasSet_(std::getenv(name) != nullptr), old_(wasSet_ ? std::getenv(name) : "") {
  Set(value);
}

ScopedEnvironment::~ScopedEnvironment() { Set(wasSet_ ? old_.c_str() : nullptr); }

void ScopedEnvironment::Set(const char* value) {
#ifdef _WIN32
  // An empty value removes the variable there.
  ::_putenv_s(name_.c_str(), value != nullptr ? value : "");
#else
  if (value != nullptr) {
    ::setenv(name_.c_str(), value, 1);
  } else {
    ::unsetenv(name_.c_str());
  }
#endif
}

}  // namespace testsupport
