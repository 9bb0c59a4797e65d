#include "json/json_number.h"

#include <gtest/gtest.h>

#include <bit>
#include <functional>
#include <random>

#include "core/runtime_error.h"
#include "core/utf8.h"
#include "platform/locale.h"

namespace comsvc::JSON {
namespace {

// The kind and exact value, or the number of the error raised, as one text.
std::string Outcome(const std::function<Value()>& read) {
  try {
    const Value v = read();
    if (v.Kind() == ValueKind::kLong) return "long " + std::to_string(v.AsLong());
    return "double " + std::to_string(std::bit_cast<uint64_t>(v.AsDouble()));
  } catch (const RuntimeError& e) {
    return "error " + std::to_string(e.Number());
  }
}

// A number must read as the platform reads it with "." as the decimal point:
// awkward texts, then random ones (well formed with up to 20 digits, some
// with a point or an exponent, and short runs of any number character).
TEST(NumberValue, ReadsAsThePlatformDoesWithAPoint) {
  std::vector<std::u16string> texts = {u"9007199254740993.0", u"1.0000000000000001110", u"1e2e3"};
  std::mt19937 random(20261206);
  for (int i = 0; i < 100000; ++i) {
    const std::u16string_view alphabet = i % 2 ? u"0123456789" : u"+-0123456789.eE";
    std::u16string text;
    for (int n = 1 + random() % (i % 2 ? 20 : 8); n > 0; --n) text += alphabet[random() % alphabet.size()];
    if (i % 4 == 3) text.insert(random() % text.size(), u".");
    if (i % 6 == 1) text += u"e" + Utf8ToUtf16(std::to_string(static_cast<int>(random() % 61) - 30));
    texts.push_back(text);
  }
  const auto& point = platform::Locale::kInvariant;
  for (const std::u16string& text : texts) {
    const bool decimal = text.find_first_of(u".eE") != std::u16string::npos;
    EXPECT_EQ(Outcome([&] { return NumberValue(text); }), Outcome([&] {
                return decimal ? Value(platform::TextToDouble(text, point)) : Value(platform::TextToLong(text, point));
              }))
        << EncodeUtf8(text);
  }
}

}  // namespace
}  // namespace comsvc::JSON
