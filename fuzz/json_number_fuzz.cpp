// The JSON reader's number fast path against the platform's conversion: for
// every text of the characters a number gathers, the same value of the same
// type, or the same error.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/runtime_error.h"
#include "fuzz/fuzz_support.h"
#include "json/json_number.h"
#include "platform/locale.h"

namespace {

using comsvc::fuzz::Check;

// The value, or the error number raised instead.
struct Outcome {
  comsvc::Value value;
  std::optional<int32_t> error;
};

template <typename Read>
Outcome Try(Read read) {
  try {
    return {read(), std::nullopt};
  } catch (const comsvc::RuntimeError& e) {
    return {comsvc::Value(), e.Number()};
  }
}

bool SameValue(const comsvc::Value& a, const comsvc::Value& b) {
  if (a.Kind() != b.Kind()) return false;
  switch (a.Kind()) {
    case comsvc::ValueKind::kLong:
      return a.AsLong() == b.AsLong();
    case comsvc::ValueKind::kDouble:  // bit for bit: -0.0 is not 0.0
      return std::bit_cast<uint64_t>(a.AsDouble()) == std::bit_cast<uint64_t>(b.AsDouble());
    default:
      return a.IsEmpty() && b.IsEmpty();
  }
}

}  // namespace

// Each input byte picks one character of the number alphabet; digits are the
// likeliest, so that long mantissas and exponents occur.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static constexpr char16_t kAlphabet[] = u"0123456789012345678901234567899-+.eE";
  constexpr size_t kLetters = std::size(kAlphabet) - 1;
  std::u16string text;
  for (size_t i = 0; i < size; ++i) text.push_back(kAlphabet[data[i] % kLetters]);

  using comsvc::platform::Locale;
  const Outcome fast = Try([&] { return comsvc::JSON::NumberValue(text); });
  const bool decimal = text.find_first_of(u".eE") != std::u16string::npos;
  const Outcome platform = Try([&] {
    return decimal ? comsvc::Value(comsvc::platform::TextToDouble(text, Locale::kInvariant))
                   : comsvc::Value(comsvc::platform::TextToLong(text, Locale::kInvariant));
  });
  Check(fast.error == platform.error);
  Check(SameValue(fast.value, platform.value));
  return 0;
}
