// comsvc post [--json] [--silent] [--timeout SECONDS] URL FORM: one form
// post exchange, its replies printed as they arrive.
#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/commands.h"
#include "cli/json_output.h"
#include <comsvc/form_post.h>
#include <comsvc/json_reader.h>
#include <comsvc/message_loop.h>

namespace comsvc::cli {

namespace {

constexpr const char* kPostUsage = "comsvc post [--json] [--silent] [--timeout SECONDS] URL FORM";

constexpr const char* kPostHelp =
    "usage: comsvc post [--json] [--silent] [--timeout SECONDS] URL FORM\n"
    "\n"
    "Posts FORM (name=value items joined by '&') to URL over a TCP socket and\n"
    "prints each reply piece, line ends made CR LF, as it arrives. Stops when\n"
    "the server closes the connection, a socket error arrives or the time-out\n"
    "passes.\n"
    "\n"
    "  --json             print one line instead: {\"replies\":[...],\"json\":T|null,\n"
    "                     \"errors\":\"...\",\"socket_error\":null|{\"number\":N,\n"
    "                     \"description\":\"...\"}}, json being the JSON document of the\n"
    "                     joined replies in the typed form (see comsvc json --help)\n"
    "                     and errors the reader's error text\n"
    "  --silent           do not show socket errors in a box\n"
    "  --timeout SECONDS  how long to wait in all, connecting included (default 30)\n"
    "\n"
    "Exit status: 0 when the server closed the connection after its reply; 1 when\n"
    "the request was refused, a socket error ended the exchange or the time-out\n"
    "passed.\n";

struct SocketErrorReport {
  int32_t number;
  std::u16string description;
};

std::chrono::milliseconds ParseTimeout(const std::optional<std::string>& text) {
  if (!text) return std::chrono::seconds(30);
  size_t used = 0;
  double seconds = -1;
  try {
    seconds = std::stod(*text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != text->size() || !(seconds > 0) || seconds > 86400) {
    throw CommandLineError("--timeout takes a number of seconds above 0, not '" + *text + "'");
  }
  return std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000 + 0.5));
}

std::string JsonReport(const std::vector<std::u16string>& replies, const std::optional<SocketErrorReport>& error) {
  std::u16string joined;
  std::string out = "{\"replies\":[";
  for (size_t i = 0; i < replies.size(); ++i) {
    if (i > 0) out += ",";
    AppendJsonString(out, replies[i]);
    joined += replies[i];
  }
  const Value root = Remote::ExtractReplyJson(joined);
  out += "],\"json\":" + (root.IsEmpty() ? std::string("null") : TypedJson(root));
  out += ",\"errors\":";
  AppendJsonString(out, root.IsEmpty() ? std::u16string() : JSON::ReaderErrors());
  out += ",\"socket_error\":";
  if (error) {
    out += "{\"number\":" + std::to_string(error->number) + ",\"description\":";
    AppendJsonString(out, error->description);
    out += "}";
  } else {
    out += "null";
  }
  return out + "}\n";
}

}  // namespace

int RunPost(Context&, const std::vector<std::string>& args) {
  Arguments arguments(args, {{"json"}, {"silent"}, {"timeout", 1}});
  if (PrintedHelp(arguments, kPostHelp)) return kExitOk;
  arguments.RequirePositionals(2, 2, kPostUsage);
  const bool json = arguments.Has("json");
  const auto timeout = ParseTimeout(arguments.Get("timeout"));
  const auto deadline = platform::MessageLoop::Clock::now() + timeout;

  std::vector<std::u16string> replies;
  std::optional<SocketErrorReport> socket_error;
  bool closed = false;
  Remote::PostOwner owner{
      .interactive = !arguments.Has("silent"),
      .reply =
          [&](const std::u16string& reply) {
            replies.push_back(reply);
            if (!json) Print(reply);
          },
      .socket_error = [&](int32_t number, const std::u16string& text) { socket_error = {number, text}; },
      .closed = [&] { closed = true; },
  };
  Remote::PostExchange exchange(owner);
  // The connection wait inside Post must not outlast the time-out either.
  exchange.Socket().SetConnectTimeout(std::min<std::chrono::milliseconds>(
      timeout, platform::TcpSocket::kDefaultConnectTimeout));

  exchange.Post(ArgumentText(arguments.Positionals()[0]), ArgumentText(arguments.Positionals()[1]));
  const bool started = exchange.Connected() || closed || socket_error;
  if (started) {
    platform::MessageLoop::Current().RunUntil([&] { return closed || socket_error.has_value(); }, deadline);
  }
  if (json) PrintUtf8(JsonReport(replies, socket_error));
  return closed && !socket_error ? kExitOk : kExitFailure;
}

}  // namespace comsvc::cli
