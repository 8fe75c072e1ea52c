#include "core/platform/Files.h"

#include "core/platform/Locations.h"
#include "core/platform/Numbers.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <optional>
#include <system_error>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include "core/platform/WideText.h"
#else
#include <fcntl.h>
#include <limits.h>
#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace platform {

std::string SystemErrorWords(int error) {
  // The category's words come from strerror_r: safe from any thread.
  return error == 0 ? std::string() : std::generic_category().message(error);
}

void ThrowCannotOpen(const std::string& path, int error) {
  throw FileError("Cannot open file " + path, SystemErrorWords(error));
}
void ThrowCannotCreate(const std::string& path, int error) {
  throw FileError("Cannot create file " + path, SystemErrorWords(error));
}
void ThrowUnableToWrite(const std::string& path, int error) {
  throw FileError("Unable to write to " + path, SystemErrorWords(error));
}

std::string FailureReason(const std::exception& error) {
  const auto* reason = dynamic_cast<const SystemReason*>(&error);
  return reason != nullptr ? reason->Reason() : std::string();
}

bool IsSystemFailure(const std::exception& error) {
  return dynamic_cast<const FileError*>(&error) != nullptr || !FailureReason(error).empty();
}

std::string WithReason(const std::string& text, const std::string& reason) {
  if (reason.empty() || text.find(reason) != std::string::npos) return text;
  if (!text.empty() && text.back() == '.') return text + " " + reason + ".";
  return text + ": " + reason;
}

std::string FailureText(const std::exception& error) { return WithReason(error.what(), FailureReason(error)); }

namespace {

constexpr const char* kTemporaryMark = ".~";

std::atomic<DiskStepWatcher*> diskStepWatcher{nullptr};

// Asks the test's watcher, if one is set; a refused step fails as an I/O error.
bool Allowed(DiskStep step, const std::string& path) {
  DiskStepWatcher* watcher = diskStepWatcher.load(std::memory_order_acquire);
  if (watcher == nullptr || watcher->Allow(step, path)) return true;
  errno = EIO;
  return false;
}

// Digits only (no sign, no blank), as the temporary names are written.
std::optional<unsigned long> ParseDecimalDigits(std::string_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  unsigned long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned long>(c - '0');
  }
  return value;
}

// A name for a temporary file beside target that no other writer (thread or
// process) picks at the same moment; creation with O_EXCL settles the rest.
std::string TemporarySibling(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  const auto ticks = static_cast<unsigned long long>(
      std::chrono::steady_clock::now().time_since_epoch().count());
#ifdef _WIN32
  const unsigned long pid = GetCurrentProcessId();
#else
  const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
  const std::string folder = ExtractFilePath(target);
  return folder + "." + ExtractFileName(target) + kTemporaryMark + FormatInteger(pid) + "-" +
         FormatInteger(counter.fetch_add(1)) + "-" + FormatInteger(ticks % 100000);
}

// The writing process of a temporary name made by TemporarySibling:
// "." name ".~" pid "-" counter "-" ticks. 0 for any other name.
unsigned long TemporaryOwner(const std::string& name) {
  if (name.size() < 2 || name[0] != '.') return 0;
  const std::size_t mark = name.rfind(kTemporaryMark);
  if (mark == std::string::npos || mark < 2) return 0;
  std::string_view rest(name);
  rest.remove_prefix(mark + std::char_traits<char>::length(kTemporaryMark));
  unsigned long numbers[3] = {};
  for (int i = 0; i < 3; ++i) {
    const std::size_t end = i < 2 ? rest.find('-') : rest.size();
    if (end == 0 || end == std::string_view::npos) return 0;
    const auto parsed = ParseDecimalDigits(rest.substr(0, end));
    if (!parsed) return 0;
    numbers[i] = *parsed;
    rest.remove_prefix(i < 2 ? end + 1 : end);
  }
  return numbers[0];
}

#ifndef _WIN32

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Returns false when closing reported a failure (a delayed write error).
  bool Close() {
    if (fd_ < 0) return true;
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

// Creates a new temporary file beside target with the given permission bits
// (the umask still applies). Returns the open descriptor and sets tempPath.
int CreateTemporary(const std::string& target, mode_t mode, std::string& tempPath) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = TemporarySibling(target);
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// path names the file flushed, for the watcher.
bool FlushFile(int fd, const std::string& path) { return Allowed(DiskStep::FlushFile, path) && ::fsync(fd) == 0; }

bool RenameOver(const std::string& from, const std::string& to) {
  return Allowed(DiskStep::Rename, to) && ::rename(from.c_str(), to.c_str()) == 0;
}

std::string FolderOrCurrent(const std::string& folder) { return folder.empty() ? "." : folder; }

bool FlushFolder(const std::string& folder) {
  const int fd = ::open(FolderOrCurrent(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = Allowed(DiskStep::FlushFolder, folder) && ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

void SyncFolderOf(const std::string& path) {
  FlushFolder(ExtractFilePath(path));  // durability of the rename only; the data is already safe
}

// A symbolic link is written through, not replaced by a plain file.
// Sets target to the file that a write of path replaces and existing to its
// status; false when there is none. One lstat for a plain name (most often a
// new file, as every tile is).
bool ExistingTarget(const std::string& path, std::string& target, struct stat& existing) {
  target = path;
  if (::lstat(path.c_str(), &existing) != 0) return false;
  if (!S_ISLNK(existing.st_mode)) return true;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) != nullptr) target = resolved;
  return ::stat(target.c_str(), &existing) == 0;
}

#else

using windows::Wide;

bool RenameOver(const std::string& from, const std::string& to) {
  if (!Allowed(DiskStep::Rename, to)) return false;
  const std::wstring source = Wide(from);
  const std::wstring target = Wide(to);
  // A reader that opened the target without sharing its deletion (another
  // program, a virus scanner) holds it for a moment: wait for it, briefly.
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
      return true;
    }
    const DWORD error = GetLastError();
    if (attempt >= 50 || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) return false;
    Sleep(10);
  }
}

bool FlushHandle(HANDLE handle, const std::string& path) {
  return Allowed(DiskStep::FlushFile, path) && FlushFileBuffers(handle) != 0;
}

// A new temporary file beside target, opened for writing; sets tempPath.
HANDLE CreateTemporary(const std::string& target, std::string& tempPath) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = TemporarySibling(target);
    const HANDLE handle = CreateFileW(Wide(tempPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return handle;
  }
  return INVALID_HANDLE_VALUE;
}

bool WriteAll(HANDLE handle, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (WriteFile(handle, bytes.data(), chunk, &written, nullptr) == 0 || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

DWORD AttributesOf(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()); }

// The errno of a Windows error, for the system's words of a failure; an
// error that is not known (or none) is an input/output error.
int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EBUSY;
    default:
      return EIO;
  }
}

// Why a file that is there cannot be replaced: a folder, or a file marked
// read-only; 0 when it can (or is not there).
int ReplaceRefusal(const std::string& path) {
  const DWORD existing = AttributesOf(path);
  if (existing == INVALID_FILE_ATTRIBUTES) return 0;
  if ((existing & FILE_ATTRIBUTE_DIRECTORY) != 0) return EISDIR;
  if ((existing & FILE_ATTRIBUTE_READONLY) != 0) return EACCES;
  return 0;
}
#endif

}  // namespace

bool DirectoryExists(const std::string& path) {
#ifdef _WIN32
  const DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
#else
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
#endif
}

bool CreateDir(const std::string& path) {
#ifdef _WIN32
  if (CreateDirectoryW(Wide(path).c_str(), nullptr) != 0) return true;
  errno = ErrnoOf(GetLastError());
  return false;
#else
  return ::mkdir(path.c_str(), 0777) == 0;
#endif
}

bool FileExists(const std::string& path) {
#ifdef _WIN32
  const DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
#else
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
#endif
}

bool CopyFileNoReplace(const std::string& source, const std::string& target, Flush flush) {
#ifdef _WIN32
  // Copied to a temporary name, then moved to the target without replacing:
  // the target appears complete or not at all, and never over another file.
  const DWORD sourceAttributes = AttributesOf(source);
  if (sourceAttributes == INVALID_FILE_ATTRIBUTES || (sourceAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
  if (AttributesOf(target) != INVALID_FILE_ATTRIBUTES) return false;
  std::string tempPath;
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = TemporarySibling(target);
    if (CopyFileW(Wide(source).c_str(), Wide(tempPath).c_str(), TRUE) != 0) break;
    if (GetLastError() != ERROR_FILE_EXISTS) return false;
    tempPath.clear();
  }
  if (tempPath.empty()) return false;
  bool ok = true;
  if (flush == Flush::Now) {
    const HANDLE handle = CreateFileW(Wide(tempPath).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    ok = handle != INVALID_HANDLE_VALUE && FlushHandle(handle, target);
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  if (ok) {
    ok = Allowed(DiskStep::Rename, target) &&
         MoveFileExW(Wide(tempPath).c_str(), Wide(target).c_str(), MOVEFILE_WRITE_THROUGH) != 0;
  }
  if (!ok) DeleteFileW(Wide(tempPath).c_str());
  return ok;
#else
  // The copy is made under a temporary name and then linked to the target:
  // link() fails when the target exists, so nothing is ever replaced, and a
  // reader never sees a half-copied target.
  Fd in(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!in.valid()) return false;
  struct stat sourceStat {};
  if (::fstat(in.get(), &sourceStat) != 0 || !S_ISREG(sourceStat.st_mode)) return false;
  if (::access(target.c_str(), F_OK) == 0) return false;

  std::string tempPath;
  Fd out(CreateTemporary(target, sourceStat.st_mode & 0777, tempPath));
  if (!out.valid()) return false;
  bool ok = true;
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    if (!WriteAll(out.get(), std::string_view(buffer, static_cast<std::size_t>(n)))) {
      ok = false;
      break;
    }
  }
  if (ok && flush == Flush::Now) ok = FlushFile(out.get(), target);
  if (!out.Close()) ok = false;
  if (ok) {
    if (!Allowed(DiskStep::Rename, target) || ::link(tempPath.c_str(), target.c_str()) != 0) {
      // Some file systems have no hard links: create the target exclusively
      // and copy again (still never replacing).
      const int linkError = errno;
      ok = false;
      if (linkError != EEXIST) {
        Fd direct(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                         sourceStat.st_mode & 0777));
        if (direct.valid() && ::lseek(in.get(), 0, SEEK_SET) == 0) {
          ok = true;
          for (;;) {
            const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) ok = false;
            if (n <= 0) break;
            if (!WriteAll(direct.get(), std::string_view(buffer, static_cast<std::size_t>(n)))) {
              ok = false;
              break;
            }
          }
          if (!direct.Close()) ok = false;
          if (!ok) ::unlink(target.c_str());
        }
      }
    }
  }
  ::unlink(tempPath.c_str());
  return ok;
#endif
}

ReadOutcome ReadWholeFile(const std::string& path, std::string& content, std::string* reason) {
  content.clear();
#ifndef _WIN32
  // Non-blocking, so that a named pipe in the file's place does not wait for
  // a writer; judged by its kind before anything is read.
  Fd in(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  const auto fail = [reason](std::string words) {
    if (reason != nullptr) *reason = std::move(words);
    return ReadOutcome::Failed;
  };
  if (!in.valid()) return errno == ENOENT ? ReadOutcome::Missing : fail(SystemErrorWords(errno));
  struct stat info {};
  if (::fstat(in.get(), &info) != 0) return fail(SystemErrorWords(errno));
  if (S_ISDIR(info.st_mode)) return fail(SystemErrorWords(EISDIR));
  if (!S_ISREG(info.st_mode)) return fail(kNotRegularFile);
  char chunk[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(in.get(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(SystemErrorWords(errno));
    if (n == 0) break;
    content.append(chunk, static_cast<std::size_t>(n));
  }
  return ReadOutcome::Ok;
#else
  (void)reason;
  const int fd = windows::OpenForReading(path);
  std::FILE* file = fd >= 0 ? ::_fdopen(fd, "rb") : nullptr;
  if (file == nullptr) {
    if (fd >= 0) ::_close(fd);
    const DWORD attributes = AttributesOf(path);
    return attributes == INVALID_FILE_ATTRIBUTES ? ReadOutcome::Missing : ReadOutcome::Failed;
  }
  char buffer[64 * 1024];
  bool failed = false;
  for (;;) {
    const std::size_t n = std::fread(buffer, 1, sizeof buffer, file);
    content.append(buffer, n);
    if (n < sizeof buffer) {
      failed = std::ferror(file) != 0;
      break;
    }
  }
  std::fclose(file);
  return failed ? ReadOutcome::Failed : ReadOutcome::Ok;
#endif
}

std::vector<std::string> ReadTextLines(const std::string& path) {
  std::string text;
  std::string reason;
  // A folder opens but does not read: that, too, is a file that cannot be opened.
  const ReadOutcome outcome = ReadWholeFile(path, text, &reason);
  if (outcome == ReadOutcome::Missing) ThrowCannotOpen(path, ENOENT);
  if (outcome != ReadOutcome::Ok) throw FileError("Cannot open file " + path, reason);
  return SplitLines(TextFromFile(text));
}

void WriteFileAtomic(const std::string& path, std::string_view bytes, FileAccess access, Flush flush) {
#ifdef _WIN32
  // A folder, or a file marked read-only, is not silently replaced.
  if (const int refusal = ReplaceRefusal(path)) ThrowCannotCreate(path, refusal);
  (void)access;  // Windows files inherit the folder's access list (a user's own folder is his alone)
  std::string tempPath;
  const HANDLE handle = CreateTemporary(path, tempPath);
  if (handle == INVALID_HANDLE_VALUE) ThrowCannotCreate(path, ErrnoOf(GetLastError()));
  SetLastError(ERROR_SUCCESS);
  bool ok = WriteAll(handle, bytes);
  // A deferred flush is made here too: Windows lets no user flush a whole
  // volume, so every file is flushed as it is written.
  (void)flush;
  if (ok) ok = FlushHandle(handle, path);
  if (!CloseHandle(handle)) ok = false;
  if (ok) ok = RenameOver(tempPath, path);
  if (!ok) {
    const int error = ErrnoOf(GetLastError());
    DeleteFileW(Wide(tempPath).c_str());
    ThrowUnableToWrite(path, error);
  }
#else
  std::string target;
  struct stat existing {};
  const bool exists = ExistingTarget(path, target, existing);
  // A folder, or a file its owner made read-only, is not silently replaced by
  // the rename (which only needs the folder to be writable).
  if (exists && S_ISDIR(existing.st_mode)) ThrowCannotCreate(path, EISDIR);
  if (exists && ::access(target.c_str(), W_OK) != 0) ThrowCannotCreate(path, errno);
  // A device or a pipe (/dev/stdout, a shell's >(...)) is written into: a
  // rename would put a plain file in its place.
  if (exists && !S_ISREG(existing.st_mode)) {
    Fd out(::open(target.c_str(), O_WRONLY | O_CLOEXEC));
    if (!out.valid()) ThrowCannotCreate(path, errno);
    if (!WriteAll(out.get(), bytes)) ThrowUnableToWrite(path, errno);
    if (!out.Close()) ThrowUnableToWrite(path, errno);
    return;
  }
  const mode_t createMode = access == FileAccess::OwnerOnly ? 0600 : 0666;

  std::string tempPath;
  Fd out(CreateTemporary(target, createMode, tempPath));
  if (!out.valid()) ThrowCannotCreate(path, errno);
  bool ok = true;
  if (exists) ok = ::fchmod(out.get(), existing.st_mode & 07777) == 0;
  if (ok) ok = WriteAll(out.get(), bytes);
  if (ok && flush == Flush::Now) ok = FlushFile(out.get(), target);
  int error = ok ? 0 : errno;
  if (!out.Close() && ok) {
    ok = false;
    error = errno;
  }
  if (ok && !RenameOver(tempPath, target)) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(tempPath.c_str());
    ThrowUnableToWrite(path, error);
  }
  if (flush == Flush::Now) SyncFolderOf(target);
#endif
}

AtomicFileWriter::AtomicFileWriter(const std::string& path, FileAccess access) : path_(path) {
#ifdef _WIN32
  (void)access;  // Windows files inherit the folder's access list
  target_ = path;
  if (const int refusal = ReplaceRefusal(path)) ThrowCannotCreate(path_, refusal);
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath_ = TemporarySibling(target_);
    fd_ = ::_wopen(Wide(tempPath_).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                   _S_IREAD | _S_IWRITE);
    if (fd_ >= 0 || errno != EEXIST) break;
  }
  if (fd_ < 0) ThrowCannotCreate(path_, errno);
#else
  struct stat existing {};
  const bool exists = ExistingTarget(path, target_, existing);
  // Same rules as WriteFileAtomic: no silent replacement of a folder or of a
  // file its owner made read-only; and none of a device or a pipe either.
  if (exists && S_ISDIR(existing.st_mode)) ThrowCannotCreate(path_, EISDIR);
  if (exists && !S_ISREG(existing.st_mode)) throw FileError("Cannot create file " + path_, kNotRegularFile);
  if (exists && ::access(target_.c_str(), W_OK) != 0) ThrowCannotCreate(path_, errno);
  fd_ = CreateTemporary(target_, access == FileAccess::OwnerOnly ? 0600 : 0666, tempPath_);
  if (fd_ < 0) ThrowCannotCreate(path_, errno);
  if (exists && ::fchmod(fd_, existing.st_mode & 07777) != 0) {
    const int error = errno;
    Discard();
    ThrowCannotCreate(path_, error);
  }
#endif
}

AtomicFileWriter::~AtomicFileWriter() { Discard(); }

void AtomicFileWriter::Discard() noexcept {
  if (fd_ < 0) return;
#ifdef _WIN32
  ::_close(fd_);
  ::DeleteFileW(Wide(tempPath_).c_str());
#else
  ::close(fd_);
  ::unlink(tempPath_.c_str());
#endif
  fd_ = -1;
}

void AtomicFileWriter::Write(std::string_view bytes) {
  if (fd_ < 0) ThrowUnableToWrite(path_);
#ifdef _WIN32
  bool ok = true;
  while (ok && !bytes.empty()) {
    const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(bytes.size(), 1u << 30));
    const int n = ::_write(fd_, bytes.data(), chunk);
    ok = n > 0;
    if (ok) bytes.remove_prefix(static_cast<std::size_t>(n));
  }
#else
  const bool ok = WriteAll(fd_, bytes);
#endif
  if (!ok) {
    const int error = errno;
    Discard();
    ThrowUnableToWrite(path_, error);
  }
}

void AtomicFileWriter::Commit() {
  if (fd_ < 0) ThrowUnableToWrite(path_);
#ifdef _WIN32
  // _commit is FlushFileBuffers on the file's handle.
  SetLastError(ERROR_SUCCESS);
  bool ok = Allowed(DiskStep::FlushFile, target_) && ::_commit(fd_) == 0;
  ok = ::_close(fd_) == 0 && ok;
  fd_ = -1;
  if (ok) ok = RenameOver(tempPath_, target_);
  if (!ok) {
    const int error = ErrnoOf(GetLastError());
    DeleteFileW(Wide(tempPath_).c_str());
    ThrowUnableToWrite(path_, error);
  }
#else
  bool ok = FlushFile(fd_, target_);
  int error = ok ? 0 : errno;
  if (::close(fd_) != 0 && ok) {
    ok = false;
    error = errno;
  }
  fd_ = -1;
  if (ok && !RenameOver(tempPath_, target_)) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(tempPath_.c_str());
    ThrowUnableToWrite(path_, error);
  }
  SyncFolderOf(target_);
#endif
}

std::string JoinLinesCrLf(const std::vector<std::string>& lines) {
  std::size_t size = 0;
  for (const auto& line : lines) size += line.size() + 2;
  std::string text;
  text.reserve(size);
  for (const auto& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void WriteTextLines(const std::string& path, const std::vector<std::string>& lines,
                    FileAccess access) {
  WriteFileAtomic(path, TextForFile(JoinLinesCrLf(lines)), access);
}

#ifdef _WIN32
std::string TextForFile(std::string_view text) { return windows::ToCodePage(text); }
std::string TextFromFile(std::string_view bytes) { return windows::FromCodePage(bytes); }
#else
std::string TextForFile(std::string_view text) { return std::string(text); }
std::string TextFromFile(std::string_view bytes) { return std::string(bytes); }
#endif

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.emplace_back(text.substr(start, i - start));
      i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

bool IsPathDelimiter(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/' || c == ':';
#else
  return c == '/';
#endif
}

namespace {
std::size_t NameStart(const std::string& path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (IsPathDelimiter(path[i - 1])) return i;
  }
  return 0;
}

std::size_t ExtensionStart(const std::string& path) {
  const std::size_t nameStart = NameStart(path);
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return path.size();
  return dot;
}
}  // namespace

std::string ExtractFilePath(const std::string& path) { return path.substr(0, NameStart(path)); }

std::string ExtractFileName(const std::string& path) { return path.substr(NameStart(path)); }

std::string ExtractFileExt(const std::string& path) { return path.substr(ExtensionStart(path)); }

std::string RemoveFileExt(const std::string& path) { return path.substr(0, ExtensionStart(path)); }

std::string IncludeTrailingDelimiter(const std::string& path) {
  // Only a real folder separator ends a folder: "c:" still needs its "\".
  if (!path.empty() && (path.back() == kPathSeparator || path.back() == '/')) return path;
  return path + kPathSeparator;
}

}  // namespace platform

namespace platform {

AppendableFile::~AppendableFile() { Close(); }

void AppendableFile::Close() noexcept {
#ifndef _WIN32
  if (fd_ >= 0) ::close(fd_);
#endif
  fd_ = -1;
  path_.clear();
  size_ = 0;
}

bool AppendableFile::Open(const std::string& path, std::uintmax_t expectedSize) {
  Close();
#ifdef _WIN32
  (void)path;
  (void)expectedSize;
  return false;
#else
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<std::uintmax_t>(info.st_size) != expectedSize) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  path_ = path;
  size_ = expectedSize;
  return true;
#endif
}

bool AppendableFile::StillHolds(const std::string& path) const {
#ifdef _WIN32
  (void)path;
  return false;
#else
  if (fd_ < 0 || path != path_) return false;
  struct stat onDisk {};
  struct stat held {};
  return ::stat(path.c_str(), &onDisk) == 0 && ::fstat(fd_, &held) == 0 &&
         onDisk.st_dev == held.st_dev && onDisk.st_ino == held.st_ino &&
         static_cast<std::uintmax_t>(held.st_size) == size_;
#endif
}

void AppendableFile::Append(std::string_view bytes) {
  const std::string path = path_;
#ifdef _WIN32
  (void)bytes;  // never open there (see Open)
  const int error = 0;
#else
  bool ok = fd_ >= 0;
  std::string_view rest = bytes;
  while (ok && !rest.empty()) {
    const ssize_t written = ::write(fd_, rest.data(), rest.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      ok = false;
    } else {
      rest.remove_prefix(static_cast<std::size_t>(written));
    }
  }
  if (ok) ok = FlushFile(fd_, path_);
  if (ok) {
    size_ += bytes.size();
    return;
  }
  const int error = errno;
#endif
  // The file's tail is unknown now: the caller has to rewrite it.
  Close();
  ThrowUnableToWrite(path, error);
}

std::string BuiltInFolder(const std::string& name) {
#ifdef _WIN32
  return "c:\\" + name;
#else
  return IncludeTrailingDelimiter(HomeFromUserDatabase()) + name;
#endif
}

}  // namespace platform

namespace platform {

#ifdef _WIN32
int RemoveStaleTemporaries(const std::string& folder) {
  const std::string prefix = IncludeTrailingDelimiter(folder.empty() ? "." : folder);
  WIN32_FIND_DATAW entry {};
  const HANDLE find = FindFirstFileW(Wide(prefix + ".*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return 0;
  const unsigned long self = GetCurrentProcessId();
  int removed = 0;
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    const std::string name = windows::Utf8(entry.cFileName);
    const unsigned long owner = TemporaryOwner(name);
    if (owner == 0 || owner == self) continue;
    // A process that still runs may be writing it; one that is gone left it.
    // (A process id can be reused: then the file waits for a later look.)
    if (const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(owner))) {
      const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
      CloseHandle(process);
      if (running) continue;
    } else if (GetLastError() != ERROR_INVALID_PARAMETER) {
      continue;  // it exists, but is not ours to look at
    }
    if (DeleteFileW(Wide(prefix + name).c_str())) ++removed;
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  return removed;
}
#else
int RemoveStaleTemporaries(const std::string& folder) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return 0;
  const std::string prefix = IncludeTrailingDelimiter(folder);
  const unsigned long self = static_cast<unsigned long>(::getpid());
  int removed = 0;
  while (const dirent* entry = ::readdir(dir)) {
    // Only hidden names can be ours: a cheap test before the parse.
    if (entry->d_name[0] != '.') continue;
    const unsigned long owner = TemporaryOwner(entry->d_name);
    if (owner == 0 || owner == self) continue;
    // A process that still runs may be writing it; one that is gone left it.
    if (::kill(static_cast<pid_t>(owner), 0) == 0 || errno != ESRCH) continue;
    if (::unlink((prefix + entry->d_name).c_str()) == 0) ++removed;
  }
  ::closedir(dir);
  return removed;
}
#endif

std::string TemporaryNameBeside(const std::string& target) { return TemporarySibling(target); }

}  // namespace platform

namespace platform {

void SetDiskStepWatcher(DiskStepWatcher* watcher) { diskStepWatcher.store(watcher, std::memory_order_release); }

void DurableBatch::Add(const std::string& path) {
#ifdef _WIN32
  (void)path;  // written with its flush (see WriteFileAtomic)
#else
  std::string folder = ExtractFilePath(path);
  std::lock_guard lock(mutex_);
  if (folders_.find(folder) == folders_.end()) folders_.insert(std::move(folder));
#endif
}

void DurableBatch::MakeDurable() {
#ifndef _WIN32
  std::set<std::string> folders;
  {
    std::lock_guard lock(mutex_);
    if (!failure_.empty()) throw FileError(failure_, failureReason_);
    folders.swap(folders_);
  }
  // One flush of each file system the files are on, then each folder.
  std::string failure;
  std::string reason;
  std::set<dev_t> synced;
  for (const std::string& folder : folders) {
    const int fd = ::open(FolderOrCurrent(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat info {};
    bool ok = fd >= 0 && ::fstat(fd, &info) == 0;
    if (ok && synced.insert(info.st_dev).second) {
#ifdef __linux__
      ok = Allowed(DiskStep::FlushFileSystem, folder) && ::syncfs(fd) == 0;
#else
      ok = Allowed(DiskStep::FlushFileSystem, folder);
      if (ok) ::sync();
#endif
    }
    const int error = errno;
    if (fd >= 0) ::close(fd);
    if (!ok) {
      failure = "Unable to write to " + folder;
      reason = SystemErrorWords(error);
      break;
    }
  }
  for (const std::string& folder : folders) {
    if (!failure.empty()) break;
    if (!FlushFolder(folder)) {
      failure = "Unable to write to " + folder;
      reason = SystemErrorWords(errno);
    }
  }
  if (failure.empty()) return;
  std::lock_guard lock(mutex_);
  failure_ = failure;
  failureReason_ = reason;
  throw FileError(failure, reason);
#endif
}

#ifndef _WIN32
bool FlushFinishedFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  return ::close(fd) == 0 && synced;
}

bool RenameReplacing(const std::string& from, const std::string& to) { return RenameOver(from, to); }

void FlushFolderOfRenamed(const std::string& path) { SyncFolderOf(path); }
#else
bool FlushFinishedFile(const std::string& path) {
  const HANDLE handle = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = ErrnoOf(GetLastError());
    return false;
  }
  const bool flushed = FlushFileBuffers(handle) != 0;
  if (!flushed) errno = ErrnoOf(GetLastError());
  CloseHandle(handle);
  return flushed;
}

bool RenameReplacing(const std::string& from, const std::string& to) {
  if (RenameOver(from, to)) return true;
  errno = ErrnoOf(GetLastError());
  return false;
}

// MOVEFILE_WRITE_THROUGH made the rename durable.
void FlushFolderOfRenamed(const std::string&) {}
#endif

}  // namespace platform
