#include "support/reference_md5.h"

#include <openssl/evp.h>

#include <algorithm>
#include <memory>

namespace comsvc::testing {

std::string ReferenceMd5Hex(std::string_view bytes, int64_t leading_zeros) {
  static const std::string kZeros(1 << 20, '\0');
  const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr);
  for (int64_t left = leading_zeros; left > 0; left -= static_cast<int64_t>(kZeros.size())) {
    EVP_DigestUpdate(context.get(), kZeros.data(), std::min<size_t>(left, kZeros.size()));
  }
  EVP_DigestUpdate(context.get(), bytes.data(), bytes.size());
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_DigestFinal_ex(context.get(), digest, &size);
  return UppercaseHex(digest, size);
}

}  // namespace comsvc::testing
