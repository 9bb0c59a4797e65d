#include "ini/ini_profile.h"

#include <optional>
#include <vector>

#include <comsvc/locale.h>
#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>
#include "os/error.h"
#include "os/files.h"

namespace comsvc::platform {
namespace {

constexpr size_t kNone = std::string::npos;
constexpr std::u16string_view kLineEnd = u"\r\n";

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f' || c == 0x1A;
}

bool IsLineBreak(char16_t c) { return c == u'\r' || c == u'\n'; }

std::u16string Trim(std::u16string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return std::u16string(text.substr(begin, end - begin));
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerCaseUnit(a[i]) != LowerCaseUnit(b[i])) return false;
  }
  return true;
}

// A C string argument ends at its first NUL.
std::string_view AsCString(std::string_view bytes) { return bytes.substr(0, bytes.find('\0')); }

std::string FileSystemPath(std::string_view path, const CodePage& code_page) {
  return EncodeUtf8(code_page.FromBytes(AsCString(path)));
}

// The bytes of an INI file seen as code units in its encoding: one byte per
// unit for code-page and UTF-8 files, two for UTF-16LE. Every structural
// character ("=", CR, LF) is a unit of its own in all of them (no trail byte
// of a double-byte code page is below 0x40), so positions found among the
// units are exact byte offsets for edits.
class IniBytes {
 public:
  IniBytes(std::string_view bytes, const CodePage& code_page) : bytes_(bytes), code_page_(code_page) {
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
      encoding_ = Encoding::kUtf16Le;
      body_ = 2;
      unit_ = 2;
    } else if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
      encoding_ = Encoding::kUtf8;
      body_ = 3;
    }
    end_ = body_ + (bytes.size() - body_) / unit_ * unit_;  // a stray odd byte is not text
  }

  size_t Body() const { return body_; }
  size_t End() const { return end_; }
  size_t Unit() const { return unit_; }

  char16_t UnitAt(size_t offset) const {
    auto byte = [&](size_t i) { return static_cast<char16_t>(static_cast<unsigned char>(bytes_[i])); };
    return unit_ == 1 ? byte(offset) : static_cast<char16_t>(byte(offset) | byte(offset + 1) << 8);
  }

  size_t Find(char16_t c, size_t from, size_t to) const {
    for (size_t at = from; at < to; at += unit_) {
      if (UnitAt(at) == c) return at;
    }
    return kNone;
  }

  std::u16string Decode(size_t from, size_t to) const {
    std::string_view part = bytes_.substr(from, to - from);
    switch (encoding_) {
      case Encoding::kAnsi:
        return code_page_.FromBytes(part);
      case Encoding::kUtf8:
        return Utf8ToUtf16(part);
      case Encoding::kUtf16Le:
        break;
    }
    std::u16string text;
    for (size_t at = from; at < to; at += 2) text.push_back(UnitAt(at));
    return text;
  }

  std::string Encode(std::u16string_view text) const {
    switch (encoding_) {
      case Encoding::kAnsi:
        return code_page_.ToBytes(text);
      case Encoding::kUtf8:
        return EncodeUtf8(text);
      case Encoding::kUtf16Le:
        break;
    }
    std::string bytes;
    for (char16_t c : text) {
      bytes.push_back(static_cast<char>(c & 0xFF));
      bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
  }

 private:
  enum class Encoding { kAnsi, kUtf8, kUtf16Le };
  std::string_view bytes_;
  const CodePage& code_page_;
  Encoding encoding_ = Encoding::kAnsi;
  size_t body_ = 0;
  size_t unit_ = 1;
  size_t end_ = 0;
};

// Byte offsets of one line: its text, and where the next line starts.
struct Line {
  size_t begin;
  size_t content_end;
  size_t next;
  bool HasLineEnd() const { return next != content_end; }
};

struct Key {
  std::u16string name;
  std::optional<std::u16string> value;  // none: a line without "="
  Line line;
  size_t equals;  // offset of the "=", kNone without one
};

struct Section {
  std::u16string name;
  std::vector<Key> keys;
  size_t insert_at;     // where a new key goes: after the last key or the header
  bool needs_line_end;  // the line before insert_at has no line end (end of file)
};

std::vector<Line> SplitLines(const IniBytes& ini) {
  std::vector<Line> lines;
  size_t at = ini.Body();
  while (at < ini.End()) {
    size_t end = at;
    while (end < ini.End() && !IsLineBreak(ini.UnitAt(end))) end += ini.Unit();
    size_t next = end;
    if (next < ini.End()) {
      bool crlf = ini.UnitAt(next) == u'\r' && next + ini.Unit() < ini.End() && ini.UnitAt(next + ini.Unit()) == u'\n';
      next += ini.Unit() * (crlf ? 2 : 1);
    }
    lines.push_back({at, end, next});
    at = next;
  }
  return lines;
}

Key ParseKey(const IniBytes& ini, const Line& line, std::u16string trimmed) {
  Key key{std::move(trimmed), std::nullopt, line, ini.Find(u'=', line.begin, line.content_end)};
  if (key.equals != kNone) {
    key.name = Trim(ini.Decode(line.begin, key.equals));
    key.value = Trim(ini.Decode(key.equals + ini.Unit(), line.content_end));
  }
  return key;
}

// The sections in file order; the first is the unnamed one holding the lines
// before any header, present even when there are none.
std::vector<Section> ParseSections(const IniBytes& ini) {
  std::vector<Section> sections{{u"", {}, ini.Body(), false}};
  for (const Line& line : SplitLines(ini)) {
    std::u16string text = Trim(ini.Decode(line.begin, line.content_end));
    if (text.empty() || text[0] == u';') continue;
    size_t close = text[0] == u'[' ? text.rfind(u']') : kNone;
    if (close != kNone) {
      sections.push_back({Trim(std::u16string_view(text).substr(1, close - 1)), {}, line.next, !line.HasLineEnd()});
      continue;
    }
    Section& section = sections.back();
    section.keys.push_back(ParseKey(ini, line, std::move(text)));
    section.insert_at = line.next;
    section.needs_line_end = !line.HasLineEnd();
  }
  return sections;
}

Section* FindSection(std::vector<Section>& sections, std::u16string_view name) {
  for (Section& section : sections) {
    if (SameName(section.name, name)) return &section;
  }
  return nullptr;
}

Key* FindKey(Section& section, std::u16string_view name) {
  for (Key& key : section.keys) {
    if (SameName(key.name, name)) return &key;
  }
  return nullptr;
}

std::u16string Unquoted(const std::u16string& value) {
  bool quoted = value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front();
  return quoted ? value.substr(1, value.size() - 2) : value;
}

std::optional<std::u16string> StoredValue(std::string_view file, std::u16string_view section_name,
                                          std::u16string_view key_name, const CodePage& code_page) {
  IniBytes ini(file, code_page);
  std::vector<Section> sections = ParseSections(ini);
  Section* section = FindSection(sections, section_name);
  Key* key = section ? FindKey(*section, key_name) : nullptr;
  if (key == nullptr || !key->value) return std::nullopt;
  return Unquoted(*key->value);
}

// The code-page bytes of `text` that fit `limit` bytes, whole characters only.
std::string Truncated(std::u16string_view text, size_t limit, const CodePage& code_page) {
  std::string bytes = code_page.ToBytes(text);
  if (bytes.size() <= limit) return bytes;
  bytes.clear();
  for (char16_t c : text) {
    std::string one = code_page.ToBytes(std::u16string_view(&c, 1));
    if (bytes.size() + one.size() > limit) break;
    bytes += one;
  }
  return bytes;
}

std::string Spliced(std::string_view file, size_t from, size_t to, const std::string& insert) {
  std::string out;
  out.reserve(file.size() + insert.size());
  out.append(file.substr(0, from)).append(insert).append(file.substr(to));
  return out;
}

std::string WithValue(std::string_view file, const std::u16string& section_name, const std::u16string& key_name,
                      const std::u16string& value, const CodePage& code_page) {
  IniBytes ini(file, code_page);
  std::vector<Section> sections = ParseSections(ini);
  const std::u16string entry = key_name + u"=" + value + std::u16string(kLineEnd);
  Section* section = FindSection(sections, section_name);
  if (section == nullptr) {
    bool open_line = ini.End() > ini.Body() && !IsLineBreak(ini.UnitAt(ini.End() - ini.Unit()));
    std::u16string text = open_line ? std::u16string(kLineEnd) : u"";
    text += u"[" + section_name + u"]" + std::u16string(kLineEnd) + entry;
    return Spliced(file, ini.End(), ini.End(), ini.Encode(text));
  }
  if (Key* key = FindKey(*section, key_name)) {
    if (key->value == value) return std::string(file);
    // The key's own line keeps everything up to its "=".
    size_t from = key->equals != kNone ? key->equals : key->line.content_end;
    return Spliced(file, from, key->line.content_end, ini.Encode(u"=" + value));
  }
  std::u16string text = section->needs_line_end ? std::u16string(kLineEnd) + entry : entry;
  return Spliced(file, section->insert_at, section->insert_at, ini.Encode(text));
}

}  // namespace

std::string ReadProfileString(std::string_view section, std::string_view key, std::string_view default_value,
                              size_t buffer_size, std::string_view path, const CodePage& code_page) {
  if (buffer_size == 0) return {};
  std::optional<std::u16string> value;
  std::string file;
  // A file that cannot be read holds no value, as a missing one; one too
  // large to read whole is memory running out.
  const std::error_code error = os::ReadWholeFile(FileSystemPath(path, code_page), file);
  if (error == os::Errc::kFileTooLarge) Raise(ErrorNumber::kOutOfMemory);
  if (!error) {
    value = StoredValue(file, Trim(code_page.FromBytes(AsCString(section))), Trim(code_page.FromBytes(AsCString(key))),
                        code_page);
  }
  if (!value) {
    std::string_view fallback = AsCString(default_value);
    while (!fallback.empty() && fallback.back() == ' ') fallback.remove_suffix(1);
    value = code_page.FromBytes(fallback);
  }
  return Truncated(*value, buffer_size - 1, code_page);
}

bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value, std::string_view path,
                        const CodePage& code_page) {
  // CR and LF are never trail bytes of a double-byte code page: a byte
  // check finds every line break, even beside invalid bytes.
  for (std::string_view text : {section, key, value}) {
    if (AsCString(text).find_first_of("\r\n") != std::string_view::npos) return false;
  }
  const std::u16string text = code_page.FromBytes(AsCString(value));
  const std::u16string section_name = Trim(code_page.FromBytes(AsCString(section)));
  const std::u16string key_name = Trim(code_page.FromBytes(AsCString(key)));
  os::EditOutcome outcome = os::EditFileUnderLock(
      FileSystemPath(path, code_page), [&](const std::optional<std::string>& current) -> std::optional<std::string> {
        return WithValue(current.value_or(std::string()), section_name, key_name, text, code_page);
      });
  return outcome != os::EditOutcome::kFailed;
}

}  // namespace comsvc::platform
