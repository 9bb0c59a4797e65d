#include <comsvc/code_page.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <comsvc/runtime_error.h>
#include "os/locale_source.h"
#include "runtime/code_page_tables.h"

namespace comsvc::platform {

namespace {

constexpr int kDefaultCodePage = 1252;
// Encoded form of a character: the byte for a one-byte character, lead * 256
// + trail for a two-byte one. Lead bytes are >= 0x81, so a code >= 0x100 is
// always a two-byte character.
using Code = uint16_t;
using code_page_tables::PageTables;

const PageTables* FindPage(int number) {
  for (const PageTables& page : code_page_tables::kPages) {
    if (page.number == number) return &page;
  }
  return nullptr;
}

}  // namespace

// Reading looks up the generated arrays in place; writing uses a two-level
// table (high byte of the code unit -> block of 256 codes) built once, where
// every high byte the page has nothing for shares one block of default bytes.
struct CodePage::Tables {
  explicit Tables(const PageTables& page);

  const PageTables& page;
  // For a lead byte, the offset of its row in page.pairs; -1 otherwise.
  std::array<int32_t, 256> lead_row{};
  std::array<uint32_t, 256> encode_block{};
  std::vector<Code> encode_codes;

  // Whether every ASCII unit is written as its own byte, as in every
  // supported page; a run of such text then needs no look-up.
  bool ascii_as_is = false;

  // The single bytes the page does not define (see FirstUndefined).
  std::array<bool, 256> undefined_single{};

  bool IsDoubleByte() const { return !page.lead_ranges.empty(); }
  Code Encode(char16_t c) const { return encode_codes[encode_block[c >> 8] + (c & 0xFF)]; }
  char16_t DecodePair(int32_t row, unsigned char trail) const {
    if (trail < page.first_trail || trail > page.last_trail) return page.unicode_default;
    return page.pairs[static_cast<size_t>(row + trail - page.first_trail)];
  }
  // The generated tables fill what Windows' tables lack with the default
  // character: a code reading as it is a gap unless it is its own code.
  bool IsGap(Code code, char16_t read) const { return read == page.unicode_default && code != Encode(read); }
  bool DefinesPair(unsigned char lead, unsigned char trail) const {
    return !IsGap(static_cast<Code>(lead << 8 | trail), DecodePair(lead_row[lead], trail));
  }

 private:
  void IndexLeadBytes();
  void FindUndefinedBytes();
  std::vector<Code> DenseEncodeTable() const;
  void CompressEncodeTable(const std::vector<Code>& dense);
};

CodePage::Tables::Tables(const PageTables& source) : page(source) {
  IndexLeadBytes();
  CompressEncodeTable(DenseEncodeTable());
  ascii_as_is = true;
  for (char16_t c = 0; c < 0x80; ++c) ascii_as_is = ascii_as_is && Encode(c) == c;
  FindUndefinedBytes();
}

void CodePage::Tables::FindUndefinedBytes() {
  for (int b = 0; b < 256; ++b) {
    if (lead_row[b] >= 0) continue;  // a lead byte is judged with its trail byte
    const char16_t read = page.single[b];
    const bool c1_filler = b >= 0x80 && b <= 0x9F && read == b;
    undefined_single[b] = c1_filler || IsGap(static_cast<Code>(b), read);
  }
}

void CodePage::Tables::IndexLeadBytes() {
  lead_row.fill(-1);
  if (!IsDoubleByte()) return;
  const int trail_count = page.last_trail - page.first_trail + 1;
  int32_t row = 0;
  for (const auto& range : page.lead_ranges) {
    for (int lead = range.first; lead <= range.last; ++lead, row += trail_count) lead_row[lead] = row;
  }
}

// The inverse of reading, lowest code first, corrected by the page's list of
// exceptions; what nothing reads as is written as the default byte.
std::vector<Code> CodePage::Tables::DenseEncodeTable() const {
  constexpr Code kUnset = 0xFFFF;  // no trail byte is 0xFF
  std::vector<Code> dense(0x10000, kUnset);
  const auto claim = [&dense](char16_t unit, Code code) {
    if (dense[unit] == kUnset) dense[unit] = code;
  };
  for (int b = 0; b < 256; ++b) {
    if (lead_row[b] < 0) claim(page.single[b], static_cast<Code>(b));
  }
  for (int lead = 0; lead < 256; ++lead) {
    if (lead_row[lead] < 0) continue;
    for (int trail = page.first_trail; trail <= page.last_trail; ++trail) {
      claim(DecodePair(lead_row[lead], static_cast<unsigned char>(trail)), static_cast<Code>(lead << 8 | trail));
    }
  }
  for (const auto& exception : page.write_exceptions) dense[exception.unit] = exception.code;
  std::replace(dense.begin(), dense.end(), kUnset, Code{page.default_byte});
  return dense;
}

void CodePage::Tables::CompressEncodeTable(const std::vector<Code>& dense) {
  encode_codes.assign(256, page.default_byte);  // the shared block
  for (size_t high = 0; high < 256; ++high) {
    const auto block = dense.begin() + static_cast<std::ptrdiff_t>(high * 256);
    const bool all_default = std::all_of(block, block + 256, [this](Code c) { return c == page.default_byte; });
    if (all_default) continue;
    encode_block[high] = static_cast<uint32_t>(encode_codes.size());
    encode_codes.insert(encode_codes.end(), block, block + 256);
  }
}

namespace {

using Tables = CodePage::Tables;

// Runs of ASCII are copied in chunks of 16 units.
constexpr size_t kChunk = 16;

// Copies 16 ASCII units to `out` and returns true, or returns false and
// writes nothing when one of them is not ASCII. The portable form works unit
// by unit; with SSE2 (every x86-64) it takes two vector loads.
template <typename Unit>
bool CopyAsciiChunk(const char16_t* in, Unit* out) {
  char16_t all = 0;
  for (size_t k = 0; k < kChunk; ++k) all |= in[k];
  if (all >= 0x80) return false;
  for (size_t k = 0; k < kChunk; ++k) out[k] = static_cast<Unit>(in[k]);
  return true;
}

#if defined(__SSE2__)
bool LoadAsciiChunk(const char16_t* in, __m128i& low, __m128i& high) {
  low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8));
  const __m128i above_ascii = _mm_and_si128(_mm_or_si128(low, high), _mm_set1_epi16(static_cast<int16_t>(0xFF80)));
  return _mm_movemask_epi8(_mm_cmpeq_epi16(above_ascii, _mm_setzero_si128())) == 0xFFFF;
}

template <>
bool CopyAsciiChunk(const char16_t* in, char* out) {
  __m128i low, high;
  if (!LoadAsciiChunk(in, low, high)) return false;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(low, high));
  return true;
}

template <>
bool CopyAsciiChunk(const char16_t* in, int16_t* out) {
  __m128i low, high;
  if (!LoadAsciiChunk(in, low, high)) return false;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), high);
  return true;
}
#endif

// Copies the run of ASCII at the start of `in` to `out`, whole chunks only,
// and returns its length: the caller converts what follows.
template <typename Unit>
size_t CopyAsciiRun(std::u16string_view in, Unit* out) {
  size_t i = 0;
  while (i + kChunk <= in.size() && CopyAsciiChunk(in.data() + i, out + i)) i += kChunk;
  return i;
}

// Converts `text` unit by unit with `convert`, taking runs of ASCII as they
// are when the page writes ASCII as itself. `convert(unit, out)` returns the
// position after what it wrote.
template <typename Unit, typename Convert>
Unit* ConvertUnits(const Tables& t, std::u16string_view text, Unit* out, Convert convert) {
  constexpr size_t kLookedUpAtOnce = kChunk;  // then try for ASCII again
  size_t i = 0;
  while (i < text.size()) {
    if (t.ascii_as_is) {
      const size_t run = CopyAsciiRun(text.substr(i), out);
      i += run;
      out += run;
    }
    for (const size_t end = std::min(text.size(), i + kLookedUpAtOnce); i < end; ++i) out = convert(text[i], out);
  }
  return out;
}

std::mutex& CacheMutex() {
  static std::mutex mutex;
  return mutex;
}

// Tables are built once per code page and live as long as the process.
std::shared_ptr<const Tables> CachedTables(const PageTables& page) {
  static std::map<int, std::shared_ptr<const Tables>> cache;
  std::lock_guard lock(CacheMutex());
  auto& slot = cache[page.number];
  if (!slot) slot = std::make_shared<const Tables>(page);
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
  return os::SystemAnsiCodePage().value_or(CodePage::CodePageForLocale(os::UserLocaleName()));
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
  const PageTables* page = FindPage(number);
  if (!page) Raise(ErrorNumber::kInvalidProcedureCall);
  tables_ = CachedTables(*page);
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

bool CodePage::IsSupported(int number) { return FindPage(number) != nullptr; }

int CodePage::CodePageForLocale(std::string_view locale_name) {
  // "language[_TERRITORY][.charset][@modifier]", or Windows's "language-TERRITORY"
  const size_t language_end = std::min(locale_name.find_first_of("_-.@"), locale_name.size());
  const std::string_view language = locale_name.substr(0, language_end);
  std::string_view territory;
  if (language_end < locale_name.size() && (locale_name[language_end] == '_' || locale_name[language_end] == '-')) {
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

bool CodePage::IsDoubleByte() const { return tables_->IsDoubleByte(); }

std::string CodePage::ToBytes(std::u16string_view text) const {
  std::string bytes(text.size() * (tables_->IsDoubleByte() ? 2 : 1), '\0');
  const Tables& t = *tables_;
  char* end = ConvertUnits(t, text, bytes.data(), [&t](char16_t c, char* out) {
    const Code code = t.Encode(c);
    if (code >= 0x100) *out++ = static_cast<char>(code >> 8);
    *out++ = static_cast<char>(code & 0xFF);
    return out;
  });
  bytes.resize(static_cast<size_t>(end - bytes.data()));
  return bytes;
}

int16_t CodePage::CharCode(char16_t c) const { return static_cast<int16_t>(tables_->Encode(c)); }

void CodePage::CharCodes(std::u16string_view text, int16_t* codes) const {
  const Tables& t = *tables_;
  ConvertUnits(t, text, codes, [&t](char16_t c, int16_t* out) {
    *out = static_cast<int16_t>(t.Encode(c));
    return out + 1;
  });
}

std::u16string CodePage::FromBytes(std::string_view bytes) const {
  std::u16string text(bytes.size(), u'\0');
  const Tables& t = *tables_;
  char16_t* out = text.data();
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    const int32_t row = t.lead_row[b];
    if (row < 0) {
      *out++ = t.page.single[b];
    } else if (i + 1 < bytes.size()) {
      *out++ = t.DecodePair(row, static_cast<unsigned char>(bytes[++i]));
    } else {
      *out++ = t.page.unicode_default;  // a lead byte with nothing after it
    }
  }
  text.resize(static_cast<size_t>(out - text.data()));
  return text;
}

std::optional<size_t> CodePage::FirstUndefined(std::string_view bytes) const {
  const Tables& t = *tables_;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (t.lead_row[b] < 0) {
      if (t.undefined_single[b]) return i;
    } else if (i + 1 == bytes.size() || !t.DefinesPair(b, static_cast<unsigned char>(bytes[i + 1]))) {
      return i;
    } else {
      ++i;
    }
  }
  return std::nullopt;
}

}  // namespace comsvc::platform
