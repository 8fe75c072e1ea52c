// File-system services of the desktop: folders, files, text files and paths.
// Every function may be called from any thread; none keeps state.
#pragma once

#include <cstdint>
#include <exception>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// A file operation that failed. The message is one of the framework texts the
// general error handler shows: "Cannot open file <path>", "Cannot create file
// <path>" or "Unable to write to <path>"; its SystemReason is the system's
// own words for why ("Permission denied", "No space left on device", "not a
// regular file"), empty when it gave none. Other errors of a failed system
// call (a folder that could not be made) carry a SystemReason as well.
class SystemReason {
 public:
  explicit SystemReason(std::string reason) : reason_(std::move(reason)) {}
  virtual ~SystemReason() = default;
  const std::string& Reason() const { return reason_; }

 private:
  std::string reason_;
};

class FileError : public std::runtime_error, public SystemReason {
 public:
  explicit FileError(const std::string& message, std::string reason = {})
      : std::runtime_error(message), SystemReason(std::move(reason)) {}
};

// The system's words for an error number (errno); empty for 0.
std::string SystemErrorWords(int error);

// The reason is SystemErrorWords(error): the errno of the call that failed.
[[noreturn]] void ThrowCannotOpen(const std::string& path, int error = 0);
[[noreturn]] void ThrowCannotCreate(const std::string& path, int error = 0);
[[noreturn]] void ThrowUnableToWrite(const std::string& path, int error = 0);

// What the programs tell of an error: its text, and for a failure of the
// system its reason after it ("Cannot create file /m/t.jpg: Permission
// denied"; after a sentence: "... Failed. Permission denied.").
std::string FailureText(const std::exception& error);
// text with reason after it, by the same rule.
std::string WithReason(const std::string& text, const std::string& reason);
// The reason alone; empty for an error that is no failure of the system or
// whose reason is not known.
std::string FailureReason(const std::exception& error);
// True for a failure of the system (a file that could not be read, written or
// made: a FileError, or another error with a reason) rather than an answer of
// the program's own checks.
bool IsSystemFailure(const std::exception& error);

// Removes from folder (not below it) the temporary files that an atomic write
// or copy of a process that no longer runs left behind (killed mid-write):
// only names of this module's own pattern, never those of a live process.
// Returns how many were removed; a folder that cannot be read removes none.
int RemoveStaleTemporaries(const std::string& folder);

// A fresh name for a temporary file beside target, of the pattern that
// RemoveStaleTemporaries knows: for files that a library writes by path (an
// image, a database) before the caller renames them over target.
std::string TemporaryNameBeside(const std::string& target);

bool DirectoryExists(const std::string& path);
// Creates one folder level; the parent must exist. True when it was created;
// otherwise errno says why.
bool CreateDir(const std::string& path);
// True for an existing regular file (or anything that is not a folder).
bool FileExists(const std::string& path);
// When a written file reaches stable storage. Now: before the call returns
// (the file, then its folder). Deferred: only once a DurableBatch it was
// added to is made durable; until then a power cut may leave the name empty
// or torn, while every reader still sees the old file or the new one whole.
enum class Flush { Now, Deferred };

// Copies source to target unless target exists; never replaces, even when two
// copies race, and the target appears complete or not at all. True on success.
bool CopyFileNoReplace(const std::string& source, const std::string& target, Flush flush = Flush::Now);

// Reads a whole file into content. Missing: no such file; Failed: it exists
// but cannot be read (a folder, no permission, a read error, or anything that
// is no regular file: a named pipe or a device is never waited on); reason,
// when given, gets the system's words for why.
enum class ReadOutcome { Ok, Missing, Failed };
ReadOutcome ReadWholeFile(const std::string& path, std::string& content, std::string* reason = nullptr);

// The reason given for a file of another kind (a named pipe, a socket, a device).
inline constexpr const char* kNotRegularFile = "not a regular file";

// Reads a text file as lines; accepts CR LF, LF and CR line ends. A line end
// at the very end adds no empty line. The lines are UTF-8 (TextFromFile).
// Throws FileError("Cannot open file ...").
std::vector<std::string> ReadTextLines(const std::string& path);

// How a newly created file may be read: by everyone the umask allows, or by
// its owner only (a file holding a password). An existing file keeps its mode.
enum class FileAccess { Default, OwnerOnly };

// Writes bytes to path atomically: a temporary file beside it, flushed to disk,
// then a rename, so a crash never leaves a half-written file and a reader sees
// the old or the new contents. A symbolic link is written through; a device
// or a named pipe is written into directly (never replaced). Throws
// FileError "Cannot create file <path>" when the file cannot be made (missing
// folder, read-only folder or file, a folder of that name) and "Unable to
// write to <path>" when writing or the rename fails; either way path keeps
// its old contents and no temporary file is left.
void WriteFileAtomic(const std::string& path, std::string_view bytes,
                     FileAccess access = FileAccess::Default, Flush flush = Flush::Now);

// For files another library wrote (the combiner's outputs): the finished
// file at path put on stable storage; from given the name to, replacing
// what had it; the folder of a renamed file flushed, so the rename lasts.
// False with errno set when a step failed.
bool FlushFinishedFile(const std::string& path);
bool RenameReplacing(const std::string& from, const std::string& to);
void FlushFolderOfRenamed(const std::string& path);

// Files written with Flush::Deferred, made durable together, as a database
// commits: Add() each once it has its name, and MakeDurable() puts every file
// added before the call on stable storage, then each of their folders once.
// Whatever says that those files are done is written after MakeDurable().
// One flush of their file system (syncfs) does it: in a download of 10,000
// tiles that took a quarter of the wall time that a flush of each file from a
// thread of its own took.
// A failed flush is final: the kernel reports a lost write once and forgets
// it, so the files it covered may be gone whatever a later flush says;
// MakeDurable() keeps throwing it.
//
// Threads: Add() from any thread, MakeDurable() from one thread at a time.
class DurableBatch {
 public:
  DurableBatch() = default;
  DurableBatch(const DurableBatch&) = delete;
  DurableBatch& operator=(const DurableBatch&) = delete;

  void Add(const std::string& path);
  // Throws FileError("Unable to write to <folder>").
  void MakeDurable();

 private:
  std::mutex mutex_;
  std::set<std::string> folders_;  // of the files added since the last MakeDurable
  std::string failure_;
  std::string failureReason_;
};

// The steps by which this module's files reach their names and stable
// storage. A seam for tests: a watcher sees every step, in the order taken,
// before it is taken, and can make it fail as a disk error would.
enum class DiskStep { Rename, FlushFile, FlushFolder, FlushFileSystem };

class DiskStepWatcher {
 public:
  virtual ~DiskStepWatcher() = default;
  // Any thread. path: the name a file gets, the file or folder flushed, or a
  // folder on the file system flushed. False makes the step fail.
  virtual bool Allow(DiskStep step, const std::string& path) = 0;
};

// For every thread; nullptr removes it. Tests only.
void SetDiskStepWatcher(DiskStepWatcher* watcher);

// The text files of a task (task file, log, extent list, failed list) and the
// settings file as bytes on disk, from the UTF-8 the programs hold: on Windows
// the system's single-byte code page (ANSI), without a byte order mark, as
// every program there reads them; elsewhere UTF-8 unchanged. Reading, a file
// that is valid UTF-8 (written on Linux) is taken as such; a character the
// code page lacks is written as "?".
std::string TextForFile(std::string_view text);
std::string TextFromFile(std::string_view bytes);

// Writes every line followed by CR LF (the last one included), atomically,
// in the code page of TextForFile.
void WriteTextLines(const std::string& path, const std::vector<std::string>& lines,
                    FileAccess access = FileAccess::Default);

// Streams a large file to path atomically, for contents too big to assemble in
// memory: the bytes go to a temporary file beside path, and Commit() renames it
// over path. Destroyed without Commit(), it removes the temporary file and
// leaves path untouched. A path that is a device or a named pipe is refused
// (FileError "Cannot create file"), never replaced. Throws FileError. One
// thread at a time.
class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(const std::string& path, FileAccess access = FileAccess::Default);
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  void Write(std::string_view bytes);
  void Commit();

 private:
  void Discard() noexcept;

  std::string path_;    // as given, for the error texts
  std::string target_;  // the file the rename replaces (a link resolved)
  std::string tempPath_;
  int fd_ = -1;
};

// A file kept open for appending, as long as it stays the file that was
// opened: same device and inode (which cannot be reused while it is open) and
// the size this object expects. Where that cannot be told (Windows, where an
// open file could not be replaced by an atomic write), Open() fails and the
// caller rewrites instead. Not thread-safe.
class AppendableFile {
 public:
  AppendableFile() = default;
  ~AppendableFile();
  AppendableFile(const AppendableFile&) = delete;
  AppendableFile& operator=(const AppendableFile&) = delete;

  // Opens path when it is a regular file of exactly expectedSize bytes.
  bool Open(const std::string& path, std::uintmax_t expectedSize);
  void Close() noexcept;
  // True while path still names the opened file and it has the expected size.
  bool StillHolds(const std::string& path) const;
  // Appends bytes and flushes them to disk. On failure the file is closed and
  // FileError("Unable to write to <path>") is thrown.
  void Append(std::string_view bytes);

 private:
  int fd_ = -1;
  std::string path_;
  std::uintmax_t size_ = 0;
};

// A built-in default folder named name: on Windows "c:\" + name, elsewhere
// the user's home folder (from the user database) + "/" + name.
std::string BuiltInFolder(const std::string& name);

// Joins lines with CR LF after each one.
std::string JoinLinesCrLf(const std::vector<std::string>& lines);

// Splits text into lines at CR LF, LF or CR; a final line end adds no line.
std::vector<std::string> SplitLines(std::string_view text);

// True when c separates folders in a path: the native separator, and on
// Windows also ':' (after a drive letter) and '/'.
bool IsPathDelimiter(char c);

// "Folder part": everything up to and including the last delimiter ("" if none).
std::string ExtractFilePath(const std::string& path);
// "Name part": everything after the last delimiter.
std::string ExtractFileName(const std::string& path);
// "Extension": from the last '.' that comes after the last delimiter, the '.'
// included; "" when there is none.
std::string ExtractFileExt(const std::string& path);
// The path without its extension.
std::string RemoveFileExt(const std::string& path);
// The path with the separator appended unless it already ends in one.
std::string IncludeTrailingDelimiter(const std::string& path);

}  // namespace platform
