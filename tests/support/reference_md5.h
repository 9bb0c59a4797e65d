// An MD5 independent of comsvc's for the digest tests: OpenSSL's on Linux,
// the system's own (BCrypt) on Windows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace comsvc::testing {

// The reference digest of `leading_zeros` zero bytes followed by `bytes`, as
// 32 uppercase hexadecimal digits.
std::string ReferenceMd5Hex(std::string_view bytes, int64_t leading_zeros = 0);

// The digest's bytes as 32 uppercase hexadecimal digits.
std::string UppercaseHex(const unsigned char* digest, size_t size);

}  // namespace comsvc::testing
