// Reads and writes INI files of arbitrary bytes: never a crash or a read out
// of bounds. A write of text holding CR or LF (in the section, key or value)
// is refused and leaves the file as it was; any other write succeeds, and a
// read gives the value back whenever the format can hold it (see Storable).
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

#include "fuzz/fuzz_support.h"
#include <comsvc/code_page.h>
#include "ini/ini_profile.h"

namespace {

using comsvc::fuzz::Check;

// The run's own folder, removed with everything in it when the run ends
// (libFuzzer ends a run by exit(), which destroys static objects). Every
// write is flushed to disk: a folder in memory keeps runs fast.
class ScratchFolder {
 public:
  ScratchFolder() : path_(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") {
    path_ += "/ini_profile_fuzz.XXXXXX";
    Check(mkdtemp(path_.data()) != nullptr);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

const std::string& FilePath() {
  static const ScratchFolder folder;
  static const std::string path = folder.Path() + "/fuzz.ini";
  return path;
}

void WriteFile(std::string_view bytes) { std::ofstream(FilePath(), std::ios::binary | std::ios::trunc) << bytes; }

std::string ReadFile() {
  std::ifstream in(FilePath(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A'; }

bool HasOuterBlank(std::string_view text) { return !text.empty() && (IsBlank(text.front()) || IsBlank(text.back())); }

bool RoundTrips(std::string_view text, const comsvc::platform::CodePage& code_page) {
  return code_page.ToBytes(code_page.FromBytes(text)) == text;
}

// Text the format gives back as written: lines are trimmed of blanks, one
// pair of matching quotes around a value is removed, a key ends at its first
// "=" and cannot open a comment or a section header, and text that the code
// page does not map both ways changes on the way. Arguments end at a NUL.
bool Storable(std::string_view section, std::string_view key, std::string_view value,
              const comsvc::platform::CodePage& code_page) {
  const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
  const bool plain_key = !key.empty() && key.find('=') == std::string_view::npos && key.front() != ';' &&
                         key.front() != '[' && !HasOuterBlank(key);
  // A key of the unnamed section may be the first line of the file, and a
  // file that starts with a byte-order mark reads as Unicode.
  const bool like_mark = section.empty() && (key.starts_with("\xFF\xFE") || key.starts_with("\xEF\xBB\xBF"));
  return plain_key && !like_mark && !quoted && !HasOuterBlank(value) && !HasOuterBlank(section) &&
         RoundTrips(section, code_page) && RoundTrips(key, code_page) && RoundTrips(value, code_page);
}

std::string_view CString(std::string_view bytes) { return bytes.substr(0, bytes.find('\0')); }

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
  const std::string_view texts[] = {CString(section), CString(key), CString(value)};
  for (std::string_view text : texts) {
    if (text.find_first_of("\r\n") != std::string_view::npos) {
      Check(!written);
      Check(ReadFile() == file);
      return 0;
    }
  }
  Check(written);
  if (Storable(texts[0], texts[1], texts[2], code_page)) {
    Check(comsvc::platform::ReadProfileString(section, key, "", 64, path, code_page) == texts[2]);
  }
  return 0;
}
