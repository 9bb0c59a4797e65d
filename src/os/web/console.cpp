// A page has no terminal: nothing is read from one, and what is written to
// the standard streams goes to the browser's console.
#include "os/console.h"

#include <unistd.h>

#include <cerrno>

namespace comsvc::os {

bool StandardInputIsTerminal() { return false; }

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void UseUtf8StandardStreams() {}

std::string ApplicationName() { return "comsvc"; }

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
}

std::optional<std::string> ReadLine(int, EventSink&) { return std::nullopt; }

}  // namespace comsvc::os
