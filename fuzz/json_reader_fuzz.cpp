// JSON::Read on arbitrary text: every pair of input bytes is one UTF-16 code
// unit (little-endian), so lone surrogates, NULs and every other unit occur.
//
// Whatever the text, an absent root comes with an error text, and a root
// written out as standard JSON reads back as the same tree without errors
// (when standard JSON can hold it). When the text is strict JSON whose objects have distinct keys and whose
// integers fit 32 bits, the reader agrees with a strict parser (nlohmann):
// the same tree, the same types, and no errors.
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cli/json_output.h"
#include <comsvc/utf8.h>
#include <comsvc/json_reader.h>
#include "fuzz/fuzz_support.h"

namespace {

using comsvc::fuzz::Check;

using nlohmann::ordered_json;

// A member name reads as written only without the characters the key
// reader drops or treats as syntax (quotes, colon, blanks and line breaks),
// without escapes (keys are not unescaped), and so without characters that
// standard JSON writes escaped (controls, backslash, lone surrogates).
bool IsPlainKey(std::u16string_view key) {
  for (size_t i = 0; i < key.size(); ++i) {
    const char16_t c = key[i];
    if (c < 0x20 || std::u16string_view(u"\"':\\ ").find(c) != std::u16string_view::npos) return false;
    const bool high = c >= 0xD800 && c <= 0xDBFF;
    const bool low = c >= 0xDC00 && c <= 0xDFFF;
    if (high && i + 1 < key.size() && key[i + 1] >= 0xDC00 && key[i + 1] <= 0xDFFF) {
      ++i;
    } else if (high || low) {
      return false;
    }
  }
  return true;
}

// True when some member name in strict JSON text is written with an escape.
bool HasEscapedKey(std::string_view json) {
  bool in_string = false;
  bool escaped = false;
  for (size_t i = 0; i < json.size(); ++i) {
    if (!in_string) {
      in_string = json[i] == '"';
      escaped = false;
      continue;
    }
    if (json[i] == '\\') {
      escaped = true;
      ++i;
    } else if (json[i] == '"') {
      in_string = false;
      const size_t next = json.find_first_not_of(" \t\r\n", i + 1);
      if (escaped && next != std::string_view::npos && json[next] == ':') return true;
    }
  }
  return false;
}

// Accepts only documents the property covers: plain member names, distinct
// within each object, no integer outside 32 bits (a strict parser would make a double
// of a long integer, the reader an overflow).
class StrictSubset : public nlohmann::json_sax<ordered_json> {
 public:
  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t value) override { return value >= INT32_MIN && value <= INT32_MAX; }
  bool number_unsigned(number_unsigned_t value) override { return value <= INT32_MAX; }
  bool number_float(number_float_t, const string_t& text) override {
    return text.find_first_of(".eE") != string_t::npos;
  }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return false; }
  bool start_object(std::size_t) override {
    keys_.emplace_back();
    return true;
  }
  bool key(string_t& name) override {
    return IsPlainKey(comsvc::Utf8ToUtf16(name)) && keys_.back().insert(name).second;
  }
  bool end_object() override {
    keys_.pop_back();
    return true;
  }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

 private:
  std::vector<std::set<string_t>> keys_;
};

bool SameTree(const comsvc::Value& ours, const ordered_json& peer) {
  using comsvc::ValueKind;
  switch (ours.Kind()) {
    case ValueKind::kNull:
      return peer.is_null();
    case ValueKind::kBoolean:
      return peer.is_boolean() && peer.get<bool>() == ours.AsBoolean();
    case ValueKind::kLong:
      return peer.is_number_integer() && peer.get<int64_t>() == ours.AsLong();
    case ValueKind::kDouble:
      return peer.is_number_float() && std::signbit(peer.get<double>()) == std::signbit(ours.AsDouble()) &&
             peer.get<double>() == ours.AsDouble();
    case ValueKind::kString:
      return peer.is_string() && peer.get<std::string>() == comsvc::EncodeUtf8(ours.AsString());
    case ValueKind::kObject: {
      if (!peer.is_object() || peer.size() != static_cast<size_t>(ours.AsObject()->Count())) return false;
      auto it = peer.begin();
      for (const auto& [key, value] : ours.AsObject()->Members()) {
        if (it.key() != comsvc::EncodeUtf8(key) || !SameTree(value, it.value())) return false;
        ++it;
      }
      return true;
    }
    case ValueKind::kArray: {
      if (!peer.is_array() || peer.size() != static_cast<size_t>(ours.AsArray()->Count())) return false;
      size_t i = 0;
      for (const comsvc::Value& item : ours.AsArray()->Items()) {
        if (!SameTree(item, peer[i++])) return false;
      }
      return true;
    }
    case ValueKind::kEmpty:
    case ValueKind::kInteger:
      break;
  }
  return false;
}

// The text as UTF-8 when it holds no lone surrogate (which UTF-8 cannot carry).
std::optional<std::string> AsUtf8(const std::u16string& text) {
  std::string utf8 = comsvc::EncodeUtf8(text);
  if (comsvc::DecodeUtf8(utf8).text != text) return std::nullopt;
  return utf8;
}

void CheckAgainstStrictParser(const std::u16string& text, const comsvc::Value& root, const std::u16string& errors) {
  const std::optional<std::string> utf8 = AsUtf8(text);
  if (!utf8 || utf8->starts_with("\xEF\xBB\xBF")) return;  // the peer skips a byte-order mark
  StrictSubset subset;
  if (!ordered_json::sax_parse(*utf8, &subset) || HasEscapedKey(*utf8)) return;
  const ordered_json peer = ordered_json::parse(*utf8);
  if (!peer.is_object() && !peer.is_array()) return;  // the reader's root is a container
  Check(errors.empty());
  Check(SameTree(root, peer));
}

// Standard JSON has no form for the empty value (a member whose value the
// reader could not make out), and keys read back as written only when plain.
bool WritableAsIs(const comsvc::Value& value) {
  if (value.IsEmpty()) return false;
  if (value.IsObject()) {
    for (const auto& [key, member] : value.AsObject()->Members()) {
      if (!IsPlainKey(key) || !WritableAsIs(member)) return false;
    }
  }
  if (value.IsArray()) {
    for (const comsvc::Value& item : value.AsArray()->Items()) {
      if (!WritableAsIs(item)) return false;
    }
  }
  return true;
}

void CheckWrittenOutReadsBack(const comsvc::Value& root) {
  const std::string written = comsvc::cli::StandardJson(root, false);
  const comsvc::JSON::ReadResult again = comsvc::JSON::Read(comsvc::Utf8ToUtf16(written));
  Check(again.errors.empty());
  Check(comsvc::cli::TypedJson(again.root) == comsvc::cli::TypedJson(root));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text(size / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  }
  const auto [root, errors] = comsvc::JSON::Read(text);
  Check(!root.IsEmpty() || !errors.empty());
  CheckAgainstStrictParser(text, root, errors);
  if (WritableAsIs(root)) CheckWrittenOutReadsBack(root);
  return 0;
}
