// The form post exchange against real peers on loopback: an HTTP server
// (cpp-httplib) that parses what we send, and peers that misbehave.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
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
#include "support/form_server.h"
#include "support/loopback_peer.h"

namespace comsvc::Remote {
namespace {

using namespace std::chrono_literals;
using platform::MessageLoop;
using testing::LoopbackPeer;

using testing::FormServer;

std::u16string UrlOf(int port) { return u"http://127.0.0.1:" + Utf8ToUtf16(std::to_string(port)) + u"/form"; }
std::u16string UrlOf(const FormServer& server) { return Utf8ToUtf16(server.Url()); }

// An owner that keeps what its handlers were given.
struct Owner {
  std::vector<std::u16string> replies;
  std::optional<int32_t> error;
  bool closed = false;

  PostOwner Handlers(bool interactive) {
    return {interactive, [this](const std::u16string& reply) { replies.push_back(reply); },
            [this](int32_t number, const std::u16string&) { error = number; }, [this] { closed = true; }};
  }
  bool Ended() const { return closed || error.has_value(); }
  std::u16string Joined() const {
    std::u16string all;
    for (const auto& r : replies) all += r;
    return all;
  }
  void Reset() { *this = Owner{}; }
};

class ExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::CodePage::SetCurrent(1252));
    platform::SetDialogs(dialogs_);
  }
  void TearDown() override { platform::SetDialogs(std::make_shared<platform::ScriptedDialogs>()); }

  // Serves the loop until the exchange has ended (peer close or error).
  bool ServeUntilEnded(std::chrono::milliseconds limit = 10s) {
    return MessageLoop::Current().RunUntil([&] { return owner_.Ended(); }, MessageLoop::Clock::now() + limit);
  }
  // A whole post to the well-behaved server; true when its JSON came back.
  bool PostAndReadBack(PostExchange& exchange, FormServer& server) {
    owner_.Reset();
    exchange.Post(UrlOf(server), u"a=1");
    if (!ServeUntilEnded()) return false;
    Value root = ExtractReplyJson(owner_.Joined());
    if (!root.IsObject()) return false;
    Value ok = root.AsObject()->Item(u"ok");
    return ok.Kind() == ValueKind::kBoolean && ok.AsBoolean();
  }

  std::shared_ptr<platform::ScriptedDialogs> dialogs_ = std::make_shared<platform::ScriptedDialogs>();
  Owner owner_;
};

TEST_F(ExchangeTest, TheServerParsesTheFormWeMeantInEitherCodePage) {
  struct Case {
    int code_page;
    std::string name;  // the code-page bytes the server must decode
    std::string city;
  };
  const Case cases[] = {
      {1252, "Jos\xE9 Li", "??"},
      {936, "Jos\xA8\xA6 Li", "\xD6\xD0\xCE\xC4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code_page);
    ASSERT_TRUE(platform::CodePage::SetCurrent(c.code_page));
    FormServer server;
    PostExchange exchange(owner_.Handlers(true));
    owner_.Reset();
    const std::u16string form = u"name=Jos\u00e9 Li&city=\u4e2d\u6587&sym=a+b~c.d%&empty=";
    exchange.Post(UrlOf(server), form);
    ASSERT_TRUE(ServeUntilEnded());
    EXPECT_TRUE(owner_.closed);

    auto seen = server.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].method, "POST");
    EXPECT_EQ(seen[0].path, "/form");
    EXPECT_EQ(seen[0].host, "127.0.0.1");
    EXPECT_EQ(seen[0].content_type, "application/x-www-form-urlencoded");
    EXPECT_EQ(seen[0].content_length, std::to_string(seen[0].body.size()));
    EXPECT_EQ(seen[0].client, "comsvc/0.1.0");
    const std::multimap<std::string, std::string> expected = {
        {"name", c.name}, {"city", c.city}, {"sym", "a+b~c.d%"}, {"empty", ""}};
    EXPECT_EQ(seen[0].fields, expected);

    Value root = ExtractReplyJson(owner_.Joined());
    ASSERT_TRUE(root.IsObject());
    EXPECT_TRUE(root.AsObject()->Item(u"ok").AsBoolean());
    EXPECT_EQ(root.AsObject()->Item(u"fields").NumberValue(), 4);
    EXPECT_TRUE(dialogs_->Records().empty());
  }
}

// How a misbehaving peer must end the exchange.
struct PeerCase {
  const char* name;
  LoopbackPeer::Behaviour behaviour;
  std::vector<int32_t> errors;  // the errors that may end it
  bool may_close;                // whether the peer's close may end it
  std::vector<std::u16string> replies;
  bool any_replies = false;  // replies not checked one by one
};

void SendPieces(LoopbackPeer& peer, int& fd, const std::vector<std::string>& pieces) {
  peer.ReadRequest(fd);
  for (const auto& piece : pieces) {
    testing::SendAll(fd, piece);
    peer.Pause(120ms);
  }
}

TEST_F(ExchangeTest, EveryMisbehavingPeerEndsTheExchangeAndTheNextPostWorks) {
  const std::string ten_megabytes = [] {
    std::string line(99, 'x');
    line += '\n';
    std::string all;
    while (all.size() < 10 * 1024 * 1024) all += line;
    return all;
  }();
  const PeerCase cases[] = {
      // Closing before reading makes the kernel answer our request with a
      // reset, or not, depending on which comes first.
      {"accepts and closes", [](LoopbackPeer&, int&) {}, {10053, 10054}, true, {}},
      {"resets", [](LoopbackPeer& p, int& fd) {
         p.ReadRequest(fd);
         testing::ResetConnection(fd);
       },
       {10054}, false, {}},
      {"answers in pieces",
       [](LoopbackPeer& p, int& fd) { SendPieces(p, fd, {"HTTP/1.0 200 OK\n\n", "{\"a\":", "1}\r"}); },
       {}, true, {u"HTTP/1.0 200 OK\r\n\r\n", u"{\"a\":", u"1}\r\n"}},
      {"sends 10 MB",
       [&](LoopbackPeer& p, int& fd) {
         p.ReadRequest(fd);
         testing::SendAll(fd, ten_megabytes);
       },
       {}, true, {}, true},
  };
  FormServer good;
  for (const PeerCase& c : cases) {
    SCOPED_TRACE(c.name);
    LoopbackPeer peer(c.behaviour);
    PostExchange exchange(owner_.Handlers(false));
    owner_.Reset();
    exchange.Post(UrlOf(peer.Port()), u"a=1");
    ASSERT_TRUE(ServeUntilEnded());
    EXPECT_FALSE(exchange.Connected());
    if (owner_.error) {
      EXPECT_NE(std::find(c.errors.begin(), c.errors.end(), *owner_.error), c.errors.end()) << *owner_.error;
    } else {
      EXPECT_TRUE(c.may_close && owner_.closed);
    }
    if (c.any_replies) {
      EXPECT_EQ(owner_.Joined().size(), ten_megabytes.size() + ten_megabytes.size() / 100);
    } else {
      EXPECT_EQ(owner_.replies, c.replies);
    }
    EXPECT_TRUE(PostAndReadBack(exchange, good));
  }
  EXPECT_TRUE(dialogs_->Records().empty());  // a silent owner shows nothing
}

TEST_F(ExchangeTest, AClosedPortIsReportedAtOnceAndOnlyAnInteractiveOwnerShowsIt) {
  FormServer good;
  for (bool interactive : {true, false}) {
    auto dialogs = std::make_shared<platform::ScriptedDialogs>();
    platform::SetDialogs(dialogs);
    PostExchange exchange(owner_.Handlers(interactive));
    owner_.Reset();
    auto start = MessageLoop::Clock::now();
    exchange.Post(UrlOf(testing::ClosedLoopbackPort()), u"a=1");
    // The wait of Post ends with the failure; nothing is left to serve.
    EXPECT_EQ(owner_.error, 10061);
    EXPECT_LT(MessageLoop::Clock::now() - start, 1s);
    EXPECT_FALSE(exchange.Connected());
    if (interactive) {
      ASSERT_EQ(dialogs->Records().size(), 1u);
      EXPECT_EQ(dialogs->Records()[0].text, u"Connection is forcefully rejected");
      EXPECT_EQ(dialogs->Records()[0].title, u"ERROR");
      EXPECT_EQ(dialogs->Records()[0].icon, platform::BoxIcon::kExclamation);
    } else {
      EXPECT_TRUE(dialogs->Records().empty());
    }
    EXPECT_TRUE(PostAndReadBack(exchange, good));
  }
}

TEST_F(ExchangeTest, APostWhileAConnectionIsOpenDoesNothing) {
  FormServer good;
  auto silent = std::make_unique<LoopbackPeer>([](LoopbackPeer& p, int& fd) {
    p.ReadRequest(fd);
    p.Pause(1h);  // never answers
  });
  PostExchange exchange(owner_.Handlers(true));
  exchange.Post(UrlOf(silent->Port()), u"a=1");
  EXPECT_TRUE(exchange.Connected());
  MessageLoop::Current().RunFor(200ms);
  EXPECT_TRUE(owner_.replies.empty());

  exchange.Post(UrlOf(good), u"b=2");
  MessageLoop::Current().RunFor(200ms);
  EXPECT_TRUE(good.Seen().empty());
  EXPECT_EQ(silent->Connections(), 1);
  EXPECT_TRUE(dialogs_->Records().empty());

  silent.reset();  // the peer goes away: its close ends the exchange
  ASSERT_TRUE(ServeUntilEnded());
  EXPECT_TRUE(owner_.closed);
  EXPECT_TRUE(PostAndReadBack(exchange, good));
}

TEST_F(ExchangeTest, APostFromAHandlerDuringTheConnectionWaitDoesNothing) {
  FormServer good;
  testing::UnansweredListener unanswered;
  PostExchange exchange(owner_.Handlers(false));
  exchange.Socket().SetConnectTimeout(300ms);
  MessageLoop::Current().StartOneShot(50ms, [&] { exchange.Post(UrlOf(good), u"b=2"); });
  exchange.Post(UrlOf(unanswered.Port()), u"a=1");
  EXPECT_EQ(owner_.error, 10060);
  EXPECT_TRUE(good.Seen().empty());
  EXPECT_TRUE(PostAndReadBack(exchange, good));
}

TEST_F(ExchangeTest, AHandlerRaisingDuringTheWaitLeavesTheExchangeUsable) {
  FormServer good;
  testing::UnansweredListener unanswered;
  PostExchange exchange(owner_.Handlers(false));
  exchange.Socket().SetConnectTimeout(300ms);
  MessageLoop::Current().StartOneShot(50ms, [] { Raise(ErrorNumber::kOverflow); });
  EXPECT_THROW(exchange.Post(UrlOf(unanswered.Port()), u"a=1"), RuntimeError);
  ASSERT_TRUE(ServeUntilEnded());  // the abandoned attempt still ends
  EXPECT_EQ(owner_.error, 10060);
  EXPECT_TRUE(PostAndReadBack(exchange, good));
}

TEST_F(ExchangeTest, ARefusedRequestMakesNoConnectionAttempt) {
  LoopbackPeer peer([](LoopbackPeer&, int&) {});
  PostExchange exchange(owner_.Handlers(true));
  const std::pair<std::u16string, std::u16string> refused[] = {
      {u"http://", u"a=1"},
      {UrlOf(peer.Port()), u"a=1&"},
      {UrlOf(peer.Port()), u"novalue"},
      {UrlOf(peer.Port()) + u"\r\nX-Injected: 1", u"a=1"},
  };
  for (const auto& [url, form] : refused) exchange.Post(url, form);
  EXPECT_EQ(exchange.Socket().GetState(), platform::TcpSocket::State::kClosed);
  MessageLoop::Current().RunFor(100ms);
  EXPECT_EQ(peer.Connections(), 0);
  EXPECT_EQ(dialogs_->Records().size(), 4u);  // one critical box each
}

}  // namespace
}  // namespace comsvc::Remote
