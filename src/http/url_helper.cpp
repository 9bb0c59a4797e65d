#include <comsvc/url_helper.h>

#include <comsvc/runtime_error.h>
#include <comsvc/code_page.h>
#include <comsvc/dialogs.h>
#include <comsvc/locale.h>

namespace comsvc::url_helper {

namespace {

constexpr size_t kMaxPosition = 32767;  // positions and lengths are 16-bit

// The 1-based position of the first `needle` in `text`, 0 when absent.
size_t Find(std::u16string_view text, std::u16string_view needle) {
  size_t at = text.find(needle);
  if (at == std::u16string_view::npos) return 0;
  if (at + 1 > kMaxPosition) Raise(ErrorNumber::kOverflow);
  return at + 1;
}

// An empty text is not a number; a number outside 16 bits raises error 6.
int32_t PortFromText(std::u16string_view text) {
  if (text.empty() || !platform::IsNumeric(text)) return 0;
  return platform::TextToInteger(text);
}

bool IsAsciiLetterOrDigit(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
}

void AppendByte(std::u16string& out, uint8_t byte) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  out += u'%';
  out += kHex[byte >> 4];
  out += kHex[byte & 0xF];
}

}  // namespace

// The searches run in this order, each for the first occurrence:
//  1. "://" anywhere: what stands before it is the scheme, the rest goes on.
//  2. the first ":" (c) and the first "/" (s) of the rest.
//  3. a colon before the slash ends the host and starts the port text; else
//     the slash ends the host; with no slash at all the whole rest is the
//     host, the path is "/" and the parse ends here (no default port).
//  4-5. from the slash on, a "?" splits the path from the query.
//  6. "http" keeps a port above 0 and defaults to 80; no scheme always
//     means 80; any other scheme is reported and keeps what step 3 found.
UrlParts ParseUrl(std::u16string_view url) {
  UrlParts parts;
  std::u16string_view rest = url;

  if (size_t p = Find(rest, u"://")) {
    parts.Scheme = rest.substr(0, p - 1);
    rest = rest.substr(p + 2);
  }

  size_t c = Find(rest, u":");
  size_t s = Find(rest, u"/");
  if (c > 0 && c < s) {
    parts.Host = rest.substr(0, c - 1);
    parts.Port = PortFromText(rest.substr(c, s - c - 1));
  } else if (s > 0) {
    parts.Host = rest.substr(0, s - 1);
  } else {
    parts.Host = rest;
    parts.Path = u"/";
    return parts;
  }

  rest = rest.substr(s - 1);
  if (size_t q = Find(rest, u"?")) {
    parts.Path = rest.substr(0, q - 1);
    parts.Query = rest.substr(q);
  } else {
    parts.Path = rest;
  }

  if (parts.Scheme == u"http") {
    if (parts.Port < 1) parts.Port = 80;
  } else if (parts.Scheme.empty()) {
    parts.Port = 80;
  } else {
    platform::MessageBox(u"Invalid protocol schema", u"", platform::BoxIcon::kNone);
  }
  return parts;
}

std::u16string PercentEncode(std::u16string_view text) {
  if (text.size() > kMaxPosition) Raise(ErrorNumber::kOverflow);
  const auto& code_page = platform::CodePage::Current();
  std::u16string out;
  out.reserve(text.size() * 3);
  for (char16_t c : text) {
    if (IsAsciiLetterOrDigit(c)) {
      out += c;
      continue;
    }
    auto code = static_cast<uint16_t>(code_page.CharCode(c));
    if (code > 0xFF) AppendByte(out, static_cast<uint8_t>(code >> 8));  // lead byte first
    AppendByte(out, static_cast<uint8_t>(code & 0xFF));
  }
  return out;
}

}  // namespace comsvc::url_helper
