#include "core/run/LineFile.h"

namespace run {
namespace {

std::uintmax_t BytesWithCrLf(const std::vector<std::string>& lines, std::size_t from) {
  std::uintmax_t total = 0;
  for (std::size_t i = from; i < lines.size(); ++i) total += lines[i].size() + 2;
  return total;
}

}  // namespace

void LineFile::Adopt(const std::string& path) {
  savedLines_ = saved_.Open(path, BytesWithCrLf(lines_, 0)) ? lines_.size() : 0;
}

void LineFile::Load(const std::string& path) {
  lines_ = platform::ReadTextLines(path);
  // A file whose every line ends in CR LF is byte for byte what a save would
  // write (any other line end makes it shorter), so it can be appended to.
  Adopt(path);
}

void LineFile::Reset(std::vector<std::string> lines) {
  lines_ = std::move(lines);
  saved_.Close();
  savedLines_ = 0;
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
  if (savedLines_ > lines_.size() || !saved_.StillHolds(path)) {
    Rewrite(path);
    return;
  }
  lastSaveAppended_ = true;
  if (savedLines_ == lines_.size()) return;
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(BytesWithCrLf(lines_, savedLines_)));
  for (std::size_t i = savedLines_; i < lines_.size(); ++i) {
    bytes += lines_[i];
    bytes += "\r\n";
  }
  // A failed append closes the file, so the next save rewrites it whole.
  saved_.Append(bytes);
  savedLines_ = lines_.size();
}

void LineFile::Rewrite(const std::string& path) {
  saved_.Close();
  platform::WriteTextLines(path, lines_);
  Adopt(path);
}

}  // namespace run
