// A page has no files of its own to read.
#include "os/binary_file.h"

namespace comsvc::os {

std::optional<int64_t> BinaryFile::Length(const std::string&) { return std::nullopt; }

std::unique_ptr<BinaryFile> BinaryFile::OpenRead(const std::string&) { return nullptr; }

BinaryFile::BinaryFile(int descriptor) : descriptor_(descriptor) {}

BinaryFile::~BinaryFile() = default;

bool BinaryFile::Refill() { return false; }

}  // namespace comsvc::os
