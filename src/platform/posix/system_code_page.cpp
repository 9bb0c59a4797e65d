#include "platform/system_code_page.h"

#include <cstdlib>
#include <string_view>

#include <comsvc/code_page.h>

namespace comsvc::platform {

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
