// ParseUrl in two ways. Arbitrary text: either error 6 or parts that keep
// the parser's invariants. A URL built from known parts (scheme "http", a
// host, maybe a port, a path, maybe a query): exactly those parts back, or
// error 6 when a separator the parser searches for lies beyond position
// 32767 or the port does not fit 16 bits. A path can be repeated to reach
// that limit.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>
#include <comsvc/url_helper.h>
#include <comsvc/code_page.h>
#include <comsvc/dialogs.h>
#include <comsvc/testing/scripted_dialogs.h>
#include "fuzz/fuzz_support.h"

namespace {

using comsvc::fuzz::Check;

using comsvc::url_helper::UrlParts;

constexpr size_t kMaxPosition = 32767;

// The parts, or the error number raised.
struct Parsed {
  UrlParts parts;
  int32_t error = 0;
  size_t boxes = 0;
};

Parsed Parse(std::u16string_view url) {
  auto dialogs = std::make_shared<comsvc::platform::ScriptedDialogs>();
  comsvc::platform::SetDialogs(dialogs);
  Parsed parsed;
  try {
    parsed.parts = comsvc::url_helper::ParseUrl(url);
  } catch (const comsvc::RuntimeError& e) {
    parsed.error = e.Number();
  }
  parsed.boxes = dialogs->Records().size();
  return parsed;
}

void CheckInvariants(std::u16string_view url) {
  const Parsed parsed = Parse(url);
  if (parsed.error != 0) {
    Check(parsed.error == 6);
    return;
  }
  const UrlParts& parts = parsed.parts;
  Check(!parts.Path.empty() && parts.Path[0] == u'/');
  Check(parts.Host.find(u'/') == std::u16string::npos);
  Check(parts.Scheme.find(u"://") == std::u16string::npos);
  Check(parts.Port >= -32768 && parts.Port <= 32767);
  // Everything but the separators is kept, in order.
  Check(parts.Scheme.size() + parts.Host.size() + parts.Path.size() + parts.Query.size() <= url.size() + 1);
  Check(parsed.boxes <= 1);
  Check(parsed.boxes == 0 || (parts.Scheme != u"http" && !parts.Scheme.empty()));
  if (parsed.boxes == 0 && parts.Port != 0) Check(parts.Scheme.empty() ? parts.Port == 80 : parts.Port >= 1);
}

std::u16string Without(std::u16string text, std::u16string_view excluded) {
  std::erase_if(text, [&](char16_t c) { return excluded.find(c) != std::u16string_view::npos; });
  return text;
}

// 1-based position of `c` in `text` from `from` on, 0 when absent.
size_t PositionOf(std::u16string_view text, char16_t c, size_t from = 0) {
  const size_t at = text.find(c, from);
  return at == std::u16string_view::npos ? 0 : at - from + 1;
}

void CheckKnownParts(FuzzedDataProvider& input) {
  const std::u16string host = Without(comsvc::Utf8ToUtf16(input.ConsumeRandomLengthString(64)), u":/");
  const bool has_port = input.ConsumeBool();
  const int port = input.ConsumeIntegralInRange<int>(0, 70000);
  std::u16string path = u"/" + Without(comsvc::Utf8ToUtf16(input.ConsumeRandomLengthString(64)), u"?");
  const size_t repeats = input.ConsumeIntegralInRange<size_t>(1, 2048);
  for (const std::u16string piece = path; path.size() < piece.size() * repeats;) path += piece;
  const bool has_query = input.ConsumeBool();
  const std::u16string query = comsvc::Utf8ToUtf16(input.ConsumeRemainingBytesAsString());

  const std::u16string port_text = has_port ? u":" + comsvc::Utf8ToUtf16(std::to_string(port)) : u"";
  const std::u16string rest = host + port_text + path + (has_query ? u"?" + query : u"");
  const Parsed parsed = Parse(u"http://" + rest);

  // The searches after the scheme: the first ":", the first "/", and the
  // first "?" from that slash on.
  const size_t slash = host.size() + port_text.size();
  const bool beyond = PositionOf(rest, u':') > kMaxPosition || slash + 1 > kMaxPosition ||
                      PositionOf(rest, u'?', slash) > kMaxPosition;
  if (beyond || (has_port && port > 32767)) {
    Check(parsed.error == 6);
    return;
  }
  Check(parsed.error == 0 && parsed.boxes == 0);
  Check(parsed.parts.Scheme == u"http");
  Check(parsed.parts.Host == host);
  Check(parsed.parts.Port == (has_port && port > 0 ? port : 80));
  Check(parsed.parts.Path == path);
  Check(parsed.parts.Query == (has_query ? query : u""));
}

}  // namespace

// Input: a flag byte (bit 0: a URL built from known parts, else the rest is
// the URL), then the URL text or the parts.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = comsvc::platform::CodePage::SetCurrent(1252);
  (void)ready;
  if (size == 0) return -1;
  if (data[0] & 1) {
    FuzzedDataProvider input(data + 1, size - 1);
    CheckKnownParts(input);
  } else {
    CheckInvariants(comsvc::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1)));
  }
  return 0;
}
