#include "platform/console.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <iostream>
#include <streambuf>

#include <comsvc/utf8.h>

namespace comsvc::platform {
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
    std::u16string text = Utf8ToUtf16(std::string_view(pending_).substr(0, whole));
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

}  // namespace

bool StandardInputIsTerminal() { return _isatty(0) != 0; }

std::vector<std::string> ProgramArguments(int, char**) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(EncodeUtf8(reinterpret_cast<const char16_t*>(wide[i])));
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

}  // namespace comsvc::platform
