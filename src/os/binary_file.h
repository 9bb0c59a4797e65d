// Read-only binary access to a regular file, from its start to its end in
// records of the caller's size. Records are served from one large buffer, so
// a caller reading 64 bytes at a time costs one system call per buffer, not
// one per record. Paths are UTF-8; a path holding NUL names no file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace comsvc::os {

class BinaryFile {
 public:
  // The length in bytes of the regular file at `path`; nothing when the path
  // is missing, names a directory or another kind of file, or cannot be
  // examined. Never creates anything.
  static std::optional<int64_t> Length(const std::string& path);

  // Opens the regular file at `path` for reading only; nullptr when it
  // cannot (missing, not a regular file, no permission). Never creates it,
  // and never waits for a FIFO's writer.
  static std::unique_ptr<BinaryFile> OpenRead(const std::string& path);

  ~BinaryFile();  // closes the file
  BinaryFile(const BinaryFile&) = delete;
  BinaryFile& operator=(const BinaryFile&) = delete;

  // Fills `record` entirely from the current position. False when a read
  // fails or the file ends first; the position is then unspecified.
  bool Read(std::span<uint8_t> record) {
    if (end_ - next_ >= record.size()) {
      std::memcpy(record.data(), buffer_.get() + next_, record.size());
      next_ += record.size();
      return true;
    }
    return ReadAcrossRefill(record);
  }

 private:
  static constexpr size_t kBufferSize = size_t{256} * 1024;

  explicit BinaryFile(int descriptor);
  bool ReadAcrossRefill(std::span<uint8_t> record);
  // Reads the next buffer's worth; false on a read error.
  bool Refill();

  int descriptor_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t next_ = 0;  // first unread byte of the buffer
  size_t end_ = 0;   // end of the valid bytes of the buffer
};

}  // namespace comsvc::os
