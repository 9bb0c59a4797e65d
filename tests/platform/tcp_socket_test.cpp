#include "platform/tcp_socket.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "core/runtime_error.h"
#include "core/utf8.h"
#include "support/loopback_peer.h"

namespace comsvc::platform {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackPeer;
using Events = std::vector<std::string>;

// Connects `socket` and records its events, in order, into `events`.
void Connect(TcpSocket& socket, Events& events, std::u16string host, int port) {
  socket.SetEvents({[&] { events.push_back("connected"); },
                    [&](size_t bytes) { events.push_back("data " + std::to_string(bytes)); },
                    [&] { events.push_back("closed"); },
                    [&](int32_t number, const std::u16string& text) {
                      events.push_back(std::to_string(number) + " " + EncodeUtf8(text));
                    }});
  socket.SetRemoteHost(std::move(host));
  socket.SetRemotePort(port);
  socket.Connect();
}

bool Serve(const std::function<bool()>& done) {
  return MessageLoop::Current().RunUntil(done, MessageLoop::Clock::now() + 5s);
}

TEST(TcpSocket, ConnectionAttemptsEndInOneEventThroughTheLoop) {
  LoopbackPeer listening([](LoopbackPeer& p, int&) { p.Pause(1h); });
  testing::UnansweredListener unanswered;
  const std::tuple<std::u16string, int, std::string> cases[] = {
      {u"localhost", listening.Port(), "connected"},
      // Refused at once, well before the attempt would time out.
      {u"127.0.0.1", testing::ClosedLoopbackPort(), "10061 Connection is forcefully rejected"},
      {u"127.0.0.1", unanswered.Port(), "10060 The attempt to connect timed out"},
      {u"", 80, "11001 Authoritative answer: Host not found"},
      {u"127.0.0.1", 0, "10049 Address not available from the local machine"},
      {u"127.0.0.1", 65536, "10049 Address not available from the local machine"},
  };
  for (const auto& [host, port, event] : cases) {
    TcpSocket socket;
    Events events;
    socket.SetConnectTimeout(300ms);
    Connect(socket, events, host, port);
    EXPECT_TRUE(events.empty());  // nothing is reported from inside Connect
    ASSERT_TRUE(Serve([&] { return !events.empty(); }));
    EXPECT_EQ(events, Events{event}) << port;
  }
}

TEST(TcpSocket, UnreadDataAccumulatesAndIsReadInPortions) {
  LoopbackPeer peer([](LoopbackPeer& p, int& fd) {
    testing::SendAll(fd, "abc");
    p.Pause(100ms);
    testing::SendAll(fd, "defg");
    p.Pause(100ms);
  });
  TcpSocket socket;
  Events events;
  Connect(socket, events, u"127.0.0.1", peer.Port());
  ASSERT_TRUE(Serve([&] { return events.size() == 3; }));
  EXPECT_EQ(events, (Events{"connected", "data 3", "data 7"}));  // all that is not yet read
  EXPECT_EQ(socket.GetData(2), u"ab");
  EXPECT_EQ(socket.BytesReceived(), 5u);
  EXPECT_EQ(socket.GetData(100), u"cdefg");
  EXPECT_EQ(socket.GetData(100), u"");
}

TEST(TcpSocket, OperationsInTheWrongStateRaise40006) {
  TcpSocket socket;
  Events events;
  try {
    socket.SendData(u"x");
    FAIL() << "sending on a closed socket must raise";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), 40006);
    EXPECT_EQ(e.Description(), "Wrong protocol or connection state for the requested transaction or request");
  }
  Connect(socket, events, u"127.0.0.1", testing::ClosedLoopbackPort());
  EXPECT_THROW(socket.Connect(), RuntimeError);  // already connecting
  ASSERT_TRUE(Serve([&] { return !events.empty(); }));
  EXPECT_THROW(socket.Connect(), RuntimeError);  // the error state needs a Close first
  socket.Close();
  socket.Connect();
  EXPECT_TRUE(Serve([&] { return events.size() == 2; }));
}

TEST(TcpSocket, CloseAndDestructionCancelEventsNotYetDelivered) {
  TcpSocket socket;
  Events events;
  Connect(socket, events, u"127.0.0.1", testing::ClosedLoopbackPort());
  socket.Close();
  {
    TcpSocket doomed;
    Connect(doomed, events, u"127.0.0.1", testing::ClosedLoopbackPort());
  }
  MessageLoop::Current().RunFor(200ms);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(socket.GetState(), TcpSocket::State::kClosed);
}

}  // namespace
}  // namespace comsvc::platform
