// Posting a form: composing an HTTP/1.0 POST with a form-encoded body by
// hand, sending it over a TCP socket and handing each piece of the reply, with
// its line ends made CR LF, to the socket's owner, who reads the JSON document
// in it.
//
// Errors: composing a request refuses bad input with a box (BuildPostRequest)
// and raises error 6 for a port out of range (ParseUrl); a socket's errors go
// to the owner's handler; reading a reply writes the reader's error lines;
// memory running out raises error 7. An exchange owns its socket and a copy
// of its owner's handlers; a text handed to a handler lasts for that call.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <comsvc/message_loop.h>
#include <comsvc/url_helper.h>
#include <comsvc/value.h>
#include <comsvc/version.h>

namespace comsvc::platform {
class TcpSocket;  // the exchange's own, private to the library
}  // namespace comsvc::platform

namespace comsvc::Remote {

using url_helper::UrlParts;

// What follows "Client:" in every request: this library's name and version.
inline constexpr std::u16string_view kClientIdentification = u"comsvc/" COMSVC_VERSION;

// Composes the request for posting `form` (name=value items joined by "&")
// to `url`: the values are percent-encoded, the names go in as they are.
// Fills all eight fields of the record. A refused request gives a new, empty
// record (RequestText empty) after a critical-error box titled "ERROR":
//  - a URL without host: "Invalid Host";
//  - a host or path holding CR, LF or NUL, which would end the request line
//    early or put header lines of the caller's making into the request:
//    "Invalid Host" or "Invalid Path" (TAB, DEL and the other control
//    characters go through as written);
//  - an empty item (from a leading, trailing or doubled "&") or an item
//    without "=": "Invalid Form: item N is empty" or "Invalid Form: item N
//    has no "="" (N counts from 1).
// An empty form text is not refused: it posts an empty body.
UrlParts BuildPostRequest(std::u16string_view url, std::u16string_view form);

// Every line end written as CR LF: a lone CR and a lone LF each become the
// pair; a CR LF pair stays one pair.
std::u16string NormalizeLineEnds(std::u16string_view text);

// The JSON document of a reply: from its first "{" to the end, without
// leading and trailing spaces, read with ReadJson (check ReaderErrors after).
// The empty value when the reply holds no "{".
Value ExtractReplyJson(std::u16string_view reply);
// The same for the reply in UTF-8, read as it is (see JSON::ReadJson):
// exactly ExtractReplyJson(Utf8ToUtf16(utf8_reply)), without the UTF-16 copy.
Value ExtractReplyJson(std::string_view utf8_reply);

// The owner of a post exchange: its reply handler, and whether it shows
// socket errors to the user.
struct PostOwner {
  // Interactive owners show a socket error's description in a box with the
  // exclamation icon titled "ERROR"; silent owners show nothing.
  bool interactive = true;
  // Gets each piece of the reply, line ends normalised, once per arrival.
  std::function<void(const std::u16string& reply)> reply;
  // Told after the exchange has handled a socket error (and shown it).
  std::function<void(int32_t number, const std::u16string& description)> socket_error;
  // Told when the peer has closed the connection.
  std::function<void()> closed;
};

// One request/reply exchange at a time over the owner's socket.
//
//   Idle --Post--> Connecting --connected--> Open --peer close/error--> Idle
//                      \--error-------------------------------------> Idle
//
// Everything runs on the thread of the message loop given at construction.
// Socket errors reach the owner (see PostOwner); composing the request may
// show a box (see BuildPostRequest) or raise error 6 (see ParseUrl).
class PostExchange {
 public:
  // Windows gives up a connection attempt that gets no answer after about
  // 21 seconds; the exchange's socket does the same unless told otherwise.
  static constexpr std::chrono::milliseconds kDefaultConnectTimeout{21000};

  explicit PostExchange(PostOwner owner, platform::MessageLoop& loop = platform::MessageLoop::Current());
  ~PostExchange();
  PostExchange(const PostExchange&) = delete;
  PostExchange& operator=(const PostExchange&) = delete;

  // Composes the request, connects to the URL's host and port, serves the
  // message loop until the connection is made, then sends the request. The
  // reply comes later through the owner's reply handler.
  //
  // Does nothing while a connection is open, and nothing while an earlier
  // Post is still waiting for its connection (a handler that runs during the
  // wait may call Post). A refused request (see BuildPostRequest) makes no
  // connection attempt. When the attempt fails (an error, or the peer closing
  // before the connection is reported) the wait ends at that event and
  // nothing is sent; the socket's connect time-out bounds the wait.
  void Post(std::u16string_view url, std::u16string_view form);

  // True from the socket's report of the connection until it is closed.
  bool Connected() const { return connected_; }

  // How long a connection attempt may wait for its answer before it ends
  // in error 10060; for the attempts that start after the call.
  void SetConnectTimeout(std::chrono::milliseconds timeout);
  // Closes the connection at once, dropping what was not yet read; no event
  // of it reaches the owner afterwards. The exchange is idle again.
  void Close();

  // The socket's events. Memory running out while a reply piece is taken
  // in raises error 7 to the caller serving the message loop.
  void OnConnect();
  void OnDataArrival(size_t bytes);
  void OnClose();
  void OnError(int32_t number, const std::u16string& description);


 private:
  PostOwner owner_;
  platform::MessageLoop& loop_;
  std::unique_ptr<platform::TcpSocket> socket_;
  bool connected_ = false;
  bool waiting_ = false;
  bool attempt_over_ = false;
};

}  // namespace comsvc::Remote
