#include "platform/code_page_converter.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace comsvc::platform {
namespace {

// "CP936" → 936; 0 for anything else (UTF-16LE is the other side).
UINT CodePageNumber(const char* name) {
  if (std::strncmp(name, "CP", 2) != 0) return 0;
  return static_cast<UINT>(std::strtoul(name + 2, nullptr, 10));
}

}  // namespace

struct Converter::Handle {
  UINT code_page;
  bool decoding;  // code page → UTF-16LE
};

Converter::Converter(const char* to, const char* from) {
  const UINT from_number = CodePageNumber(from);
  const UINT code_page = from_number ? from_number : CodePageNumber(to);
  handle_ = std::make_unique<Handle>(Handle{code_page, from_number != 0});
}

Converter::~Converter() = default;

bool Converter::ok() const {
  CPINFO info;
  return handle_->code_page != 0 && GetCPInfo(handle_->code_page, &info);
}

// Windows's own answers, without best fit: a lone lead byte is incomplete,
// bytes without a character and characters without bytes are invalid.
Converter::Outcome Converter::Convert(const char* in, size_t in_size, char* out, size_t out_capacity,
                                      size_t* out_size) {
  const UINT code_page = handle_->code_page;
  if (handle_->decoding) {
    if (in_size == 1 && IsDBCSLeadByteEx(code_page, static_cast<BYTE>(in[0]))) return Outcome::kIncomplete;
    // A pair reads as the system reads it (932 gives an undefined pair U+30FB).
    const DWORD flags = in_size == 2 ? 0 : MB_ERR_INVALID_CHARS;
    const int units = MultiByteToWideChar(code_page, flags, in, static_cast<int>(in_size),
                                          reinterpret_cast<wchar_t*>(out), static_cast<int>(out_capacity / 2));
    if (units <= 0) return Outcome::kInvalid;
    *out_size = static_cast<size_t>(units) * 2;
    return Outcome::kConverted;
  }
  BOOL used_default = FALSE;
  const int bytes = WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, reinterpret_cast<const wchar_t*>(in),
                                        static_cast<int>(in_size / 2), out, static_cast<int>(out_capacity), nullptr,
                                        &used_default);
  if (bytes <= 0 || used_default) return Outcome::kInvalid;
  *out_size = static_cast<size_t>(bytes);
  return Outcome::kConverted;
}

int SystemCodePage() { return static_cast<int>(GetACP()); }

}  // namespace comsvc::platform
