#include "support/reference_md5.h"

namespace comsvc::testing {

std::string UppercaseHex(const unsigned char* digest, size_t size) {
  std::string hex;
  for (size_t i = 0; i < size; ++i) {
    hex += "0123456789ABCDEF"[digest[i] >> 4];
    hex += "0123456789ABCDEF"[digest[i] & 15];
  }
  return hex;
}

}  // namespace comsvc::testing
