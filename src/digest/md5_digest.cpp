#include <comsvc/md5_digest.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>

#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>
#include "os/binary_file.h"
#include <comsvc/code_page.h>

namespace comsvc {
namespace {

constexpr char16_t kUpperHexDigits[] = u"0123456789ABCDEF";

std::u16string DecimalText(uint32_t word) {
  const std::string digits = std::to_string(static_cast<int32_t>(word));
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace

const uint8_t* ByteArrayRef::FromIndexZero(int32_t count) const {
  const int64_t last_index = int64_t{lower_bound_} + static_cast<int64_t>(elements_.size()) - 1;
  if (lower_bound_ > 0 || count - 1 > last_index) Raise(ErrorNumber::kSubscriptOutOfRange);
  return elements_.data() - lower_bound_;
}

std::u16string MD5::RegisterA() const { return DecimalText(register_a_); }
std::u16string MD5::RegisterB() const { return DecimalText(register_b_); }
std::u16string MD5::RegisterC() const { return DecimalText(register_c_); }
std::u16string MD5::RegisterD() const { return DecimalText(register_d_); }

std::u16string MD5::Md5_String_Calc(const std::u16string& SourceString) {
  MD5Init();
  const std::string bytes = StringToAnsiBytes(SourceString);
  // Any length beyond 32767 fails in MD5Update; clamping keeps it positive.
  const int32_t length = static_cast<int32_t>(std::min<size_t>(bytes.size(), INT32_MAX));
  MD5Update(length, ByteArrayRef(bytes));
  MD5Final();
  return GetValues();
}

std::u16string MD5::Md5_File_Calc(const std::u16string& InFile) {
  try {
    return DigestFile(InFile);
  } catch (const std::exception&) {
    // Overflow for a file too long to digest, or any other failure on the
    // way; the file has been closed by then.
    return u"";
  }
}

std::u16string MD5::DigestFile(const std::u16string& path) {
  // Asking for the length first means a missing path fails before anything
  // is opened, so nothing is ever created.
  const std::string native = EncodeUtf8(path);
  const std::optional<int64_t> length = os::BinaryFile::Length(native);
  if (!length) return u"";
  std::unique_ptr<os::BinaryFile> file = os::BinaryFile::OpenRead(native);
  if (!file) return u"";
  MD5Init();
  // Records go straight into BlockBuffer: each whole one is compressed where
  // it lies, and a final partial record stays there as the pending bytes.
  const std::span<uint8_t> record(block_buffer_);
  for (int64_t records = *length / kBlockSize; records > 0; --records) {
    if (!file->Read(record)) return u"";
    byte_total_ = AddToTotal(byte_total_, kBlockSize);
    MD5Transform(block_buffer_);
  }
  const auto rest = static_cast<int32_t>(*length % kBlockSize);
  if (!file->Read(record.first(rest))) return u"";
  byte_total_ = AddToTotal(byte_total_, rest);
  file.reset();
  MD5Final();
  return GetValues();
}

std::u16string MD5::GetValues() const {
  std::u16string hex(32, u'0');
  RegisterToHex(register_a_, &hex[0]);
  RegisterToHex(register_b_, &hex[8]);
  RegisterToHex(register_c_, &hex[16]);
  RegisterToHex(register_d_, &hex[24]);
  return hex;
}

void MD5::MD5Init() {
  register_a_ = 0x67452301;
  register_b_ = 0xEFCDAB89;
  register_c_ = 0x98BADCFE;
  register_d_ = 0x10325476;
  byte_total_ = 0;
}

void MD5::MD5Final() {
  const int64_t bits = int64_t{byte_total_} * 8;
  if (bits > INT32_MAX || bits < INT32_MIN) Raise(ErrorNumber::kOverflow);
  uint8_t padding[73] = {0x80};
  const int32_t buffered = byte_total_ % kBlockSize;
  const int32_t pad_length = buffered < 56 ? 56 - buffered : 120 - buffered;
  MD5Update(pad_length, ByteArrayRef(padding));
  const uint32_t length_word = DoubleToLong(static_cast<double>(bits));
  for (int k = 0; k < 4; ++k) padding[k] = static_cast<uint8_t>(length_word >> (8 * k));
  std::fill(padding + 4, padding + 8, uint8_t{0});
  MD5Update(8, ByteArrayRef(padding));
}

void MD5::MD5Update(const int32_t& InputLen, const ByteArrayRef& InputBuffer) {
  if (InputLen > kMaxUpdateLength) Raise(ErrorNumber::kOverflow);
  // The remainder takes the sign of the total, which a negative length can
  // have made negative.
  const int32_t buffered = byte_total_ % kBlockSize;
  byte_total_ = AddToTotal(byte_total_, InputLen);
  if (InputLen <= 0) return;
  const uint8_t* input = InputBuffer.FromIndexZero(InputLen);
  // A negative total places the pending bytes below BlockBuffer's index 0.
  if (buffered < 0) Raise(ErrorNumber::kSubscriptOutOfRange);
  Absorb(buffered, input, InputLen);
}

void MD5::Absorb(int32_t buffered, const uint8_t* input, int32_t count) {
  int32_t next = 0;
  const int32_t part_length = kBlockSize - buffered;
  if (count >= part_length) {
    std::memcpy(block_buffer_ + buffered, input, part_length);
    MD5Transform(block_buffer_);
    // Whole blocks are compressed where they lie: only the bytes still
    // pending are ever read from BlockBuffer.
    for (next = part_length; next + kBlockSize <= count; next += kBlockSize) MD5Transform(input + next);
    buffered = 0;
  }
  std::memcpy(block_buffer_ + buffered, input + next, count - next);
}

int32_t MD5::LongLeftRotate(int32_t& value, int32_t& Bits) {
  Bits %= 32;  // C++'s remainder takes the sign of the dividend
  // Rotating by one bit Bits times, writing back each time, leaves the same
  // word in `value` as one rotation by Bits.
  if (Bits > 0) value = static_cast<int32_t>(std::rotl(static_cast<uint32_t>(value), Bits));
  return value;
}

std::string MD5::StringToAnsiBytes(const std::u16string& text) {
  return platform::CodePage::Current().ToBytes(text);
}

void MD5::RegisterToHex(uint32_t word, char16_t* hex) {
  for (int k = 0; k < 4; ++k) {
    const uint32_t byte = (word >> (8 * k)) & 0xFF;
    hex[2 * k] = kUpperHexDigits[byte >> 4];
    hex[2 * k + 1] = kUpperHexDigits[byte & 0xF];
  }
}

void MD5::Decode(const uint8_t* block, uint32_t* words) {
  for (int j = 0; j < 16; ++j) {
    const uint8_t* b = block + 4 * j;
    words[j] = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
  }
}

// The round functions are written in forms equal to RFC 1321's that keep the
// newest word, b, off as much of the work as possible:
//   F: (b And c) Or (Not b And d)  =  d Xor (b And (c Xor d))
//   G: (b And d) Or (c And Not d)  =  (b And d) + (c And Not d)   (disjoint bits)
//   I: c Xor (b Or Not d)
inline void MD5::FF(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t t) {
  a = std::rotl(a + x + t + (d ^ (b & (c ^ d))), s) + b;
}

inline void MD5::GG(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t t) {
  a = std::rotl(a + x + t + (c & ~d) + (b & d), s) + b;
}

inline void MD5::HH(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t t) {
  a = std::rotl(a + x + t + (b ^ (c ^ d)), s) + b;
}

inline void MD5::II(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t t) {
  a = std::rotl(a + x + t + (c ^ (b | ~d)), s) + b;
}

void MD5::MD5Transform(const uint8_t* block) {
  uint32_t x[16];
  Decode(block, x);
  uint32_t a = register_a_, b = register_b_, c = register_c_, d = register_d_;

  FF(a, b, c, d, x[0], 7, 0xD76AA478);
  FF(d, a, b, c, x[1], 12, 0xE8C7B756);
  FF(c, d, a, b, x[2], 17, 0x242070DB);
  FF(b, c, d, a, x[3], 22, 0xC1BDCEEE);
  FF(a, b, c, d, x[4], 7, 0xF57C0FAF);
  FF(d, a, b, c, x[5], 12, 0x4787C62A);
  FF(c, d, a, b, x[6], 17, 0xA8304613);
  FF(b, c, d, a, x[7], 22, 0xFD469501);
  FF(a, b, c, d, x[8], 7, 0x698098D8);
  FF(d, a, b, c, x[9], 12, 0x8B44F7AF);
  FF(c, d, a, b, x[10], 17, 0xFFFF5BB1);
  FF(b, c, d, a, x[11], 22, 0x895CD7BE);
  FF(a, b, c, d, x[12], 7, 0x6B901122);
  FF(d, a, b, c, x[13], 12, 0xFD987193);
  FF(c, d, a, b, x[14], 17, 0xA679438E);
  FF(b, c, d, a, x[15], 22, 0x49B40821);

  GG(a, b, c, d, x[1], 5, 0xF61E2562);
  GG(d, a, b, c, x[6], 9, 0xC040B340);
  GG(c, d, a, b, x[11], 14, 0x265E5A51);
  GG(b, c, d, a, x[0], 20, 0xE9B6C7AA);
  GG(a, b, c, d, x[5], 5, 0xD62F105D);
  GG(d, a, b, c, x[10], 9, 0x02441453);
  GG(c, d, a, b, x[15], 14, 0xD8A1E681);
  GG(b, c, d, a, x[4], 20, 0xE7D3FBC8);
  GG(a, b, c, d, x[9], 5, 0x21E1CDE6);
  GG(d, a, b, c, x[14], 9, 0xC33707D6);
  GG(c, d, a, b, x[3], 14, 0xF4D50D87);
  GG(b, c, d, a, x[8], 20, 0x455A14ED);
  GG(a, b, c, d, x[13], 5, 0xA9E3E905);
  GG(d, a, b, c, x[2], 9, 0xFCEFA3F8);
  GG(c, d, a, b, x[7], 14, 0x676F02D9);
  GG(b, c, d, a, x[12], 20, 0x8D2A4C8A);

  HH(a, b, c, d, x[5], 4, 0xFFFA3942);
  HH(d, a, b, c, x[8], 11, 0x8771F681);
  HH(c, d, a, b, x[11], 16, 0x6D9D6122);
  HH(b, c, d, a, x[14], 23, 0xFDE5380C);
  HH(a, b, c, d, x[1], 4, 0xA4BEEA44);
  HH(d, a, b, c, x[4], 11, 0x4BDECFA9);
  HH(c, d, a, b, x[7], 16, 0xF6BB4B60);
  HH(b, c, d, a, x[10], 23, 0xBEBFBC70);
  HH(a, b, c, d, x[13], 4, 0x289B7EC6);
  HH(d, a, b, c, x[0], 11, 0xEAA127FA);
  HH(c, d, a, b, x[3], 16, 0xD4EF3085);
  HH(b, c, d, a, x[6], 23, 0x04881D05);
  HH(a, b, c, d, x[9], 4, 0xD9D4D039);
  HH(d, a, b, c, x[12], 11, 0xE6DB99E5);
  HH(c, d, a, b, x[15], 16, 0x1FA27CF8);
  HH(b, c, d, a, x[2], 23, 0xC4AC5665);

  II(a, b, c, d, x[0], 6, 0xF4292244);
  II(d, a, b, c, x[7], 10, 0x432AFF97);
  II(c, d, a, b, x[14], 15, 0xAB9423A7);
  II(b, c, d, a, x[5], 21, 0xFC93A039);
  II(a, b, c, d, x[12], 6, 0x655B59C3);
  II(d, a, b, c, x[3], 10, 0x8F0CCC92);
  II(c, d, a, b, x[10], 15, 0xFFEFF47D);
  II(b, c, d, a, x[1], 21, 0x85845DD1);
  II(a, b, c, d, x[8], 6, 0x6FA87E4F);
  II(d, a, b, c, x[15], 10, 0xFE2CE6E0);
  II(c, d, a, b, x[6], 15, 0xA3014314);
  II(b, c, d, a, x[13], 21, 0x4E0811A1);
  II(a, b, c, d, x[4], 6, 0xF7537E82);
  II(d, a, b, c, x[11], 10, 0xBD3AF235);
  II(c, d, a, b, x[2], 15, 0x2AD7D2BB);
  II(b, c, d, a, x[9], 21, 0xEB86D391);

  register_a_ += a;
  register_b_ += b;
  register_c_ += c;
  register_d_ += d;
}

int32_t MD5::AddToTotal(int32_t total, int32_t count) {
  const int64_t sum = int64_t{total} + count;
  if (sum > INT32_MAX || sum < INT32_MIN) Raise(ErrorNumber::kOverflow);
  return static_cast<int32_t>(sum);
}

uint32_t MD5::DoubleToLong(double d) {
  if (!(d >= 0 && d < 4294967296.0)) Raise(ErrorNumber::kOverflow);
  return static_cast<uint32_t>(d);
}

}  // namespace comsvc
