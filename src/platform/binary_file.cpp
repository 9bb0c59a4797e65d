#include "platform/binary_file.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <comsvc/utf8.h>

namespace comsvc::platform {

bool BinaryFile::ReadAcrossRefill(std::span<uint8_t> record) {
  size_t filled = 0;
  while (filled < record.size()) {
    if (next_ == end_ && !Refill()) return false;
    const size_t take = std::min(end_ - next_, record.size() - filled);
    std::memcpy(record.data() + filled, buffer_.get() + next_, take);
    next_ += take;
    filled += take;
  }
  return true;
}

}  // namespace comsvc::platform
