#include "os/binary_file.h"

#include <algorithm>

namespace comsvc::os {

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

}  // namespace comsvc::os
