#include "socket/tcp_socket.h"

#include <gtest/gtest.h>

#include <comsvc/utf8.h>
#include "support/loopback_peer.h"

namespace comsvc::platform {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackPeer;
using Events = std::vector<std::string>;

TEST(TcpSocket, ConnectionAttemptsEndInOneEventThroughTheLoop) {
  LoopbackPeer listening([](LoopbackPeer& p, int&) { p.Pause(1h); });
  testing::UnansweredListener unanswered;
  // Only an unanswered attempt waits out its time; any other ends well before.
  struct Case { std::u16string host; int port; std::string event; std::chrono::milliseconds connect_timeout = 60s; };
  const Case cases[] = {
      {u"localhost", listening.Port(), "connected"},
      {u"127.0.0.1", testing::ClosedLoopbackPort(), "10061 Connection is forcefully rejected"},
      {u"127.0.0.1", unanswered.Port(), "10060 The attempt to connect timed out", 300ms},
      {u"", 80, "11001 Authoritative answer: Host not found"},
      {u"127.0.0.1", 0, "10049 Address not available from the local machine"},
      {u"127.0.0.1", 65536, "10049 Address not available from the local machine"},
  };
  for (const Case& c : cases) {
    TcpSocket socket;
    Events events;
    socket.SetConnectTimeout(c.connect_timeout);
    socket.SetEvents({[&] { events.push_back("connected"); }, [&](size_t) { events.push_back("data"); },
                      [&] { events.push_back("closed"); },
                      [&](int32_t n, auto& text) { events.push_back(std::to_string(n) + " " + EncodeUtf8(text)); }});
    socket.SetRemoteHost(c.host);
    socket.SetRemotePort(c.port);
    socket.Connect();
    EXPECT_TRUE(events.empty());  // nothing is reported from inside Connect
    ASSERT_TRUE(MessageLoop::Current().RunUntil([&] { return !events.empty(); }));
    EXPECT_EQ(events, Events{c.event}) << c.port;
  }
}

}  // namespace
}  // namespace comsvc::platform
