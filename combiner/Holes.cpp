#include "combiner/Holes.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace combiner {

namespace {

constexpr std::size_t kFlushBytes = std::size_t{1} << 16;

}  // namespace

HoleList::HoleList(std::string path) : path_(std::move(path)) {}

void HoleList::Add(const std::string& tileName, HoleReason reason) {
  switch (reason) {
    case HoleReason::Missing: ++counts_.Missing; break;
    case HoleReason::GivenUp: ++counts_.GivenUp; break;
    case HoleReason::Unreadable: ++counts_.Unreadable; break;
  }
  pending_ += tileName;
  pending_ += ' ';
  pending_ += HoleReasonText(reason);
  pending_ += "\r\n";
  if (pending_.size() >= kFlushBytes) Flush();
}

void HoleList::Flush() {
  if (!writer_) writer_ = std::make_unique<platform::AtomicFileWriter>(path_);
  writer_->Write(pending_);
  pending_.clear();
}

void HoleList::Commit() {
  if (counts_.Total() == 0) {
    // A list left by an earlier combine to the same output would now be wrong.
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
    return;
  }
  Flush();
  writer_->Commit();
}

HoleSpool::HoleSpool() : file_(std::tmpfile()) {
  if (file_ == nullptr) throw std::runtime_error(std::string("No temporary file: ") + std::strerror(errno));
}

HoleSpool::~HoleSpool() { std::fclose(file_); }

void HoleSpool::Add(int64_t index) {
  if (std::fwrite(&index, sizeof index, 1, file_) != 1) {
    throw std::runtime_error(std::string("Cannot keep the list of holes: ") + std::strerror(errno));
  }
  ++count_;
}

void HoleSpool::Rewind() { std::rewind(file_); }

std::optional<int64_t> HoleSpool::Next() {
  int64_t index = 0;
  if (std::fread(&index, sizeof index, 1, file_) != 1) return std::nullopt;
  return index;
}

}  // namespace combiner
