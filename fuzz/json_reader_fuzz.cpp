// ReadJson on arbitrary text: every pair of input bytes is one UTF-16 code
// unit (little-endian), so lone surrogates, NULs and every other unit occur.
#include <cstddef>
#include <cstdint>
#include <string>

#include <comsvc/json_reader.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text(size / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  }
  comsvc::Value root = comsvc::JSON::ReadJson(text);
  std::u16string errors = comsvc::JSON::ReaderErrors();
  // An absent root always comes with an error text.
  if (root.IsEmpty() && errors.empty()) __builtin_trap();
  return 0;
}
