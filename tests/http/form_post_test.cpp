#include <comsvc/form_post.h>

#include <gtest/gtest.h>

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
  // A URL with control characters, its request line and its Host line.
  const std::tuple<std::u16string, std::u16string, std::u16string> made[] = {
      {u"http://ser\tver/a\tb", u"POST /a\tb HTTP/1.0", u"Host: ser\tver"},
      {u"http://ser\x7Fver/a\x7F", u"POST /a\x7F HTTP/1.0", u"Host: ser\x7Fver"},
      {u"http://server/\x01\x1B\x1F", u"POST /\x01\x1B\x1F HTTP/1.0", u"Host: server"},
  };
  for (const auto& [url, request_line, host_line] : made) {
    const std::u16string text = BuildPostRequest(url, u"a=1").RequestText;
    EXPECT_EQ(text.substr(0, text.find(u"\r\n")), request_line);
    EXPECT_NE(text.find(u"\r\n" + host_line + u"\r\n"), std::u16string::npos) << EncodeUtf8(url);
  }
  EXPECT_TRUE(dialogs_->Records().empty());
  // The URL, the form and the text of the box shown instead of the request.
  const std::tuple<std::u16string, std::u16string, std::u16string> refused[] = {
      {u"http://ser\rver/a", u"a=1", u"Invalid Host"}, {u"http://ser\nver/a", u"a=1", u"Invalid Host"},
      {u"http://ser\0ver/a"s, u"a=1", u"Invalid Host"},
      {u"http://server\r\nX-Injected: 1/form", u"a=1", u"Invalid Host"},
      {u"http://server/a\rb", u"a=1", u"Invalid Path"}, {u"http://server/a\nb", u"a=1", u"Invalid Path"},
      {u"http://server/a\0b"s, u"a=1", u"Invalid Path"},
      {u"http://server/form\r\nX-Injected: 1", u"a=1", u"Invalid Path"},
      {u"http://", u"a=1", u"Invalid Host"}, {u"http:///form", u"a=1", u"Invalid Host"},
      {u"http://:8080/a", u"a=1", u"Invalid Host"},
      {u"http://server/form", u"a=1&&b=2", u"Invalid Form: item 2 is empty"},
      {u"http://server/form", u"a=1&b", u"Invalid Form: item 2 has no \"=\""},
  };
  for (const auto& [url, form, box] : refused) {
    SCOPED_TRACE(EncodeUtf8(url + u" " + form));
    const size_t boxes = dialogs_->Records().size();
    EXPECT_EQ(BuildPostRequest(url, form), UrlParts{});
    ASSERT_EQ(dialogs_->Records().size(), boxes + 1);
    EXPECT_EQ(std::pair(dialogs_->Records().back().text, dialogs_->Records().back().icon),
              std::pair(box, platform::BoxIcon::kCritical));
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
  // The first "{" counts, even in a header line.
  Value early = ExtractReplyJson(u"HTTP/1.0 200 OK\r\nX-Note: {\"a\":1}\r\n\r\n{\"b\":2}");
  ASSERT_TRUE(early.IsObject());
  EXPECT_TRUE(early.AsObject()->Exists(u"a"));
  // No "{": nothing.
  EXPECT_TRUE(ExtractReplyJson(u"HTTP/1.0 500 Error\r\n\r\n[1,2]").IsEmpty());
}

}  // namespace
}  // namespace comsvc::Remote
