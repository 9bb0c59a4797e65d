#include "platform/loaded_modules.h"

#include <windows.h>

#include <vector>

#include <comsvc/utf8.h>

namespace comsvc::platform {
namespace {

std::optional<std::string> ModuleFile(HMODULE module) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::nullopt;
    if (length < buffer.size()) {
      return EncodeUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(buffer.data()), length));
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

// The executable or DLL that holds this code.
std::optional<std::string> OwnModuleFile() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&OwnModuleFile), &module)) {
    return std::nullopt;
  }
  return ModuleFile(module);
}

// The C runtime every mingw program loads.
std::optional<std::string> CLibraryFile() {
  HMODULE module = GetModuleHandleW(L"msvcrt.dll");
  return module ? ModuleFile(module) : std::nullopt;
}

}  // namespace comsvc::platform
