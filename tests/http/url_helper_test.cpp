#include "http/url_helper.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "core/runtime_error.h"
#include "core/utf8.h"
#include "platform/code_page.h"
#include "platform/dialogs.h"
#include "platform/locale.h"

namespace comsvc::url_helper {
namespace {

// The parsed parts as "scheme|host|port|path|query".
std::string Show(const UrlParts& u) {
  return EncodeUtf8(u.Scheme + u"|" + u.Host + u"|") + std::to_string(u.Port) +
         EncodeUtf8(u"|" + u.Path + u"|" + u.Query);
}

// The runtime error number `action` raises; 0 when it raises none.
int32_t ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const RuntimeError& e) {
    return e.Number();
  }
  return 0;
}

class UrlHelperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::CodePage::SetCurrent(1252));
    platform::Locale::SetDecimalSeparator(u'.');
  }
};

TEST_F(UrlHelperTest, ParseUrlFollowsItsOrderOfSearchesAndDefaults) {
  struct Case {
    std::u16string url;
    std::string parts;
    bool schema_box = false;
  };
  const Case cases[] = {
      {u"http://server:8080/app/form?x=1", "http|server|8080|/app/form|x=1"},
      // The port text: empty, not a number, below 1 -> the default.
      {u"http://server/app", "http|server|80|/app|"},
      {u"http://server:/app", "http|server|80|/app|"},
      {u"http://server:abc/app", "http|server|80|/app|"},
      {u"http://server:-1/app", "http|server|80|/app|"},
      {u"http://server:32767/app", "http|server|32767|/app|"},
      // A numeric port is read as the locale reads numbers, halves to even.
      {u"http://server: 81 /app", "http|server|81|/app|"},
      {u"http://server:80.5/app", "http|server|80|/app|"},
      {u"http://server:81.5/app", "http|server|82|/app|"},
      // Without a scheme the port is always 80.
      {u"server:8080/app", "|server|80|/app|"},
      {u"/app", "||80|/app|"},
      // No slash after the host: everything is the host, no default port.
      {u"http://server", "http|server|0|/|"},
      {u"http://server:8080", "http|server:8080|0|/|"},
      {u"", "||0|/|"},
      // A colon after the first slash belongs to the path.
      {u"http://server/a:b", "http|server|80|/a:b|"},
      {u"http://server/p?a?b", "http|server|80|/p|a?b"},
      {u"http://server/p#frag?y", "http|server|80|/p#frag|y"},
      // The first "://" counts wherever it stands.
      {u"http://a://b/c", "http|a|80|//b/c|"},
      {u"http://:8080/x", "http||8080|/x|"},
      // Other schemes are reported, and keep what the host step found.
      {u"ftp://server:21/x?q", "ftp|server|21|/x|q", true},
      {u"HTTP://server/file", "HTTP|server|0|/file|", true},
      {u"ftp://server", "ftp|server|0|/|"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(EncodeUtf8(c.url));
    auto dialogs = std::make_shared<platform::ScriptedDialogs>();
    platform::SetDialogs(dialogs);
    EXPECT_EQ(Show(ParseUrl(c.url)), c.parts);
    ASSERT_EQ(dialogs->Records().size(), c.schema_box ? 1u : 0u);
    if (c.schema_box) {
      EXPECT_EQ(dialogs->Records()[0].text, u"Invalid protocol schema");
      EXPECT_EQ(dialogs->Records()[0].title, u"");
      EXPECT_EQ(dialogs->Records()[0].icon, platform::BoxIcon::kNone);
    }
  }
}

TEST_F(UrlHelperTest, PortsPositionsAndLengthsBeyond16BitsOverflow) {
  const std::u16string host(32766, u'h');
  const std::pair<std::u16string, int32_t> cases[] = {
      {u"http://server:32768/x", 6},
      // Positions count from 1 and stop at 32767.
      {u"http://" + host + u"/x", 0},
      {u"http://" + host + u"h/x", 6},  // "/" at 32768
      {u"http://" + host + u"h:1", 6},  // ":" at 32768, even with no slash
      {u"http://s/" + std::u16string(32767, u'p') + u"?q", 6},
      // What is never found has no position: long texts are fine without it.
      {u"http://" + std::u16string(40000, u'h'), 0},
  };
  for (const auto& [url, error] : cases) {
    EXPECT_EQ(ErrorOf([&] { ParseUrl(url); }), error) << "URL of " << url.size() << " characters";
  }
  EXPECT_EQ(ErrorOf([] { PercentEncode(std::u16string(32767, u'a')); }), 0);
  EXPECT_EQ(ErrorOf([] { PercentEncode(std::u16string(32768, u'a')); }), 6);
}

TEST_F(UrlHelperTest, PercentEncodeKeepsOnlyAsciiLettersAndDigits) {
  struct Case {
    int code_page;
    std::u16string text;
    std::u16string encoded;
  };
  const Case cases[] = {
      {1252, u"Az09", u"Az09"},
      {1252, u"a b&c=d", u"a%20b%26c%3Dd"},
      {1252, u"-._~*+%\n", u"%2D%2E%5F%7E%2A%2B%25%0A"},
      {1252, std::u16string(1, u'\0'), u"%00"},
      {1252, u"\u00e9\u00ff\u20ac", u"%E9%FF%80"},
      {1252, u"\u4e2d\U0001F600", u"%3F%3F%3F"},  // not in the code page: one "?" per code unit
      {1252, u"\uff11", u"%3F"},                  // fullwidth digit: not ASCII
      {936, u"a\u4e2d\u6587b", u"a%D6%D0%CE%C4b"},  // lead byte first
      {936, u"\u00e9\uff11", u"%A8%A6%A3%B1"},
      {936, u"\u00a0 ", u"%3F%20"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(EncodeUtf8(c.text) + " in " + std::to_string(c.code_page));
    ASSERT_TRUE(platform::CodePage::SetCurrent(c.code_page));
    EXPECT_EQ(PercentEncode(c.text), c.encoded);
  }
}

}  // namespace
}  // namespace comsvc::url_helper
