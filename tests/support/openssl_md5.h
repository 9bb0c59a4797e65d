// OpenSSL's MD5 as an independent peer for the digest tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <openssl/evp.h>

namespace comsvc::testing {

// An incremental MD5 context of OpenSSL's.
class OpenSslMd5 {
 public:
  OpenSslMd5();
  ~OpenSslMd5();
  OpenSslMd5(const OpenSslMd5&) = delete;
  OpenSslMd5& operator=(const OpenSslMd5&) = delete;

  void Update(std::string_view bytes);
  // The digest as 32 uppercase hexadecimal digits; ends the context.
  std::string UpperHex();

 private:
  EVP_MD_CTX* context_;
};

// The digest of `bytes` as 32 uppercase hexadecimal digits.
std::string OpenSslMd5Hex(std::string_view bytes);

// The digest of the file's bytes, read with the C library, in uppercase
// hexadecimal.
std::string OpenSslMd5OfFile(const std::string& path);

// The four little-endian words of an uppercase hexadecimal digest, read as
// signed decimal texts: what the chaining registers hold after it.
std::string RegisterDecimal(std::string_view hex_digest, int register_index);

}  // namespace comsvc::testing
