#include <comsvc/form_post.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <comsvc/utf8.h>
#include <comsvc/code_page.h>
#include <comsvc/dialogs.h>
#include <comsvc/testing/scripted_dialogs.h>

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
      // Line ends would smuggle in header lines.
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

// Only what would break the request line is refused; every other control
// character reaches the request line as written.
TEST_F(FormPostTest, HostAndPathRefuseOnlyLineBreaksAndNul) {
  using namespace std::string_literals;
  struct Case {
    std::u16string url;
    std::u16string refusal;  // empty: accepted
    std::u16string request_line;
    std::u16string host_line;
  };
  const Case cases[] = {
      {u"http://ser\tver/a\tb", u"", u"POST /a\tb HTTP/1.0", u"Host: ser\tver"},
      {u"http://ser\x7Fver/a\x7F", u"", u"POST /a\x7F HTTP/1.0", u"Host: ser\x7Fver"},
      {u"http://server/\x01\x1B\x1F", u"", u"POST /\x01\x1B\x1F HTTP/1.0", u"Host: server"},
      {u"http://ser\rver/a", u"Invalid Host", {}, {}},
      {u"http://ser\nver/a", u"Invalid Host", {}, {}},
      {u"http://ser\0ver/a"s, u"Invalid Host", {}, {}},
      {u"http://server/a\rb", u"Invalid Path", {}, {}},
      {u"http://server/a\nb", u"Invalid Path", {}, {}},
      {u"http://server/a\0b"s, u"Invalid Path", {}, {}},
      {u"http://", u"Invalid Host", {}, {}},
      {u"http://:8080/a", u"Invalid Host", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(EncodeUtf8(c.url));
    const size_t boxes = dialogs_->Records().size();
    const UrlParts request = BuildPostRequest(c.url, u"a=1");
    if (!c.refusal.empty()) {
      EXPECT_EQ(request, UrlParts{});
      ASSERT_EQ(dialogs_->Records().size(), boxes + 1);
      EXPECT_EQ(dialogs_->Records().back().text, c.refusal);
      continue;
    }
    EXPECT_EQ(dialogs_->Records().size(), boxes);
    EXPECT_EQ(request.RequestText.substr(0, request.RequestText.find(u"\r\n")), c.request_line);
    EXPECT_NE(request.RequestText.find(u"\r\n" + c.host_line + u"\r\n"), std::u16string::npos);
  }
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
