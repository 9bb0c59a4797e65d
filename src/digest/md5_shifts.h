// The MD5 function's logical shifts of a 32-bit word; error 6 for counts
// outside 0 to 31. Private to the library: declared here for its tests.
#pragma once

#include <cstdint>

namespace comsvc::MD5ForServer::internal {

int32_t ShiftLeft(int32_t value, int32_t count);
int32_t ShiftRight(int32_t value, int32_t count);

}  // namespace comsvc::MD5ForServer::internal
