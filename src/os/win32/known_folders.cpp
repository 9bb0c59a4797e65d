#include "os/known_folders.h"

#include <windows.h>
#include <shlobj.h>

#include "os/win32/wide_text.h"

namespace comsvc::os {
namespace {

std::optional<std::string> SpecialFolder(int csidl) {
  LPITEMIDLIST list = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &list)) || list == nullptr) return std::nullopt;
  wchar_t path[MAX_PATH] = {};
  const BOOL found = SHGetPathFromIDListW(list, path);
  CoTaskMemFree(list);
  if (!found) return std::nullopt;
  return Utf8(path);
}

std::optional<std::string> SystemDirectory() {
  wchar_t path[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::nullopt;
  return Utf8(std::wstring_view(path, length));
}

}  // namespace

std::optional<std::string> KnownFolderPath(KnownFolder folder) {
  switch (folder) {
    case KnownFolder::kDocuments: return SpecialFolder(CSIDL_PERSONAL);
    case KnownFolder::kRoamingAppData: return SpecialFolder(CSIDL_APPDATA);
    case KnownFolder::kSystem: return SystemDirectory();
  }
  return std::nullopt;
}

}  // namespace comsvc::os
