// The files of a combine, kept under temporary names beside their targets
// until every one is complete: CommitAll() renames them over their targets,
// and whatever was not committed (a cancel, a failure) is removed when this
// object goes. One thread at a time.
#pragma once

#include <string>
#include <vector>

namespace combiner {

class PendingFiles {
 public:
  PendingFiles() = default;
  ~PendingFiles();
  PendingFiles(const PendingFiles&) = delete;
  PendingFiles& operator=(const PendingFiles&) = delete;

  // A temporary name for target, to be written by whoever writes it. A
  // suffix ends it in place of target's extension, for a writer that tells
  // the format by the name.
  std::string Add(const std::string& target, const std::string& suffix = "");
  // A small file given whole (a world file, a .prj).
  void AddText(const std::string& target, const std::string& bytes);
  // A temporary file of a step that is not an output; removed at the end,
  // or at once by Discard.
  std::string Scratch(const std::string& besideTarget);
  void Discard(const std::string& scratch);

  // Flushes every file to disk and renames it over its target. Throws
  // platform::FileError; files not yet renamed are removed.
  void CommitAll();

 private:
  struct Entry {
    std::string Temporary;
    std::string Target;  // empty for a scratch file
  };
  std::vector<Entry> entries_;
};

}  // namespace combiner
