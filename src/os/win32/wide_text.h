// UTF-8 text, the seam's, as the wide Windows API takes it, through the
// system's own converters.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace comsvc::os {

inline std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  std::wstring wide(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0)), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), static_cast<int>(wide.size()));
  return wide;
}

inline std::string Utf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  std::string utf8(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr)),
                   '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
  return utf8;
}

// A UTF-8 path for the wide file API; nothing for a path holding NUL,
// which names no file.
inline bool WidePath(const std::string& utf8, std::wstring& wide) {
  if (utf8.find('\0') != std::string::npos) return false;
  wide = Wide(utf8);
  return true;
}

}  // namespace comsvc::os
