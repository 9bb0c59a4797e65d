#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include <comsvc/version.h>
#include "support/loopback_peer.h"
#include "support/test_support.h"

namespace comsvc::testing {
namespace {

// Runs comsvc with boxes answered by script and logged to standard error.
ProcessResult RunScripted(std::vector<std::string> args) {
  args.insert(args.begin(), {"--dialogs", "script", "--dialog-log", "-"});
  return RunComsvc(args);
}

std::string Box(const std::string& text, const std::string& title, const std::string& icon) {
  return "{\"box\":\"message\",\"text\":\"" + text + "\",\"title\":\"" + title + "\",\"icon\":\"" + icon + "\"}\n";
}

TEST(HttpCli, UrlAndRequestPrintExactlyWhatTheHelpersGive) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;  // a part of standard error
  };
  const Case cases[] = {
      {{"url", "parse", "http://server:8080/app/form?x=1"}, 0,
       "Scheme: http\nHost: server\nPort: 8080\nPath: /app/form\nQuery: x=1\n", ""},
      {{"url", "parse", "--json", "server/a\"b?c"}, 0,
       "{\"Scheme\":\"\",\"Host\":\"server\",\"Port\":80,\"Path\":\"/a\\\"b\",\"Query\":\"c\"}\n", ""},
      {{"--codepage", "936", "url", "encode", "\xC3\xA9\xE4\xB8\xAD"}, 0, "%A8%A6%D6%D0\n", ""},
      {{"--codepage", "1252", "request", "http://server:81/form?id=7", "a=1&b=x y\xC3\xA9"}, 0,
       "POST /form HTTP/1.0\r\nHost: server\r\nContent-Type: application/x-www-form-urlencoded\r\n"
       "Content-Length: 14\r\nClient:comsvc/" COMSVC_VERSION "\r\n\r\na=1&b=x%20y%E9",
       ""},
      {{"request", "http://server/f", "a=1&&b=2"}, 1, "", Box("Invalid Form: item 2 is empty", "ERROR", "critical")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    ProcessResult result = RunScripted(c.args);
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_EQ(result.out, c.out);
    EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
  }
}

TEST(HttpCli, PostPrintsTheRepliesOrTheSocketError) {
  FormServer server;
  ProcessResult plain = RunScripted({"post", server.Url(), "q=hi"});
  EXPECT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.out.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << plain.out;
  EXPECT_NE(plain.out.find("\r\n\r\n{\"ok\":true,\"fields\":1,\"echo\":\"hi\"}"), std::string::npos);

  const std::string closed = "http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + "/form";
  ProcessResult shown = RunScripted({"post", closed, "a=1"});
  EXPECT_EQ(shown.status, 1);
  EXPECT_EQ(shown.err, Box("Connection is forcefully rejected", "ERROR", "exclamation"));

  ProcessResult silent = RunScripted({"post", "--json", "--silent", closed, "a=1"});
  EXPECT_EQ(silent.status, 1);
  EXPECT_EQ(nlohmann::json::parse(silent.out)["socket_error"]["number"], 10061);
}

}  // namespace
}  // namespace comsvc::testing
