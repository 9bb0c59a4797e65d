// Reads and writes INI files of arbitrary bytes: never a crash or a read out
// of bounds, a refused write leaves the file as it was, and a plain value
// written under plain names reads back as written.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include <comsvc/code_page.h>
#include "platform/ini_profile.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

const std::string& FilePath() {
  static const std::string path = [] {
    char folder[] = "/tmp/ini_profile_fuzz.XXXXXX";
    Check(mkdtemp(folder) != nullptr);
    return std::string(folder) + "/fuzz.ini";
  }();
  return path;
}

void WriteFile(std::string_view bytes) { std::ofstream(FilePath(), std::ios::binary | std::ios::trunc) << bytes; }

std::string ReadFile() {
  std::ifstream in(FilePath(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool IsPlain(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

// Takes a piece of up to 15 bytes, its length given by the next byte.
std::string_view Take(std::string_view& input) {
  if (input.empty()) return {};
  size_t length = static_cast<unsigned char>(input[0]) & 0x0F;
  input.remove_prefix(1);
  std::string_view piece = input.substr(0, length);
  input.remove_prefix(piece.size());
  return piece;
}

}  // namespace

// Input: a flag byte (bit 0: code page 936 instead of 1252), then section,
// key and value, each as a length byte and its bytes, then the file.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  if (input.empty()) return 0;
  const comsvc::platform::CodePage code_page((input[0] & 1) ? 936 : 1252);
  input.remove_prefix(1);
  const std::string_view section = Take(input);
  const std::string_view key = Take(input);
  const std::string_view value = Take(input);
  const std::string_view file = input;

  WriteFile(file);
  const std::string path = FilePath();
  std::string got = comsvc::platform::ReadProfileString(section, key, "default", 64, path, code_page);
  Check(got.size() <= 63);

  const bool written = comsvc::platform::WriteProfileString(section, key, value, path, code_page);
  if (value.substr(0, value.find('\0')).find_first_of("\r\n") != std::string_view::npos) {
    Check(!written);
    Check(ReadFile() == file);
  } else {
    Check(written);
  }
  if (written && IsPlain(section) && IsPlain(key) && IsPlain(value)) {
    Check(comsvc::platform::ReadProfileString(section, key, "", 64, path, code_page) == value);
  }
  return 0;
}
