// MD5 (RFC 1321) as a stateful digest context: MD5Init, any number of
// MD5Update calls, MD5Final, then the digest as 32 uppercase hexadecimal
// digits (GetValues) or as the signed decimal values of the four chaining
// registers. Md5_String_Calc and Md5_File_Calc do all of it in one call.
//
// The registers and the byte count are signed 32-bit quantities to the
// caller; inside, the registers are kept as their unsigned bit patterns, on
// which every addition is modulo 2^32.
//
// Errors are raised as numbered runtime errors (6, 9; see each member);
// Md5_File_Calc alone never raises and answers "" for a file it cannot
// digest. An instance owns its context; the file is opened and closed
// within the one call.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace comsvc {

// A byte array as a caller hands it over: its elements and the index of its
// first element. MD5Update reads it from index 0 whatever its lower bound.
class ByteArrayRef {
 public:
  ByteArrayRef(std::span<const uint8_t> elements, int32_t lower_bound = 0)
      : elements_(elements), lower_bound_(lower_bound) {}
  ByteArrayRef(const std::vector<uint8_t>& elements, int32_t lower_bound = 0)
      : ByteArrayRef(std::span<const uint8_t>(elements), lower_bound) {}
  ByteArrayRef(std::string_view bytes)
      : ByteArrayRef(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())) {}

  // The elements at indices 0 to count - 1, which must all exist; raises
  // error 9 (subscript out of range) otherwise.
  const uint8_t* FromIndexZero(int32_t count) const;

 private:
  std::span<const uint8_t> elements_;
  int32_t lower_bound_;
};

class MD5 {
 public:
  // The registers as signed decimal text ("-271733879"), at any time.
  std::u16string RegisterA() const;
  std::u16string RegisterB() const;
  std::u16string RegisterC() const;
  std::u16string RegisterD() const;

  // The digest of the text's bytes in the ANSI code page. Errors reach the
  // caller: a text of more than 32767 bytes raises error 6.
  std::u16string Md5_String_Calc(const std::u16string& SourceString);
  // The digest of a file's bytes, or "" when the file cannot be digested
  // (missing, a directory, unreadable, 268435456 bytes or more). Never
  // raises and never creates the file.
  std::u16string Md5_File_Calc(const std::u16string& InFile);
  // Registers A, B, C, D as 32 uppercase hexadecimal digits, each register
  // least significant byte first.
  std::u16string GetValues() const;

  void MD5Init();
  // Pads the message and appends its bit length; the registers then hold the
  // digest. Raises error 6 when 268435456 bytes or more were fed.
  void MD5Final();
  // Feeds InputBuffer's elements 0 to InputLen - 1. Raises error 6 when
  // InputLen exceeds 32767 or the byte count would pass 2147483647, error 9
  // when InputBuffer lacks an element that InputLen asks for. A length above
  // 32767 is refused before anything changes; after the other failures the
  // context is unusable until MD5Init. A negative InputLen lowers the byte
  // count by that much and feeds nothing.
  void MD5Update(const int32_t& InputLen, const ByteArrayRef& InputBuffer);
  // Rotates `value` left by Bits mod 32 (remainder with the sign of Bits),
  // writing the reduced count back to Bits and the rotated word back to
  // `value`, and returns it. A count of 0 or below leaves `value` as it is.
  int32_t LongLeftRotate(int32_t& value, int32_t& Bits);

 private:
  static constexpr int32_t kMaxUpdateLength = 32767;  // input positions are 16-bit
  static constexpr int kBlockSize = 64;

  static std::string StringToAnsiBytes(const std::u16string& text);
  // Writes the register's 8 uppercase hexadecimal digits, least significant
  // byte first, to hex[0..7].
  static void RegisterToHex(uint32_t word, char16_t* hex);
  void MD5Transform(const uint8_t* block);
  static void Decode(const uint8_t* block, uint32_t* words);
  // The four rounds' steps: a = b + (a + f(b, c, d) + x + t) rotated by s.
  static void FF(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t t);
  static void GG(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t t);
  static void HH(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t t);
  static void II(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t t);
  // The signed byte count plus `count`; error 6 when it leaves 32 bits.
  static int32_t AddToTotal(int32_t total, int32_t count);
  // A word given by its unsigned value: error 6 outside 0 <= d < 2^32.
  static uint32_t DoubleToLong(double d);

  // Md5_File_Calc without the catching; "" for a file that cannot be read.
  std::u16string DigestFile(const std::u16string& path);
  // Moves `count` input bytes through BlockBuffer, which holds `buffered`
  // bytes, compressing every block that fills.
  void Absorb(int32_t buffered, const uint8_t* input, int32_t count);

  uint32_t register_a_ = 0;
  uint32_t register_b_ = 0;
  uint32_t register_c_ = 0;
  uint32_t register_d_ = 0;
  int32_t byte_total_ = 0;
  uint8_t block_buffer_[kBlockSize] = {};
};

}  // namespace comsvc
