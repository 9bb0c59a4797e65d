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

class FormPostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::CodePage::SetCurrent(1252));
    platform::SetDialogs(dialogs_);
  }
  std::shared_ptr<platform::ScriptedDialogs> dialogs_ = std::make_shared<platform::ScriptedDialogs>();
};

TEST_F(FormPostTest, RequestTextIsComposedByteForByte) {
  UrlParts u = BuildPostRequest(u"http://server:8080/form?id=7", u"a=1&b=x y");
  EXPECT_EQ(u.RequestText,
            u"POST /form HTTP/1.0\r\n"
            u"Host: server\r\n"
            u"Content-Type: application/x-www-form-urlencoded\r\n"
            u"Content-Length: 11\r\n"
            u"Client:comsvc/0.1.0\r\n"
            u"\r\n"
            u"a=1&b=x%20y");
  EXPECT_EQ(u.Headers,
            u"Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 11\r\nClient:comsvc/0.1.0\r\n");
  EXPECT_EQ(u.Port, 8080);
  // An empty form sends no body headers; a URL without path posts to "/".
  EXPECT_EQ(BuildPostRequest(u"http://server", u"").RequestText,
            u"POST / HTTP/1.0\r\nHost: server\r\nClient:comsvc/0.1.0\r\n\r\n");
  EXPECT_TRUE(dialogs_->Records().empty());
}

TEST_F(FormPostTest, RefusedRequestsAreEmptyRecordsAfterACriticalBox) {
  struct Case {
    std::u16string url;
    std::u16string form;
    std::u16string message;
  };
  const Case cases[] = {
      {u"http:///form", u"a=1", u"Invalid Host"},
      // Line ends or other control characters would smuggle in header lines.
      {u"http://server\r\nX-Injected: 1/form", u"a=1", u"Invalid Host"},
      {u"http://ser\tver/form", u"a=1", u"Invalid Host"},
      {u"http://server/form\r\nX-Injected: 1", u"a=1", u"Invalid Path"},
      {u"http://server/fo\x7Frm", u"a=1", u"Invalid Path"},
      // Items that are not name=value.
      {u"http://server/form", u"&a=1", u"Invalid Form: item 1 is empty"},
      {u"http://server/form", u"a=1&&b=2", u"Invalid Form: item 2 is empty"},
      {u"http://server/form", u"a=1&b", u"Invalid Form: item 2 has no \"=\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(EncodeUtf8(c.url + u" " + c.form));
    auto dialogs = std::make_shared<platform::ScriptedDialogs>();
    platform::SetDialogs(dialogs);
    EXPECT_EQ(BuildPostRequest(c.url, c.form), UrlParts{});
    ASSERT_EQ(dialogs->Records().size(), 1u);
    EXPECT_EQ(dialogs->Records()[0].text, c.message);
    EXPECT_EQ(dialogs->Records()[0].title, u"ERROR");
    EXPECT_EQ(dialogs->Records()[0].icon, platform::BoxIcon::kCritical);
  }
}

TEST_F(FormPostTest, AnotherSchemeIsReportedButStillBuilt) {
  EXPECT_EQ(BuildPostRequest(u"ftp://server/form", u"a=1").Body, u"a=1");
  ASSERT_EQ(dialogs_->Records().size(), 1u);
  EXPECT_EQ(dialogs_->Records()[0].text, u"Invalid protocol schema");
}

TEST(NormalizeLineEnds, EveryLineEndBecomesCrLf) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"abc", u"abc"},           {u"a\nb", u"a\r\nb"},       {u"a\rb", u"a\r\nb"},
      {u"a\r\nb", u"a\r\nb"},     {u"\r\r", u"\r\n\r\n"},     {u"\n\r", u"\r\n\r\n"},
      {u"\r\r\n", u"\r\n\r\n"},   {u"\n\n", u"\r\n\r\n"},     {u"a\r", u"a\r\n"},
      {u"\u4e2d\n\t", u"\u4e2d\r\n\t"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(NormalizeLineEnds(in), out) << EncodeUtf8(in);
}

TEST(ExtractReplyJson, ReadsTheDocumentFromTheFirstBrace) {
  Value root = ExtractReplyJson(u"HTTP/1.0 200 OK\r\nContent-Type: application/json\r\n\r\n{\"ok\":true}\r\n");
  ASSERT_TRUE(root.IsObject());
  EXPECT_TRUE(root.AsObject()->Item(u"ok").AsBoolean());
  EXPECT_EQ(JSON::ReaderErrors(), u"");
  // The first "{" counts, even in a header line.
  Value early = ExtractReplyJson(u"HTTP/1.0 200 OK\r\nX-Note: {\"a\":1}\r\n\r\n{\"b\":2}");
  ASSERT_TRUE(early.IsObject());
  EXPECT_TRUE(early.AsObject()->Exists(u"a"));
  EXPECT_FALSE(early.AsObject()->Exists(u"b"));
  // No "{": nothing.
  EXPECT_TRUE(ExtractReplyJson(u"HTTP/1.0 500 Error\r\n\r\n[1,2]").IsEmpty());
  EXPECT_TRUE(ExtractReplyJson(u"").IsEmpty());
}

}  // namespace
}  // namespace comsvc::Remote
