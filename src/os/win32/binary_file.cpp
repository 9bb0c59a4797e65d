#include "os/binary_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "os/win32/wide_text.h"

namespace comsvc::os {
namespace {

bool IsRegularFile(const std::wstring& path, int64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info)) return false;
  if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return false;
  *size = static_cast<int64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
  return true;
}

}  // namespace

std::optional<int64_t> BinaryFile::Length(const std::string& path) {
  std::wstring wide;
  int64_t size = 0;
  if (!WidePath(path, wide) || !IsRegularFile(wide, &size)) return std::nullopt;
  return size;
}

std::unique_ptr<BinaryFile> BinaryFile::OpenRead(const std::string& path) {
  std::wstring wide;
  int64_t size = 0;
  if (!WidePath(path, wide) || !IsRegularFile(wide, &size)) return nullptr;
  const int descriptor = _wopen(wide.c_str(), _O_RDONLY | _O_BINARY | _O_SEQUENTIAL | _O_NOINHERIT);
  if (descriptor < 0) return nullptr;
  return std::unique_ptr<BinaryFile>(new BinaryFile(descriptor));
}

BinaryFile::BinaryFile(int descriptor) : descriptor_(descriptor), buffer_(new uint8_t[kBufferSize]) {}

BinaryFile::~BinaryFile() { _close(descriptor_); }

bool BinaryFile::Refill() {
  const int got = _read(descriptor_, buffer_.get(), static_cast<unsigned>(kBufferSize));
  if (got <= 0) return false;
  next_ = 0;
  end_ = static_cast<size_t>(got);
  return true;
}

}  // namespace comsvc::os
