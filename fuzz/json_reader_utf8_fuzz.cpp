// JSON::Read of arbitrary bytes as UTF-8 against JSON::Read of their lenient
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
  const comsvc::JSON::ReadResult expected = comsvc::JSON::Read(comsvc::Utf8ToUtf16(bytes));
  const comsvc::JSON::ReadResult read = comsvc::JSON::Read(bytes);
  comsvc::fuzz::Check(read.errors == expected.errors);
  comsvc::fuzz::Check(read.root.Kind() == expected.root.Kind());
  if (!read.root.IsEmpty()) {
    comsvc::fuzz::Check(comsvc::cli::TypedJson(read.root) == comsvc::cli::TypedJson(expected.root));
  }
  return 0;
}
