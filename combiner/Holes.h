// The holes of a combine: the tiles it filled with the fill colour, counted by
// reason and listed in side files. One thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "combiner/TileReader.h"
#include "core/platform/Files.h"

namespace combiner {

struct HoleCounts {
  int64_t Missing = 0;
  int64_t GivenUp = 0;
  int64_t Unreadable = 0;
  int64_t Total() const { return Missing + GivenUp + Unreadable; }
};

// The side files of a combine's holes: at path one line per hole, "<tile
// file name> <state>" (and ": <reason>" for an unreadable tile), CR LF; at
// failedListPath the downloader's record of each, for the re-download and
// "fill". Both are written to temporary files as the holes come and appear at
// Commit(); without holes, Commit() removes old lists at those paths instead.
class HoleList {
 public:
  HoleList(const task::MDTask& task, std::string path, std::string failedListPath);
  void Add(int32_t x, int32_t y, const task::TileVerdict& verdict);
  const HoleCounts& Counts() const { return counts_; }
  const std::string& Path() const { return path_; }
  const std::string& FailedListPath() const { return failedListPath_; }
  // Throws platform::FileError.
  void Commit();

 private:
  void Flush();

  const task::MDTask& task_;
  std::string path_;
  std::string failedListPath_;
  std::unique_ptr<platform::AtomicFileWriter> writer_;
  std::unique_ptr<task::FailedListWriter> failedList_;
  std::string pending_;
  HoleCounts counts_;
};

}  // namespace combiner
