#include "os/console.h"

#include <errno.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>

namespace comsvc::os {

bool StandardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

// A POSIX stream already passes bytes through unchanged.
void UseUtf8StandardStreams() {}

std::string ApplicationName() { return program_invocation_short_name; }

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // a closed terminal: nothing more to show
    bytes.remove_prefix(static_cast<size_t>(written));
  }
}

// One byte per readiness of the descriptor, so that nothing after the line
// is taken from it; the loop runs its timers, sockets and windows between.
std::optional<std::string> ReadLine(int fd, EventSink& events) {
  std::string line;
  bool ended = false;
  bool at_end_of_input = false;
  const EventSink::Token watch = events.WatchReadable(fd, [&] {
    char byte;
    ssize_t got = read(fd, &byte, 1);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) return;
    at_end_of_input = got <= 0;
    if (at_end_of_input || byte == '\n') {
      ended = true;
    } else {
      line.push_back(byte);
    }
  });
  events.ServeUntil([&] { return ended; });
  events.Unwatch(watch);
  if (at_end_of_input && line.empty()) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace comsvc::os
