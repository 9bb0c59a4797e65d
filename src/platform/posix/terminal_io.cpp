#include "platform/terminal_io.h"

#include <errno.h>
#include <unistd.h>

#include <comsvc/message_loop.h>
#include <comsvc/utf8.h>

namespace comsvc::platform {

std::u16string ApplicationName() { return Utf8ToUtf16(program_invocation_short_name); }

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // a closed terminal: nothing more to show
    bytes.remove_prefix(static_cast<size_t>(written));
  }
}

// Reads one line byte by byte, so that nothing after it is taken from the
// descriptor. The box is modal, not blocking: while the line is awaited the
// thread's message loop is served, so its timers, sockets and windows keep
// running. nullopt at end of input (or a read error) before any byte.
std::optional<std::string> ReadLine(int fd) {
  std::string line;
  bool ended = false;
  bool at_end_of_input = false;
  MessageLoop& loop = MessageLoop::Current();
  const MessageLoop::Id watch = loop.WatchFd(fd, MessageLoop::kReadable, [&](unsigned) {
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
  loop.RunUntil([&] { return ended; });
  loop.UnwatchFd(watch);
  if (at_end_of_input && line.empty()) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace comsvc::platform
