#include "socket/tcp_socket.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <comsvc/utf8.h>
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

}  // namespace
}  // namespace comsvc::platform
