#include "platform/code_page_converter.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/code_page.h"

namespace comsvc::platform {

struct Converter::Handle {
  iconv_t cd;
};

Converter::Converter(const char* to, const char* from) : handle_(std::make_unique<Handle>(Handle{iconv_open(to, from)})) {}

Converter::~Converter() {
  if (ok()) iconv_close(handle_->cd);
}

bool Converter::ok() const { return handle_->cd != reinterpret_cast<iconv_t>(-1); }

Converter::Outcome Converter::Convert(const char* in, size_t in_size, char* out, size_t out_capacity,
                                      size_t* out_size) {
  iconv_t cd = handle_->cd;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in_ptr = const_cast<char*>(in);
  char* out_ptr = out;
  size_t out_left = out_capacity;
  size_t rc = iconv(cd, &in_ptr, &in_size, &out_ptr, &out_left);
  if (rc == static_cast<size_t>(-1)) return errno == EINVAL ? Outcome::kIncomplete : Outcome::kInvalid;
  if (iconv(cd, nullptr, nullptr, &out_ptr, &out_left) == static_cast<size_t>(-1)) return Outcome::kInvalid;
  *out_size = out_capacity - out_left;
  return Outcome::kConverted;
}

namespace {

std::string_view LocaleFromEnvironment() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return value;
  }
  return "C";
}

}  // namespace

int SystemCodePage() { return CodePage::CodePageForLocale(LocaleFromEnvironment()); }

}  // namespace comsvc::platform
