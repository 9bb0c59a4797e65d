// Composes requests from arbitrary URLs and form texts: either error 6, a
// refusal (an empty record), or a request whose head holds exactly the
// lines it should, whatever the URL smuggles in, and whose body decodes back
// to the form: each item's name as written, its value (up to a second "=")
// as the code-page bytes of its characters.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>
#include "fuzz/fuzz_support.h"
#include <comsvc/form_post.h>
#include <comsvc/code_page.h>
#include <comsvc/dialogs.h>
#include <comsvc/testing/scripted_dialogs.h>

namespace {

size_t CountLines(std::u16string_view head) {
  size_t lines = 0;
  for (size_t at = head.find(u"\r\n"); at != std::u16string_view::npos; at = head.find(u"\r\n", at + 2)) ++lines;
  return lines;
}

bool HasBareLineBreak(std::u16string_view head) {
  for (size_t i = 0; i < head.size(); ++i) {
    if (head[i] == u'\n' && (i == 0 || head[i - 1] != u'\r')) return true;
    if (head[i] == u'\r' && (i + 1 == head.size() || head[i + 1] != u'\n')) return true;
  }
  return false;
}

std::vector<std::u16string_view> Split(std::u16string_view text, char16_t separator) {
  std::vector<std::u16string_view> pieces;
  for (size_t start = 0;;) {
    const size_t at = text.find(separator, start);
    pieces.push_back(text.substr(start, at == std::u16string_view::npos ? at : at - start));
    if (at == std::u16string_view::npos) return pieces;
    start = at + 1;
  }
}

void CheckBodyDecodesToForm(std::u16string_view body, std::u16string_view form,
                            const comsvc::platform::CodePage& code_page) {
  using comsvc::fuzz::Check;
  if (form.empty()) {
    Check(body.empty());
    return;
  }
  const std::vector<std::u16string_view> items = Split(form, u'&');
  const std::vector<std::u16string_view> sent = Split(body, u'&');
  Check(sent.size() == items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    const std::vector<std::u16string_view> fields = Split(items[i], u'=');
    const size_t equals = sent[i].find(u'=');
    Check(equals != std::u16string_view::npos && sent[i].substr(0, equals) == fields[0]);
    Check(comsvc::fuzz::PercentDecoded(sent[i].substr(equals + 1)) ==
          comsvc::fuzz::CharacterBytes(fields[1], code_page));
  }
}

}  // namespace

// Input: one byte choosing the code page, then the URL and the form text
// separated by the first tab.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace comsvc;
  using fuzz::Check;
  if (size == 0) return -1;
  const platform::CodePage code_page((data[0] & 1) ? 936 : 1252);
  platform::CodePage::SetCurrent(code_page.Number());
  platform::SetDialogs(std::make_shared<platform::ScriptedDialogs>());
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t tab = bytes.find('\t');
  const std::u16string url = Utf8ToUtf16(bytes.substr(0, tab));
  const std::u16string form = tab == std::string_view::npos ? u"" : Utf8ToUtf16(bytes.substr(tab + 1));

  Remote::UrlParts u;
  try {
    u = Remote::BuildPostRequest(url, form);
  } catch (const RuntimeError& e) {
    Check(e.Number() == 6);
    return 0;
  }
  if (u.RequestText.empty()) {
    Check(u == Remote::UrlParts{});
    return 0;
  }
  const std::u16string_view text = u.RequestText;
  Check(text.size() >= u.Body.size() && text.substr(text.size() - u.Body.size()) == u.Body);
  const std::u16string_view head = text.substr(0, text.size() - u.Body.size());
  Check(head.starts_with(u"POST " + u.Path + u" HTTP/1.0\r\nHost: " + u.Host + u"\r\n"));
  Check(head.ends_with(std::u16string(u"Client:") + std::u16string(Remote::kClientIdentification) + u"\r\n\r\n"));
  Check(!HasBareLineBreak(head));
  Check(CountLines(head) == (u.Body.empty() ? 4u : 6u));
  CheckBodyDecodesToForm(u.Body, form, code_page);
  return 0;
}
