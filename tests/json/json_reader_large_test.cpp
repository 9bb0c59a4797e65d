// Inputs large enough that a reader which recursed without bound, quoted
// without bound or went back over the text would crash or never finish.
#include <gtest/gtest.h>

#include <random>

#include "core/runtime_error.h"
#include "core/utf8.h"
#include "json/json_reader.h"

namespace comsvc::JSON {
namespace {

std::u16string Repeat(std::u16string_view piece, size_t times) {
  std::u16string text;
  for (size_t i = 0; i < times; ++i) text += piece;
  return text;
}

size_t CountLines(const std::u16string& text) {
  size_t lines = 0;
  for (size_t at = text.find(u"\r\n"); at != std::u16string::npos; at = text.find(u"\r\n", at + 2)) ++lines;
  return lines;
}

TEST(ReadJsonLarge, AMillionOpeningBracketsStopAtTheNestingBound) {
  const std::u16string description = Utf8ToUtf16(ErrorDescription(ErrorNumber::kOutOfStackSpace));
  for (std::u16string_view open : {u"[", u"{a:", u"[{'k':"}) {
    EXPECT_FALSE(ReadJson(Repeat(open, 1000000)).IsEmpty());
    EXPECT_EQ(ReaderErrors().rfind(description, 0), 0u);
    EXPECT_EQ(CountLines(ReaderErrors()), 1000u);
  }
}

TEST(ReadJsonLarge, AHundredMegabytesOfRandomInputAreRead) {
  std::mt19937 random(1);
  const char16_t steering[] = u"[]{}\"',:/*()\\ \r\ntfnrulase0123456789.-+Eux";
  for (bool any_unit : {true, false}) {
    std::u16string text(50'000'000, u' ');
    for (char16_t& c : text) c = any_unit ? static_cast<char16_t>(random()) : steering[random() % 41];
    for (char16_t first : {u'[', u'{'}) {
      text[0] = first;
      ReadJson(text);
    }
  }
  // Small documents inside one object: it goes on after every text error.
  const char16_t* pieces[] = {u"a:tru,", u"'b c':nul ", u"\"d\" 1,", u"e:[1,'x'],", u"/*c*/f:{g:\"\\u0041\"},"};
  std::u16string text = u"{";
  while (text.size() < 20'000'000) text += pieces[random() % 5];
  ReadJson(text);
  EXPECT_LT(ReaderErrors().size(), 10 * text.size());
  // Each level of a deep array quotes the rest of the text for one bad word.
  ReadJson(Repeat(u"[", 1000) + u"tru" + std::u16string(10'000'000, u' '));
  EXPECT_EQ(CountLines(ReaderErrors()), 1000u);
  EXPECT_LT(ReaderErrors().size(), 10'000'000u + 65536 + 1000 * 64);
}

}  // namespace
}  // namespace comsvc::JSON
