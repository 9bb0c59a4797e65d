// Inputs large or hostile enough that a reader which recursed without bound,
// quoted without bound or went back over the text would crash or never finish.
#include <gtest/gtest.h>

#include <random>

#include <comsvc/json_reader.h>
#include "picture.h"
#include "support/runtime_errors.h"

namespace comsvc::JSON {
namespace {

// Random text is read to its end, or to where its error text reaches its
// limit, each bad word's line quoting the whole rest of the text.
TEST(ReadJsonLarge, AHundredMegabytesOfRandomInputAreRead) {
  std::mt19937 random(1);
  const char16_t steering[] = u"[]{}\"',:/*()\\ \r\ntfnrulase0123456789.-+Eux";
  for (bool any_unit : {true, false}) {
    std::u16string text(50'000'000, u' ');
    for (char16_t& c : text) c = any_unit ? static_cast<char16_t>(random()) : steering[random() % 41];
    text[0] = u'[';
    const int error = testing::RaisedError([&] { Read(text); });
    EXPECT_TRUE(error == 0 || error == 7) << error;
  }
  // Each level of a deep array would report the one bad word again, in
  // 20 GB of error text.
  EXPECT_EQ(testing::RaisedError([&] { Read(Repeat(u"[", 1000) + u"tru" + std::u16string(10'000'000, u' ')); }), 7);
}

}  // namespace
}  // namespace comsvc::JSON
