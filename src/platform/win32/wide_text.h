// UTF-16 text as the wide Windows API takes it: wchar_t is one UTF-16 code
// unit on Windows, so the views share their storage.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include <comsvc/utf8.h>

namespace comsvc::platform {

inline const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

inline std::u16string FromWide(const wchar_t* text) {
  return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : std::u16string();
}

// A UTF-8 path as the wide file API takes it.
inline std::wstring WidePath(std::string_view utf8) {
  std::u16string text = Utf8ToUtf16(utf8);
  return std::wstring(text.begin(), text.end());
}

}  // namespace comsvc::platform
