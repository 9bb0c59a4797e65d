// comsvc post [--json] [--silent] [--timeout SECONDS] URL FORM: one form
// post exchange, its replies printed as they arrive.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <optional>
#include <string>

#include "cli/app.h"
#include "cli/commands.h"
#include "cli/json_output.h"
#include <comsvc/utf8.h>
#include <comsvc/form_post.h>
#include <comsvc/json_reader.h>
#include <comsvc/message_loop.h>

namespace comsvc::cli {

namespace {

constexpr const char* kPostHelp =
    "usage: comsvc post [--json] [--silent] [--timeout SECONDS] [--max-reply BYTES] URL FORM\n"
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
    "  --silent           do not show socket errors in a box (stderr says why)\n"
    "  --timeout SECONDS  how long to wait in all, connecting included: from 0.001\n"
    "                     to 86400 (default 30)\n"
    "  --max-reply BYTES  keep at most this much of the reply, counted as printed\n"
    "                     in UTF-8: from 1 to 1073741824 (default 67108864, 64 MiB);\n"
    "                     a longer reply is cut there and the connection closed\n"
    "\n"
    "Exit status: 0 when the server closed the connection after its reply; 1 when\n"
    "the request was refused, a socket error ended the exchange, the time-out\n"
    "passed or the reply was cut.\n";

constexpr size_t kDefaultMaxReplyBytes = size_t{64} << 20;

struct SocketErrorReport {
  int32_t number;
  std::u16string description;
};

// A day: longer than any exchange worth waiting for, and far from the
// clock's limits.
constexpr int kMaxTimeoutSeconds = 86400;

std::chrono::milliseconds ParseTimeout(const std::optional<std::string>& text) {
  if (!text) return std::chrono::seconds(30);
  // Read as C reads it, whatever the locale's decimal separator.
  double seconds = 0;
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), seconds);
  if (error != std::errc() || end != text->data() + text->size() || !(seconds >= 0.001) ||
      !(seconds <= kMaxTimeoutSeconds)) {
    throw UsageError("--timeout takes a number of seconds from 0.001 to " + std::to_string(kMaxTimeoutSeconds) +
                     ", not '" + *text + "'");
  }
  return std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000 + 0.5));
}

// The reply is an input like any other: at most what an input file may hold.
size_t ParseMaxReply(const std::optional<std::string>& text) {
  if (!text) return kDefaultMaxReplyBytes;
  size_t bytes = 0;
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), bytes);
  if (error != std::errc() || end != text->data() + text->size() || bytes == 0 || bytes > kMaxInputBytes) {
    throw UsageError("--max-reply takes a number of bytes from 1 to " + std::to_string(kMaxInputBytes) + ", not '" +
                     *text + "'");
  }
  return bytes;
}

// The reply as far as --max-reply allows, counted as printed, in UTF-8, and
// whether the peer sent more.
class ReplyKeeper {
 public:
  explicit ReplyKeeper(size_t max_bytes) : room_(max_bytes) {}

  // The UTF-8 of the part of `piece` that still fits, never splitting a
  // character; false when that is not all of it.
  bool Keep(const std::u16string& piece, std::string& kept) {
    kept = EncodeUtf8(piece);
    if (kept.size() <= room_) {
      room_ -= kept.size();
      return true;
    }
    cut_ = true;
    size_t end = room_;
    while (end > 0 && (static_cast<unsigned char>(kept[end]) & 0xC0) == 0x80) --end;
    kept.resize(end);
    room_ = 0;
    return false;
  }
  bool Cut() const { return cut_; }

 private:
  size_t room_;
  bool cut_ = false;
};

// The --json line, written as the exchange goes: each reply piece joins the
// "replies" array, which comes first, as it arrives, and of the pieces only
// their UTF-8 is kept, joined, to be read once the exchange is over. The
// pieces come from the code page's characters, none of them a surrogate, so
// the UTF-8 holds exactly the text of the pieces.
class JsonReport {
 public:
  // Room for the joined reply up to `bytes`, made at once: a buffer grown
  // piece by piece copies what it holds each time, and the memory of the
  // smaller copies stays with the process while the reply is read.
  void Reserve(size_t bytes) { joined_.reserve(bytes); }
  void AddReply(std::u16string_view piece, std::string_view utf8) {
    chunk_ = replies_++ == 0 ? "{\"replies\":[" : ",";
    AppendJsonString(chunk_, piece);
    PrintUtf8(chunk_);
    joined_ += utf8;
  }

  void Finish(const std::optional<SocketErrorReport>& error) {
    std::string().swap(chunk_);
    if (replies_ == 0) PrintUtf8("{\"replies\":[");
    const Value root = Remote::ExtractReplyJson(joined_);
    std::string().swap(joined_);  // the tree holds texts of its own
    PrintUtf8("],\"json\":");
    if (root.IsEmpty()) {
      PrintUtf8("null");
    } else {
      WriteTypedJson(root, PrintUtf8);
    }
    std::string out = ",\"errors\":";
    AppendJsonString(out, root.IsEmpty() ? std::u16string() : JSON::ReaderErrors());
    out += ",\"socket_error\":";
    if (error) {
      out += "{\"number\":" + std::to_string(error->number) + ",\"description\":";
      AppendJsonString(out, error->description);
      out += "}";
    } else {
      out += "null";
    }
    PrintUtf8(out + "}\n");
  }

 private:
  size_t replies_ = 0;
  std::string chunk_;   // the text of one piece in the array
  std::string joined_;  // every piece kept, in UTF-8
};

// The reason for a failed exchange, unless a box has told it already.
void ExplainFailure(const Arguments& arguments, const std::optional<SocketErrorReport>& socket_error, bool closed,
                    const ReplyKeeper& keeper) {
  if (keeper.Cut()) {
    PrintError("comsvc: the reply was cut at " + std::to_string(ParseMaxReply(arguments.Get("max-reply"))) +
               " bytes (--max-reply)\n");
  } else if (socket_error && arguments.Has("silent")) {
    PrintError("comsvc: socket error " + std::to_string(socket_error->number) + ": " +
               EncodeUtf8(socket_error->description) + "\n");
  } else if (!socket_error && !closed) {
    PrintError("comsvc: the server did not close the connection within the time-out\n");
  }
}

int RunPost(Context&, const Arguments& arguments) {
  arguments.RequirePositionals(2, 2);
  const bool json = arguments.Has("json");
  const auto timeout = ParseTimeout(arguments.Get("timeout"));
  const auto deadline = platform::MessageLoop::Clock::now() + timeout;
  const size_t max_reply = ParseMaxReply(arguments.Get("max-reply"));
  ReplyKeeper keeper(max_reply);

  JsonReport report;
  // Up to the default bound only: a larger one may ask for more memory than
  // the reply will ever take.
  if (json) report.Reserve(std::min(max_reply, kDefaultMaxReplyBytes));
  std::string kept;
  std::optional<SocketErrorReport> socket_error;
  bool closed = false;
  Remote::PostOwner owner{
      .interactive = !arguments.Has("silent"),
      .reply =
          [&](const std::u16string& reply) {
            if (keeper.Cut()) return;
            const bool whole = keeper.Keep(reply, kept);
            if (json) {
              if (whole) {
                report.AddReply(reply, kept);
              } else {
                report.AddReply(Utf8ToUtf16(kept), kept);
              }
            } else {
              PrintUtf8(kept);
            }
          },
      .socket_error = [&](int32_t number, const std::u16string& text) { socket_error = {number, text}; },
      .closed = [&] { closed = true; },
  };
  Remote::PostExchange exchange(owner);
  // The connection wait inside Post must not outlast the time-out either.
  exchange.SetConnectTimeout(std::min<std::chrono::milliseconds>(timeout, Remote::PostExchange::kDefaultConnectTimeout));

  exchange.Post(ArgumentText(arguments.Positionals()[0]), ArgumentText(arguments.Positionals()[1]));
  const bool started = exchange.Connected() || closed || socket_error;
  if (started) {
    platform::MessageLoop::Current().RunUntil([&] { return closed || socket_error || keeper.Cut(); }, deadline);
    exchange.Close();
    ExplainFailure(arguments, socket_error, closed, keeper);
  }
  if (json) {
    std::string().swap(kept);
    report.Finish(socket_error);
  }
  return closed && !socket_error && !keeper.Cut() ? kExitOk : kExitFailure;
}

}  // namespace

const Subcommand kPostCommand = {
    "post", "post a form to an HTTP server and print the reply",
    kPostHelp, {{"json"}, {"silent"}, {"timeout", 1}, {"max-reply", 1}}, RunPost};

}  // namespace comsvc::cli
