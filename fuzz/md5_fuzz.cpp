// Feeds a message to the MD5 class in pieces of the input's choosing and
// checks the digest against OpenSSL's. The input alternates a piece length
// (0 to 300) and that many message bytes; the register read-outs and
// GetValues are read between pieces, which must change nothing.
#include <fuzzer/FuzzedDataProvider.h>
#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <comsvc/md5_digest.h>

namespace {

std::string UpperHex(const unsigned char* bytes, unsigned int size) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 15];
  }
  return hex;
}

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  EVP_MD_CTX* peer = EVP_MD_CTX_new();
  EVP_DigestInit_ex(peer, EVP_md5(), nullptr);
  comsvc::MD5 md5;
  md5.MD5Init();
  while (input.remaining_bytes() > 0) {
    const std::vector<uint8_t> piece = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 300));
    md5.MD5Update(static_cast<int32_t>(piece.size()), comsvc::ByteArrayRef(piece));
    EVP_DigestUpdate(peer, piece.data(), piece.size());
    const std::u16string before = md5.GetValues();
    if (md5.RegisterA().empty() || md5.RegisterD().empty() || md5.GetValues() != before) __builtin_trap();
  }
  md5.MD5Final();
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digest_size = 0;
  EVP_DigestFinal_ex(peer, digest, &digest_size);
  EVP_MD_CTX_free(peer);
  if (Narrow(md5.GetValues()) != UpperHex(digest, digest_size)) __builtin_trap();
  return 0;
}
