#include "combiner/Holes.h"

#include <filesystem>
#include <system_error>

namespace combiner {

namespace {

constexpr std::size_t kFlushBytes = std::size_t{1} << 16;

}  // namespace

HoleList::HoleList(const task::MDTask& task, std::string path, std::string failedListPath)
    : task_(task), path_(std::move(path)), failedListPath_(std::move(failedListPath)) {}

void HoleList::Add(int32_t x, int32_t y, const task::TileVerdict& verdict) {
  switch (verdict.State) {
    case HoleReason::GivenUp: ++counts_.GivenUp; break;
    case HoleReason::Unreadable: ++counts_.Unreadable; break;
    default: ++counts_.Missing; break;
  }
  pending_ += task_.TileFileName(x, y);
  pending_ += ' ';
  pending_ += HoleReasonText(verdict.State);
  if (!verdict.Reason.empty()) pending_ += ": " + verdict.Reason;
  pending_ += "\r\n";
  if (!failedList_) failedList_ = std::make_unique<task::FailedListWriter>(task_, failedListPath_);
  failedList_->Add(x, y);
  if (pending_.size() >= kFlushBytes) Flush();
}

void HoleList::Flush() {
  if (!writer_) writer_ = std::make_unique<platform::AtomicFileWriter>(path_);
  writer_->Write(pending_);
  pending_.clear();
}

void HoleList::Commit() {
  if (counts_.Total() == 0) {
    // Lists left by an earlier combine to the same output would now be wrong.
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
    std::filesystem::remove(failedListPath_, ignored);
    return;
  }
  Flush();
  writer_->Commit();
  failedList_->Commit();
}

}  // namespace combiner
