// Bytes of a file or a buffer read at offsets, for code that looks at a few
// places of a file (an image's header and end) without reading it all.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Random access to bytes. Read() gives up to n bytes at offset (fewer at the
// end); the view lives until the next Read().
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  virtual std::string_view Read(uint64_t offset, std::size_t n) = 0;
};

class MemoryBytes final : public ByteSource {
 public:
  explicit MemoryBytes(std::string_view bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  std::string_view Read(uint64_t offset, std::size_t n) override {
    return offset >= bytes_.size() ? std::string_view() : bytes_.substr(static_cast<std::size_t>(offset), n);
  }

 private:
  std::string_view bytes_;
};

// A file opened by name for reading at offsets: its first bytes are read at
// once (most files are judged from them alone), the rest when asked for.
// One thread at a time.
class FileBytes final : public ByteSource {
 public:
  // Regular: opened. Absent: no such file, or a part of the path is no folder.
  // Folder: a folder of that name. Other: anything else there (a device, a
  // socket). Failed: it exists but cannot be read (ErrorText says why).
  enum class Kind { Regular, Absent, Folder, Other, Failed };

  explicit FileBytes(const std::string& path, std::size_t headBytes = 4096);
  ~FileBytes() override;
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;

  Kind What() const { return kind_; }
  // The system's words for a failure to open or read ("Permission denied").
  const std::string& ErrorText() const { return error_; }
  uint64_t Size() const override { return size_; }
  // Reads past what the file holds give fewer bytes; a read error gives none
  // and turns the file Failed.
  std::string_view Read(uint64_t offset, std::size_t n) override;

 private:
  void Fail(int error);

  int fd_ = -1;
  Kind kind_ = Kind::Failed;
  std::string error_;
  uint64_t size_ = 0;
  std::size_t headBytes_ = 0;
  std::string head_;
  // The last stretch read beyond the head: a marker walk reads ahead in
  // steps of the head's size, not a system call per marker.
  uint64_t windowOffset_ = 0;
  std::string window_;
};

}  // namespace platform
