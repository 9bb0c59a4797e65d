// Feeds a message to the MD5 class in pieces of the input's choosing and
// checks the digest against OpenSSL's. The input alternates a piece length
// (0 to 300) and that many message bytes.
//
// The one-call function digests the same message as text (each byte one
// character): its 16-digit form is always digits 9 to 24 of the 32-digit
// one, and for ASCII text both agree with the class and with OpenSSL.
#include <fuzzer/FuzzedDataProvider.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <comsvc/value.h>
#include <comsvc/md5_digest.h>
#include <comsvc/md5_function.h>
#include <comsvc/code_page.h>
#include "fuzz/fuzz_support.h"

namespace {

using comsvc::fuzz::Check;

std::string UpperHex(const unsigned char* bytes, unsigned int size) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 15];
  }
  return hex;
}

std::string Narrow(std::u16string_view text) { return std::string(text.begin(), text.end()); }

std::string Lower(std::string hex) {
  for (char& c : hex) c = static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
  return hex;
}

// `digest`: the message's digest, upper-case, which the class and OpenSSL
// agreed on.
void CheckFunction(const std::string& message, const std::string& digest) {
  using comsvc::Value;
  const std::u16string text(message.begin(), message.end());
  const Value full = comsvc::MD5ForServer::MD5(Value(text), Value(int32_t{32}));
  const Value middle = comsvc::MD5ForServer::MD5(Value(text), Value(int32_t{16}));
  Check(full.IsString() && middle.IsString() && full.AsString().size() == 32);
  Check(middle.AsString() == full.AsString().substr(8, 16));
  const bool ascii = std::all_of(message.begin(), message.end(), [](char c) { return (c & 0x80) == 0; });
  if (ascii) Check(Narrow(full.AsString()) == Lower(digest));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = comsvc::platform::CodePage::SetCurrent(1252);
  (void)ready;
  FuzzedDataProvider input(data, size);
  EVP_MD_CTX* peer = EVP_MD_CTX_new();
  EVP_DigestInit_ex(peer, EVP_md5(), nullptr);
  comsvc::MD5 md5;
  md5.MD5Init();
  std::string message;
  while (input.remaining_bytes() > 0) {
    const std::vector<uint8_t> piece = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 300));
    md5.MD5Update(static_cast<int32_t>(piece.size()), comsvc::ByteArrayRef(piece));
    EVP_DigestUpdate(peer, piece.data(), piece.size());
    message.append(piece.begin(), piece.end());
  }
  md5.MD5Final();
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digest_size = 0;
  EVP_DigestFinal_ex(peer, digest, &digest_size);
  EVP_MD_CTX_free(peer);
  const std::string peer_digest = UpperHex(digest, digest_size);
  Check(Narrow(md5.GetValues()) == peer_digest);
  CheckFunction(message, peer_digest);
  return 0;
}
