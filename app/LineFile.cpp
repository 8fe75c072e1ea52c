#include "app/LineFile.h"

#include "platform/Files.h"

#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace app {
namespace {

std::uintmax_t BytesWithCrLf(const std::vector<std::string>& lines, std::size_t from) {
  std::uintmax_t total = 0;
  for (std::size_t i = from; i < lines.size(); ++i) total += lines[i].size() + 2;
  return total;
}

}  // namespace

LineFile::~LineFile() { Forget(); }

void LineFile::Forget() {
#ifndef _WIN32
  if (fd_ >= 0) ::close(fd_);
#endif
  fd_ = -1;
  savedPath_.clear();
  savedLines_ = 0;
  savedSize_ = 0;
}

void LineFile::Adopt(const std::string& path, std::uintmax_t size) {
  Forget();
#ifndef _WIN32
  // On Windows an open file could not be replaced by the atomic rewrite, so
  // there every save rewrites.
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || static_cast<std::uintmax_t>(info.st_size) != size) {
    ::close(fd);
    return;
  }
  fd_ = fd;
  savedPath_ = path;
  savedLines_ = lines_.size();
  savedSize_ = size;
#else
  (void)path;
  (void)size;
#endif
}

bool LineFile::StillOurs(const std::string& path) const {
#ifndef _WIN32
  if (fd_ < 0 || path != savedPath_ || savedLines_ > lines_.size()) return false;
  struct stat onDisk {};
  struct stat held {};
  return ::stat(path.c_str(), &onDisk) == 0 && ::fstat(fd_, &held) == 0 && onDisk.st_dev == held.st_dev &&
         onDisk.st_ino == held.st_ino && static_cast<std::uintmax_t>(held.st_size) == savedSize_;
#else
  (void)path;
  return false;
#endif
}

void LineFile::Load(const std::string& path) {
  lines_ = platform::ReadTextLines(path);
  // A file whose every line ends in CR LF is byte for byte what a save would
  // write (any other line end makes it shorter), so it can be appended to.
  Adopt(path, BytesWithCrLf(lines_, 0));
}

void LineFile::Reset(std::vector<std::string> lines) {
  lines_ = std::move(lines);
  Forget();
}

std::size_t LineFile::Append(std::string_view text) {
  std::size_t added = 0;
  std::size_t begin = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines_.emplace_back(text.substr(begin, i - begin));
    ++added;
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    begin = i + 1;
  }
  lines_.emplace_back(text.substr(begin));
  return added + 1;
}

void LineFile::Save(const std::string& path) {
  lastSaveAppended_ = false;
  if (!StillOurs(path)) {
    Rewrite(path);
    return;
  }
  lastSaveAppended_ = true;
  if (savedLines_ == lines_.size()) return;
#ifndef _WIN32
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(BytesWithCrLf(lines_, savedLines_)));
  for (std::size_t i = savedLines_; i < lines_.size(); ++i) {
    bytes += lines_[i];
    bytes += "\r\n";
  }
  std::string_view rest = bytes;
  bool ok = true;
  while (ok && !rest.empty()) {
    const ssize_t written = ::write(fd_, rest.data(), rest.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      ok = false;
    } else {
      rest.remove_prefix(static_cast<std::size_t>(written));
    }
  }
  if (ok) ok = ::fsync(fd_) == 0;
  if (!ok) {
    Forget();  // the file's tail is unknown now: the next save rewrites it
    platform::ThrowUnableToWrite(path);
  }
  savedLines_ = lines_.size();
  savedSize_ += bytes.size();
#endif
}

void LineFile::Rewrite(const std::string& path) {
  Forget();
  platform::WriteTextLines(path, lines_);
  Adopt(path, BytesWithCrLf(lines_, 0));
}

}  // namespace app
