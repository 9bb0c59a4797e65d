// OpenSSL's MD5 as an independent peer for the digest tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace comsvc::testing {

// OpenSSL's digest of `leading_zeros` zero bytes followed by `bytes`, as 32
// uppercase hexadecimal digits.
std::string OpenSslMd5Hex(std::string_view bytes, int64_t leading_zeros = 0);

}  // namespace comsvc::testing
