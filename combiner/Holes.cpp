#include "combiner/Holes.h"

#include <filesystem>
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

}  // namespace combiner
