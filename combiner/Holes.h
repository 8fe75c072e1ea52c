// The holes of a combine: the tiles it filled with the fill colour, counted by
// reason, listed in a side file, and spooled per sheet for the sheet's mask.
// One thread at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
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

// The holes of one sheet by their index in the sheet (row by row from the
// north-west), in increasing order, kept in an anonymous temporary file: a
// sheet may have more holes than memory should hold.
class HoleSpool {
 public:
  HoleSpool();
  ~HoleSpool();
  HoleSpool(const HoleSpool&) = delete;
  HoleSpool& operator=(const HoleSpool&) = delete;

  void Add(int64_t index);
  int64_t Count() const { return count_; }
  // Reading back, from the first hole on.
  void Rewind();
  std::optional<int64_t> Next();

 private:
  std::FILE* file_;
  int64_t count_ = 0;
};

}  // namespace combiner
