// A task split over machines: part k of n runs band k of n bands of the
// task's rows with bookkeeping files of its own (task::TaskFileOf); once
// every part has ended, MergeParts joins their logs and failed lists into
// the task's, marks the whole task walked to its end and removes the parts'
// own files. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace run {

// Why a merge did not happen; the text says so for the user. NotReady: a
// part has not run or not ended (run it, then merge); otherwise the parts
// cannot be merged as they are (none, split in different ways, being run).
class MergeRefused : public std::runtime_error {
 public:
  MergeRefused(const std::string& text, bool notReady) : std::runtime_error(text), NotReady(notReady) {}
  const bool NotReady;
};

struct MergeReport {
  int32_t Parts = 0;
  std::size_t FailedRecords = 0;  // in the merged failed list
};

// Merges the parts beside the task file taskFile (a full path), holding the
// locks of the task and of every part meanwhile. Throws MergeRefused,
// OpenTaskError for a file that is no task, platform::FileError when a file
// cannot be read or written.
MergeReport MergeParts(const std::string& taskFile);

}  // namespace run
