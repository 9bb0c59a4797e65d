#include "support/reference_md5.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <stdexcept>

namespace comsvc::testing {

// The system's cryptography provider's MD5.
std::string ReferenceMd5Hex(std::string_view bytes, int64_t leading_zeros) {
  static const std::string kZeros(1 << 20, '\0');
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0)) ||
      !BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) {
    throw std::runtime_error("the system has no MD5 provider");
  }
  const auto update = [hash](std::string_view part) {
    BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(part.data())), static_cast<ULONG>(part.size()), 0);
  };
  for (int64_t left = leading_zeros; left > 0; left -= static_cast<int64_t>(kZeros.size())) {
    update(std::string_view(kZeros).substr(0, static_cast<size_t>(std::min<int64_t>(left, kZeros.size()))));
  }
  update(bytes);
  unsigned char digest[16];
  BCryptFinishHash(hash, digest, sizeof digest, 0);
  BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  return UppercaseHex(digest, sizeof digest);
}

}  // namespace comsvc::testing
