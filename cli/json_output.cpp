#include "cli/json_output.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <comsvc/utf8.h>

namespace comsvc::cli {
namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void AppendUnicodeEscape(std::string& out, char16_t c) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
  out += buffer;
}

}  // namespace

void AppendJsonString(std::string& out, std::u16string_view text) {
  out.push_back('"');
  size_t run_start = 0;  // start of a run of characters written as UTF-8
  const auto flush = [&](size_t end) {
    if (end > run_start) out += EncodeUtf8(text.substr(run_start, end - run_start));
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      ++i;
      continue;
    }
    const char* escape = nullptr;
    switch (c) {
      case u'"': escape = "\\\""; break;
      case u'\\': escape = "\\\\"; break;
      case u'\b': escape = "\\b"; break;
      case u'\f': escape = "\\f"; break;
      case u'\n': escape = "\\n"; break;
      case u'\r': escape = "\\r"; break;
      case u'\t': escape = "\\t"; break;
      default: break;
    }
    const bool lone_surrogate = IsHighSurrogate(c) || IsLowSurrogate(c);
    if (escape == nullptr && c >= 0x20 && !lone_surrogate) continue;
    flush(i);
    run_start = i + 1;
    if (escape != nullptr) {
      out += escape;
    } else {
      AppendUnicodeEscape(out, c);
    }
  }
  flush(text.size());
  out.push_back('"');
}

std::string JsonString(std::u16string_view text) {
  std::string out;
  AppendJsonString(out, text);
  return out;
}

std::string JsonDouble(double value) {
  if (!std::isfinite(value)) return "null";
  // Shortest round-trip digits, then laid out as fixed or exponent form:
  // exponent form below 1e-4 and from 1e16 up.
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  std::string_view sci(buffer, static_cast<size_t>(result.ptr - buffer));
  std::string out;
  if (sci.front() == '-') {
    out.push_back('-');
    sci.remove_prefix(1);
  }
  const size_t e_pos = sci.find('e');
  std::string digits(sci.substr(0, e_pos));
  if (digits.size() > 1) digits.erase(1, 1);  // drop the decimal point
  const int exponent = std::atoi(std::string(sci.substr(e_pos + 1)).c_str());
  if (exponent < -4 || exponent >= 16) {
    out += digits.substr(0, 1);
    if (digits.size() > 1) out += "." + digits.substr(1);
    char exp_text[16];
    std::snprintf(exp_text, sizeof exp_text, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    out += exp_text;
  } else if (exponent >= 0) {
    const size_t int_digits = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= int_digits) {
      out += digits + std::string(int_digits - digits.size(), '0') + ".0";
    } else {
      out += digits.substr(0, int_digits) + "." + digits.substr(int_digits);
    }
  } else {
    out += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
  }
  return out;
}

namespace {

// Hands what `out` holds to the sink once it is a chunk's worth.
void Drain(std::string& out, const OutputSink* sink) {
  constexpr size_t kChunk = size_t{1} << 16;
  if (sink != nullptr && out.size() >= kChunk) {
    (*sink)(out);
    out.clear();
  }
}

void AppendIndent(std::string& out, int depth) {
  out.push_back('\n');
  out.append(static_cast<size_t>(depth) * 2, ' ');
}

void AppendStandard(std::string& out, const Value& value, bool pretty, int depth, const OutputSink* sink) {
  switch (value.Kind()) {
    case ValueKind::kEmpty:
    case ValueKind::kNull: out += "null"; return;
    case ValueKind::kBoolean: out += value.AsBoolean() ? "true" : "false"; return;
    case ValueKind::kInteger: out += std::to_string(value.AsInteger()); return;
    case ValueKind::kLong: out += std::to_string(value.AsLong()); return;
    case ValueKind::kDouble: out += JsonDouble(value.AsDouble()); return;
    case ValueKind::kString: AppendJsonString(out, value.AsString()); return;
    case ValueKind::kObject: {
      const auto& members = value.AsObject()->Members();
      out.push_back('{');
      for (size_t i = 0; i < members.size(); ++i) {
        Drain(out, sink);
        if (i > 0) out.push_back(',');
        if (pretty) AppendIndent(out, depth + 1);
        AppendJsonString(out, members[i].first);
        out += pretty ? ": " : ":";
        AppendStandard(out, members[i].second, pretty, depth + 1, sink);
      }
      if (pretty && !members.empty()) AppendIndent(out, depth);
      out.push_back('}');
      return;
    }
    case ValueKind::kArray: {
      const auto& items = value.AsArray()->Items();
      out.push_back('[');
      for (size_t i = 0; i < items.size(); ++i) {
        Drain(out, sink);
        if (i > 0) out.push_back(',');
        if (pretty) AppendIndent(out, depth + 1);
        AppendStandard(out, items[i], pretty, depth + 1, sink);
      }
      if (pretty && !items.empty()) AppendIndent(out, depth);
      out.push_back(']');
      return;
    }
  }
}

void AppendTyped(std::string& out, const Value& value, const OutputSink* sink) {
  switch (value.Kind()) {
    case ValueKind::kEmpty: out += "[\"empty\"]"; return;
    case ValueKind::kNull: out += "[\"null\"]"; return;
    case ValueKind::kBoolean: out += value.AsBoolean() ? "[\"bool\",true]" : "[\"bool\",false]"; return;
    case ValueKind::kInteger: out += "[\"int\"," + std::to_string(value.AsInteger()) + "]"; return;
    case ValueKind::kLong: out += "[\"int\"," + std::to_string(value.AsLong()) + "]"; return;
    case ValueKind::kDouble: out += "[\"double\"," + JsonDouble(value.AsDouble()) + "]"; return;
    case ValueKind::kString:
      out += "[\"string\",";
      AppendJsonString(out, value.AsString());
      out += "]";
      return;
    case ValueKind::kObject: {
      out += "[\"object\",[";
      bool first = true;
      for (const auto& [key, member] : value.AsObject()->Members()) {
        Drain(out, sink);
        if (!first) out.push_back(',');
        first = false;
        out.push_back('[');
        AppendJsonString(out, key);
        out.push_back(',');
        AppendTyped(out, member, sink);
        out.push_back(']');
      }
      out += "]]";
      return;
    }
    case ValueKind::kArray: {
      out += "[\"array\",[";
      bool first = true;
      for (const Value& item : value.AsArray()->Items()) {
        Drain(out, sink);
        if (!first) out.push_back(',');
        first = false;
        AppendTyped(out, item, sink);
      }
      out += "]]";
      return;
    }
  }
}

}  // namespace

std::string StandardJson(const Value& value, bool pretty) {
  std::string out;
  AppendStandard(out, value, pretty, 0, nullptr);
  return out;
}

std::string TypedJson(const Value& value) {
  std::string out;
  AppendTyped(out, value, nullptr);
  return out;
}

void WriteStandardJson(const Value& value, bool pretty, const OutputSink& sink) {
  std::string out;
  AppendStandard(out, value, pretty, 0, &sink);
  sink(out);
}

void WriteTypedJson(const Value& value, const OutputSink& sink) {
  std::string out;
  AppendTyped(out, value, &sink);
  sink(out);
}

std::string DialogRecordJson(const platform::DialogRecord& record) {
  std::string out;
  if (record.kind == platform::DialogRecord::Kind::kMessage) {
    out += "{\"box\":\"message\",\"text\":" + JsonString(record.text) + ",\"title\":" + JsonString(record.title) +
           ",\"icon\":\"" + platform::BoxIconName(record.icon) + "\"}";
  } else {
    out += "{\"box\":\"input\",\"prompt\":" + JsonString(record.text) + ",\"title\":" + JsonString(record.title) +
           ",\"default\":" + JsonString(record.default_text) +
           ",\"answer\":" + (record.answer ? JsonString(*record.answer) : std::string("null")) + "}";
  }
  return out;
}

}  // namespace comsvc::cli
