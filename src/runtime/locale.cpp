#include <comsvc/locale.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>
#include "os/locale_source.h"

namespace comsvc::platform {

namespace {

// ---------------------------------------------------------------------------
// The locale's number format

char16_t GroupingFor(char16_t decimal) { return decimal == u',' ? u'.' : u','; }

char16_t FirstUnitOf(std::string_view utf8, char16_t fallback) {
  std::u16string text = Utf8ToUtf16(utf8);
  return text.empty() ? fallback : text[0];
}

NumberFormat FormatFromEnvironment() {
  const char* configured = std::getenv("COMSVC_DECIMAL");
  char16_t decimal = configured && *configured ? FirstUnitOf(configured, u'.') : os::SystemDecimalSeparator();
  return NumberFormat{decimal, GroupingFor(decimal)};
}

NumberFormat& MutableNumbers() {
  static NumberFormat format = FormatFromEnvironment();
  return format;
}

// ---------------------------------------------------------------------------
// Number reading

enum class Status { kOk, kMismatch, kOverflow };

// Blanks allowed around a number: the C library's white space in ASCII.
bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsSign(char16_t c) { return c == u'+' || c == u'-'; }

int HexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// The ASCII form of a number text, on the stack for short texts. The first
// byte is kept for a minus sign, which may be read after the digits.
class AsciiNumber {
 public:
  explicit AsciiNumber(size_t text_size) {
    // Sign, a "0" before a leading point, and the text's own characters.
    if (text_size + 2 > sizeof inline_) {
      heap_.resize(text_size + 2);
      data_ = heap_.data();
    }
  }
  AsciiNumber(const AsciiNumber&) = delete;
  AsciiNumber& operator=(const AsciiNumber&) = delete;
  void Push(char c) { data_[size_++] = c; }
  void SetNegative() {
    data_[0] = '-';
    negative_ = true;
  }
  bool negative() const { return negative_; }
  const char* begin() const { return negative_ ? data_ : data_ + 1; }
  const char* end() const { return data_ + size_; }

 private:
  char inline_[64];
  std::string heap_;
  char* data_ = inline_;
  size_t size_ = 1;
  bool negative_ = false;
};

// What scanning tells of a decimal number beyond its ASCII form.
struct DecimalShape {
  bool integral = true;  // neither fraction digits nor an exponent
  size_t integer_digits = 0;
  // Decimal exponent of the leading non-zero digit, exponent included
  // (saturated); tells an overflow from an underflow.
  long magnitude = 0;
};

constexpr long kExponentLimit = 1000000;

class NumberScanner {
 public:
  NumberScanner(std::u16string_view text, const NumberFormat& format) : text_(text), format_(format) {}

  // True when the text, after blanks, starts with "&": a radix form.
  bool AtRadixForm() {
    SkipBlanks();
    return pos_ < text_.size() && text_[pos_] == u'&';
  }

  // "&H" and "&O" forms, sign-less.
  Status ScanRadixForm(double& value) {
    ++pos_;  // "&"
    const int shift = RadixShift();
    if (shift == 0) return Status::kMismatch;
    uint64_t bits = 0;
    size_t digits = 0;
    bool too_large = false;
    for (; pos_ < text_.size(); ++pos_, ++digits) {
      int d = HexDigitValue(text_[pos_]);
      if (d < 0 || d >= (1 << shift)) break;
      bits = (bits << shift | static_cast<uint64_t>(d)) & 0x1FFFFFFFFu;
      too_large = too_large || bits > 0xFFFFFFFFu;
    }
    SkipBlanks();
    if (digits == 0 || pos_ != text_.size()) return Status::kMismatch;
    if (too_large) return Status::kOverflow;
    // Typed as the platform types such literals: up to 16 bits a 16-bit
    // pattern ("&HFFFF" is -1), up to 32 bits a 32-bit pattern.
    value = bits <= 0xFFFF ? static_cast<int16_t>(bits) : static_cast<int32_t>(bits);
    return Status::kOk;
  }

  // Checks a decimal number and writes its ASCII form; false when the text
  // is no number.
  bool ScanDecimal(AsciiNumber& out, DecimalShape& shape) {
    SkipBlanks();
    const bool signed_before = pos_ < text_.size() && IsSign(text_[pos_]);
    if (signed_before && text_[pos_++] == u'-') out.SetNegative();
    ScanIntegerPart(out, shape);
    size_t fraction_digits = ScanFraction(out, shape);
    if (shape.integer_digits + fraction_digits == 0) return false;
    if (pos_ < text_.size() && (text_[pos_] == u'e' || text_[pos_] == u'E')) {
      long exponent = 0;
      if (!ScanExponent(out, exponent)) return false;
      shape.magnitude += exponent;
      shape.integral = false;
    }
    if (!signed_before && pos_ < text_.size() && IsSign(text_[pos_])) {
      if (text_[pos_++] == u'-') out.SetNegative();
    }
    SkipBlanks();
    return pos_ == text_.size();
  }

 private:
  void SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }

  int RadixShift() {
    if (pos_ >= text_.size()) return 0;
    const char16_t c = text_[pos_++];
    if (c == u'h' || c == u'H') return 4;
    if (c == u'o' || c == u'O') return 3;
    return 0;
  }

  // Integer digits, with the grouping separator allowed between two digits.
  void ScanIntegerPart(AsciiNumber& out, DecimalShape& shape) {
    long first_significant = -1;
    for (; pos_ < text_.size(); ++pos_) {
      const char16_t c = text_[pos_];
      if (IsDigit(c)) {
        if (c != u'0' && first_significant < 0) first_significant = static_cast<long>(shape.integer_digits);
        out.Push(static_cast<char>(c));
        ++shape.integer_digits;
      } else if (!IsGroupingBetweenDigits(c, shape.integer_digits)) {
        break;
      }
    }
    if (shape.integer_digits == 0) out.Push('0');
    if (first_significant >= 0) shape.magnitude = static_cast<long>(shape.integer_digits) - 1 - first_significant;
    leading_found_ = first_significant >= 0;
  }

  size_t ScanFraction(AsciiNumber& out, DecimalShape& shape) {
    if (pos_ >= text_.size() || text_[pos_] != format_.decimal) return 0;
    ++pos_;
    size_t digits = 0;
    for (; pos_ < text_.size() && IsDigit(text_[pos_]); ++pos_) {
      if (digits == 0) out.Push('.');
      ++digits;
      if (!leading_found_ && text_[pos_] != u'0') {
        leading_found_ = true;
        shape.magnitude = -static_cast<long>(digits);
      }
      out.Push(static_cast<char>(text_[pos_]));
    }
    if (digits > 0) shape.integral = false;
    return digits;
  }

  bool ScanExponent(AsciiNumber& out, long& exponent) {
    ++pos_;  // "e"
    out.Push('e');
    bool negative = false;
    if (pos_ < text_.size() && IsSign(text_[pos_])) {
      negative = text_[pos_++] == u'-';
      if (negative) out.Push('-');
    }
    size_t digits = 0;
    for (; pos_ < text_.size() && IsDigit(text_[pos_]); ++pos_, ++digits) {
      exponent = std::min(exponent * 10 + (text_[pos_] - u'0'), kExponentLimit);
      out.Push(static_cast<char>(text_[pos_]));
    }
    if (negative) exponent = -exponent;
    return digits > 0;
  }

  bool IsGroupingBetweenDigits(char16_t c, size_t digits_before) const {
    return c == format_.grouping && c != format_.decimal && digits_before > 0 && pos_ + 1 < text_.size() &&
           IsDigit(text_[pos_ + 1]);
  }

  std::u16string_view text_;
  const NumberFormat& format_;
  size_t pos_ = 0;
  bool leading_found_ = false;
};

// Reads a decimal text in ASCII form; a value beyond the doubles is an
// overflow, one too small for them reads as zero.
Status ConvertDecimal(const AsciiNumber& ascii, const DecimalShape& shape, double& value) {
  auto [end, error] = std::from_chars(ascii.begin(), ascii.end(), value);
  if (error == std::errc::result_out_of_range) {
    if (shape.magnitude > 0) return Status::kOverflow;
    value = ascii.negative() ? -0.0 : 0.0;
    return Status::kOk;
  }
  return error == std::errc() && end == ascii.end() ? Status::kOk : Status::kMismatch;
}

Status ReadNumber(std::u16string_view text, const NumberFormat& format, double& value) {
  NumberScanner scanner(text, format);
  if (scanner.AtRadixForm()) return scanner.ScanRadixForm(value);
  AsciiNumber ascii(text.size());
  DecimalShape shape;
  if (!scanner.ScanDecimal(ascii, shape)) return Status::kMismatch;
  return ConvertDecimal(ascii, shape, value);
}

[[noreturn]] void RaiseFor(Status status) {
  Raise(status == Status::kOverflow ? ErrorNumber::kOverflow : ErrorNumber::kTypeMismatch);
}

double RoundHalfToEven(double x) {
  const double floor = std::floor(x);
  const double fraction = x - floor;
  if (fraction < 0.5) return floor;
  if (fraction > 0.5) return floor + 1;
  return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

// Short texts of digits with an optional minus, the commonest by far, read
// without the general scanner.
std::optional<int64_t> ReadPlainInteger(std::u16string_view text) {
  const bool negative = !text.empty() && text[0] == u'-';
  const std::u16string_view digits = text.substr(negative ? 1 : 0);
  if (digits.empty() || digits.size() > 18) return std::nullopt;
  int64_t value = 0;
  for (char16_t c : digits) {
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + (c - u'0');
  }
  return negative ? -value : value;
}

// The text's value rounded half to even into [low, high].
int64_t ReadRoundedInteger(std::u16string_view text, const NumberFormat& format, int64_t low, int64_t high) {
  if (auto plain = ReadPlainInteger(text)) {
    if (*plain < low || *plain > high) RaiseFor(Status::kOverflow);
    return *plain;
  }
  NumberScanner scanner(text, format);
  double value = 0;
  if (scanner.AtRadixForm()) {
    if (Status status = scanner.ScanRadixForm(value); status != Status::kOk) RaiseFor(status);
  } else {
    AsciiNumber ascii(text.size());
    DecimalShape shape;
    if (!scanner.ScanDecimal(ascii, shape)) RaiseFor(Status::kMismatch);
    if (shape.integral && shape.integer_digits <= 18) {
      // Plain integers, the common case, need no floating point.
      int64_t whole = 0;
      std::from_chars(ascii.begin(), ascii.end(), whole);
      if (whole < low || whole > high) RaiseFor(Status::kOverflow);
      return whole;
    }
    if (Status status = ConvertDecimal(ascii, shape, value); status != Status::kOk) RaiseFor(status);
  }
  const double rounded = RoundHalfToEven(value);
  if (rounded < static_cast<double>(low) || rounded > static_cast<double>(high)) RaiseFor(Status::kOverflow);
  return static_cast<int64_t>(rounded);
}

// ---------------------------------------------------------------------------
// Case mapping

// Characters the platform leaves alone although the Unicode tables map them:
// those whose other case is not one code unit (sharp s, capital sharp s, the
// micro sign, n preceded by apostrophe), the titlecase digraphs, the Turkish
// dotless and dotted i, and the final sigma.
constexpr char16_t kCaseless[] = {u'\u00DF', u'\u1E9E', u'\u00B5', u'\u0149', u'\u01C5', u'\u01C8',
                                  u'\u01CB', u'\u01F2', u'\u0131', u'\u0130', u'\u03C2'};

struct CaseTables {
  std::vector<char16_t> lower = std::vector<char16_t>(0x10000);
  std::vector<char16_t> upper = std::vector<char16_t>(0x10000);
};

CaseTables BuildCaseTables() {
  CaseTables tables;
  os::SystemCaseMapping(tables.lower, tables.upper);
  for (char16_t c : kCaseless) tables.lower[c] = tables.upper[c] = c;
  return tables;
}

const CaseTables& Cases() {
  static const CaseTables tables = BuildCaseTables();
  return tables;
}

std::u16string MapUnits(std::u16string_view text, const std::vector<char16_t>& table) {
  std::u16string mapped(text.size(), u'\0');
  std::transform(text.begin(), text.end(), mapped.begin(), [&table](char16_t c) { return table[c]; });
  return mapped;
}

}  // namespace

const NumberFormat& Locale::Numbers() { return MutableNumbers(); }

void Locale::SetDecimalSeparator(char16_t decimal) { MutableNumbers() = NumberFormat{decimal, GroupingFor(decimal)}; }

double TextToDouble(std::u16string_view text, const NumberFormat& format) {
  double value = 0;
  if (Status status = ReadNumber(text, format, value); status != Status::kOk) RaiseFor(status);
  return value;
}

int32_t TextToLong(std::u16string_view text, const NumberFormat& format) {
  return static_cast<int32_t>(ReadRoundedInteger(text, format, INT32_MIN, INT32_MAX));
}

bool IsNumeric(std::u16string_view text, const NumberFormat& format) {
  double value = 0;
  return ReadNumber(text, format, value) == Status::kOk;
}

int16_t TextToInteger(std::u16string_view text, const NumberFormat& format) {
  return static_cast<int16_t>(ReadRoundedInteger(text, format, INT16_MIN, INT16_MAX));
}

uint16_t ReadHexDigits(std::u16string_view text) {
  uint16_t value = 0;
  for (char16_t c : text) {
    if (c == u' ' || c == u'\t' || c == u'\n') continue;
    const int digit = HexDigitValue(c);
    if (digit < 0) break;
    value = static_cast<uint16_t>(value << 4 | digit);
  }
  return value;
}

std::u16string DefaultText(int32_t value) {
  char buffer[16];
  auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  return std::u16string(buffer, end);
}

std::u16string DefaultText(double value, const NumberFormat& format) {
  if (std::isnan(value)) return std::signbit(value) ? u"-1.#IND" : u"1.#QNAN";
  if (std::isinf(value)) return value > 0 ? u"1.#INF" : u"-1.#INF";
  if (value == 0) return u"0";  // negative zero too
  // C's "%.15G": 15 significant digits, trailing zeros dropped, exponent form
  // below 1E-4 and from 1E+15 up, at least two exponent digits.
  char buffer[32];
  auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15).ptr;
  std::u16string text(buffer, end);
  for (char16_t& c : text) {
    if (c == u'e') c = u'E';
    if (c == u'.') c = format.decimal;
  }
  return text;
}

std::u16string DefaultText(bool value) { return value ? u"True" : u"False"; }

std::u16string LowerCase(std::u16string_view text) { return MapUnits(text, Cases().lower); }
std::u16string UpperCase(std::u16string_view text) { return MapUnits(text, Cases().upper); }
char16_t LowerCaseUnit(char16_t c) { return Cases().lower[c]; }
char16_t UpperCaseUnit(char16_t c) { return Cases().upper[c]; }

}  // namespace comsvc::platform
