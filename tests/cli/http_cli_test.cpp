#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/form_server.h"
#include "support/loopback_peer.h"
#include "support/test_support.h"

namespace comsvc::testing {
namespace {

using namespace std::chrono_literals;

struct Case {
  const char* name;
  std::vector<std::string> args;
  int status;
  std::string out;
};

// Runs comsvc with boxes answered by script and logged to standard error.
ProcessResult RunScripted(std::vector<std::string> args) {
  args.insert(args.begin(), {"--dialogs", "script", "--dialog-log", "-"});
  return RunComsvc(args);
}

void ExpectCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProcessResult result = RunScripted(c.args);
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_EQ(result.out, c.out);
  }
}

std::string Box(const std::string& text, const std::string& title, const std::string& icon) {
  return "{\"box\":\"message\",\"text\":\"" + text + "\",\"title\":\"" + title + "\",\"icon\":\"" + icon + "\"}\n";
}

TEST(HttpCli, UrlParseAndEncode) {
  ExpectCases({
      {"parse", {"url", "parse", "http://server:8080/app/form?x=1"}, 0,
       "Scheme: http\nHost: server\nPort: 8080\nPath: /app/form\nQuery: x=1\n"},
      {"parse without slash", {"url", "parse", "http://server:8080"}, 0,
       "Scheme: http\nHost: server:8080\nPort: 0\nPath: /\nQuery: \n"},
      {"parse as JSON", {"url", "parse", "--json", "server/a\"b?c"}, 0,
       "{\"Scheme\":\"\",\"Host\":\"server\",\"Port\":80,\"Path\":\"/a\\\"b\",\"Query\":\"c\"}\n"},
      {"port overflow", {"url", "parse", "http://server:40000/x"}, 1, ""},
      {"encode 1252", {"--codepage", "1252", "url", "encode", "a b\xC3\xA9-~"}, 0, "a%20b%E9%2D%7E\n"},
      {"encode 936", {"--codepage", "936", "url", "encode", "\xC3\xA9\xE4\xB8\xAD"}, 0, "%A8%A6%D6%D0\n"},
      {"no action", {"url"}, 2, ""},
      {"unknown action", {"url", "split", "x"}, 2, ""},
  });
  ProcessResult overflow = RunScripted({"url", "parse", "http://server:40000/x"});
  EXPECT_NE(overflow.err.find("error 6: Overflow"), std::string::npos);
  ProcessResult ftp = RunScripted({"url", "parse", "ftp://server/file"});
  EXPECT_EQ(ftp.err, Box("Invalid protocol schema", "", "none"));
  EXPECT_EQ(ftp.out, "Scheme: ftp\nHost: server\nPort: 0\nPath: /file\nQuery: \n");
}

TEST(HttpCli, RequestPrintsTheRequestTextExactly) {
  ExpectCases({
      {"request",
       {"--codepage", "1252", "request", "http://server:81/form?id=7", "a=1&b=x y\xC3\xA9"},
       0,
       "POST /form HTTP/1.0\r\nHost: server\r\nContent-Type: application/x-www-form-urlencoded\r\n"
       "Content-Length: 14\r\nClient:comsvc/0.1.0\r\n\r\na=1&b=x%20y%E9"},
      {"empty form", {"request", "http://server/f", ""}, 0,
       "POST /f HTTP/1.0\r\nHost: server\r\nClient:comsvc/0.1.0\r\n\r\n"},
      {"refused", {"request", "http://", "a=1"}, 1, ""},
      {"missing form", {"request", "http://server/f"}, 2, ""},
  });
  ProcessResult json = RunScripted({"request", "--json", "http://server/f", "a=1"});
  EXPECT_EQ(json.status, 0);
  auto fields = nlohmann::json::parse(json.out);
  EXPECT_EQ(fields["Port"], 80);
  EXPECT_EQ(fields["Body"], "a=1");
  EXPECT_EQ(fields["Headers"],
            "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 3\r\nClient:comsvc/0.1.0\r\n");
  EXPECT_EQ(fields.size(), 8u);

  ProcessResult refused = RunScripted({"request", "--json", "http://server/f", "a=1&&b=2"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(nlohmann::json::parse(refused.out)["RequestText"], "");
  EXPECT_EQ(refused.err, Box("Invalid Form: item 2 is empty", "ERROR", "critical"));
}

TEST(HttpCli, PostPrintsTheRepliesAndTheirJson) {
  FormServer server;
  ProcessResult plain = RunScripted({"post", server.Url(), "q=hi"});
  EXPECT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.out.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << plain.out;
  EXPECT_NE(plain.out.find("\r\n\r\n{\"ok\":true,\"fields\":1,\"echo\":\"hi\"}"), std::string::npos);

  ProcessResult json = RunScripted({"post", "--json", server.Url(), "q=hi"});
  EXPECT_EQ(json.status, 0) << json.err;
  auto report = nlohmann::json::parse(json.out);
  EXPECT_FALSE(report["replies"].empty());
  EXPECT_EQ(report["json"], nlohmann::json::parse(R"(["object",[["ok",["bool",true]],["fields",["int",1]],["echo",["string","hi"]]]])"));
  EXPECT_EQ(report["errors"], "");
  EXPECT_TRUE(report["socket_error"].is_null());
  EXPECT_EQ(json.err, "");
}

TEST(HttpCli, PostReportsSocketErrorsAsTheOwnerChooses) {
  const std::string url = "http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + "/form";
  ProcessResult shown = RunScripted({"post", url, "a=1"});
  EXPECT_EQ(shown.status, 1);
  EXPECT_EQ(shown.out, "");
  EXPECT_EQ(shown.err, Box("Connection is forcefully rejected", "ERROR", "exclamation"));

  ProcessResult silent = RunScripted({"post", "--json", "--silent", url, "a=1"});
  EXPECT_EQ(silent.status, 1);
  EXPECT_EQ(silent.err, "");
  EXPECT_EQ(nlohmann::json::parse(silent.out),
            nlohmann::json::parse(R"({"replies":[],"json":null,"errors":"",)"
                                  R"("socket_error":{"number":10061,"description":"Connection is forcefully rejected"}})"));
}

TEST(HttpCli, PostStopsAtTheTimeout) {
  LoopbackPeer silent([](LoopbackPeer& peer, int& fd) {
    peer.ReadRequest(fd);
    peer.Pause(1h);
  });
  auto start = std::chrono::steady_clock::now();
  ProcessResult result = RunScripted({"post", "--timeout", "0.5", "--json",
                              "http://127.0.0.1:" + std::to_string(silent.Port()) + "/", "a=1"});
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(nlohmann::json::parse(result.out)["socket_error"].is_null());
  ExpectCases({
      {"bad time-out", {"post", "--timeout", "soon", "http://server/", "a=1"}, 2, ""},
      {"refused request", {"post", "http://", "a=1"}, 1, ""},
  });
}

}  // namespace
}  // namespace comsvc::testing
