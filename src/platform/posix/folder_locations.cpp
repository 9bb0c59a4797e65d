#include <comsvc/folder_locations.h>

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include <comsvc/utf8.h>
#include "platform/atomic_file_edit.h"
#include <comsvc/code_page.h>
#include "platform/loaded_modules.h"
#include "platform/path_parts.h"

namespace comsvc {
namespace {

constexpr size_t kPathBuffer = 260;  // bytes, terminating NUL included

std::optional<std::string> Environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

std::optional<std::string> HomeFolder() {
  if (auto home = Environment("HOME")) return home;
  std::vector<char> buffer(16384);
  passwd entry;
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
      found->pw_dir == nullptr || *found->pw_dir == '\0') {
    return std::nullopt;
  }
  return std::string(found->pw_dir);
}

std::optional<std::string> ConfigHome() {
  std::optional<std::string> config = Environment("XDG_CONFIG_HOME");
  if (config && config->front() == '/') return config;
  std::optional<std::string> home = HomeFolder();
  if (!home) return std::nullopt;
  return *home + "/.config";
}

bool Consume(std::string_view& text, std::string_view prefix) {
  if (text.substr(0, prefix.size()) != prefix) return false;
  text.remove_prefix(prefix.size());
  return true;
}

void SkipBlanks(std::string_view& text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
}

// One line of user-dirs.dirs: XDG_<NAME>_DIR="$HOME/..." or "/...", with
// backslash escapes inside the quotes. Any other shape is not a valid line.
std::optional<std::string> UserDirFromLine(std::string_view line, std::string_view variable, const std::string& home) {
  SkipBlanks(line);
  if (!Consume(line, variable)) return std::nullopt;
  SkipBlanks(line);
  if (!Consume(line, "=")) return std::nullopt;
  SkipBlanks(line);
  if (!Consume(line, "\"")) return std::nullopt;
  std::string path;
  if (Consume(line, "$HOME/")) {
    path = home + "/";
  } else if (line.empty() || line.front() != '/') {
    return std::nullopt;
  }
  for (size_t i = 0; i < line.size() && line[i] != '"'; ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) ++i;
    path.push_back(line[i]);
  }
  return path;
}

std::optional<std::string> UserDir(std::string_view variable, const std::string& home) {
  std::optional<std::string> config = ConfigHome();
  std::optional<std::string> file = config ? platform::ReadWholeFile(*config + "/user-dirs.dirs") : std::nullopt;
  if (!file) return std::nullopt;
  std::string_view rest = *file;
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (auto dir = UserDirFromLine(line, variable, home)) return dir;
  }
  return std::nullopt;
}

// What an ANSI-form platform call hands back for a path: its code-page
// bytes, when they fit the buffer, read back as text.
std::u16string ThroughAnsiBuffer(const std::optional<std::string>& path) {
  if (!path) return u"";
  const platform::CodePage& code_page = platform::CodePage::Current();
  std::string bytes = code_page.ToBytes(Utf8ToUtf16(*path));
  if (bytes.size() >= kPathBuffer) return u"";
  return code_page.FromBytes(bytes);
}

}  // namespace

std::u16string PersonalFolderPath() {
  std::optional<std::string> home = HomeFolder();
  if (!home) return u"";
  std::optional<std::string> documents = UserDir("XDG_DOCUMENTS_DIR", *home);
  return ThroughAnsiBuffer(documents ? documents : *home + "/Documents");
}

std::u16string AppDataFolderPath() { return ThroughAnsiBuffer(ConfigHome()); }

std::u16string SystemDirectoryPath() {
  std::optional<std::string> c_library = platform::CLibraryFile();
  return ThroughAnsiBuffer(c_library ? std::optional(platform::FolderOf(*c_library)) : std::nullopt);
}

}  // namespace comsvc
