#include "platform/code_page.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "platform/code_page_converter.h"

namespace comsvc::platform {

namespace {

constexpr char16_t kQuestionMark = u'?';
constexpr int kDefaultCodePage = 1252;
// Encoded form of a character: the byte for a one-byte character, lead * 256
// + trail for a two-byte one. Lead bytes are >= 0x80, so a code >= 0x100 is
// always a two-byte character.
using Code = uint16_t;
constexpr Code kUnmapped = 0xFFFF;  // no DBCS uses 0xFF as a lead byte

struct CodePageInfo {
  int number;
  bool double_byte;
  const char* iconv_names[2];  // the C library's names, tried in order
};

constexpr CodePageInfo kCodePages[] = {
    {874, false, {"CP874", "WINDOWS-874"}},
    {932, true, {"CP932", "WINDOWS-31J"}},
    {936, true, {"CP936", "GBK"}},
    {949, true, {"CP949", "UHC"}},
    {950, true, {"CP950", "BIG5"}},
    {1250, false, {"CP1250", "WINDOWS-1250"}},
    {1251, false, {"CP1251", "WINDOWS-1251"}},
    {1252, false, {"CP1252", "WINDOWS-1252"}},
    {1253, false, {"CP1253", "WINDOWS-1253"}},
    {1254, false, {"CP1254", "WINDOWS-1254"}},
    {1255, false, {"CP1255", "WINDOWS-1255"}},
    {1256, false, {"CP1256", "WINDOWS-1256"}},
    {1257, false, {"CP1257", "WINDOWS-1257"}},
    {1258, false, {"CP1258", "WINDOWS-1258"}},
};

const CodePageInfo* FindInfo(int number) {
  for (const auto& info : kCodePages) {
    if (info.number == number) return &info;
  }
  return nullptr;
}

// The C library's name for the code page, or nullptr when it has none.
const char* IconvName(const CodePageInfo& info) {
  for (const char* name : info.iconv_names) {
    if (Converter("UTF-16LE", name).ok()) return name;
  }
  return nullptr;
}

}  // namespace

struct CodePage::Tables {
  bool double_byte = false;
  // Bytes to text: the character of each single byte ("?" when undefined);
  // for a lead byte, the index of its row of trail bytes.
  std::array<char16_t, 256> single{};
  std::array<int16_t, 256> lead_row{};
  std::vector<std::array<char16_t, 256>> rows;
  // Text to bytes: the code of every UTF-16 code unit ("?" when the code page
  // lacks it; kUnmapped while the tables are being built).
  std::vector<Code> encode = std::vector<Code>(0x10000, kUnmapped);

  char16_t Decode(Code code) const {
    if (code < 0x100) return single[code];
    const int16_t row = lead_row[code >> 8];
    return row < 0 ? kQuestionMark : rows[row][code & 0xFF];
  }
};

namespace {

using Tables = CodePage::Tables;

// The single UTF-16 code unit that `bytes` decode to, if they decode to one.
std::optional<char16_t> DecodeOne(Converter& decoder, const char* bytes, size_t size, Converter::Outcome* outcome) {
  char out[8];
  size_t out_size = 0;
  *outcome = decoder.Convert(bytes, size, out, sizeof out, &out_size);
  if (*outcome != Converter::Outcome::kConverted || out_size != 2) return std::nullopt;
  return static_cast<char16_t>(static_cast<unsigned char>(out[0]) | static_cast<unsigned char>(out[1]) << 8);
}

// Reads every one- and two-byte sequence through iconv. Returns every
// (character, code) pair found, in code order.
std::vector<std::pair<char16_t, Code>> BuildDecodeTables(Converter& decoder, Tables& tables) {
  std::vector<std::pair<char16_t, Code>> decoded;
  tables.lead_row.fill(-1);
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    Converter::Outcome outcome;
    auto c = DecodeOne(decoder, &byte, 1, &outcome);
    tables.single[b] = c.value_or(kQuestionMark);
    if (c) decoded.emplace_back(*c, static_cast<Code>(b));
    if (outcome == Converter::Outcome::kIncomplete && tables.double_byte) {
      tables.lead_row[b] = static_cast<int16_t>(tables.rows.size());
      tables.rows.emplace_back();
    }
  }
  for (int lead = 0x80; lead < 256; ++lead) {
    if (tables.lead_row[lead] < 0) continue;
    auto& row = tables.rows[tables.lead_row[lead]];
    for (int trail = 0; trail < 256; ++trail) {
      const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      Converter::Outcome outcome;
      auto c = DecodeOne(decoder, pair, 2, &outcome);
      row[trail] = c.value_or(kQuestionMark);
      if (c) decoded.emplace_back(*c, static_cast<Code>(lead << 8 | trail));
    }
  }
  return decoded;
}

// The code iconv's encoder gives `c`, if it gives one or two bytes.
std::optional<Code> EncodeOne(Converter& encoder, char16_t c) {
  const char in[2] = {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  char out[8];
  size_t out_size = 0;
  if (encoder.Convert(in, 2, out, sizeof out, &out_size) != Converter::Outcome::kConverted) return std::nullopt;
  if (out_size == 1) return static_cast<unsigned char>(out[0]);
  if (out_size == 2)
    return static_cast<Code>(static_cast<unsigned char>(out[0]) << 8 | static_cast<unsigned char>(out[1]));
  return std::nullopt;
}

// Text to bytes is the inverse of bytes to text, so that only characters that
// come back unchanged are written (no best fit). Where several codes decode
// to one character, the code page's own encoder picks.
void BuildEncodeTable(const std::vector<std::pair<char16_t, Code>>& decoded, Converter& encoder, Tables& tables) {
  std::vector<bool> ambiguous(0x10000, false);
  for (const auto& [c, code] : decoded) {
    if (tables.encode[c] == kUnmapped) {
      tables.encode[c] = code;
    } else {
      ambiguous[c] = true;
    }
  }
  for (size_t c = 0; c < ambiguous.size(); ++c) {
    if (!ambiguous[c]) continue;
    auto preferred = EncodeOne(encoder, static_cast<char16_t>(c));
    if (preferred && tables.Decode(*preferred) == c) tables.encode[c] = *preferred;
  }
}

// Where Windows's table differs from the C library's.
void ApplyWindowsMappings(int number, Tables& tables) {
  if (number == 1252) {
    // The five bytes that 1252 leaves undefined stand for the C1 controls.
    for (unsigned char b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
      tables.single[b] = b;
      tables.encode[b] = b;
    }
  }
  if (number == 936) {
    tables.single[0x80] = u'\u20AC';
    tables.encode[0x20AC] = 0x80;
  }
  // Surrogates are code units, never characters: each becomes "?".
  for (char32_t c = 0xD800; c <= 0xDFFF; ++c) tables.encode[c] = kUnmapped;
}

// What the code page lacks is written as "?".
void SubstituteUnmapped(Tables& tables) {
  std::replace(tables.encode.begin(), tables.encode.end(), kUnmapped, Code{'?'});
}

std::shared_ptr<const Tables> BuildTables(const CodePageInfo& info) {
  const char* name = IconvName(info);
  if (!name) throw std::runtime_error(std::string("iconv lacks code page ") + info.iconv_names[0]);
  Converter decoder("UTF-16LE", name);
  Converter encoder(name, "UTF-16LE");
  auto tables = std::make_shared<Tables>();
  tables->double_byte = info.double_byte;
  auto decoded = BuildDecodeTables(decoder, *tables);
  BuildEncodeTable(decoded, encoder, *tables);
  ApplyWindowsMappings(info.number, *tables);
  SubstituteUnmapped(*tables);
  return tables;
}

std::mutex& CacheMutex() {
  static std::mutex mutex;
  return mutex;
}

// Tables are built once per code page and live as long as the process.
std::shared_ptr<const Tables> CachedTables(const CodePageInfo& info) {
  static std::map<int, std::shared_ptr<const Tables>> cache;
  std::lock_guard lock(CacheMutex());
  auto& slot = cache[info.number];
  if (!slot) slot = BuildTables(info);
  return slot;
}

// One CodePage object per number, never destroyed, so references from
// Current() stay valid across SetCurrent().
const CodePage& Instance(int number) {
  static std::map<int, std::unique_ptr<CodePage>> instances;
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  auto& slot = instances[number];
  if (!slot) slot = std::make_unique<CodePage>(number);
  return *slot;
}

std::atomic<const CodePage*> current_code_page{nullptr};

int CodePageFromEnvironment() {
  if (const char* value = std::getenv("COMSVC_CODEPAGE")) {
    char* end = nullptr;
    long number = std::strtol(value, &end, 10);
    if (end != value && *end == '\0' && CodePage::IsSupported(static_cast<int>(number))) {
      return static_cast<int>(number);
    }
  }
  return SystemCodePage();
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

bool IsOneOf(std::string_view word, std::initializer_list<std::string_view> words) {
  for (auto w : words) {
    if (EqualsIgnoringCase(word, w)) return true;
  }
  return false;
}

}  // namespace

CodePage::CodePage(int number) : number_(number) {
  const CodePageInfo* info = FindInfo(number);
  if (!info) throw std::invalid_argument("unsupported code page " + std::to_string(number));
  tables_ = CachedTables(*info);
}

CodePage::~CodePage() = default;

const CodePage& CodePage::Current() {
  const CodePage* page = current_code_page.load(std::memory_order_acquire);
  if (page) return *page;
  const CodePage* chosen = &Instance(CodePageFromEnvironment());
  // A host may have set one meanwhile; its choice wins.
  if (current_code_page.compare_exchange_strong(page, chosen)) return *chosen;
  return *page;
}

bool CodePage::SetCurrent(int number) {
  if (!IsSupported(number)) return false;
  current_code_page.store(&Instance(number), std::memory_order_release);
  return true;
}

bool CodePage::IsSupported(int number) { return FindInfo(number) != nullptr; }

int CodePage::CodePageForLocale(std::string_view locale_name) {
  // "language[_TERRITORY][.charset][@modifier]"
  const size_t language_end = std::min(locale_name.find_first_of("_.@"), locale_name.size());
  const std::string_view language = locale_name.substr(0, language_end);
  std::string_view territory;
  if (language_end < locale_name.size() && locale_name[language_end] == '_') {
    territory = locale_name.substr(language_end + 1);
    territory = territory.substr(0, std::min(territory.find_first_of(".@"), territory.size()));
  }
  if (EqualsIgnoringCase(language, "zh")) return IsOneOf(territory, {"TW", "HK", "MO"}) ? 950 : 936;
  if (EqualsIgnoringCase(language, "ja")) return 932;
  if (EqualsIgnoringCase(language, "ko")) return 949;
  if (EqualsIgnoringCase(language, "th")) return 874;
  if (EqualsIgnoringCase(language, "el")) return 1253;
  if (EqualsIgnoringCase(language, "he")) return 1255;
  if (EqualsIgnoringCase(language, "vi")) return 1258;
  if (IsOneOf(language, {"ru", "uk", "be", "bg", "sr", "mk"})) return 1251;
  if (IsOneOf(language, {"tr", "az"})) return 1254;
  if (IsOneOf(language, {"ar", "fa", "ur"})) return 1256;
  if (IsOneOf(language, {"et", "lv", "lt"})) return 1257;
  if (IsOneOf(language, {"cs", "pl", "hu", "ro", "sk", "sl", "hr", "sq", "bs"})) return 1250;
  return kDefaultCodePage;
}

bool CodePage::IsDoubleByte() const { return tables_->double_byte; }

std::string CodePage::ToBytes(std::u16string_view text) const {
  std::string bytes(text.size() * (tables_->double_byte ? 2 : 1), '\0');
  const Code* encode = tables_->encode.data();
  char* out = bytes.data();
  for (char16_t c : text) {
    const Code code = encode[c];
    if (code >= 0x100) *out++ = static_cast<char>(code >> 8);
    *out++ = static_cast<char>(code & 0xFF);
  }
  bytes.resize(static_cast<size_t>(out - bytes.data()));
  return bytes;
}

int16_t CodePage::CharCode(char16_t c) const { return static_cast<int16_t>(tables_->encode[c]); }

std::u16string CodePage::FromBytes(std::string_view bytes) const {
  std::u16string text(bytes.size(), u'\0');
  const Tables& t = *tables_;
  char16_t* out = text.data();
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    const int16_t row = t.lead_row[b];
    if (row < 0) {
      *out++ = t.single[b];
    } else if (i + 1 < bytes.size()) {
      *out++ = t.rows[row][static_cast<unsigned char>(bytes[++i])];
    } else {
      *out++ = kQuestionMark;  // a lead byte with nothing after it
    }
  }
  text.resize(static_cast<size_t>(out - text.data()));
  return text;
}

}  // namespace comsvc::platform
