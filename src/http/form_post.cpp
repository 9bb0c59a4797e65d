#include <comsvc/form_post.h>

#include <optional>
#include <vector>

#include <comsvc/runtime_error.h>
#include <comsvc/json_reader.h>
#include <comsvc/dialogs.h>
#include "socket/tcp_socket.h"

namespace comsvc::Remote {

namespace {

constexpr std::u16string_view kCrLf = u"\r\n";

std::vector<std::u16string_view> Split(std::u16string_view text, char16_t separator) {
  std::vector<std::u16string_view> pieces;
  size_t start = 0;
  for (;;) {
    size_t at = text.find(separator, start);
    pieces.push_back(text.substr(start, at == std::u16string_view::npos ? std::u16string_view::npos : at - start));
    if (at == std::u16string_view::npos) return pieces;
    start = at + 1;
  }
}

// CR and LF would end the request line or a header line early, and NUL ends
// it for many servers; every other character, TAB and DEL included, goes
// through as written.
bool BreaksRequestLine(std::u16string_view text) {
  return text.find_first_of(std::u16string_view(u"\r\n\0", 3)) != std::u16string_view::npos;
}

std::u16string Number(size_t value) {
  std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

UrlParts Refuse(const std::u16string& message) {
  platform::MessageBox(message, u"ERROR", platform::BoxIcon::kCritical);
  return UrlParts{};
}

// The encoded body "name=value&..." of the form text, or the reason the form
// is refused. Each item splits at its first "="; the value ends at a second
// "=" if there is one (what follows it is dropped).
struct EncodedForm {
  std::u16string body;
  std::optional<std::u16string> refusal;
};

EncodedForm EncodeForm(std::u16string_view form) {
  EncodedForm result;
  if (form.empty()) return result;
  auto items = Split(form, u'&');
  for (size_t i = 0; i < items.size(); ++i) {
    std::u16string item_number = Number(i + 1);
    if (items[i].empty()) {
      result.refusal = u"Invalid Form: item " + item_number + u" is empty";
      return result;
    }
    auto fields = Split(items[i], u'=');
    if (fields.size() < 2) {
      result.refusal = u"Invalid Form: item " + item_number + u" has no \"=\"";
      return result;
    }
    result.body.append(fields[0]).append(u"=").append(url_helper::PercentEncode(fields[1])).append(u"&");
  }
  result.body.pop_back();  // the last "&"
  return result;
}

}  // namespace

UrlParts BuildPostRequest(std::u16string_view url, std::u16string_view form) {
  UrlParts u = url_helper::ParseUrl(url);
  if (u.Host.empty() || BreaksRequestLine(u.Host)) return Refuse(u"Invalid Host");
  if (BreaksRequestLine(u.Path)) return Refuse(u"Invalid Path");
  EncodedForm encoded = EncodeForm(form);
  if (encoded.refusal) return Refuse(*encoded.refusal);

  u.Body = std::move(encoded.body);
  if (!u.Body.empty()) {
    u.Headers.append(u"Content-Type: application/x-www-form-urlencoded").append(kCrLf);
    u.Headers.append(u"Content-Length: ").append(Number(u.Body.size())).append(kCrLf);
  }
  u.Headers.append(u"Client:").append(kClientIdentification).append(kCrLf);

  u.RequestText.append(u"POST ").append(u.Path).append(u" HTTP/1.0").append(kCrLf);
  u.RequestText.append(u"Host: ").append(u.Host).append(kCrLf);
  u.RequestText.append(u.Headers).append(kCrLf).append(u.Body);
  return u;
}

std::u16string NormalizeLineEnds(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'\r') {
      out.append(kCrLf);
      if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else if (c == u'\n') {
      out.append(kCrLf);
    } else {
      out += c;
    }
  }
  return out;
}

namespace {

// "{" and " " are ASCII, and in UTF-8 no byte of another character is ever
// ASCII, so the same cut serves both forms.
template <typename Char>
Value ReadReplyDocument(std::basic_string_view<Char> reply) {
  const size_t brace = reply.find(Char('{'));
  if (brace == std::basic_string_view<Char>::npos) return Value{};
  std::basic_string_view<Char> document = reply.substr(brace);
  const size_t last = document.find_last_not_of(Char(' '));
  document = document.substr(0, last + 1);  // starts with "{": never all spaces
  return JSON::ReadJson(document);
}

}  // namespace

Value ExtractReplyJson(std::u16string_view reply) { return ReadReplyDocument(reply); }

Value ExtractReplyJson(std::string_view utf8_reply) { return ReadReplyDocument(utf8_reply); }

PostExchange::PostExchange(PostOwner owner, platform::MessageLoop& loop)
    : owner_(std::move(owner)), loop_(loop), socket_(std::make_unique<platform::TcpSocket>(loop)) {
  socket_->SetConnectTimeout(kDefaultConnectTimeout);
  socket_->SetEvents({
      .connected = [this] { OnConnect(); },
      .data_arrival = [this](size_t bytes) { OnDataArrival(bytes); },
      .closed_by_peer = [this] { OnClose(); },
      .error = [this](int32_t number, const std::u16string& description) { OnError(number, description); },
  });
}

PostExchange::~PostExchange() = default;

void PostExchange::SetConnectTimeout(std::chrono::milliseconds timeout) { socket_->SetConnectTimeout(timeout); }

void PostExchange::Close() {
  socket_->Close();
  connected_ = false;
  attempt_over_ = true;
}

void PostExchange::Post(std::u16string_view url, std::u16string_view form) {
  if (connected_ || waiting_) return;
  UrlParts u = RaisingOutOfMemory([&] { return BuildPostRequest(url, form); });
  if (u.RequestText.empty()) return;  // refused, and already reported

  socket_->SetRemoteHost(u.Host);
  socket_->SetRemotePort(u.Port);
  socket_->Connect();
  attempt_over_ = false;
  {
    // Cleared however the wait ends: a handler that runs during it may raise
    // to our caller.
    struct WaitFlag {
      bool& flag;
      explicit WaitFlag(bool& f) : flag(f) { flag = true; }
      ~WaitFlag() { flag = false; }
    } waiting(waiting_);
    loop_.RunUntil([this] { return connected_ || attempt_over_; });
  }
  // The peer may already have hung up (its close event still queued): then
  // there is no one to send to, and that event will end the exchange.
  if (connected_ && socket_->GetState() == platform::TcpSocket::State::kConnected) {
    socket_->SendData(u.RequestText);
  }
}

void PostExchange::OnConnect() { connected_ = true; }

void PostExchange::OnDataArrival(size_t bytes) {
  std::u16string reply = RaisingOutOfMemory([&] { return NormalizeLineEnds(socket_->GetData(bytes)); });
  if (owner_.reply) owner_.reply(reply);
}

void PostExchange::OnClose() {
  connected_ = false;
  attempt_over_ = true;
  socket_->Close();
  if (owner_.closed) owner_.closed();
}

void PostExchange::OnError(int32_t number, const std::u16string& description) {
  socket_->Close();
  connected_ = false;
  attempt_over_ = true;
  if (owner_.interactive) platform::MessageBox(description, u"ERROR", platform::BoxIcon::kExclamation);
  if (owner_.socket_error) owner_.socket_error(number, description);
}

}  // namespace comsvc::Remote
