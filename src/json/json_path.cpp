#include <comsvc/json_path.h>

#include <algorithm>
#include <charconv>

#include <comsvc/runtime_error.h>

namespace comsvc::JSON {
namespace {

bool NeedsQuotes(std::u16string_view name) {
  return name.empty() || std::ranges::any_of(name, [](char16_t c) {
           return c < u' ' || c == u'.' || c == u'[' || c == u']' || c == u'"' || c == u'\\';
         });
}

void AppendQuoted(std::u16string& out, std::u16string_view name) {
  out += u"[\"";
  for (char16_t c : name) {
    if (c == u'"' || c == u'\\') out += u'\\';
    out += c;
  }
  out += u"\"]";
}

void AppendStep(std::u16string& text, const PathStep& step) {
  if (step.IsItem()) {
    char digits[24];
    char* const end = std::to_chars(digits, digits + sizeof digits, step.index).ptr;
    text += u'[';
    text.append(digits, end);
    text += u']';
  } else if (NeedsQuotes(step.name)) {
    AppendQuoted(text, step.name);
  } else {
    if (!text.empty()) text += u'.';
    text += step.name;
  }
}

}  // namespace

std::u16string PathText(std::span<const PathStep> path) {
  return RaisingOutOfMemory([&] {
    std::u16string text;
    for (const PathStep& step : path) AppendStep(text, step);
    return text;
  });
}

}  // namespace comsvc::JSON
