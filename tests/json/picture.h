// A value as one line of text, exact to the code unit and the bit, so that
// one comparison tells whether two reads agree and a table can state what a
// read gives: empty, null, true, i:N, d:N (all the digits a double needs),
// 'text', {key=value,...}, [item,...]; a text holding a lone surrogate shows
// every unit as \xXXXX.
#pragma once

#include <cstdio>
#include <string>

#include <comsvc/utf8.h>
#include <comsvc/value.h>

namespace comsvc::JSON {

inline std::string Units(std::u16string_view text) {
  std::string out = EncodeUtf8(text);
  if (Utf8ToUtf16(out) == text) return out;
  char unit[8];
  out.clear();
  for (const char16_t c : text) out += (std::snprintf(unit, sizeof unit, "\\x%04X", unsigned{c}), unit);
  return out;
}

inline std::string Picture(const Value& v) {
  char number[32];
  std::string out;
  switch (v.Kind()) {
    case ValueKind::kEmpty: return "empty";
    case ValueKind::kNull: return "null";
    case ValueKind::kBoolean: return v.AsBoolean() ? "true" : "false";
    case ValueKind::kLong: return "i:" + std::to_string(v.AsLong());
    case ValueKind::kDouble: return std::snprintf(number, sizeof number, "d:%.17g", v.AsDouble()), number;
    case ValueKind::kString: return "'" + Units(v.AsString()) + "'";
    case ValueKind::kObject:
      for (const auto& [key, value] : v.AsObject()->Members()) out += "," + Units(key) + "=" + Picture(value);
      return "{" + out.substr(out.empty() ? 0 : 1) + "}";
    case ValueKind::kArray:
      for (const Value& item : v.AsArray()->Items()) out += "," + Picture(item);
      return "[" + out.substr(out.empty() ? 0 : 1) + "]";
    default: return "kind " + std::to_string(static_cast<int>(v.Kind()));
  }
}

// A root's picture, "none" for no root.
inline std::string RootPicture(const Value& root) { return root.IsEmpty() ? "none" : Picture(root); }

inline std::u16string Repeat(std::u16string_view piece, size_t times) {
  std::u16string text;
  for (size_t i = 0; i < times; ++i) text += piece;
  return text;
}

}  // namespace comsvc::JSON
