#include "os/binary_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace comsvc::os {
namespace {

bool NamesAFile(const std::string& path) { return path.find('\0') == std::string::npos; }

}  // namespace

std::optional<int64_t> BinaryFile::Length(const std::string& path) {
  struct stat info {};
  if (!NamesAFile(path) || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return static_cast<int64_t>(info.st_size);
}

std::unique_ptr<BinaryFile> BinaryFile::OpenRead(const std::string& path) {
  if (!NamesAFile(path)) return nullptr;
  // O_NONBLOCK keeps a FIFO from holding the caller until a writer comes; it
  // changes nothing for the regular files that are accepted.
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (descriptor < 0) return nullptr;
  std::unique_ptr<BinaryFile> file(new BinaryFile(descriptor));
  struct stat info {};
  if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
  ::posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);
  return file;
}

BinaryFile::BinaryFile(int descriptor) : descriptor_(descriptor), buffer_(new uint8_t[kBufferSize]) {}

BinaryFile::~BinaryFile() { ::close(descriptor_); }

bool BinaryFile::Refill() {
  for (;;) {
    const ssize_t got = ::read(descriptor_, buffer_.get(), kBufferSize);
    if (got > 0) {
      next_ = 0;
      end_ = static_cast<size_t>(got);
      return true;
    }
    if (got == 0 || errno != EINTR) return false;
  }
}

}  // namespace comsvc::os
