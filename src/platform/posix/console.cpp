#include "platform/console.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace comsvc::platform {

bool StandardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

bool DisplayAvailable() {
  const char* display = std::getenv("DISPLAY");
  return display != nullptr && *display != '\0';
}

bool ProgramAvailable(const char* name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  std::string_view rest(path);
  while (!rest.empty()) {
    size_t colon = rest.find(':');
    std::filesystem::path dir(colon == 0 ? std::string_view(".") : rest.substr(0, colon));
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    if (access((dir / name).c_str(), X_OK) == 0) return true;
  }
  return false;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

// A POSIX stream already passes bytes through unchanged.
void UseUtf8StandardStreams() {}

}  // namespace comsvc::platform
