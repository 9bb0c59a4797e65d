#include "platform/terminal_io.h"

#include <io.h>
#include <windows.h>

#include <atomic>
#include <thread>

#include <comsvc/message_loop.h>
#include <comsvc/utf8.h>
#include "platform/loaded_modules.h"
#include "platform/path_parts.h"

namespace comsvc::platform {

std::u16string ApplicationName() {
  std::optional<std::string> file = OwnModuleFile();
  if (!file) return u"";
  std::string name = NameOf(*file);
  if (name.size() > 4 && name.ends_with(".exe")) name.resize(name.size() - 4);
  return Utf8ToUtf16(name);
}

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const int written = _write(fd, bytes.data(), static_cast<unsigned>(std::min<size_t>(bytes.size(), 1 << 20)));
    if (written <= 0) return;  // a closed terminal: nothing more to show
    bytes.remove_prefix(static_cast<size_t>(written));
  }
}

namespace {

// Reads one line byte by byte on a thread of its own, so that nothing after
// it is taken from the descriptor and the thread that waits for it keeps
// serving its message loop: pipes and consoles cannot be waited on beside
// the loop's sockets and windows. A message posted to the waiting thread
// wakes its loop when the line is complete.
class LineReader {
 public:
  explicit LineReader(int fd) : waiter_(GetCurrentThreadId()) {
    MSG msg;  // the waiting thread's queue must exist before the wake is posted
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    thread_ = std::thread([this, fd] { Read(fd); });
  }
  ~LineReader() {
    if (thread_.joinable()) thread_.join();
  }
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  bool Done() const { return done_.load(std::memory_order_acquire); }
  // The line, once it is complete: waits for it if it is not.
  std::optional<std::string> Take() {
    thread_.join();
    return std::move(line_);
  }

 private:
  void Read(int fd) {
    std::string line;
    bool at_end_of_input = false;
    for (;;) {
      char byte;
      at_end_of_input = _read(fd, &byte, 1) <= 0;
      if (at_end_of_input || byte == '\n') break;
      line.push_back(byte);
    }
    const bool nothing_read = at_end_of_input && line.empty();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!nothing_read) line_ = std::move(line);
    done_.store(true, std::memory_order_release);
    PostThreadMessageW(waiter_, WM_NULL, 0, 0);
  }

  const DWORD waiter_;
  std::optional<std::string> line_;  // nullopt at end of input before any byte
  std::atomic<bool> done_{false};
  std::thread thread_;
};

}  // namespace

// The box is modal, not blocking: while the line is awaited the thread's
// message loop is served, so its timers, sockets and windows keep running.
// When the loop has nothing left to serve, the wait is the reader's alone.
std::optional<std::string> ReadLine(int fd) {
  LineReader reader(fd);
  MessageLoop::Current().RunUntil([&] { return reader.Done(); });
  return reader.Take();
}

}  // namespace comsvc::platform
