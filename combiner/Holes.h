// The holes of a combine: the tiles it filled with the fill colour, counted by
// reason and listed in a side file. One thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "combiner/TaskTiles.h"
#include "core/platform/Files.h"

namespace combiner {

struct HoleCounts {
  int64_t Missing = 0;
  int64_t GivenUp = 0;
  int64_t Unreadable = 0;
  int64_t Total() const { return Missing + GivenUp + Unreadable; }
};

// The side file at path: one line per hole, "<tile file name> <reason>",
// CR LF. It is written to a temporary file as the holes come and appears at
// Commit(); without holes, Commit() removes an old list at path instead.
class HoleList {
 public:
  explicit HoleList(std::string path);
  void Add(const std::string& tileName, HoleReason reason);
  const HoleCounts& Counts() const { return counts_; }
  const std::string& Path() const { return path_; }
  // Throws platform::FileError.
  void Commit();

 private:
  void Flush();

  std::string path_;
  std::unique_ptr<platform::AtomicFileWriter> writer_;
  std::string pending_;
  HoleCounts counts_;
};

}  // namespace combiner
