// Splits arbitrary text as a URL: either error 6 (a position or port beyond
// 16 bits) or parts that keep the parser's invariants.
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

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace comsvc;
  static const bool ready = [] {
    platform::CodePage::SetCurrent(1252);
    return true;
  }();
  (void)ready;
  auto dialogs = std::make_shared<platform::ScriptedDialogs>();
  platform::SetDialogs(dialogs);
  const std::u16string url = Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
  url_helper::UrlParts parts;
  try {
    parts = url_helper::ParseUrl(url);
  } catch (const RuntimeError& e) {
    Check(e.Number() == 6);
    return 0;
  }
  Check(!parts.Path.empty() && parts.Path[0] == u'/');
  Check(parts.Host.find(u'/') == std::u16string::npos);
  Check(parts.Scheme.find(u"://") == std::u16string::npos);
  Check(parts.Port >= -32768 && parts.Port <= 32767);
  // Everything but the separators is kept, in order.
  Check(parts.Scheme.size() + parts.Host.size() + parts.Path.size() + parts.Query.size() <= url.size() + 1);
  const bool reported = !dialogs->Records().empty();
  Check(dialogs->Records().size() <= 1);
  Check(!reported || (parts.Scheme != u"http" && !parts.Scheme.empty()));
  if (reported || parts.Port == 0) return 0;
  Check(parts.Scheme.empty() ? parts.Port == 80 : parts.Port >= 1);
  return 0;
}
