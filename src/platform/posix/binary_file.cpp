#include "platform/binary_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include <comsvc/utf8.h>

namespace comsvc::platform {
namespace {

std::optional<std::string> NativePath(std::u16string_view path) {
  if (path.find(u'\0') != std::u16string_view::npos) return std::nullopt;
  return EncodeUtf8(path);
}

}  // namespace

std::optional<int64_t> BinaryFile::Length(std::u16string_view path) {
  const std::optional<std::string> native = NativePath(path);
  struct stat info {};
  if (!native || ::stat(native->c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return static_cast<int64_t>(info.st_size);
}

std::unique_ptr<BinaryFile> BinaryFile::OpenRead(std::u16string_view path) {
  const std::optional<std::string> native = NativePath(path);
  if (!native) return nullptr;
  // O_NONBLOCK keeps a FIFO from holding the caller until a writer comes; it
  // changes nothing for the regular files that are accepted.
  const int descriptor = ::open(native->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
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

}  // namespace comsvc::platform
