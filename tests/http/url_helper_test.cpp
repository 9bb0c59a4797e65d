#include "http/url_helper.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/runtime_error.h"
#include "core/utf8.h"
#include "platform/code_page.h"
#include "platform/dialogs.h"
#include "platform/locale.h"

namespace comsvc::url_helper {
namespace {

std::string Utf8(std::u16string_view text) { return EncodeUtf8(text); }

class UrlHelperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::CodePage::SetCurrent(1252));
    platform::Locale::SetDecimalSeparator(u'.');
    platform::SetDialogs(dialogs_);
  }
  void TearDown() override { platform::SetDialogs(std::make_shared<platform::ScriptedDialogs>()); }
  std::shared_ptr<platform::ScriptedDialogs> dialogs_ = std::make_shared<platform::ScriptedDialogs>();
};

struct ParseCase {
  std::u16string url;
  std::u16string scheme;
  std::u16string host;
  int32_t port;
  std::u16string path;
  std::u16string query;
  bool schema_box = false;
};

TEST_F(UrlHelperTest, ParseUrlFollowsItsOrderOfSearchesAndDefaults) {
  const ParseCase cases[] = {
      {u"http://server:8080/app/form?x=1", u"http", u"server", 8080, u"/app/form", u"x=1"},
      {u"http://server/app", u"http", u"server", 80, u"/app", u""},
      // The port text: empty, not a number, below 1 -> the default.
      {u"http://server:/app", u"http", u"server", 80, u"/app", u""},
      {u"http://server:abc/app", u"http", u"server", 80, u"/app", u""},
      {u"http://server:0/app", u"http", u"server", 80, u"/app", u""},
      {u"http://server:-1/app", u"http", u"server", 80, u"/app", u""},
      {u"http://server:443/app", u"http", u"server", 443, u"/app", u""},
      {u"http://server:32767/app", u"http", u"server", 32767, u"/app", u""},
      // A numeric port is read as the locale reads numbers, halves to even.
      {u"http://server: 81 /app", u"http", u"server", 81, u"/app", u""},
      {u"http://server:80.5/app", u"http", u"server", 80, u"/app", u""},
      {u"http://server:81.5/app", u"http", u"server", 82, u"/app", u""},
      // Without a scheme the port is always 80.
      {u"server/app", u"", u"server", 80, u"/app", u""},
      {u"server:8080/app", u"", u"server", 80, u"/app", u""},
      {u"://server:8080/app", u"", u"server", 80, u"/app", u""},
      {u"/app", u"", u"", 80, u"/app", u""},
      // No slash after the host: everything is the host, no default port.
      {u"http://server", u"http", u"server", 0, u"/", u""},
      {u"http://server:8080", u"http", u"server:8080", 0, u"/", u""},
      {u"http://server?x=1", u"http", u"server?x=1", 0, u"/", u""},
      {u"", u"", u"", 0, u"/", u""},
      // A colon after the first slash belongs to the path.
      {u"http://server/a:b", u"http", u"server", 80, u"/a:b", u""},
      {u"http://server/p?", u"http", u"server", 80, u"/p", u""},
      {u"http://server/p?a?b", u"http", u"server", 80, u"/p", u"a?b"},
      {u"http://server/p#frag?y", u"http", u"server", 80, u"/p#frag", u"y"},
      // The first "://" counts wherever it stands.
      {u"http://a://b/c", u"http", u"a", 80, u"//b/c", u""},
      {u"http://:8080/x", u"http", u"", 8080, u"/x", u""},
      // Other schemes are reported, and keep what the host step found.
      {u"ftp://server/file", u"ftp", u"server", 0, u"/file", u"", true},
      {u"HTTP://server/file", u"HTTP", u"server", 0, u"/file", u"", true},
      {u"ftp://server:21/x?q", u"ftp", u"server", 21, u"/x", u"q", true},
      {u"ftp://server", u"ftp", u"server", 0, u"/", u"", false},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(Utf8(c.url));
    auto dialogs = std::make_shared<platform::ScriptedDialogs>();
    platform::SetDialogs(dialogs);
    UrlParts parts = ParseUrl(c.url);
    EXPECT_EQ(Utf8(parts.Scheme), Utf8(c.scheme));
    EXPECT_EQ(Utf8(parts.Host), Utf8(c.host));
    EXPECT_EQ(parts.Port, c.port);
    EXPECT_EQ(Utf8(parts.Path), Utf8(c.path));
    EXPECT_EQ(Utf8(parts.Query), Utf8(c.query));
    EXPECT_TRUE(parts.Headers.empty() && parts.Body.empty() && parts.RequestText.empty());
    ASSERT_EQ(dialogs->Records().size(), c.schema_box ? 1u : 0u);
    if (c.schema_box) {
      const auto& box = dialogs->Records()[0];
      EXPECT_EQ(box.text, u"Invalid protocol schema");
      EXPECT_EQ(box.title, u"");
      EXPECT_EQ(box.icon, platform::BoxIcon::kNone);
    }
  }
}

void ExpectOverflow(std::u16string_view url) {
  try {
    ParseUrl(url);
    ADD_FAILURE() << "no overflow for a URL of " << url.size() << " characters";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), 6);
  }
}

TEST_F(UrlHelperTest, PortsAndPositionsBeyond16BitsOverflow) {
  ExpectOverflow(u"http://server:40000/x");
  ExpectOverflow(u"http://server:-40000/x");
  // Positions count from 1 and stop at 32767.
  std::u16string host(32766, u'h');
  EXPECT_EQ(ParseUrl(u"http://" + host + u"/x").Host.size(), 32766u);
  ExpectOverflow(u"http://" + host + u"h/x");                  // "/" at 32768
  ExpectOverflow(u"http://" + host + u"h:1");                  // ":" at 32768, even with no slash
  ExpectOverflow(host + u"hh://server/x");                     // "://" at 32769
  ExpectOverflow(u"http://s/" + std::u16string(32767, u'p') + u"?q");  // "?" in the rest
  // What is never found has no position: long texts are fine without it.
  EXPECT_EQ(ParseUrl(u"http://" + std::u16string(40000, u'h')).Host.size(), 40000u);
}

struct EncodeCase {
  int code_page;
  std::u16string text;
  std::u16string encoded;
};

TEST_F(UrlHelperTest, PercentEncodeKeepsOnlyAsciiLettersAndDigits) {
  const EncodeCase cases[] = {
      {1252, u"", u""},
      {1252, u"Az09", u"Az09"},
      {1252, u"a b&c=d", u"a%20b%26c%3Dd"},
      {1252, u"-._~*+%", u"%2D%2E%5F%7E%2A%2B%25"},
      {1252, u"\n\r\t", u"%0A%0D%09"},
      {1252, std::u16string(1, u'\0'), u"%00"},
      {1252, u"\u00e9\u00ff\u20ac", u"%E9%FF%80"},
      {1252, u"\u4e2d\u0101", u"%3F%3F"},        // not in the code page
      {1252, u"\U0001F600", u"%3F%3F"},          // one "?" per code unit
      {1252, u"\uff11", u"%3F"},                 // fullwidth digit: not ASCII
      {936, u"\u00e9", u"%A8%A6"},               // lead byte first
      {936, u"a\u4e2d\u6587b", u"a%D6%D0%CE%C4b"},
      {936, u"\uff11", u"%A3%B1"},
      {936, u"\u00a0 ", u"%3F%20"},
  };
  for (const EncodeCase& c : cases) {
    SCOPED_TRACE(Utf8(c.text) + " in " + std::to_string(c.code_page));
    ASSERT_TRUE(platform::CodePage::SetCurrent(c.code_page));
    EXPECT_EQ(Utf8(PercentEncode(c.text)), Utf8(c.encoded));
  }
}

TEST_F(UrlHelperTest, PercentEncodeCountsCharactersIn16Bits) {
  EXPECT_EQ(PercentEncode(std::u16string(32767, u'a')).size(), 32767u);
  try {
    PercentEncode(std::u16string(32768, u'a'));
    ADD_FAILURE() << "no overflow";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), 6);
  }
}

}  // namespace
}  // namespace comsvc::url_helper
