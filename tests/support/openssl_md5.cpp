#include "support/openssl_md5.h"

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

namespace comsvc::testing {

OpenSslMd5::OpenSslMd5() : context_(EVP_MD_CTX_new()) {
  if (context_ == nullptr || EVP_DigestInit_ex(context_, EVP_md5(), nullptr) != 1) {
    throw std::runtime_error("OpenSSL MD5 is not available");
  }
}

OpenSslMd5::~OpenSslMd5() { EVP_MD_CTX_free(context_); }

void OpenSslMd5::Update(std::string_view bytes) { EVP_DigestUpdate(context_, bytes.data(), bytes.size()); }

std::string OpenSslMd5::UpperHex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_DigestFinal_ex(context_, digest, &size);
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    hex += kDigits[digest[i] >> 4];
    hex += kDigits[digest[i] & 15];
  }
  return hex;
}

std::string OpenSslMd5Hex(std::string_view bytes) {
  OpenSslMd5 md5;
  md5.Update(bytes);
  return md5.UpperHex();
}

std::string OpenSslMd5OfFile(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) throw std::runtime_error("cannot open " + path);
  OpenSslMd5 md5;
  std::vector<char> buffer(1 << 20);
  size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0) md5.Update({buffer.data(), got});
  return md5.UpperHex();
}

std::string RegisterDecimal(std::string_view hex_digest, int register_index) {
  uint32_t word = 0;
  for (int k = 3; k >= 0; --k) {
    const std::string byte(hex_digest.substr(8 * register_index + 2 * k, 2));
    word = word << 8 | static_cast<uint32_t>(std::stoul(byte, nullptr, 16));
  }
  return std::to_string(static_cast<int32_t>(word));
}

}  // namespace comsvc::testing
