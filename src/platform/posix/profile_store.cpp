#include "platform/profile_store.h"

#include "platform/ini_profile.h"

namespace comsvc::platform {

std::string ReadStoredProfileString(std::string_view section, std::string_view key, std::string_view default_value,
                                    size_t buffer_size, std::string_view path, const CodePage& code_page) {
  return ReadProfileString(section, key, default_value, buffer_size, path, code_page);
}

bool WriteStoredProfileString(std::string_view section, std::string_view key, std::string_view value,
                              std::string_view path, const CodePage& code_page) {
  return WriteProfileString(section, key, value, path, code_page);
}

}  // namespace comsvc::platform
