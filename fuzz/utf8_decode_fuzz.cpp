// The command line's UTF-8 decoding: never reads out of bounds, stops at the
// first invalid byte, and what it decodes encodes back to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <comsvc/utf8.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  comsvc::Utf8Result decoded = comsvc::DecodeUtf8(bytes);
  const size_t valid = decoded.error_offset.value_or(size);
  if (valid > size) std::abort();
  if (comsvc::EncodeUtf8(decoded.text) != bytes.substr(0, valid)) std::abort();
  // Lenient decoding keeps every valid character and replaces the rest.
  std::u16string lenient = comsvc::Utf8ToUtf16(bytes);
  if (lenient.substr(0, decoded.text.size()) != decoded.text) std::abort();
  return 0;
}
