#include "os/known_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>
#include <vector>

#include "os/files.h"
#include "os/path_rules.h"
#include "os/posix/loaded_objects.h"

namespace comsvc::os {
namespace {

// user-dirs.dirs holds a few lines; anything larger is not one.
constexpr size_t kMaxUserDirsBytes = size_t{1} << 20;

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

// A user-dirs.dirs that cannot be read (missing, not a regular file, too
// large) counts as missing.
std::optional<std::string> UserDir(std::string_view variable, const std::string& home) {
  std::optional<std::string> config = ConfigHome();
  std::string file;
  if (!config || ReadWholeFile(*config + "/user-dirs.dirs", file, kMaxUserDirsBytes)) return std::nullopt;
  std::string_view rest = file;
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (auto dir = UserDirFromLine(line, variable, home)) return dir;
  }
  return std::nullopt;
}

std::optional<std::string> Documents() {
  std::optional<std::string> home = HomeFolder();
  if (!home) return std::nullopt;
  std::optional<std::string> documents = UserDir("XDG_DOCUMENTS_DIR", *home);
  return documents ? documents : *home + "/Documents";
}

std::optional<std::string> SystemDirectory() {
  std::optional<std::string> c_library = CLibraryFile();
  if (!c_library) return std::nullopt;
  return FolderOf(*c_library, PathStyle::kPosix);
}

}  // namespace

std::optional<std::string> KnownFolderPath(KnownFolder folder) {
  switch (folder) {
    case KnownFolder::kDocuments: return Documents();
    case KnownFolder::kRoamingAppData: return ConfigHome();
    case KnownFolder::kSystem: return SystemDirectory();
  }
  return std::nullopt;
}

}  // namespace comsvc::os
