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
            u"POST /form HTTP/1.0\r\nHost: server\r\nContent-Type: application/x-www-form-urlencoded\r\n"
            u"Content-Length: 11\r\nClient:comsvc/" COMSVC_VERSION "\r\n\r\na=1&b=x%20y");
  // An empty form sends no body headers; a URL without path posts to "/".
  EXPECT_EQ(BuildPostRequest(u"http://server", u"").RequestText,
            u"POST / HTTP/1.0\r\nHost: server\r\nClient:comsvc/" COMSVC_VERSION "\r\n\r\n");
  EXPECT_TRUE(dialogs_->Records().empty());
}

// Only what would break the request (a line end or NUL in the host or the
// path, an item that is not name=value) is refused: a critical box, then an
// empty record. Every other control character reaches the request as written.
TEST_F(FormPostTest, RefusesOnlyWhatWouldBreakTheRequest) {
  using namespace std::string_literals;
  // refusal: the box's text; empty when the request is made.
  struct Case { std::u16string url, form = u"a=1", refusal = u"", request_line = u"", host_line = u""; };
  const Case cases[] = {
      {.url = u"http://ser\tver/a\tb", .request_line = u"POST /a\tb HTTP/1.0", .host_line = u"Host: ser\tver"},
      {.url = u"http://ser\x7Fver/a\x7F", .request_line = u"POST /a\x7F HTTP/1.0", .host_line = u"Host: ser\x7Fver"},
      {.url = u"http://server/\x01\x1B\x1F", .request_line = u"POST /\x01\x1B\x1F HTTP/1.0",
       .host_line = u"Host: server"},
      {.url = u"http://ser\rver/a", .refusal = u"Invalid Host"},
      {.url = u"http://ser\nver/a", .refusal = u"Invalid Host"},
      {.url = u"http://ser\0ver/a"s, .refusal = u"Invalid Host"},
      {.url = u"http://server\r\nX-Injected: 1/form", .refusal = u"Invalid Host"},
      {.url = u"http://server/a\rb", .refusal = u"Invalid Path"},
      {.url = u"http://server/a\nb", .refusal = u"Invalid Path"},
      {.url = u"http://server/a\0b"s, .refusal = u"Invalid Path"},
      {.url = u"http://server/form\r\nX-Injected: 1", .refusal = u"Invalid Path"},
      {.url = u"http://", .refusal = u"Invalid Host"},
      {.url = u"http:///form", .refusal = u"Invalid Host"},
      {.url = u"http://:8080/a", .refusal = u"Invalid Host"},
      {.url = u"http://server/form", .form = u"a=1&&b=2", .refusal = u"Invalid Form: item 2 is empty"},
      {.url = u"http://server/form", .form = u"a=1&b", .refusal = u"Invalid Form: item 2 has no \"=\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(EncodeUtf8(c.url + u" " + c.form));
    const size_t boxes = dialogs_->Records().size();
    const UrlParts request = BuildPostRequest(c.url, c.form);
    ASSERT_EQ(dialogs_->Records().size(), boxes + !c.refusal.empty());
    if (!c.refusal.empty()) {
      EXPECT_EQ(request, UrlParts{});
      EXPECT_EQ(std::pair(dialogs_->Records().back().text, dialogs_->Records().back().icon),
                std::pair(c.refusal, platform::BoxIcon::kCritical));
      continue;
    }
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
