#include "support/reference_md5.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <stdexcept>

namespace comsvc::testing {
namespace {

// One MD5 computation of the system's cryptography provider.
class SystemMd5 {
 public:
  SystemMd5() {
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_MD5_ALGORITHM, nullptr, 0)) ||
        !BCRYPT_SUCCESS(BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0))) {
      throw std::runtime_error("the system has no MD5 provider");
    }
  }
  ~SystemMd5() {
    if (hash_ != nullptr) BCryptDestroyHash(hash_);
    if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
  }
  SystemMd5(const SystemMd5&) = delete;
  SystemMd5& operator=(const SystemMd5&) = delete;

  void Update(std::string_view bytes) {
    auto* data = reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data()));
    BCryptHashData(hash_, data, static_cast<ULONG>(bytes.size()), 0);
  }
  std::string FinishHex() {
    unsigned char digest[16];
    BCryptFinishHash(hash_, digest, sizeof digest, 0);
    return UppercaseHex(digest, sizeof digest);
  }

 private:
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
};

}  // namespace

std::string ReferenceMd5Hex(std::string_view bytes, int64_t leading_zeros) {
  static const std::string kZeros(1 << 20, '\0');
  SystemMd5 md5;
  for (int64_t left = leading_zeros; left > 0; left -= static_cast<int64_t>(kZeros.size())) {
    md5.Update(std::string_view(kZeros).substr(0, static_cast<size_t>(std::min<int64_t>(left, kZeros.size()))));
  }
  md5.Update(bytes);
  return md5.FinishHex();
}

}  // namespace comsvc::testing
