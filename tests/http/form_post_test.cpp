#include "http/form_post.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/utf8.h"
#include "json/json_reader.h"
#include "platform/code_page.h"
#include "platform/dialogs.h"

namespace comsvc::Remote {
namespace {

std::string Utf8(std::u16string_view text) { return EncodeUtf8(text); }

class FormPostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::CodePage::SetCurrent(1252));
    platform::SetDialogs(dialogs_);
  }
  void TearDown() override { platform::SetDialogs(std::make_shared<platform::ScriptedDialogs>()); }
  std::shared_ptr<platform::ScriptedDialogs> dialogs_ = std::make_shared<platform::ScriptedDialogs>();
};

TEST_F(FormPostTest, RequestTextIsComposedByteForByte) {
  UrlParts u = BuildPostRequest(u"http://server/form", u"a=1&b=x y");
  EXPECT_EQ(Utf8(u.Body), "a=1&b=x%20y");
  EXPECT_EQ(Utf8(u.Headers),
            "Content-Type: application/x-www-form-urlencoded\r\n"
            "Content-Length: 11\r\n"
            "Client:comsvc/0.1.0\r\n");
  EXPECT_EQ(Utf8(u.RequestText),
            "POST /form HTTP/1.0\r\n"
            "Host: server\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n"
            "Content-Length: 11\r\n"
            "Client:comsvc/0.1.0\r\n"
            "\r\n"
            "a=1&b=x%20y");
  EXPECT_EQ(Utf8(u.Host), "server");
  EXPECT_EQ(u.Port, 80);
  EXPECT_TRUE(dialogs_->Records().empty());
}

TEST_F(FormPostTest, AnEmptyFormSendsNoBodyHeaders) {
  UrlParts u = BuildPostRequest(u"http://server/form", u"");
  EXPECT_EQ(u.Body, u"");
  EXPECT_EQ(Utf8(u.RequestText), "POST /form HTTP/1.0\r\nHost: server\r\nClient:comsvc/0.1.0\r\n\r\n");
}

TEST_F(FormPostTest, ThePortAndQueryNeverReachTheRequest) {
  UrlParts u = BuildPostRequest(u"http://server:8080/form?id=7", u"a=1");
  EXPECT_EQ(u.Port, 8080);
  EXPECT_EQ(Utf8(u.Query), "id=7");
  EXPECT_EQ(Utf8(u.RequestText).rfind("POST /form HTTP/1.0\r\nHost: server\r\n", 0), 0u);
  EXPECT_EQ(Utf8(u.RequestText).find("id=7"), std::string::npos);

  UrlParts bare = BuildPostRequest(u"http://server", u"a=1");
  EXPECT_EQ(Utf8(bare.RequestText).rfind("POST / HTTP/1.0\r\nHost: server\r\n", 0), 0u);
  EXPECT_EQ(bare.Port, 0);
}

TEST_F(FormPostTest, ValuesAreEncodedNamesAreNot) {
  struct Case {
    std::u16string form;
    std::string body;
  };
  const Case cases[] = {
      {u"a=", "a="},
      {u"=v", "=v"},
      {u"k=x=y", "k=x"},  // the text after a second "=" is lost
      {u"n=\u00e9", "n=%E9"},
      {u"\u00e9=1", "\xC3\xA9=1"},  // the name goes in as it is
      {u"a=1&b=2&c=3", "a=1&b=2&c=3"},
      {u"q=a+b%c", "q=a%2Bb%25c"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.form));
    UrlParts u = BuildPostRequest(u"http://server/f", c.form);
    EXPECT_EQ(Utf8(u.Body), c.body);
    EXPECT_NE(Utf8(u.Headers).find("Content-Length: " + std::to_string(u.Body.size()) + "\r\n"), std::string::npos);
  }
  UrlParts long_body = BuildPostRequest(u"http://server/f", u"v=" + std::u16string(98, u'x'));
  EXPECT_NE(Utf8(long_body.RequestText).find("\r\nContent-Length: 100\r\n"), std::string::npos);
}

TEST_F(FormPostTest, RefusedRequestsAreEmptyRecordsAfterACriticalBox) {
  struct Case {
    std::u16string url;
    std::u16string form;
    std::u16string message;
  };
  const Case cases[] = {
      {u"http://", u"a=1", u"Invalid Host"},
      {u"http:///form", u"a=1", u"Invalid Host"},
      // Line ends or other control characters would smuggle in header lines.
      {u"http://server\r\nX-Injected: 1/form", u"a=1", u"Invalid Host"},
      {u"http://ser\tver/form", u"a=1", u"Invalid Host"},
      {u"http://server/form\r\nX-Injected: 1", u"a=1", u"Invalid Path"},
      {u"http://server/form\n", u"a=1", u"Invalid Path"},
      {u"http://server/fo\x7Frm", u"a=1", u"Invalid Path"},
      // Items that are not name=value.
      {u"http://server/form", u"a=1&", u"Invalid Form: item 2 is empty"},
      {u"http://server/form", u"&a=1", u"Invalid Form: item 1 is empty"},
      {u"http://server/form", u"a=1&&b=2", u"Invalid Form: item 2 is empty"},
      {u"http://server/form", u"&", u"Invalid Form: item 1 is empty"},
      {u"http://server/form", u"a=1&b", u"Invalid Form: item 2 has no \"=\""},
      {u"http://server/form", u"abc", u"Invalid Form: item 1 has no \"=\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.url + u" " + c.form));
    auto dialogs = std::make_shared<platform::ScriptedDialogs>();
    platform::SetDialogs(dialogs);
    EXPECT_EQ(BuildPostRequest(c.url, c.form), UrlParts{});
    ASSERT_EQ(dialogs->Records().size(), 1u);
    EXPECT_EQ(Utf8(dialogs->Records()[0].text), Utf8(c.message));
    EXPECT_EQ(dialogs->Records()[0].title, u"ERROR");
    EXPECT_EQ(dialogs->Records()[0].icon, platform::BoxIcon::kCritical);
  }
}

TEST_F(FormPostTest, AnotherSchemeIsReportedButStillBuilt) {
  UrlParts u = BuildPostRequest(u"ftp://server/form", u"a=1");
  ASSERT_EQ(dialogs_->Records().size(), 1u);
  EXPECT_EQ(dialogs_->Records()[0].text, u"Invalid protocol schema");
  EXPECT_EQ(u.Port, 0);
  EXPECT_FALSE(u.RequestText.empty());
}

TEST(NormalizeLineEnds, EveryLineEndBecomesCrLf) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"", u""},
      {u"abc", u"abc"},
      {u"a\nb", u"a\r\nb"},
      {u"a\rb", u"a\r\nb"},
      {u"a\r\nb", u"a\r\nb"},
      {u"\r\r", u"\r\n\r\n"},
      {u"\n\r", u"\r\n\r\n"},
      {u"\r\r\n", u"\r\n\r\n"},
      {u"\n\n", u"\r\n\r\n"},
      {u"a\r", u"a\r\n"},
      {u"\r\n\r\n", u"\r\n\r\n"},
      {u"\u4e2d\n\t", u"\u4e2d\r\n\t"},
  };
  for (const auto& [in, out] : cases) {
    EXPECT_EQ(NormalizeLineEnds(in), out) << Utf8(in);
  }
}

TEST(ExtractReplyJson, ReadsTheDocumentFromTheFirstBrace) {
  Value root = ExtractReplyJson(
      u"HTTP/1.0 200 OK\r\nContent-Type: application/json\r\n\r\n{\"ok\":true,\"name\":\"x\"}\r\n");
  ASSERT_TRUE(root.IsObject());
  EXPECT_TRUE(root.AsObject()->Item(u"ok").AsBoolean());
  EXPECT_EQ(root.AsObject()->Item(u"name").AsString(), u"x");
  EXPECT_EQ(JSON::ReaderErrors(), u"");

  // The first "{" counts, even in a header line.
  Value early = ExtractReplyJson(u"HTTP/1.0 200 OK\r\nX-Note: {\"a\":1}\r\n\r\n{\"b\":2}");
  ASSERT_TRUE(early.IsObject());
  EXPECT_TRUE(early.AsObject()->Exists(u"a"));
  EXPECT_FALSE(early.AsObject()->Exists(u"b"));

  Value spaced = ExtractReplyJson(u"  {}  ");
  ASSERT_TRUE(spaced.IsObject());
  EXPECT_EQ(spaced.AsObject()->Count(), 0);
  EXPECT_EQ(JSON::ReaderErrors(), u"");
}

TEST(ExtractReplyJson, AReplyWithoutBraceGivesNothing) {
  EXPECT_TRUE(ExtractReplyJson(u"HTTP/1.0 500 Error\r\n\r\n[1,2]").IsEmpty());
  EXPECT_TRUE(ExtractReplyJson(u"").IsEmpty());
}

}  // namespace
}  // namespace comsvc::Remote
