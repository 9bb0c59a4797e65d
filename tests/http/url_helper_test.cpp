#include <comsvc/url_helper.h>

#include <gtest/gtest.h>

#include <comsvc/utf8.h>
#include <comsvc/code_page.h>
#include <comsvc/dialogs.h>
#include <comsvc/testing/scripted_dialogs.h>
#include <comsvc/locale.h>
#include "support/runtime_errors.h"

namespace comsvc::url_helper {
namespace {

// The parsed parts as "scheme|host|port|path|query", or "error N".
std::string Parsed(const std::u16string& url) {
  return testing::ResultOrError([&] { return ParseUrl(url); }, [](const UrlParts& u) {
    return EncodeUtf8(u.Scheme + u"|" + u.Host + u"|" + Utf8ToUtf16(std::to_string(u.Port)) + u"|" + u.Path + u"|" +
                      u.Query);
  });
}

class UrlHelperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::CodePage::SetCurrent(1252));
    platform::Locale::SetDecimalSeparator(u'.');
  }
};

TEST_F(UrlHelperTest, ParseUrlFollowsItsOrderOfSearchesAndDefaults) {
  struct Case { std::u16string url; std::string parts; bool schema_box = false; };
  const std::u16string kHost(32766, u'h');
  const Case cases[] = {
      {u"http://server:8080/app/form?x=1", "http|server|8080|/app/form|x=1"},
      // The port text: missing or empty -> the default.
      {u"http://server/app", "http|server|80|/app|"}, {u"http://server:/app", "http|server|80|/app|"},
      // A numeric port is read as the locale reads numbers, halves to even.
      {u"http://server:80.5/app", "http|server|80|/app|"}, {u"http://server:81.5/app", "http|server|82|/app|"},
      // Without a scheme the port is always 80.
      {u"server:8080/app", "|server|80|/app|"}, {u"/app", "||80|/app|"},
      // No slash after the host: everything is the host, no default port.
      {u"http://server:8080", "http|server:8080|0|/|"},
      // A colon after the first slash belongs to the path.
      {u"http://server/a:b", "http|server|80|/a:b|"}, {u"http://server/p?a?b", "http|server|80|/p|a?b"},
      // The first "://" counts wherever it stands.
      {u"http://a://b/c", "http|a|80|//b/c|"},
      // Other schemes are reported, and keep what the host step found.
      {u"ftp://server:21/x?q", "ftp|server|21|/x|q", true}, {u"HTTP://server/file", "HTTP|server|0|/file|", true},
      // Ports, and positions of what is found, overflow beyond 32767; positions count from 1.
      {u"http://server:32768/x", "error 6"}, {u"http://" + kHost + u"/x", "http|" + EncodeUtf8(kHost) + "|80|/x|"},
      {u"http://" + kHost + u"h/x", "error 6"},  // "/" at 32768
      {u"http://s/" + std::u16string(32767, u'p') + u"?q", "error 6"},
      // What is never found has no position: long texts are fine without it.
      {u"http://" + kHost + kHost, "http|" + EncodeUtf8(kHost + kHost) + "|0|/|"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(EncodeUtf8(c.url.substr(0, 40)));
    auto dialogs = std::make_shared<platform::ScriptedDialogs>();
    platform::SetDialogs(dialogs);
    EXPECT_EQ(Parsed(c.url), c.parts);
    ASSERT_EQ(dialogs->Records().size(), c.schema_box ? 1u : 0u);
    if (c.schema_box) {
      EXPECT_EQ(dialogs->Records()[0].text, u"Invalid protocol schema");
    }
  }
}

TEST_F(UrlHelperTest, PercentEncodeKeepsOnlyAsciiLettersAndDigits) {
  struct Case { int code_page; std::u16string text, encoded; };
  const Case cases[] = {
      {1252, u"a b&c=d", u"a%20b%26c%3Dd"}, {1252, u"-._~*+%\n", u"%2D%2E%5F%7E%2A%2B%25%0A"},
      {1252, u"\u00e9\u00ff\u20ac", u"%E9%FF%80"},
      {1252, u"\u4e2d\U0001F600\uff11", u"%3F%3F%3F%3F"},  // not in the code page: one "?" per code unit
      {936, u"a\u4e2d\u6587b", u"a%D6%D0%CE%C4b"},  // lead byte first
      {936, u"\u00e9\uff11", u"%A8%A6%A3%B1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(EncodeUtf8(c.text) + " in " + std::to_string(c.code_page));
    ASSERT_TRUE(platform::CodePage::SetCurrent(c.code_page));
    EXPECT_EQ(PercentEncode(c.text), c.encoded);
  }
  EXPECT_EQ(testing::RaisedError([] { PercentEncode(std::u16string(32768, u'a')); }), 6);
}

}  // namespace
}  // namespace comsvc::url_helper
