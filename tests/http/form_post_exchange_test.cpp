// The form post exchange against real peers on loopback: an HTTP server
// (cpp-httplib) that parses what we send, and peers that misbehave.
#include <gtest/gtest.h>

#include <numeric>

#include <comsvc/utf8.h>
#include <comsvc/form_post.h>
#include <comsvc/code_page.h>
#include <comsvc/testing/scripted_dialogs.h>
#include "support/loop_waits.h"
#include "support/loopback_peer.h"

namespace comsvc::Remote {
namespace {

using namespace std::chrono_literals;
using platform::MessageLoop;
using testing::FormServer;
using testing::LoopbackPeer;

std::u16string UrlOf(int port) { return u"http://127.0.0.1:" + Utf8ToUtf16(std::to_string(port)) + u"/form"; }

class ExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::CodePage::SetCurrent(1252));
    platform::SetDialogs(dialogs_);
  }
  // An interactive owner that keeps what its handlers were given.
  PostOwner Owner() {
    const auto on_reply = [this](const std::u16string& text) { replies_.push_back(text), ++replies_handed_on_; };
    return {true, on_reply, [this](int32_t number, auto&) { error_ = number; }, [this] { closed_ = true; }};
  }
  // Posts, then serves the loop until the exchange has ended (peer close or error).
  bool PostAndServe(PostExchange& exchange, std::u16string_view url, std::u16string_view form = u"a=1") {
    replies_.clear(), error_.reset(), closed_ = false;
    exchange.Post(url, form);
    return MessageLoop::Current().RunUntil([&] { return closed_ || error_; }, MessageLoop::Clock::now() + 60s);
  }
  std::u16string Joined() const { return std::accumulate(replies_.begin(), replies_.end(), std::u16string()); }
  // A whole post to the well-behaved server: the JSON document of its reply.
  Value PostAndReadBack(PostExchange& exchange, FormServer& server, std::u16string_view form = u"a=1") {
    return PostAndServe(exchange, Utf8ToUtf16(server.Url()), form) && closed_ ? ExtractReplyJson(Joined()) : Value();
  }

  std::shared_ptr<platform::ScriptedDialogs> dialogs_ = std::make_shared<platform::ScriptedDialogs>();
  std::vector<std::u16string> replies_;
  std::atomic<size_t> replies_handed_on_{0};  // read by the peers' threads
  std::optional<int32_t> error_;
  bool closed_ = false;
};

TEST_F(ExchangeTest, TheServerParsesTheFormWeMeantInEitherCodePage) {
  // The code-page bytes of "é" and of q that the server must decode, the bytes
  // of q as they come back through the code page, the value of the last field.
  struct Case { int code_page; std::string e_acute, q; std::u16string echo; std::string last; };
  const Case cases[] = {
      {1252, "\xE9", "??", u"??", "x"},
      // Content-Length counts characters: a double-byte name pushes the last
      // byte of the body beyond it.
      {936, "\xA8\xA6", "\xD6\xD0\xCE\xC4", u"\u4e2d\u6587", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code_page);
    ASSERT_TRUE(platform::CodePage::SetCurrent(c.code_page));
    FormServer server;
    PostExchange exchange(Owner());
    // Values are percent-encoded, names go as they are; a second "=" ends the value.
    Value root = PostAndReadBack(exchange, server, u"name=Jos\u00e9 Li&q=\u4e2d\u6587&sym=a+b~c.d%&empty=&\u00e9=x=y");
    ASSERT_TRUE(root.IsObject());
    EXPECT_EQ(root.AsObject()->Item(u"echo").AsString(), c.echo);

    auto seen = server.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].method + " " + seen[0].path + " " + seen[0].get_header_value("Host") + " " +
                  seen[0].get_header_value("Content-Type") + " " + seen[0].get_header_value("Content-Length"),
              "POST /form 127.0.0.1 application/x-www-form-urlencoded " + std::to_string(seen[0].body.size()));
    const httplib::Params fields = {
        {"name", "Jos" + c.e_acute + " Li"}, {"q", c.q}, {"sym", "a+b~c.d%"}, {"empty", ""}, {c.e_acute, c.last}};
    EXPECT_EQ(seen[0].params, fields);
  }
}

TEST_F(ExchangeTest, EveryMisbehavingPeerEndsTheExchangeAndTheNextPostWorks) {
  const std::string ten_megabytes(10 << 20, 'x');
  // The answer, with pauses between its pieces; whether the peer then ends the
  // connection with a reset (error 10054) rather than an orderly close; the
  // pieces as the reply handler is given them, joined.
  struct Case { std::vector<std::string> pieces; bool reset; std::u16string reply; };
  const Case cases[] = {
      {{}, false, u""}, {{}, true, u""},
      {{"HTTP/1.0 200 OK\n\n", "{\"a\":", "1}\r"}, false, u"HTTP/1.0 200 OK\r\n\r\n{\"a\":1}\r\n"},
      {{ten_megabytes}, false, Utf8ToUtf16(ten_megabytes)},
  };
  FormServer good;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pieces.size());
    LoopbackPeer peer([&](LoopbackPeer& p, int& fd) {
      p.ReadRequest(fd);
      for (const std::string& piece : c.pieces) {  // the next once this one was handed on
        const size_t handed_on = replies_handed_on_;
        testing::SendAll(fd, piece);
        p.Pause(60s, [&] { return replies_handed_on_ > handed_on; });
      }
      if (c.reset) testing::ResetConnection(fd);
    });
    PostExchange exchange(Owner());
    const size_t boxes = dialogs_->Records().size();
    ASSERT_TRUE(PostAndServe(exchange, UrlOf(peer.Port())));
    EXPECT_EQ(error_.value_or(0), c.reset ? 10054 : 0);
    EXPECT_EQ(dialogs_->Records().size(), boxes + (error_ ? 1 : 0));  // an interactive owner shows the error
    EXPECT_EQ(Joined(), c.reply);
    EXPECT_GE(replies_.size(), c.pieces.size());  // the pieces are not held back to be joined
    EXPECT_TRUE(PostAndReadBack(exchange, good).IsObject());
  }
}

TEST_F(ExchangeTest, APostWhileAConnectionIsOpenOrWithARefusedUrlDoesNothing) {
  FormServer good;
  auto silent = std::make_unique<LoopbackPeer>([](LoopbackPeer& p, int& fd) {
    p.ReadRequest(fd);
    p.Pause(1h);  // never answers
  });
  PostExchange exchange(Owner());
  exchange.Post(UrlOf(silent->Port()) + u"\r\nX-Injected: 1", u"a=1");  // refused: no connection attempt
  exchange.Post(UrlOf(silent->Port()), u"a=1");
  exchange.Post(Utf8ToUtf16(good.Url()), u"b=2");
  ASSERT_TRUE(testing::ServeLoopUntil([&] { return silent->Connections() == 1; }));
  MessageLoop::Current().RunFor(200ms);  // time for a post that should not have been made
  EXPECT_TRUE(good.Seen().empty());
  EXPECT_EQ(silent->Connections(), 1);

  silent.reset();  // the peer goes away: its close ends the exchange
  ASSERT_TRUE(MessageLoop::Current().RunUntil([&] { return closed_; }, MessageLoop::Clock::now() + 60s));
  EXPECT_TRUE(PostAndReadBack(exchange, good).IsObject());
}

}  // namespace
}  // namespace comsvc::Remote
