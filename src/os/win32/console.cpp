#include "os/console.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <streambuf>
#include <thread>

#include "os/modules.h"
#include "os/path_rules.h"
#include "os/win32/wide_text.h"

namespace comsvc::os {
namespace {

// Collects UTF-8 bytes and writes them to a console as UTF-16 text, whole
// characters at a time (a character split across writes waits for its end).
class ConsoleBuffer : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console) {}

 protected:
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) pending_.push_back(static_cast<char>(c));
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    pending_.append(s, static_cast<size_t>(n));
    return n;
  }
  int sync() override {
    const size_t whole = WholeCharacters();
    const std::wstring text = Wide(std::string_view(pending_).substr(0, whole));
    pending_.erase(0, whole);
    DWORD written = 0;
    return WriteConsoleW(console_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) || text.empty()
               ? 0
               : -1;
  }

 private:
  // The length of pending_ without a trailing incomplete UTF-8 sequence.
  size_t WholeCharacters() const {
    size_t end = pending_.size();
    size_t back = 0;
    while (back < 3 && back < end && (static_cast<unsigned char>(pending_[end - 1 - back]) & 0xC0) == 0x80) ++back;
    if (back < end) {
      const auto lead = static_cast<unsigned char>(pending_[end - 1 - back]);
      const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
      if (length > back + 1) return end - 1 - back;
    }
    return end;
  }

  HANDLE console_;
  std::string pending_;
};

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

void RouteToConsole(std::ostream& stream, DWORD which) {
  HANDLE handle = GetStdHandle(which);
  if (!IsConsole(handle)) return;
  static ConsoleBuffer* buffers[2] = {};
  ConsoleBuffer*& buffer = buffers[which == STD_OUTPUT_HANDLE ? 0 : 1];
  if (!buffer) buffer = new ConsoleBuffer(handle);  // lives as long as the stream
  stream.rdbuf(buffer);
}

// Reads one line byte by byte on a thread of its own, so that nothing after
// it is taken from the descriptor and the thread that waits for it keeps
// serving its loop: pipes and consoles cannot be waited on beside the loop's
// sockets and windows. A message posted to the waiting thread wakes its loop
// when the line is complete.
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

bool StandardInputIsTerminal() { return _isatty(0) != 0; }

std::vector<std::string> ProgramArguments(int, char**) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(Utf8(wide[i]));
  LocalFree(wide);
  return arguments;
}

void UseUtf8StandardStreams() {
  // No CR LF translation: the bytes written are the bytes that arrive.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  RouteToConsole(std::cout, STD_OUTPUT_HANDLE);
  RouteToConsole(std::cerr, STD_ERROR_HANDLE);
}

std::string ApplicationName() {
  std::optional<std::string> file = OwnModuleFile();
  if (!file) return "";
  std::string name = NameOf(*file, PathStyle::kWindows);
  if (name.size() > 4 && name.ends_with(".exe")) name.resize(name.size() - 4);
  return name;
}

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const int written = _write(fd, bytes.data(), static_cast<unsigned>(std::min<size_t>(bytes.size(), 1 << 20)));
    if (written <= 0) return;  // a closed terminal: nothing more to show
    bytes.remove_prefix(static_cast<size_t>(written));
  }
}

// When the loop has nothing left to serve, the wait is the reader's alone.
std::optional<std::string> ReadLine(int fd, EventSink& events) {
  LineReader reader(fd);
  events.ServeUntil([&] { return reader.Done(); });
  return reader.Take();
}

}  // namespace comsvc::os
