#include "platform/tcp_socket.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/runtime_error.h"
#include "platform/code_page.h"
#include "support/loopback_peer.h"

namespace comsvc::platform {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackPeer;

// What the socket reported, in order.
struct Recorder {
  std::vector<std::string> events;
  std::optional<int32_t> error;
  std::u16string description;
  size_t last_arrival = 0;

  TcpSocket::Events Handlers(TcpSocket& socket, bool read_on_arrival = true) {
    return {
        .connected = [this] { events.push_back("connected"); },
        .data_arrival =
            [this, &socket, read_on_arrival](size_t bytes) {
              events.push_back("data");
              last_arrival = bytes;
              if (read_on_arrival) received += socket.GetData(bytes);
            },
        .closed_by_peer = [this] { events.push_back("closed"); },
        .error =
            [this](int32_t number, const std::u16string& text) {
              events.push_back("error");
              error = number;
              description = text;
            },
    };
  }
  bool Ended() const { return !events.empty() && (events.back() == "closed" || events.back() == "error"); }
  std::u16string received;
};

bool Serve(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
  return MessageLoop::Current().RunUntil(done, MessageLoop::Clock::now() + limit);
}

void ConnectTo(TcpSocket& socket, int port, std::u16string host = u"127.0.0.1") {
  socket.SetRemoteHost(std::move(host));
  socket.SetRemotePort(port);
  socket.Connect();
}

class TcpSocketTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(CodePage::SetCurrent(1252)); }
  TcpSocket socket_;
  Recorder recorder_;
};

TEST_F(TcpSocketTest, AClosedPortIsRefusedAtOnceThroughTheLoopNotInsideConnect) {
  socket_.SetEvents(recorder_.Handlers(socket_));
  ConnectTo(socket_, testing::ClosedLoopbackPort());
  EXPECT_TRUE(recorder_.events.empty());  // nothing is reported from inside Connect
  auto start = MessageLoop::Clock::now();
  ASSERT_TRUE(Serve([&] { return recorder_.Ended(); }));
  EXPECT_LT(MessageLoop::Clock::now() - start, 1s);
  EXPECT_EQ(recorder_.events, std::vector<std::string>{"error"});
  EXPECT_EQ(recorder_.error, 10061);
  EXPECT_EQ(recorder_.description, u"Connection is forcefully rejected");
  EXPECT_EQ(socket_.GetState(), TcpSocket::State::kError);
}

TEST_F(TcpSocketTest, TextCrossesTheWireInTheCodePage) {
  struct Case {
    int code_page;
    std::u16string sent;
    std::string bytes_out;
    std::string bytes_back;
    std::u16string received;
  };
  const Case cases[] = {
      {1252, u"\u00e9\u20ac\u4e2d", "\xE9\x80?", "\xE9\x80", u"\u00e9\u20ac"},
      {936, u"\u00e9\u4e2d", "\xA8\xA6\xD6\xD0", "\xD6\xD0\xCE\xC4", u"\u4e2d\u6587"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code_page);
    ASSERT_TRUE(CodePage::SetCurrent(c.code_page));
    LoopbackPeer peer([&](LoopbackPeer& p, int& fd) {
      p.ReadRequest(fd, 300ms);  // no request format: reads until quiet
      testing::SendAll(fd, c.bytes_back);
    });
    TcpSocket socket;
    Recorder recorder;
    socket.SetEvents(recorder.Handlers(socket));
    ConnectTo(socket, peer.Port());
    ASSERT_TRUE(Serve([&] { return !recorder.events.empty(); }));
    socket.SendData(c.sent);
    ASSERT_TRUE(Serve([&] { return recorder.Ended(); }));
    EXPECT_EQ(peer.Requests(), std::vector<std::string>{c.bytes_out});
    EXPECT_EQ(recorder.received, c.received);
  }
}

TEST_F(TcpSocketTest, UnreadDataAccumulatesAndIsReadInPortions) {
  LoopbackPeer peer([](LoopbackPeer& p, int& fd) {
    testing::SendAll(fd, "abc");
    p.Pause(100ms);
    testing::SendAll(fd, "defg");
    p.Pause(100ms);
  });
  socket_.SetEvents(recorder_.Handlers(socket_, /*read_on_arrival=*/false));
  ConnectTo(socket_, peer.Port());
  ASSERT_TRUE(Serve([&] { return recorder_.events.size() == 3; }));
  // The second arrival reports everything not yet read.
  EXPECT_EQ(recorder_.events, (std::vector<std::string>{"connected", "data", "data"}));
  EXPECT_EQ(recorder_.last_arrival, 7u);
  EXPECT_EQ(socket_.GetData(2), u"ab");
  EXPECT_EQ(socket_.BytesReceived(), 5u);
  EXPECT_EQ(socket_.GetData(100), u"cdefg");
  EXPECT_EQ(socket_.GetData(100), u"");
}

TEST_F(TcpSocketTest, AnUnansweredAttemptTimesOutWith10060) {
  testing::UnansweredListener listener;
  socket_.SetEvents(recorder_.Handlers(socket_));
  socket_.SetConnectTimeout(300ms);
  auto start = MessageLoop::Clock::now();
  ConnectTo(socket_, listener.Port());
  ASSERT_TRUE(Serve([&] { return recorder_.Ended(); }));
  EXPECT_GE(MessageLoop::Clock::now() - start, 300ms);
  EXPECT_EQ(recorder_.events, std::vector<std::string>{"error"});
  EXPECT_EQ(recorder_.error, 10060);
  EXPECT_EQ(recorder_.description, u"The attempt to connect timed out");
}

TEST_F(TcpSocketTest, AddressesThatCannotBeConnectedEndInTheControlsErrors) {
  struct Case {
    std::u16string host;
    int32_t port;
    int32_t error;
  };
  const Case cases[] = {
      {u"", 80, 11001},           // no host at all
      {u"127.0.0.1", 0, 10049},   // no port
      {u"127.0.0.1", -5, 10049},  // ports are 1 to 65535
      {u"127.0.0.1", 65536, 10049},
  };
  for (const Case& c : cases) {
    TcpSocket socket;
    Recorder recorder;
    socket.SetEvents(recorder.Handlers(socket));
    ConnectTo(socket, c.port, c.host);
    ASSERT_TRUE(Serve([&] { return recorder.Ended(); }));
    EXPECT_EQ(recorder.error, c.error) << c.port;
    EXPECT_EQ(recorder.description, SocketErrorDescription(static_cast<SocketError>(c.error)));
  }
}

TEST_F(TcpSocketTest, OperationsInTheWrongStateRaise40006) {
  try {
    socket_.SendData(u"x");
    FAIL() << "sending on a closed socket must raise";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), 40006);
    EXPECT_EQ(e.Description(), "Wrong protocol or connection state for the requested transaction or request");
  }
  socket_.SetEvents(recorder_.Handlers(socket_));
  ConnectTo(socket_, testing::ClosedLoopbackPort());
  EXPECT_THROW(socket_.Connect(), RuntimeError);  // already connecting
  ASSERT_TRUE(Serve([&] { return recorder_.Ended(); }));
  EXPECT_THROW(socket_.Connect(), RuntimeError);  // the error state needs a Close first
  socket_.Close();
  ConnectTo(socket_, testing::ClosedLoopbackPort());
  EXPECT_TRUE(Serve([&] { return recorder_.events.size() == 2; }));
}

TEST_F(TcpSocketTest, CloseAndDestructionCancelEventsNotYetDelivered) {
  socket_.SetEvents(recorder_.Handlers(socket_));
  ConnectTo(socket_, testing::ClosedLoopbackPort());
  socket_.Close();
  {
    auto doomed = std::make_unique<TcpSocket>();
    ConnectTo(*doomed, testing::ClosedLoopbackPort());
  }
  MessageLoop::Current().RunFor(200ms);
  EXPECT_TRUE(recorder_.events.empty());
  EXPECT_EQ(socket_.GetState(), TcpSocket::State::kClosed);
}

TEST_F(TcpSocketTest, LocalhostFindsAListeningAddress) {
  LoopbackPeer peer([](LoopbackPeer&, int&) {});
  socket_.SetEvents(recorder_.Handlers(socket_));
  ConnectTo(socket_, peer.Port(), u"localhost");
  ASSERT_TRUE(Serve([&] { return !recorder_.events.empty(); }));
  EXPECT_EQ(recorder_.events.front(), "connected");
}

}  // namespace
}  // namespace comsvc::platform
