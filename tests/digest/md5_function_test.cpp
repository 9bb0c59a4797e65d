#include "digest/md5_function.h"

#define OPENSSL_SUPPRESS_DEPRECATED  // MD5_Transform: the bare compression function
#include <gtest/gtest.h>
#include <openssl/md5.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/runtime_error.h"
#include "core/utf8.h"
#include "platform/code_page.h"
#include "platform/locale.h"
#include "support/openssl_md5.h"

namespace comsvc {
namespace {

using MD5ForServer::MD5;

std::string Digest(const Value& message, const Value& stype) { return EncodeUtf8(MD5(message, stype).AsString()); }

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

int ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const RuntimeError& e) {
    return e.Number();
  }
  return 0;
}

// The digest of a message of one position per character code, each code
// OR-ed in sign-extended at its byte position, with RFC 1321's padding and a
// bit length of 8 per position; computed with OpenSSL's compression function.
std::string DigestOfCodes(const std::vector<int16_t>& codes) {
  const size_t length = codes.size();
  std::vector<uint32_t> words(((length + 8) / 64 + 1) * 16, 0);
  for (size_t i = 0; i < length; ++i) words[i / 4] |= static_cast<uint32_t>(int32_t{codes[i]}) << (8 * (i % 4));
  words[length / 4] |= 0x80u << (8 * (length % 4));
  words[words.size() - 2] = static_cast<uint32_t>(length * 8);
  MD5_CTX context;
  MD5_Init(&context);
  for (size_t k = 0; k < words.size(); k += 16) {
    unsigned char block[64];
    for (int j = 0; j < 64; ++j) block[j] = static_cast<unsigned char>(words[k + j / 4] >> (8 * (j % 4)));
    MD5_Transform(&context, block);
  }
  char hex[33];
  const uint32_t state[4] = {context.A, context.B, context.C, context.D};
  for (int k = 0; k < 16; ++k) std::snprintf(hex + 2 * k, 3, "%02x", (state[k / 4] >> (8 * (k % 4))) & 0xFF);
  return hex;
}

class Md5FunctionTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform::CodePage::SetCurrent(1252)); }
};

TEST_F(Md5FunctionTest, OnlyAValueEqualToThirtyTwoGivesAllDigits) {
  platform::Locale::SetDecimalSeparator(u'.');
  struct Case {
    const char* name;
    Value stype;
    bool full;
  };
  const Case cases[] = {
      {"int16 32", Value(int16_t{32}), true},    {"int32 32", Value(int32_t{32}), true},
      {"double 32", Value(32.0), true},          {"text 32", Value(u"32"), true},
      {"blanks", Value(u" 32 "), true},          {"text 32.0", Value(u"32.0"), true},
      {"exponent", Value(u"3.2e1"), true},       {"hex text", Value(u"&H20"), true},
      {"16", Value(int32_t{16}), false},         {"zero", Value(int32_t{0}), false},
      {"32.5", Value(32.5), false},              {"empty", Value(), false},
      {"null", Value(Null{}), false},            {"true", Value(true), false},
      {"x32", Value(u"x32"), false},             {"empty text", Value(u""), false},
      {"320", Value(u"320"), false},             {"dictionary", Value(std::make_shared<Dictionary>()), false},
  };

  for (const Case& c : cases) {
    EXPECT_EQ(Digest(Value(u"abc"), c.stype), c.full ? "900150983cd24fb0d6963f7d28e17f72" : "3cd24fb0d6963f7d")
        << c.name;
  }
}

TEST_F(Md5FunctionTest, MessageIsDigestedInItsTextForm) {
  struct Case {
    Value message;
    char16_t decimal;
    const char* text;
  };
  const Case cases[] = {
      {Value(), u'.', ""},   {Value(int32_t{-12}), u'.', "-12"}, {Value(true), u'.', "True"},
      {Value(2.5), u'.', "2.5"}, {Value(2.5), u',', "2,5"},
  };
  for (const Case& c : cases) {
    platform::Locale::SetDecimalSeparator(c.decimal);
    EXPECT_EQ(Digest(c.message, Value(int32_t{32})), Lower(testing::OpenSslMd5Hex(c.text))) << c.text;
  }
  EXPECT_EQ(Digest(Value(u"abc"), Value(u"32,0")), "900150983cd24fb0d6963f7d28e17f72");  // still ","
  platform::Locale::SetDecimalSeparator(u'.');
  EXPECT_EQ(ErrorOf([] { MD5(Value(Null{}), Value(int32_t{32})); }), 94);
  EXPECT_EQ(ErrorOf([] { MD5(Value(std::make_shared<Dictionary>()), Value(int32_t{32})); }), 13);
}

TEST_F(Md5FunctionTest, EachCharacterIsOnePositionHoldingItsCode) {
  EXPECT_EQ(Digest(Value(u"\u00E9"), Value(int32_t{32})), "3406877694691ddd1dfb0aca54681407");
  ASSERT_TRUE(platform::CodePage::SetCurrent(936));
  EXPECT_EQ(Digest(Value(u"\u4E2D"), Value(int32_t{32})), "6cba308f8d5f2b49971dbb43879a078c");
  // Not the digest of the character's two bytes D6 D0.
  EXPECT_NE(Digest(Value(u"\u4E2D"), Value(int32_t{32})), Lower(testing::OpenSslMd5Hex("\xD6\xD0")));

  // In code page 936 中 is D6 D0 and é is A8 A6: negative codes whose sign
  // bits cover the positions above their own.
  struct Case {
    std::u16string text;
    std::vector<int16_t> codes;
  };
  const Case cases[] = {
      {u"a\u4E2D", {'a', -10544}},  {u"\u4E2Da", {-10544, 'a'}},  {u"ab\u00E9", {'a', 'b', -22362}},
      {u"abc\u4E2D", {'a', 'b', 'c', -10544}}, {u"\u00A0", {'?'}},
      {std::u16string(60, u'\u4E2D'), std::vector<int16_t>(60, -10544)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Digest(Value(c.text), Value(int32_t{32})), DigestOfCodes(c.codes)) << EncodeUtf8(c.text);
  }
}

TEST_F(Md5FunctionTest, ShiftsAreLogicalAndRefuseCountsOutsideTheWord) {
  using MD5ForServer::internal::ShiftLeft;
  using MD5ForServer::internal::ShiftRight;
  struct Case {
    int32_t value, count, left, right;
  };
  const Case cases[] = {
      {0x12345678, 0, 0x12345678, 0x12345678}, {1, 31, INT32_MIN, 0},
      {-1, 31, INT32_MIN, 1},                  {INT32_MIN, 1, 0, 0x40000000},
      {-10544, 8, static_cast<int32_t>(0xFFD6D000), 0x00FFFFD6},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ShiftLeft(c.value, c.count), c.left) << c.value << " by " << c.count;
    EXPECT_EQ(ShiftRight(c.value, c.count), c.right) << c.value << " by " << c.count;
  }
  for (int32_t count : {-1, 32}) {
    EXPECT_EQ(ErrorOf([=] { ShiftLeft(1, count); }), 6);
    EXPECT_EQ(ErrorOf([=] { ShiftRight(1, count); }), 6);
  }
}

}  // namespace
}  // namespace comsvc
