// The form post exchange against real peers on loopback: an HTTP server
// (cpp-httplib) that parses what we send, and peers that misbehave.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/runtime_error.h"
#include "core/utf8.h"
#include "http/form_post.h"
#include "platform/code_page.h"
#include "platform/dialogs.h"
#include "platform/message_loop.h"
#include "support/loopback_peer.h"

namespace comsvc::Remote {
namespace {

using namespace std::chrono_literals;
using platform::MessageLoop;
using testing::FormServer;
using testing::LoopbackPeer;

std::u16string UrlOf(int port) { return u"http://127.0.0.1:" + Utf8ToUtf16(std::to_string(port)) + u"/form"; }
std::u16string UrlOf(const FormServer& server) { return Utf8ToUtf16(server.Url()); }

class ExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::CodePage::SetCurrent(1252));
    platform::SetDialogs(dialogs_);
  }
  // An owner that keeps what its handlers were given.
  PostOwner Owner(bool interactive) {
    return {interactive, [this](const std::u16string& reply) { replies_.push_back(reply); },
            [this](int32_t number, const std::u16string&) { error_ = number; }, [this] { closed_ = true; }};
  }
  void Post(PostExchange& exchange, std::u16string_view url, std::u16string_view form) {
    replies_.clear();
    error_.reset();
    closed_ = false;
    exchange.Post(url, form);
  }
  // Serves the loop until the exchange has ended (peer close or error).
  bool ServeUntilEnded() {
    return MessageLoop::Current().RunUntil([&] { return closed_ || error_; }, MessageLoop::Clock::now() + 10s);
  }
  std::u16string Reply() const {
    std::u16string all;
    for (const auto& piece : replies_) all += piece;
    return all;
  }
  // A whole post to the well-behaved server: the JSON document of its reply.
  Value PostAndReadBack(PostExchange& exchange, FormServer& server, std::u16string_view form = u"a=1") {
    Post(exchange, UrlOf(server), form);
    return ServeUntilEnded() && closed_ ? ExtractReplyJson(Reply()) : Value();
  }

  std::shared_ptr<platform::ScriptedDialogs> dialogs_ = std::make_shared<platform::ScriptedDialogs>();
  std::vector<std::u16string> replies_;
  std::optional<int32_t> error_;
  bool closed_ = false;
};

TEST_F(ExchangeTest, TheServerParsesTheFormWeMeantInEitherCodePage) {
  struct Case {
    int code_page;
    std::string e_acute;  // the code-page bytes the server must decode
    std::string q;
    std::u16string echo;  // the bytes of q as they come back through the code page
    std::string last;     // the value of the last field
  };
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
    PostExchange exchange(Owner(true));
    // Values are percent-encoded, names go as they are; a second "=" ends the value.
    Value root = PostAndReadBack(exchange, server, u"name=Jos\u00e9 Li&q=\u4e2d\u6587&sym=a+b~c.d%&empty=&\u00e9=x=y");
    ASSERT_TRUE(root.IsObject());
    EXPECT_EQ(root.AsObject()->Item(u"fields").NumberValue(), 5);
    EXPECT_EQ(root.AsObject()->Item(u"echo").AsString(), c.echo);

    auto seen = server.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].method + " " + seen[0].path, "POST /form");
    EXPECT_EQ(seen[0].get_header_value("Host"), "127.0.0.1");
    EXPECT_EQ(seen[0].get_header_value("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(seen[0].get_header_value("Content-Length"), std::to_string(seen[0].body.size()));
    EXPECT_EQ(seen[0].get_header_value("Client"), "comsvc/0.1.0");
    const httplib::Params fields = {
        {"name", "Jos" + c.e_acute + " Li"}, {"q", c.q}, {"sym", "a+b~c.d%"}, {"empty", ""}, {c.e_acute, c.last}};
    EXPECT_EQ(seen[0].params, fields);
  }
}

TEST_F(ExchangeTest, EveryMisbehavingPeerEndsTheExchangeAndTheNextPostWorks) {
  std::string ten_megabytes;
  while (ten_megabytes.size() < 10 * 1024 * 1024) ten_megabytes += std::string(99, 'x') + "\n";
  struct Case {
    const char* name;
    bool listening = true;  // false: nothing listens on the port
    bool read_request = true;
    std::vector<std::string> pieces = {};  // the answer, with pauses between its pieces
    bool reset = false;               // ends the connection with a reset, not an orderly close
    std::vector<int32_t> errors = {};  // the errors that may end the exchange
    bool may_close = true;            // whether the peer's close may end it
    std::vector<std::u16string> replies = {};
    size_t reply_size = 0;  // when set, only the size of the whole reply is checked
  };
  const Case cases[] = {
      {.name = "closed port", .listening = false, .errors = {10061}, .may_close = false},
      // Closing before reading makes the kernel answer our request with a
      // reset, or not, depending on which comes first.
      {.name = "accepts and closes", .read_request = false, .errors = {10053, 10054}},
      {.name = "resets", .reset = true, .errors = {10054}, .may_close = false},
      {.name = "answers in pieces",
       .pieces = {"HTTP/1.0 200 OK\n\n", "{\"a\":", "1}\r"},
       .replies = {u"HTTP/1.0 200 OK\r\n\r\n", u"{\"a\":", u"1}\r\n"}},
      // Every "\n" becomes "\r\n".
      {.name = "sends 10 MB", .pieces = {ten_megabytes}, .reply_size = ten_megabytes.size() * 101 / 100},
  };
  FormServer good;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<LoopbackPeer> peer;
    if (c.listening) {
      peer.emplace([&c](LoopbackPeer& p, int& fd) {
        if (c.read_request) p.ReadRequest(fd);
        for (const std::string& piece : c.pieces) {
          testing::SendAll(fd, piece);
          p.Pause(120ms);
        }
        if (c.reset) testing::ResetConnection(fd);
      });
    }
    dialogs_ = std::make_shared<platform::ScriptedDialogs>();
    platform::SetDialogs(dialogs_);
    PostExchange exchange(Owner(true));
    Post(exchange, UrlOf(peer ? peer->Port() : testing::ClosedLoopbackPort()), u"a=1");
    ASSERT_TRUE(ServeUntilEnded());
    EXPECT_FALSE(exchange.Connected());
    if (error_) {
      EXPECT_THAT(c.errors, ::testing::Contains(*error_));
      // An interactive owner shows the error.
      ASSERT_EQ(dialogs_->Records().size(), 1u);
      EXPECT_EQ(dialogs_->Records()[0].text, platform::SocketErrorDescription(platform::SocketError(*error_)));
      EXPECT_EQ(dialogs_->Records()[0].title, u"ERROR");
      EXPECT_EQ(dialogs_->Records()[0].icon, platform::BoxIcon::kExclamation);
    } else {
      EXPECT_TRUE(c.may_close && closed_);
    }
    if (c.reply_size) {
      EXPECT_EQ(Reply().size(), c.reply_size);
    } else {
      EXPECT_EQ(replies_, c.replies);
    }
    EXPECT_TRUE(PostAndReadBack(exchange, good).IsObject());
  }
}

TEST_F(ExchangeTest, APostWhileAConnectionIsOpenDoesNothing) {
  FormServer good;
  auto silent = std::make_unique<LoopbackPeer>([](LoopbackPeer& p, int& fd) {
    p.ReadRequest(fd);
    p.Pause(1h);  // never answers
  });
  PostExchange exchange(Owner(true));
  Post(exchange, UrlOf(silent->Port()), u"a=1");
  EXPECT_TRUE(exchange.Connected());
  exchange.Post(UrlOf(good), u"b=2");
  MessageLoop::Current().RunFor(200ms);
  EXPECT_TRUE(good.Seen().empty());
  EXPECT_EQ(silent->Connections(), 1);

  silent.reset();  // the peer goes away: its close ends the exchange
  ASSERT_TRUE(ServeUntilEnded());
  EXPECT_TRUE(closed_);
  EXPECT_TRUE(PostAndReadBack(exchange, good).IsObject());
}

TEST_F(ExchangeTest, ARefusedRequestMakesNoConnectionAttempt) {
  LoopbackPeer peer([](LoopbackPeer&, int&) {});
  PostExchange exchange(Owner(true));
  exchange.Post(u"http://", u"a=1");
  exchange.Post(UrlOf(peer.Port()), u"a=1&");
  exchange.Post(UrlOf(peer.Port()) + u"\r\nX-Injected: 1", u"a=1");
  EXPECT_EQ(exchange.Socket().GetState(), platform::TcpSocket::State::kClosed);
  MessageLoop::Current().RunFor(100ms);
  EXPECT_EQ(peer.Connections(), 0);
  EXPECT_EQ(dialogs_->Records().size(), 3u);  // one critical box each
}

}  // namespace
}  // namespace comsvc::Remote
