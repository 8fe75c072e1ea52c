#include "combiner/PendingFiles.h"

#include <cerrno>
#include <cstdio>
#include <map>

#include "core/platform/Files.h"

namespace combiner {

namespace {

// GDAL's COG driver keeps its overviews beside the file it writes.
const char* const kHelperSuffixes[] = {"", ".ovr.tmp", ".msk.ovr.tmp"};

void RemoveWithHelpers(const std::string& path) {
  for (const char* suffix : kHelperSuffixes) std::remove((path + suffix).c_str());
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
    if (!entry.Target.empty() && !platform::FlushFinishedFile(entry.Temporary)) {
      platform::ThrowUnableToWrite(entry.Target, errno);
    }
  }
  // A file renamed leaves nothing under its temporary name for the
  // destructor to remove, should a later one fail.
  std::map<std::string, std::string> folders;  // a file renamed in each
  for (const Entry& entry : entries_) {
    if (entry.Target.empty()) {
      RemoveWithHelpers(entry.Temporary);
      continue;
    }
    if (!platform::RenameReplacing(entry.Temporary, entry.Target)) {
      platform::ThrowUnableToWrite(entry.Target, errno);
    }
    folders.emplace(platform::ExtractFilePath(entry.Target), entry.Target);
  }
  entries_.clear();
  for (const auto& [folder, renamed] : folders) platform::FlushFolderOfRenamed(renamed);
}

}  // namespace combiner
