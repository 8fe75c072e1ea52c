#include "combiner/PendingFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <set>

#include "core/platform/Files.h"

namespace combiner {

namespace {

// GDAL's COG driver keeps its overviews beside the file it writes.
const char* const kHelperSuffixes[] = {"", ".ovr.tmp", ".msk.ovr.tmp"};

void RemoveWithHelpers(const std::string& path) {
  for (const char* suffix : kHelperSuffixes) std::remove((path + suffix).c_str());
}

bool SyncPath(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  return ::close(fd) == 0 && synced;
}

}  // namespace

PendingFiles::~PendingFiles() {
  for (const Entry& entry : entries_) RemoveWithHelpers(entry.Temporary);
}

std::string PendingFiles::Add(const std::string& target, const std::string& suffix) {
  // GDAL splits a path at the first ".kmz" in it: the suffix must be the only one.
  entries_.push_back({suffix.empty() ? platform::TemporaryNameBeside(target)
                                     : platform::TemporaryNameBeside(platform::RemoveFileExt(target)) + suffix,
                      target});
  return entries_.back().Temporary;
}

void PendingFiles::AddText(const std::string& target, const std::string& bytes) {
  const std::string temporary = Add(target);
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) platform::ThrowCannotCreate(target, errno);
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const int writeError = written ? 0 : errno;
  if (std::fclose(file) != 0 && written) platform::ThrowUnableToWrite(target, errno);
  if (!written) platform::ThrowUnableToWrite(target, writeError);
}

std::string PendingFiles::Scratch(const std::string& besideTarget) {
  entries_.push_back({platform::TemporaryNameBeside(besideTarget), std::string()});
  return entries_.back().Temporary;
}

void PendingFiles::Discard(const std::string& scratch) {
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->Temporary == scratch) {
      RemoveWithHelpers(it->Temporary);
      entries_.erase(it);
      return;
    }
  }
}

void PendingFiles::CommitAll() {
  for (const Entry& entry : entries_) {
    if (!entry.Target.empty() && !SyncPath(entry.Temporary, O_RDONLY)) platform::ThrowUnableToWrite(entry.Target, errno);
  }
  // A file renamed leaves nothing under its temporary name for the
  // destructor to remove, should a later one fail.
  std::set<std::string> folders;
  for (const Entry& entry : entries_) {
    if (entry.Target.empty()) {
      RemoveWithHelpers(entry.Temporary);
      continue;
    }
    if (std::rename(entry.Temporary.c_str(), entry.Target.c_str()) != 0) {
      platform::ThrowUnableToWrite(entry.Target, errno);
    }
    folders.insert(platform::ExtractFilePath(entry.Target));
  }
  entries_.clear();
  for (const std::string& folder : folders) SyncPath(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY);
}

}  // namespace combiner
