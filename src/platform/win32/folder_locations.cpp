#include <comsvc/folder_locations.h>

#include <windows.h>
#include <shlobj.h>

#include <string>

#include <comsvc/code_page.h>

namespace comsvc {
namespace {

constexpr int kPersonal = 5;         // CSIDL_PERSONAL: "My Documents"
constexpr int kAppData = 26;         // CSIDL_APPDATA: the roaming application data
constexpr UINT kPathBuffer = 260;    // bytes, terminating NUL included

// ANSI bytes from the system, read through the process's code page.
std::u16string FromAnsi(const char* bytes) { return platform::CodePage::Current().FromBytes(bytes); }

std::u16string SpecialFolder(int folder) {
  LPITEMIDLIST list = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, folder, &list)) || list == nullptr) return u"";
  char path[kPathBuffer] = {};
  const BOOL found = SHGetPathFromIDListA(list, path);
  CoTaskMemFree(list);
  return found ? FromAnsi(path) : u"";
}

}  // namespace

std::u16string PersonalFolderPath() { return SpecialFolder(kPersonal); }

std::u16string AppDataFolderPath() { return SpecialFolder(kAppData); }

std::u16string SystemDirectoryPath() {
  char path[kPathBuffer] = {};
  const UINT length = GetSystemDirectoryA(path, kPathBuffer);
  if (length == 0 || length >= kPathBuffer) return u"";
  return FromAnsi(path);
}

}  // namespace comsvc
