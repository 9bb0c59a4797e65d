// ReadJson on arbitrary bytes as UTF-8 against ReadJson on their lenient
// decoding to UTF-16: whatever the bytes (invalid sequences, encoded
// surrogates, escapes cut short, errors of every kind), both give the same
// tree and the same error text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cli/json_output.h"
#include <comsvc/json_reader.h>
#include <comsvc/utf8.h>
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const comsvc::Value expected = comsvc::JSON::ReadJson(comsvc::Utf8ToUtf16(bytes));
  const std::u16string expected_errors = comsvc::JSON::ReaderErrors();
  const comsvc::Value root = comsvc::JSON::ReadJson(bytes);
  comsvc::fuzz::Check(comsvc::JSON::ReaderErrors() == expected_errors);
  comsvc::fuzz::Check(root.Kind() == expected.Kind());
  if (!root.IsEmpty()) comsvc::fuzz::Check(comsvc::cli::TypedJson(root) == comsvc::cli::TypedJson(expected));
  return 0;
}
