#include <comsvc/form_post.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <comsvc/utf8.h>
#include <comsvc/code_page.h>
#include <comsvc/dialogs.h>

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
  EXPECT_EQ(BuildPostRequest(u"http://server:8080/form?id=7", u"a=1&b=x y").RequestText,
            u"POST /form HTTP/1.0\r\n"
            u"Host: server\r\n"
            u"Content-Type: application/x-www-form-urlencoded\r\n"
            u"Content-Length: 11\r\n"
            u"Client:comsvc/" COMSVC_VERSION "\r\n"
            u"\r\n"
            u"a=1&b=x%20y");
  // An empty form sends no body headers; a URL without path posts to "/".
  EXPECT_EQ(BuildPostRequest(u"http://server", u"").RequestText,
            u"POST / HTTP/1.0\r\nHost: server\r\nClient:comsvc/" COMSVC_VERSION "\r\n\r\n");
  EXPECT_TRUE(dialogs_->Records().empty());
}

TEST_F(FormPostTest, RefusedRequestsAreEmptyRecordsAfterACriticalBox) {
  // Each case is the URL, "?", then the form.
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"http:///form?a=1", u"Invalid Host"},
      // Line ends or other control characters would smuggle in header lines.
      {u"http://server\r\nX-Injected: 1/form?a=1", u"Invalid Host"},
      {u"http://server/form\r\nX-Injected: 1?a=1", u"Invalid Path"},
      // Items that are not name=value.
      {u"http://server/form?a=1&&b=2", u"Invalid Form: item 2 is empty"},
      {u"http://server/form?a=1&b", u"Invalid Form: item 2 has no \"=\""},
  };
  for (const auto& [request, message] : cases) {
    const std::u16string url = request.substr(0, request.find(u'?'));
    SCOPED_TRACE(EncodeUtf8(request));
    EXPECT_EQ(BuildPostRequest(url, request.substr(url.size() + 1)), UrlParts{});
    EXPECT_EQ(dialogs_->Records().back().text, message);
    EXPECT_EQ(dialogs_->Records().back().icon, platform::BoxIcon::kCritical);
  }
  EXPECT_EQ(dialogs_->Records().size(), std::size(cases));
}

TEST(NormalizeLineEnds, EveryLineEndBecomesCrLf) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"a\nb", u"a\r\nb"},     {u"a\rb", u"a\r\nb"},     {u"a\r\nb", u"a\r\nb"},
      {u"\n\r", u"\r\n\r\n"},   {u"\r\r\n", u"\r\n\r\n"}, {u"\u4e2d\r", u"\u4e2d\r\n"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(NormalizeLineEnds(in), out) << EncodeUtf8(in);
}

TEST(ExtractReplyJson, ReadsTheDocumentFromTheFirstBrace) {
  Value root = ExtractReplyJson(u"HTTP/1.0 200 OK\r\nContent-Type: application/json\r\n\r\n{\"ok\":true}\r\n");
  ASSERT_TRUE(root.IsObject());
  EXPECT_TRUE(root.AsObject()->Item(u"ok").AsBoolean());
  // The first "{" counts, even in a header line.
  Value early = ExtractReplyJson(u"HTTP/1.0 200 OK\r\nX-Note: {\"a\":1}\r\n\r\n{\"b\":2}");
  ASSERT_TRUE(early.IsObject());
  EXPECT_TRUE(early.AsObject()->Exists(u"a"));
  // No "{": nothing.
  EXPECT_TRUE(ExtractReplyJson(u"HTTP/1.0 500 Error\r\n\r\n[1,2]").IsEmpty());
}

}  // namespace
}  // namespace comsvc::Remote
