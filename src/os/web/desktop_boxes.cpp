// Boxes drawn by the page itself. The module's host (the page that
// instantiates it) passes two functions in the module object:
//
//   showMessageBox(text, title, icon)        -> a promise, settled when closed
//   showInputBox(prompt, title, defaultText) -> a promise of the confirmed
//                                               text, or null for Cancel
//
// icon is "none", "information", "exclamation" or "critical"; an empty title
// is given as the program's name. The caller waits for the promise: the
// module is built with Asyncify, which unwinds the call stack to the page
// and rewinds it when the promise settles, so the box is modal to the
// caller and the page stays live. A module without these functions shows
// no box and cancels every input box.
#include "os/desktop_boxes.h"

#include <emscripten.h>

#include <cstdlib>
#include <memory>

#include "os/console.h"

namespace comsvc::os {
namespace {

EM_JS(int, PageHasBoxes, (), {
  return typeof Module["showMessageBox"] == "function" && typeof Module["showInputBox"] == "function";
});

EM_ASYNC_JS(void, PageMessageBox, (const char* text, const char* title, const char* icon), {
  await Module["showMessageBox"](UTF8ToString(text), UTF8ToString(title), UTF8ToString(icon));
});

// The answer in memory from malloc, which the caller frees; 0 for Cancel.
EM_ASYNC_JS(char*, PageInputBox, (const char* prompt, const char* title, const char* default_text), {
  const answer = await Module["showInputBox"](UTF8ToString(prompt), UTF8ToString(title),
                                              UTF8ToString(default_text));
  if (answer === null || answer === undefined) return 0;
  const text = String(answer);
  const size = lengthBytesUTF8(text) + 1;
  const copy = _malloc(size);
  if (copy) stringToUTF8(text, copy, size);
  return copy;
});

const char* IconName(DesktopIcon icon) {
  switch (icon) {
    case DesktopIcon::kInformation: return "information";
    case DesktopIcon::kExclamation: return "exclamation";
    case DesktopIcon::kCritical: return "critical";
    case DesktopIcon::kNone: break;
  }
  return "none";
}

std::string TitleOrName(const std::string& title) { return title.empty() ? ApplicationName() : title; }

}  // namespace

bool DesktopBoxesAvailable() { return PageHasBoxes() != 0; }

void ShowDesktopMessageBox(const std::string& text, const std::string& title, DesktopIcon icon, EventSink&) {
  if (!DesktopBoxesAvailable()) return;
  PageMessageBox(text.c_str(), TitleOrName(title).c_str(), IconName(icon));
}

std::optional<std::string> ShowDesktopInputBox(const std::string& prompt, const std::string& title,
                                               const std::string& default_text, EventSink&) {
  if (!DesktopBoxesAvailable()) return std::nullopt;
  std::unique_ptr<char, decltype(&std::free)> answer(
      PageInputBox(prompt.c_str(), TitleOrName(title).c_str(), default_text.c_str()), &std::free);
  if (!answer) return std::nullopt;
  return std::string(answer.get());
}

}  // namespace comsvc::os
