// A page has no files: reading and editing one is not available.
#include "os/files.h"

#include <cerrno>

#include "os/error.h"

namespace comsvc::os {

std::error_code LastSystemError() noexcept { return {errno, std::system_category()}; }

std::error_code ReadWholeFile(const std::string&, std::string&, size_t) { return Errc::kNotAvailable; }

EditOutcome EditFileUnderLock(const std::string&, const FileEdit&) { return EditOutcome::kFailed; }

}  // namespace comsvc::os
